// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/entry.h"

#include <QList>

// The result of merging two lists of entries.
struct MergedEntries
{
    QList<Entry> entries;
    // How many entries were changed on both sides, or changed on one and
    // deleted on the other.
    int conflicts = 0;
    // The row of the first of them in `entries`, or -1.
    qsizetype firstConflict = -1;
};

// The three-way merge, entry by entry, of two lists of entries that both
// started from `base`. An entry is known by its service and user name.
// Where a name has at most one entry on each side:
// - An entry alike on both sides appears once.
// - One changed (its password), added or deleted on one side only has that
//   side's change; added alike on both sides, it appears once.
// - One changed differently on both sides (or added differently) is a
//   conflict: both versions stay, `file`'s first and `window`'s right after
//   it. One changed on one side and deleted on the other is a conflict too,
//   and keeps the changed version: nothing is lost.
// Where a name has more than one entry on a side (a conflict left them),
// which version became which cannot be told: a side that holds the base's
// versions (in any order) takes the other side's; otherwise every version
// either side holds is kept once, `file`'s first, and that is a conflict.
// The result holds `file`'s entries in `file`'s order, each conflict's
// window versions right after the file's, then the entries only `window`
// holds in `window`'s order.
// Entries are found by a hash of their names (`nameHash`, when given, for
// tests) and compared by their names: two names that hash alike stay two.
MergedEntries mergeEntries(const QList<Entry> &base, const QList<Entry> &file,
    const QList<Entry> &window, quint64 (*nameHash)(const Entry &) = nullptr);

// Whether `theirs` holds an entry, exactly as it is there, that `ours` does
// not: what would be lost if `ours` took its place.
bool holdsOthers(const QList<Entry> &theirs, const QList<Entry> &ours);
