// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultio.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <acl/libacl.h>
#include <algorithm>
#include <attr/libattr.h>
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

// Opens `name` in `folder` without following a link and without waiting for
// a writer (a pipe put there would block the open forever), and keeps the
// descriptor only when it is a regular file, after which reads and writes
// block as usual again. `status` receives the file's status.
int openRegularFile(int folder, const QByteArray &name, int flags, struct stat *status)
{
    const int fd = ::openat(folder, name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
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

// A name for a temporary file beside `name`, most likely not taken.
QByteArray freshNameBeside(const QByteArray &name)
{
    return name + '.' + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
}

// A new, empty file in `folder` that nobody else can open, for the new
// bytes. Where the file system allows, it has no name until it is complete
// (see nameTemporary), so a process killed meanwhile leaves nothing behind;
// elsewhere it is created under a fresh name beside `name`, which goes to
// `created`.
int createTemporary(int folder, const QByteArray &name, QByteArray &created)
{
    created.clear();
    const int unnamed = ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (unnamed >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != ENOENT))
        return unnamed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = freshNameBeside(name);
        const int fd
            = ::openat(folder, created.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the finished temporary file a name beside `name`, if it has none.
bool nameTemporary(int folder, int fd, const QByteArray &name, QByteArray &created)
{
    if (!created.isEmpty())
        return true;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = freshNameBeside(name);
        if (::linkat(AT_FDCWD, self.constData(), folder, created.constData(), AT_SYMLINK_FOLLOW)
            == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    created.clear();
    return false;
}

// Not crash-safe, and so only where replacing the file would lose what makes
// it the same file. It opens the file that was examined or nothing: never
// one created meanwhile (with whatever permissions), never a link, a pipe or
// another file put there since.
WriteOutcome writeInPlace(int folder, const QByteArray &name, const struct stat &old,
    const QByteArray &content, FileStamp *stamp)
{
    struct stat status
    {
    };
    const Descriptor file(openRegularFile(folder, name, O_RDWR, &status));
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

QByteArray nameOf(const QString &target)
{
    return QFile::encodeName(QFileInfo(target).fileName());
}

} // namespace

VaultLocation::VaultLocation(const QString &path)
    : m_target(resolvedVaultPath(path))
{
    m_folder = ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(),
        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0)
        m_folder = -errno;
}

VaultLocation::~VaultLocation()
{
    if (m_folder >= 0)
        ::close(m_folder); // closing the folder drops the lock too
}

void VaultLocation::lock()
{
    while (m_folder >= 0 && ::flock(m_folder, LOCK_EX) != 0 && errno == EINTR) { }
}

void VaultLocation::unlock()
{
    if (m_folder >= 0)
        ::flock(m_folder, LOCK_UN);
}

std::optional<FileStamp> VaultLocation::stamp() const
{
    if (m_folder < 0) {
        errno = -m_folder;
        return std::nullopt;
    }
    struct stat status
    {
    };
    if (::fstatat(m_folder, nameOf(m_target).constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return stampOf(status);
}

ReadOutcome VaultLocation::read(QByteArray &content, FileStamp *stamp) const
{
    struct stat status
    {
    };
    const Descriptor file(
        m_folder < 0 ? -1 : openRegularFile(m_folder, nameOf(m_target), O_RDONLY, &status));
    if (file.get() < 0)
        return ReadOutcome::OpenFailed;
    if (stamp)
        *stamp = stampOf(status);
    if (qint64(status.st_size) > maxVaultSize)
        return ReadOutcome::TooLarge;
    return readBounded(file.get(), qint64(status.st_size), content);
}

WriteOutcome VaultLocation::write(
    const QByteArray &content, const FoundFile *expected, FileStamp *stamp)
{
    if (m_folder < 0)
        return WriteOutcome::OpenFailed;
    const QByteArray name = nameOf(m_target);
    struct stat old
    {
    };
    const bool existed = ::fstatat(m_folder, name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    // A file that is there but cannot be looked at must not be taken for a
    // missing one: a new file would lose its owner and permissions.
    if (!existed && errno != ENOENT)
        return WriteOutcome::OpenFailed;
    if (expected
        && (expected->exists != existed || (existed && !(expected->stamp == stampOf(old)))))
        return WriteOutcome::Changed;
    // Nor is anything but a regular file a vault: a pipe, a device or a
    // socket would block, never end, or be replaced by the save; a link put
    // there since the path was resolved leads elsewhere.
    if (existed && !S_ISREG(old.st_mode))
        return WriteOutcome::OpenFailed;
    // Replacing one name of a hard-linked file would split it in two.
    if (existed && old.st_nlink > 1)
        return writeInPlace(m_folder, name, old, content, stamp);

    struct stat opened
    {
    };
    const Descriptor previous(existed ? openRegularFile(m_folder, name, O_RDONLY, &opened) : -1);
    if (existed && (previous.get() < 0 || opened.st_ino != old.st_ino))
        return writeInPlace(m_folder, name, old, content, stamp);
    QByteArray temporary;
    const Descriptor file(createTemporary(m_folder, name, temporary));
    if (file.get() < 0) {
        if (existed && ::faccessat(m_folder, name.constData(), W_OK, 0) == 0)
            return writeInPlace(m_folder, name, old, content, stamp);
        return WriteOutcome::OpenFailed;
    }
    const auto discard = [&] {
        if (!temporary.isEmpty())
            ::unlinkat(m_folder, temporary.constData(), 0);
    };
    if (!existed && ::fchmod(file.get(), 0600) != 0) {
        discard();
        return WriteOutcome::OpenFailed;
    }
    if (existed && !takeOverIdentity(file.get(), previous.get(), old)) {
        discard();
        return writeInPlace(m_folder, name, old, content, stamp);
    }
    // The new file's bytes are on disk before it takes the old one's place.
    if (!writeFrom(file.get(), content) || ::fdatasync(file.get()) != 0
        || !nameTemporary(m_folder, file.get(), name, temporary)
        || ::renameat(m_folder, temporary.constData(), m_folder, name.constData()) != 0) {
        discard();
        return WriteOutcome::WriteFailed;
    }
    // The vault holds the new bytes from here on, whatever follows. The
    // rename itself is durable only once the folder is synced too; before
    // that, a power cut can bring the old file back.
    recordStamp(file.get(), stamp);
    return ::fsync(m_folder) == 0 ? WriteOutcome::Written : WriteOutcome::Unconfirmed;
}
