// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/entry.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A copy of a vault that a sync tool made when two computers changed it at
// once, and the entries it holds.
struct ConflictCopy
{
    QString path;
    QList<Entry> entries;
};

// The conflict copies beside the vault at `vaultPath` that open without
// loss under `key` and hold an entry that `entries` does not, the oldest
// first: copies named as Syncthing, Nextcloud, ownCloud or Dropbox name
// them. Copies under another key, files that are no vault and files too
// large to be one are left out.
QList<ConflictCopy> findConflictCopies(
    const QString &vaultPath, const QByteArray &key, const QList<Entry> &entries);

// Whether every entry of the copy at `path`, as it is now, is in `entries`:
// it holds nothing that would be lost with it.
bool isHeldIn(const QString &path, const QByteArray &key, const QList<Entry> &entries);
