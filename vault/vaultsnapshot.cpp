// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultsnapshot.h"

VaultSnapshot VaultSnapshot::of(const QByteArray &bytes, const FileStamp &stamp)
{
    VaultSnapshot snapshot;
    snapshot.hasBytes = true;
    snapshot.bytes = bytes;
    snapshot.stamp = stamp;
    snapshot.takenAt = nanosecondsNow();
    return snapshot;
}

FileResult<VaultCheck> checkVault(
    const VaultLocation &vault, VaultSnapshot &snapshot, VaultSnapshot *now, FoundFile *found)
{
    const StampResult current = vault.stamp();
    if (found)
        *found = { current.stamp.has_value(), current.stamp.value_or(FileStamp()) };
    if (!current.stamp) {
        if (current.missing)
            return { VaultCheck::Unchanged, {} };
        return { VaultCheck::Unreadable, current.error };
    }
    if (snapshot.tooLarge && *current.stamp == snapshot.stamp)
        return { VaultCheck::Unchanged, {} };
    if (snapshot.hasBytes) {
        if (*current.stamp == snapshot.stamp && isSettled(snapshot.stamp, snapshot.takenAt))
            return { VaultCheck::Unchanged, {} };
        if (current.stamp->size != snapshot.bytes.size() && !now)
            return { VaultCheck::Changed, {} };
    }

    QByteArray bytes;
    FileStamp stamp;
    const ReadResult read = vault.read(bytes, &stamp);
    switch (read.outcome) {
    case ReadOutcome::Read:
        if (found)
            *found = { true, stamp };
        if (snapshot.hasBytes && bytes == snapshot.bytes) {
            snapshot = VaultSnapshot::of(snapshot.bytes, stamp);
            return { VaultCheck::Unchanged, {} };
        }
        if (now)
            *now = VaultSnapshot::of(bytes, stamp);
        return { VaultCheck::Changed, {} };
    case ReadOutcome::TooLarge:
        if (now) {
            *now = VaultSnapshot();
            now->tooLarge = true;
            now->stamp = *current.stamp;
        }
        return { VaultCheck::Changed, {} };
    case ReadOutcome::Missing:
        if (found)
            *found = FoundFile();
        return { VaultCheck::Unchanged, {} };
    case ReadOutcome::OpenFailed:
    case ReadOutcome::ReadFailed:
        break;
    }
    return { VaultCheck::Unreadable, read.error };
}
