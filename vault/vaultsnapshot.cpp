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

VaultCheck checkVault(
    const VaultLocation &vault, VaultSnapshot &snapshot, VaultSnapshot *now, FoundFile *found)
{
    const std::optional<FileStamp> current = vault.stamp();
    if (found)
        *found = { current.has_value(), current.value_or(FileStamp()) };
    if (!current)
        return vault.error() == ENOENT ? VaultCheck::Unchanged : VaultCheck::Unreadable;
    if (snapshot.hasBytes) {
        const qint64 lastTouched = std::max(snapshot.stamp.modified, snapshot.stamp.changed);
        if (*current == snapshot.stamp && lastTouched < snapshot.takenAt - racyWindow)
            return VaultCheck::Unchanged;
        if (current->size != snapshot.bytes.size() && !now)
            return VaultCheck::Changed;
    }

    QByteArray bytes;
    FileStamp stamp;
    switch (vault.read(bytes, &stamp)) {
    case ReadOutcome::Read:
        if (found)
            *found = { true, stamp };
        if (snapshot.hasBytes && bytes == snapshot.bytes) {
            snapshot = VaultSnapshot::of(snapshot.bytes, stamp);
            return VaultCheck::Unchanged;
        }
        if (now)
            *now = VaultSnapshot::of(bytes, stamp);
        return VaultCheck::Changed;
    case ReadOutcome::TooLarge:
        if (now)
            *now = VaultSnapshot();
        return VaultCheck::Changed;
    case ReadOutcome::OpenFailed:
        if (vault.error() == ENOENT) {
            if (found)
                *found = FoundFile();
            return VaultCheck::Unchanged;
        }
        return VaultCheck::Unreadable;
    case ReadOutcome::ReadFailed:
        break;
    }
    return VaultCheck::Unreadable;
}
