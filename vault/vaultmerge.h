// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/entry.h"

#include <QList>

#include <optional>

// The three-way merge of two lists of entries that both started from `base`,
// as diff3 merges lines, one entry being one line: every entry that either
// side added, changed or deleted since the base is added, changed or deleted
// in the result. Where both changed the same stretch of base entries
// differently (changes to neighbouring entries make one stretch), the result
// keeps both versions of it, `first`'s before `second`'s, so that nothing
// either side wrote is lost; a change made alike on both sides appears once.
// Nothing when the merge itself fails (out of memory).
std::optional<QList<Entry>> mergeEntries(
    const QList<Entry> &base, const QList<Entry> &first, const QList<Entry> &second);
