// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultsnapshot.h"

#include <QDateTime>

#include <algorithm>
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

bool vaultChangedOnDisk(
    const VaultLocation &vault, VaultSnapshot &snapshot, VaultSnapshot *now, FoundFile *found)
{
    const std::optional<FileStamp> current = vault.stamp();
    if (found)
        *found = { current.has_value(), current.value_or(FileStamp()) };
    if (!current && errno == ENOENT)
        return false;
    if (snapshot.hasBytes) {
        const qint64 lastTouched = std::max(snapshot.stamp.modified, snapshot.stamp.changed);
        if (current && *current == snapshot.stamp && lastTouched < snapshot.takenAt - racyWindow)
            return false;
        if (current && current->size != snapshot.bytes.size() && !now)
            return true;
    }

    QByteArray bytes;
    FileStamp stamp;
    const ReadOutcome read = vault.read(bytes, &stamp);
    const bool changed = read == ReadOutcome::Read
        ? !snapshot.hasBytes || bytes != snapshot.bytes
        : read == ReadOutcome::TooLarge || snapshot.hasBytes;
    if (!changed) {
        if (read == ReadOutcome::Read) {
            snapshot = VaultSnapshot::of(snapshot.bytes, stamp);
            if (found)
                *found = { true, stamp };
        }
        return false;
    }
    if (now)
        *now = read == ReadOutcome::Read ? VaultSnapshot::of(bytes, stamp) : VaultSnapshot();
    return true;
}
