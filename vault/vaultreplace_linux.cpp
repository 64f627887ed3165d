// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/descriptors_linux.h"
#include "vault/vaultjournal_linux.h"

#include <QScopeGuard>

#include <acl/libacl.h>
#include <attr/libattr.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Gives the new file everything of the old one's that decides who may use
// it: owner, group, permissions, access control lists, and the extended
// attributes that go with it (those the system marks as not to be copied
// stay behind). False where the process may not.
bool takeOverIdentity(int fd, int oldFd, const struct stat &old)
{
    struct stat now
    {
    };
    if (::fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid)
        && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    return ::fchmod(fd, old.st_mode & 07777) == 0
        && ::perm_copy_fd(nullptr, oldFd, nullptr, fd, nullptr) == 0
        && ::attr_copy_fd(nullptr, oldFd, nullptr, fd, nullptr, nullptr) == 0;
}

// Whether the file a look found as `old` is `now`, taken out of the vault's
// name: the rename itself gives it a new change time.
bool isSameVersion(const struct stat &now, const struct stat &old)
{
    const FileStamp a = stampOf(now);
    const FileStamp b = stampOf(old);
    return a.isSameFile(b) && a.size == b.size && a.modified == b.modified;
}

// Puts the finished new file, named `temporary`, in the place of the vault
// at `name`, which the last look found to be `old`. The two names are
// exchanged in one step, so the file taken out can be compared with that
// one: when another program's file took the name meanwhile, it is put back
// (WriteOutcome::Changed). Afterwards `temporary` names what is no longer
// the vault, if anything.
// A step of the replace that failed: a missing file is a changed one.
WriteResult failedStep(int error)
{
    if (error == ENOENT)
        return { WriteOutcome::Changed, {} };
    return { WriteOutcome::WriteFailed, { error, {} } };
}

WriteResult exchangeWithVault(
    int folder, QByteArray &temporary, const QByteArray &name, const struct stat &old, int fd)
{
    struct stat out
    {
    };
    if (::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_EXCHANGE)
        != 0) {
        if (errno != EINVAL)
            return failedStep(errno);
        // The file system knows no exchange: a last look, then a plain rename.
        if (::fstatat(folder, name.constData(), &out, AT_SYMLINK_NOFOLLOW) != 0)
            return failedStep(errno);
        if (!(stampOf(out) == stampOf(old)))
            return { WriteOutcome::Changed, {} };
        if (::renameat(folder, temporary.constData(), folder, name.constData()) != 0)
            return { WriteOutcome::WriteFailed, { errno, {} } };
        temporary.clear();
        return { WriteOutcome::Written, {} };
    }
    if (::fstatat(folder, temporary.constData(), &out, AT_SYMLINK_NOFOLLOW) == 0
        && isSameVersion(out, old))
        return { WriteOutcome::Written, {} };

    // Another program's file took the name between the last look and the
    // exchange. It goes back, and the next look asks about it.
    if (::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_EXCHANGE)
        != 0) {
        const bool back = ::renameat(folder, temporary.constData(), folder, name.constData()) == 0;
        const int error = back ? 0 : errno;
        temporary.clear(); // another program's file, not Keyloft's to remove
        if (back)
            return { WriteOutcome::Changed, {} };
        return { WriteOutcome::WriteFailed, { error, {} } };
    }
    // A third file that took the name between the two exchanges is the
    // newest: it keeps the name, and the one it took the place of goes, as
    // its own rename would have made it go.
    struct stat mine
    {
    };
    if (::fstat(fd, &mine) == 0
        && ::fstatat(folder, temporary.constData(), &out, AT_SYMLINK_NOFOLLOW) == 0
        && out.st_ino != mine.st_ino)
        ::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_EXCHANGE);
    return { WriteOutcome::Changed, {} };
}

// Gives the finished new file, named `temporary`, the vault's name, which
// the last look found free: only while it is still free.
WriteResult placeNew(int folder, QByteArray &temporary, const QByteArray &name)
{
    if (::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_NOREPLACE)
        != 0) {
        if (errno == EEXIST)
            return { WriteOutcome::Changed, {} };
        if (errno != EINVAL)
            return { WriteOutcome::WriteFailed, { errno, {} } };
        // The file system cannot refuse to replace: a last look, then a
        // plain rename.
        struct stat now
        {
        };
        if (::fstatat(folder, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0)
            return { WriteOutcome::Changed, {} };
        if (errno != ENOENT)
            return { WriteOutcome::WriteFailed, { errno, {} } };
        if (::renameat(folder, temporary.constData(), folder, name.constData()) != 0)
            return { WriteOutcome::WriteFailed, { errno, {} } };
    }
    temporary.clear();
    return { WriteOutcome::Written, {} };
}

} // namespace

void VaultLocation::handLockTo(int fd)
{
    if (m_lockedFile < 0)
        return;
    ::close(std::exchange(m_lockedFile, -1));
    // Nobody else has opened the new file yet.
    ::flock(fd, LOCK_EX | LOCK_NB);
}

WriteResult VaultLocation::write(
    const QByteArray &content, const FoundFile *expected, FileStamp *stamp)
{
    if (m_folder < 0)
        return { WriteOutcome::OpenFailed, m_folderError };
    if (!m_lockError.isEmpty())
        return { WriteOutcome::OpenFailed, m_lockError };
    const QByteArray name = nameOf(m_target);
    struct stat old
    {
    };
    const bool existed = ::fstatat(m_folder, name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    // A file that is there but cannot be looked at must not be taken for a
    // missing one: a new file would lose its owner and permissions.
    if (!existed && errno != ENOENT)
        return { WriteOutcome::OpenFailed, { errno, {} } };
    if (expected
        && (expected->exists != existed || (existed && !(expected->stamp == stampOf(old)))))
        return { WriteOutcome::Changed, {} };
    // Nor is anything but a regular file a vault: a pipe, a device or a
    // socket would block, never end, or be replaced by the save; a link put
    // there since the path was resolved leads elsewhere. The reason given is
    // the one the system gives for writing to such a file.
    if (existed && !S_ISREG(old.st_mode))
        return { WriteOutcome::OpenFailed, { S_ISDIR(old.st_mode) ? EISDIR : ENXIO, {} } };
    const auto inPlace = [&] {
        return writeInPlace(m_folder, name, m_target, old, content, stamp);
    };
    // Replacing one name of a hard-linked file would split it in two.
    if (existed && old.st_nlink > 1)
        return inPlace();

    struct stat opened
    {
    };
    Descriptor previous(existed ? openRegularFile(m_folder, name, O_RDONLY, &opened) : -1);
    if (existed && (previous.get() < 0 || opened.st_ino != old.st_ino))
        return inPlace();
    QByteArray temporary;
    Descriptor file(createTemporary(m_folder, name, temporary));
    if (file.get() < 0) {
        const int error = errno;
        if (existed && ::faccessat(m_folder, name.constData(), W_OK, 0) == 0)
            return inPlace();
        return { WriteOutcome::OpenFailed, { error, {} } };
    }
    // Whatever the temporary name holds when the write ends is not the
    // vault: the new bytes that did not take its place, or the old ones
    // taken out of it. Some file systems (FUSE mounts among them) hide a
    // file whose name goes while it is still open under a name of their
    // own, which a power cut leaves for good: every file is closed before
    // its name goes.
    const auto removeTemporary = qScopeGuard([&] {
        if (temporary.isEmpty())
            return;
        file.reset();
        ::unlinkat(m_folder, temporary.constData(), 0);
    });
    if (!existed && ::fchmod(file.get(), 0600) != 0)
        return { WriteOutcome::OpenFailed, { errno, {} } };
    if (existed && !takeOverIdentity(file.get(), previous.get(), old))
        return inPlace();
    // Those file systems hide a file that is still open when it is
    // replaced too, in a step of their own: the old vault is closed before
    // its name is touched, and its lock is the new file's from here on.
    previous.reset();
    handLockTo(file.get());

    // The new file's bytes are on disk before it takes the old one's place.
    int error = writeFrom(file.get(), content);
    if (error == 0)
        error = errorOf(::fdatasync(file.get()));
    if (error == 0)
        error = nameTemporary(m_folder, file.get(), name, temporary);
    if (error != 0)
        return { WriteOutcome::WriteFailed, { error, {} } };
    const WriteResult placed = existed
        ? exchangeWithVault(m_folder, temporary, name, old, file.get())
        : placeNew(m_folder, temporary, name);
    if (placed.outcome != WriteOutcome::Written)
        return placed;
    // The vault holds the new bytes from here on, whatever follows. The
    // rename itself is durable only once the folder is synced too; before
    // that, a power cut can bring the old file back.
    if (!temporary.isEmpty())
        ::unlinkat(m_folder, std::exchange(temporary, QByteArray()).constData(), 0);
    recordStamp(file.get(), stamp);
    if (::fsync(m_folder) == 0)
        return { WriteOutcome::Written, {} };
    return { WriteOutcome::Unconfirmed, { errno, {} } };
}
