// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultio.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(QFileDevice &file, const QByteArray &content)
{
    return file.write(content) == content.size();
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

bool syncData(QFileDevice &file)
{
    return ::fdatasync(file.handle()) == 0;
}

// A rename is only durable once the folder holding the names is synced too;
// before that, a power cut can bring the old file back.
bool syncFolderOf(const QString &file)
{
    if (file.isEmpty())
        return false;
    const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// Gives the new file the old one's owner, group and permissions, so that a
// vault shared by a group stays shared. False where the process may not.
bool takeOverIdentity(int fd, const struct stat &old)
{
    struct stat now
    {
    };
    if (::fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid)
        && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// Not crash-safe, and so only where replacing the file would lose what makes
// it the same file. Unbuffered, so that a failed write leaves nothing queued
// that would stand in the way of putting the old bytes back.
WriteOutcome writeInPlace(const QString &path, const QByteArray &content, FileStamp *stamp)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return WriteOutcome::OpenFailed;
    const QByteArray previous = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return WriteOutcome::OpenFailed;
    if (file.seek(0) && writeAll(file, content) && file.resize(content.size()) && syncData(file)) {
        recordStamp(file.handle(), stamp);
        return WriteOutcome::Written;
    }

    file.unsetError();
    const bool restored = file.seek(0) && writeAll(file, previous) && file.resize(previous.size())
        && syncData(file);
    return restored ? WriteOutcome::WriteFailed : WriteOutcome::Damaged;
}

// A vault is a regular file. Anything else at the path (a pipe, a device, a
// socket) would block, never end, or be replaced by the save.
bool isSomethingElse(const QFileInfo &target)
{
    return target.exists() && !target.isFile();
}

} // namespace

WriteOutcome writeVaultFile(const QString &path, const QByteArray &content, FileStamp *stamp)
{
    struct stat old
    {
    };
    const bool existed = ::stat(QFile::encodeName(path).constData(), &old) == 0;
    // A file that is there but cannot be looked at must not be taken for a
    // missing one: a new file would lose its owner and permissions. Nor is
    // anything but a regular file a vault (see isSomethingElse).
    if ((!existed && errno != ENOENT) || (existed && !S_ISREG(old.st_mode)))
        return WriteOutcome::OpenFailed;
    // Replacing one name of a hard-linked file would split it in two.
    if (existed && old.st_nlink > 1)
        return writeInPlace(path, content, stamp);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (existed && ::access(QFile::encodeName(path).constData(), W_OK) == 0)
            return writeInPlace(path, content, stamp);
        return WriteOutcome::OpenFailed;
    }
    if (!existed) {
        if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            file.cancelWriting();
            return WriteOutcome::OpenFailed;
        }
    } else if (!takeOverIdentity(int(file.handle()), old)) {
        file.cancelWriting();
        return writeInPlace(path, content, stamp);
    }
    // QSaveFile::commit() does not see a failure to flush its last buffered
    // bytes, so the flush is checked here, before the file takes the old one's place.
    if (!writeAll(file, content) || !file.flush()) {
        file.cancelWriting();
        return WriteOutcome::WriteFailed;
    }
    if (!file.commit() || !syncFolderOf(QFileInfo(path).canonicalFilePath()))
        return WriteOutcome::WriteFailed;

    if (stamp)
        *stamp = fileStampOf(path).value_or(FileStamp());
    return WriteOutcome::Written;
}

std::optional<FileStamp> fileStampOf(const QString &path)
{
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return stampOf(status);
}

ReadOutcome readVaultFile(const QString &path, QByteArray &content, FileStamp *stamp)
{
    if (isSomethingElse(QFileInfo(path)))
        return ReadOutcome::OpenFailed;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadOutcome::OpenFailed;
    recordStamp(file.handle(), stamp);
    if (file.size() > maxVaultSize)
        return ReadOutcome::TooLarge;
    content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        content.clear();
        return ReadOutcome::ReadFailed;
    }
    return ReadOutcome::Read;
}
