// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/descriptors_linux.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

int errorOf(int result)
{
    return result == 0 ? 0 : errno;
}

int openRegularFile(int folder, const QByteArray &name, int flags, struct stat *status)
{
    const int fd = ::openat(folder, name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const int mode = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, status) != 0 || mode < 0 || ::fcntl(fd, F_SETFL, mode & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    if (!S_ISREG(status->st_mode)) {
        ::close(fd);
        errno = S_ISDIR(status->st_mode) ? EISDIR : ENXIO;
        return -1;
    }
    return fd;
}

ReadResult readBounded(int fd, qint64 sizeHint, qint64 maxSize, QByteArray &content)
{
    if (sizeHint > maxSize)
        return { ReadOutcome::TooLarge, {} };
    const qint64 limit = maxSize + 1;
    QByteArray bytes(std::clamp(sizeHint + 1, qint64(4096), limit), Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total >= limit)
                break;
            bytes.resize(std::min(2 * total, limit));
        }
        const ssize_t count = ::read(fd, bytes.data() + total, size_t(bytes.size() - total));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return { ReadOutcome::ReadFailed, { errno, {} } };
        if (count == 0)
            break;
        total += count;
    }
    if (total > maxSize)
        return { ReadOutcome::TooLarge, {} };
    bytes.truncate(total);
    content = bytes;
    return { ReadOutcome::Read, {} };
}

int writeFrom(int fd, const QByteArray &content)
{
    qint64 done = 0;
    while (done < content.size()) {
        const ssize_t count
            = ::pwrite(fd, content.constData() + done, size_t(content.size() - done), off_t(done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return errno;
        // A write that takes nothing is how some file systems tell a full disk.
        if (count == 0)
            return ENOSPC;
        done += count;
    }
    return 0;
}

int replaceContent(int fd, const QByteArray &content)
{
    int error = writeFrom(fd, content);
    if (error == 0)
        error = errorOf(::ftruncate(fd, off_t(content.size())));
    return error != 0 ? error : errorOf(::fdatasync(fd));
}

FileStamp stampOf(const struct stat &status)
{
    FileStamp stamp;
    stamp.device = qint64(status.st_dev);
    stamp.inode = qint64(status.st_ino);
    stamp.size = qint64(status.st_size);
    stamp.modified = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    stamp.changed = qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;
    return stamp;
}

void recordStamp(int fd, FileStamp *stamp)
{
    struct stat status
    {
    };
    if (stamp && ::fstat(fd, &status) == 0)
        *stamp = stampOf(status);
}

QByteArray ownName(const QByteArray &vaultName, const char *mark)
{
    const QByteArray stem = vaultName.size() <= 160 ? vaultName : blake2b(vaultName, 16).toHex();
    return '.' + stem + mark;
}

namespace {

QByteArray temporaryPrefix(const QByteArray &vaultName)
{
    return ownName(vaultName, ".keyloft-save-");
}

// A name for a temporary file beside `vaultName`, most likely not taken.
QByteArray freshTemporaryName(const QByteArray &vaultName)
{
    return temporaryPrefix(vaultName)
        + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
}

} // namespace

int createTemporary(int folder, const QByteArray &name, QByteArray &created)
{
    created.clear();
    const int unnamed = ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (unnamed >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != ENOENT))
        return unnamed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = freshTemporaryName(name);
        const int fd
            = ::openat(folder, created.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

int nameTemporary(int folder, int fd, const QByteArray &name, QByteArray &created)
{
    if (!created.isEmpty())
        return 0;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        created = freshTemporaryName(name);
        error = errorOf(
            ::linkat(AT_FDCWD, self.constData(), folder, created.constData(), AT_SYMLINK_FOLLOW));
    }
    if (error != 0)
        created.clear();
    return error;
}

void removeTemporaries(int folder, const QByteArray &name, qint64 before)
{
    const QByteArray prefix = name.isEmpty() ? QByteArray(".") : temporaryPrefix(name);
    DIR *listing = ::fdopendir(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing)
        return;
    QByteArrayList leftovers;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArrayView found(entry->d_name);
        if (found.startsWith(prefix) && (!name.isEmpty() || found.contains(".keyloft-save-")))
            leftovers.append(QByteArray(entry->d_name));
    }
    ::closedir(listing);
    for (const QByteArray &leftover : leftovers) {
        struct stat status
        {
        };
        if (::fstatat(folder, leftover.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(status.st_mode) && (before == 0 || stampOf(status).modified < before))
            ::unlinkat(folder, leftover.constData(), 0);
    }
}

QByteArray nameOf(const QString &target)
{
    return QFile::encodeName(QFileInfo(target).fileName());
}
