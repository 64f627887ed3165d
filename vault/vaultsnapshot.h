// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/vaultio.h"

#include <QByteArray>
#include <QString>

// What a window last read from or wrote to its vault file: the file's bytes
// as they lie on disk, or that there were none (no file, or one that could
// not be read). Another window, a sync tool or the user may change the file
// meanwhile; a save compares before it replaces anything.
struct VaultSnapshot
{
    bool hasBytes = false;
    // A file too large to be read, known by its stamp alone.
    bool tooLarge = false;
    QByteArray bytes;
    FileStamp stamp;
    qint64 takenAt = 0; // nanoseconds since the epoch

    static VaultSnapshot of(const QByteArray &bytes, const FileStamp &stamp);
};

enum class VaultCheck {
    Unchanged,
    Changed,
    // The vault or its folder could not be looked at or read: nothing can
    // be told, and nothing may be replaced.
    Unreadable,
};

// Whether the file at `vault` now holds something other than what
// `snapshot` saw: other bytes, or a file where there was none. A file
// deleted since counts as unchanged, since a save simply recreates it.
//
// The file's stamp is compared first, and the file is read only when that
// differs, or when either of its times is too recent to tell a later write
// of the same size apart (timestamps are coarse, and a program may set the
// modification time back). When the bytes turn out the same, the snapshot
// takes the new stamp, so the next comparison is cheap again. When they
// differ, `now` (when given) receives what the file holds, or, when it is too
// large to read, its stamp alone. `found` (when given) receives what was found
// at the name, for the write to make sure that it replaces just that.
FileResult<VaultCheck> checkVault(const VaultLocation &vault, VaultSnapshot &snapshot,
    VaultSnapshot *now = nullptr, FoundFile *found = nullptr);
