// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultsnapshot.h"

#include <QDateTime>

#include <cerrno>

namespace {

// Longer than the coarsest timestamps of the file systems a vault may live
// on (two seconds on FAT): a file modified this close to the moment it was
// seen may be modified again without its stamp telling.
constexpr qint64 racyWindow = qint64(3) * 1000000000;

qint64 nowInNanoseconds()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000000;
}

} // namespace

VaultSnapshot VaultSnapshot::of(const QByteArray &bytes, const FileStamp &stamp)
{
    VaultSnapshot snapshot;
    snapshot.hasBytes = true;
    snapshot.bytes = bytes;
    snapshot.stamp = stamp;
    snapshot.takenAt = nowInNanoseconds();
    return snapshot;
}

bool vaultChangedOnDisk(const QString &path, VaultSnapshot &snapshot)
{
    const std::optional<FileStamp> now = fileStampOf(path);
    if (!now && errno == ENOENT)
        return false;
    if (snapshot.hasBytes) {
        if (now && *now == snapshot.stamp
            && snapshot.stamp.modified < snapshot.takenAt - racyWindow)
            return false;
        if (now && now->size != snapshot.bytes.size())
            return true;
    }

    QByteArray bytes;
    FileStamp stamp;
    const ReadOutcome read = readVaultFile(path, bytes, &stamp);
    if (read == ReadOutcome::TooLarge)
        return true;
    if (read != ReadOutcome::Read)
        return snapshot.hasBytes;
    if (!snapshot.hasBytes || bytes != snapshot.bytes)
        return true;
    snapshot = VaultSnapshot::of(snapshot.bytes, stamp);
    return false;
}
