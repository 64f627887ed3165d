// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/vaultio.h"

#include <QByteArray>
#include <QString>

// Remembers, for each vault a save of this user wrote, the file's stamp as
// written and a verifier of the master password it was written with: an
// Argon2id hash with a random salt. A mistyped master password often
// deciphers a small vault to lines that still look like entries; while the
// file is exactly the one the save wrote, the verifier tells such a typo
// apart from the real key. A file changed, copied or touched since is judged
// by its content alone, as any vault from elsewhere.
//
// The records live in one file, readable by the user only, in the user's
// data folder. A record file that is missing, unreadable or malformed never
// blocks a load; the next save replaces it.
class SavedKeys
{
public:
    // Records kept in `recordFile`; by default the one in the user's data folder.
    explicit SavedKeys(const QString &recordFile = defaultRecordFile());

    static QString defaultRecordFile();

    // True when the vault at `canonicalPath`, stamped `stamp` when it was
    // read, is exactly what a recorded save wrote, and `key` is not the key
    // it was written with.
    bool refuses(const QString &canonicalPath, const FileStamp &stamp, const QByteArray &key) const;

    // Records that the vault at `canonicalPath` now holds what a save under
    // `key` wrote, stamped `stamp`, in place of any earlier record of it.
    // False when the record file could not be written.
    bool remember(const QString &canonicalPath, const FileStamp &stamp, const QByteArray &key);

private:
    QString m_recordFile;
};
