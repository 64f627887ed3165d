// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/entry.h"
#include "vault/vaultio.h"
#include "vault/vaultmerge.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <tuple>

// A copy of a vault that a sync tool made when two computers changed it at
// once, and the entries it holds.
struct ConflictCopy
{
    QString path;
    QList<Entry> entries;
    FileStamp stamp;
};

// Whether `fileName` is what Syncthing, Nextcloud, ownCloud or Dropbox call
// a conflict copy of the vault file named `vaultName` (never of another
// vault whose name starts like it).
bool isConflictCopyName(const QString &vaultName, const QString &fileName);

// Finds the conflict copies beside a vault, for one master key. What it
// learns is kept for the run: a folder unchanged since it was listed is not listed again, and a
// file unchanged since it was read (the same device, inode, size and times)
// is not read again.
class ConflictCopyScan
{
public:
    // `now` tells the time in nanoseconds since the epoch.
    explicit ConflictCopyScan(qint64 (*now)() = nanosecondsNow)
        : m_now(now)
    { }

    // The conflict copies beside the vault at `vaultPath` that open without
    // loss under `key` and hold an entry that `entries` does not, the
    // oldest first. Copies under another key and files that are no vault
    // are left out, and files are read only up to four times the vault's
    // size (`vaultSize`) and a MiB more, as a copy of a vault is about as
    // large as the vault.
    QList<ConflictCopy> find(const QString &vaultPath, qint64 vaultSize, const QByteArray &key,
        const QList<Entry> &entries);

private:
    using StampKey = std::tuple<qint64, qint64, qint64, qint64, qint64>;
    QStringList namesLike(const QString &vault);
    std::optional<QList<Entry>> entriesAt(
        const QString &path, qint64 limit, const QByteArray &key, FileStamp *stamp);

    qint64 (*m_now)();
    // The names in the vault's folder that may be its copies, as listed
    // when the folder had the stamp `folderStamp`.
    QString m_listedFor;
    FileStamp m_folderStamp;
    QStringList m_names;
    // What each file read held under the key: its entries, or nothing.
    std::map<StampKey, std::optional<QList<Entry>>> m_known;
};

// The entries of `entries` with those of each copy merged in, the oldest
// first, by the entry rules with nothing as the base: nothing is deleted,
// and a changed entry stays beside the window's. The conflicts are the
// names held differently, the first conflict the first row of such a name.
MergedEntries mergeCopies(const QList<Entry> &entries, const QList<ConflictCopy> &copies);

// Whether `bytes` are a vault under `key` that opens without loss and
// holds no entry that `entries` does not.
bool isHeldWhole(const QByteArray &bytes, const QByteArray &key, const QList<Entry> &entries);
