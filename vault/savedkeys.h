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
// Each vault's record is a file of its own, readable by the user only, in
// the user's data folder, named from a hash of the vault's path: saving one
// vault never rewrites another's record. A record that is missing,
// unreadable, damaged, or whose verifier cannot be checked counts as none:
// it never blocks a load.
class SavedKeys
{
public:
    // Records kept in `folder`; by default the one in the user's data folder.
    explicit SavedKeys(const QString &folder = defaultFolder());

    static QString defaultFolder();

    // True when the vault at `canonicalPath`, stamped `stamp` when it was
    // read, is exactly what a recorded save wrote, and `key` is certainly
    // not the key it was written with.
    bool refuses(const QString &canonicalPath, const FileStamp &stamp, const QByteArray &key) const;

    // True when the record of the vault at `canonicalPath`, whatever its
    // stamp, holds a verifier of `key`: this computer has seen the vault
    // written with that key.
    bool knows(const QString &canonicalPath, const QByteArray &key) const;

    // Records that the vault at `canonicalPath` now holds what a save under
    // `key` wrote, stamped `stamp`, in place of any earlier record of it.
    // Returns why the record could not be written, when it could not; the
    // earlier record then stays.
    FileError remember(const QString &canonicalPath, const FileStamp &stamp, const QByteArray &key);

    // The file that holds the record of the vault at `canonicalPath`.
    QString recordFile(const QString &canonicalPath) const;

private:
    enum class KeyCheck { Matches, Differs, Unknown };
    KeyCheck checkKey(const QByteArray &verifier, const QByteArray &key) const;
    // The verifier that records of `key` get.
    QByteArray verifierOf(const QByteArray &key) const;

    // Argon2id is slow on purpose, so the verifier of the key in use is
    // computed once and kept, together with the stored verifier the key was
    // last found to match. Only a fast hash of the key identifies it here,
    // never the key itself.
    struct VerifierCache
    {
        // Forgets what belongs to another key than `key`.
        void useKey(const QByteArray &key);

        QByteArray fingerprint;
        QByteArray verifier;
        QByteArray matched;
    };

    QString m_folder;
    mutable VerifierCache m_cache;
};
