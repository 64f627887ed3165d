// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

enum class WriteOutcome {
    Written,
    OpenFailed,
    WriteFailed,
    // A write in place failed and the old bytes could not be put back either.
    Damaged,
    // The new file took the vault's place, but the system could not confirm
    // that the change is on disk: a power cut may still bring the old back.
    Unconfirmed,
};
enum class ReadOutcome { Read, OpenFailed, ReadFailed, TooLarge };

// A vault of a hundred thousand entries takes a few MiB: a larger file is
// something else, opened by mistake, and reading it whole would exhaust memory.
inline constexpr qint64 maxVaultSize = qint64(256) * 1024 * 1024;

// What identifies one state of a file without reading it. Any write to the
// file changes its change time, which no program can set back; a file put in
// its place has another inode.
struct FileStamp
{
    qint64 device = -1;
    qint64 inode = -1;
    qint64 size = -1;
    qint64 modified = 0; // nanoseconds since the epoch
    qint64 changed = 0;

    friend bool operator==(const FileStamp &a, const FileStamp &b)
    {
        return a.device == b.device && a.inode == b.inode && a.size == b.size
            && a.modified == b.modified && a.changed == b.changed;
    }
};

// Replaces the file at `path` with `content`, and reports success only once
// the new bytes and their name are synced to disk.
//
// The bytes go to a temporary file beside it that takes the old file's place
// only once all of them are written, so a failed save (a full disk, an I/O
// error) leaves the old file exactly as it was. The new file gets the old
// one's owner, group and permissions first. Where it cannot (someone else's
// file, a group the user is not in, a sticky folder), where the file has
// other hard links, or where the folder refuses the temporary file but the
// file itself is writable, the file is written in place instead, and on
// failure its old bytes are put back. A file this creates is readable and
// writable by its owner only. A symbolic link stays a link: its target is
// written. `stamp`, when given, receives the written file's stamp.
WriteOutcome writeVaultFile(
    const QString &path, const QByteArray &content, FileStamp *stamp = nullptr);

// The stamp of the file at `path` now, or nothing when it cannot be had;
// errno then tells why (ENOENT: there is no file).
std::optional<FileStamp> fileStampOf(const QString &path);

// Reads the whole file at `path` into `content`, unless it is larger than
// maxVaultSize, however it grows while being read. Anything but a regular
// file (a folder, a pipe, a device) is refused without waiting for it.
// `stamp`, when given, receives the stamp of the file as it was just before
// it was read.
ReadOutcome readVaultFile(const QString &path, QByteArray &content, FileStamp *stamp = nullptr);

// While held, no other Keyloft saves into the folder of the vault (the
// folder of a symbolic link's target): every save holds it from its last
// check of the file to the end of the replace. Taking it waits for a save
// under way. Where the folder cannot be opened or locked (some network file
// systems), nothing is held and saves go on as without it.
class VaultLock
{
public:
    VaultLock() = default;
    explicit VaultLock(const QString &vaultPath);
    ~VaultLock();
    VaultLock(const VaultLock &) = delete;
    VaultLock &operator=(const VaultLock &) = delete;

    void acquire(const QString &vaultPath);
    void release();

private:
    int m_fd = -1;
};
