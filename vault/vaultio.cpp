// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultio.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor it holds when it goes.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    { }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Opens `path` without waiting for a writer (a pipe swapped in would block
// the open forever) and keeps the descriptor only when it is a regular
// file, after which reads and writes block as usual again. `status`
// receives the file's status.
int openRegularFile(const QString &path, int flags, struct stat *status)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const int mode = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, status) != 0 || !S_ISREG(status->st_mode) || mode < 0
        || ::fcntl(fd, F_SETFL, mode & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads from `fd` to its end, but never more than maxVaultSize + 1 bytes, so
// that a file growing while it is read cannot exhaust memory. `sizeHint` is
// what the file's status told.
ReadOutcome readBounded(int fd, qint64 sizeHint, QByteArray &content)
{
    constexpr qint64 limit = maxVaultSize + 1;
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
            return ReadOutcome::ReadFailed;
        if (count == 0)
            break;
        total += count;
    }
    if (total > maxVaultSize)
        return ReadOutcome::TooLarge;
    bytes.truncate(total);
    content = bytes;
    return ReadOutcome::Read;
}

// Writes all of `content` at the start of `fd`.
bool writeFrom(int fd, const QByteArray &content)
{
    qint64 done = 0;
    while (done < content.size()) {
        const ssize_t count
            = ::pwrite(fd, content.constData() + done, size_t(content.size() - done), off_t(done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        done += count;
    }
    return true;
}

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
// it the same file. It opens the file that was examined or nothing: never
// one created meanwhile (with whatever permissions), never a pipe or another
// file swapped in since.
WriteOutcome writeInPlace(
    const QString &path, const struct stat &old, const QByteArray &content, FileStamp *stamp)
{
    struct stat status
    {
    };
    const Descriptor file(openRegularFile(path, O_RDWR, &status));
    if (file.get() < 0 || status.st_dev != old.st_dev || status.st_ino != old.st_ino)
        return WriteOutcome::OpenFailed;
    QByteArray previous;
    if (readBounded(file.get(), qint64(status.st_size), previous) != ReadOutcome::Read)
        return WriteOutcome::OpenFailed;
    if (writeFrom(file.get(), content) && ::ftruncate(file.get(), off_t(content.size())) == 0
        && ::fdatasync(file.get()) == 0) {
        recordStamp(file.get(), stamp);
        return WriteOutcome::Written;
    }

    const bool restored = writeFrom(file.get(), previous)
        && ::ftruncate(file.get(), off_t(previous.size())) == 0 && ::fdatasync(file.get()) == 0;
    return restored ? WriteOutcome::WriteFailed : WriteOutcome::Damaged;
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
    // anything but a regular file a vault: a pipe, a device or a socket would
    // block, never end, or be replaced by the save.
    if ((!existed && errno != ENOENT) || (existed && !S_ISREG(old.st_mode)))
        return WriteOutcome::OpenFailed;
    // Replacing one name of a hard-linked file would split it in two.
    if (existed && old.st_nlink > 1)
        return writeInPlace(path, old, content, stamp);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (existed && ::access(QFile::encodeName(path).constData(), W_OK) == 0)
            return writeInPlace(path, old, content, stamp);
        return WriteOutcome::OpenFailed;
    }
    if (!existed) {
        if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            file.cancelWriting();
            return WriteOutcome::OpenFailed;
        }
    } else if (!takeOverIdentity(int(file.handle()), old)) {
        file.cancelWriting();
        return writeInPlace(path, old, content, stamp);
    }
    // QSaveFile::commit() does not see a failure to flush its last buffered
    // bytes, and goes on to the rename when its own sync fails: both are
    // checked here, before the file takes the old one's place.
    if (!writeAll(file, content) || !file.flush() || ::fdatasync(int(file.handle())) != 0) {
        file.cancelWriting();
        return WriteOutcome::WriteFailed;
    }
    if (!file.commit())
        return WriteOutcome::WriteFailed;
    // The vault holds the new bytes from here on, whatever follows.
    if (stamp)
        *stamp = fileStampOf(path).value_or(FileStamp());
    return syncFolderOf(QFileInfo(path).canonicalFilePath()) ? WriteOutcome::Written
                                                             : WriteOutcome::Unconfirmed;
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
    struct stat status
    {
    };
    const Descriptor file(openRegularFile(path, O_RDONLY, &status));
    if (file.get() < 0)
        return ReadOutcome::OpenFailed;
    if (stamp)
        *stamp = stampOf(status);
    if (qint64(status.st_size) > maxVaultSize)
        return ReadOutcome::TooLarge;
    return readBounded(file.get(), qint64(status.st_size), content);
}

VaultLock::VaultLock(const QString &vaultPath)
{
    acquire(vaultPath);
}

VaultLock::~VaultLock()
{
    release();
}

void VaultLock::acquire(const QString &vaultPath)
{
    release();
    const QFileInfo vault(vaultPath);
    const QString target = vault.canonicalFilePath();
    const QByteArray folder = QFile::encodeName(
        target.isEmpty() ? vault.absolutePath() : QFileInfo(target).absolutePath());
    m_fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    int result = 0;
    do
        result = ::flock(m_fd, LOCK_EX);
    while (result != 0 && errno == EINTR);
    if (result != 0)
        release();
}

void VaultLock::release()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the last descriptor of the folder drops the lock
    m_fd = -1;
}
