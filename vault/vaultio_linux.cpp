// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/descriptors_linux.h"
#include "vault/vaultio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtEndian>

#include <acl/libacl.h>
#include <algorithm>
#include <attr/libattr.h>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sodium.h>
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

// Keyloft's own files beside a vault are hidden and carry a mark that no
// other program uses, so that nothing but what Keyloft left is ever taken
// for one; a name too long to take the mark is stood for by its hash.
QByteArray ownName(const QByteArray &vaultName, const char *mark)
{
    const QByteArray stem = vaultName.size() <= 160 ? vaultName : blake2b(vaultName, 16).toHex();
    return '.' + stem + mark;
}

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
        created = freshTemporaryName(name);
        const int fd
            = ::openat(folder, created.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the finished temporary file a name beside `name`, if it has none:
// 0, or the system's error.
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

// Removes the temporary files that saves of `name` killed midway left in
// `folder`: a new vault not yet in place, or an old one taken out of it.
void removeTemporaries(int folder, const QByteArray &name)
{
    const QByteArray prefix = temporaryPrefix(name);
    DIR *listing = ::fdopendir(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing)
        return;
    QByteArrayList leftovers;
    while (const dirent *entry = ::readdir(listing)) {
        if (qstrncmp(entry->d_name, prefix.constData(), size_t(prefix.size())) == 0)
            leftovers.append(QByteArray(entry->d_name));
    }
    ::closedir(listing);
    for (const QByteArray &leftover : leftovers) {
        struct stat status
        {
        };
        if (::fstatat(folder, leftover.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(status.st_mode))
            ::unlinkat(folder, leftover.constData(), 0);
    }
}

// The journal of a write in place holds the vault's old and new bytes, the
// file they belong to and a checksum over all of it, so that a journal cut
// short is known for one:
//   magic, device, inode, old size, new size (64 bits, little-endian each),
//   BLAKE2b-256 of all that and both contents, old bytes, new bytes.
constexpr char journalMagic[] = "KEYLOFT-JOURNAL-1\n";
constexpr qsizetype journalFieldsSize = sizeof journalMagic - 1 + 4 * 8;
constexpr qsizetype journalChecksumSize = crypto_generichash_BYTES;

struct Journal
{
    quint64 device = 0;
    quint64 inode = 0;
    QByteArray old;
    QByteArray now;
};

QByteArray journalChecksum(const QByteArray &fields, const QByteArray &old, const QByteArray &now)
{
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, journalChecksumSize);
    for (const QByteArray *part : { &fields, &old, &now })
        crypto_generichash_update(&state,
            reinterpret_cast<const unsigned char *>(part->constData()),
            static_cast<unsigned long long>(part->size()));
    QByteArray checksum(journalChecksumSize, Qt::Uninitialized);
    crypto_generichash_final(
        &state, reinterpret_cast<unsigned char *>(checksum.data()), journalChecksumSize);
    return checksum;
}

QByteArray encodeJournal(const Journal &journal)
{
    QByteArray fields(journalMagic);
    for (const quint64 value : { journal.device, journal.inode, quint64(journal.old.size()),
             quint64(journal.now.size()) }) {
        char bytes[8];
        qToLittleEndian(value, bytes);
        fields.append(bytes, 8);
    }
    return fields + journalChecksum(fields, journal.old, journal.now) + journal.old + journal.now;
}

std::optional<Journal> decodeJournal(const QByteArray &bytes)
{
    const qsizetype contentStart = journalFieldsSize + journalChecksumSize;
    if (bytes.size() < contentStart || !bytes.startsWith(journalMagic))
        return std::nullopt;
    quint64 values[4];
    for (int i = 0; i < 4; ++i)
        values[i] = qFromLittleEndian<quint64>(bytes.constData() + sizeof journalMagic - 1 + 8 * i);
    const quint64 oldSize = values[2];
    const quint64 newSize = values[3];
    if (oldSize > quint64(maxVaultSize) || newSize > quint64(maxVaultSize)
        || quint64(bytes.size() - contentStart) != oldSize + newSize)
        return std::nullopt;
    Journal journal { values[0], values[1], bytes.mid(contentStart, qsizetype(oldSize)),
        bytes.mid(contentStart + qsizetype(oldSize)) };
    if (journalChecksum(bytes.left(journalFieldsSize), journal.old, journal.now)
        != bytes.mid(journalFieldsSize, journalChecksumSize))
        return std::nullopt;
    return journal;
}

// True when `content` is what an interrupted write of `now` over `old`
// can have left: every byte from one of them, or never written at all.
bool isTornBetween(const QByteArray &content, const QByteArray &old, const QByteArray &now)
{
    if (content.size() > std::max(old.size(), now.size()))
        return false;
    for (qsizetype i = 0; i < content.size(); ++i) {
        const char byte = content.at(i);
        if (byte != 0 && !(i < now.size() && byte == now.at(i))
            && !(i < old.size() && byte == old.at(i)))
            return false;
    }
    return true;
}

// Where a vault's journal is kept: beside the vault, or in Keyloft's data
// folder under a name drawn from the vault's path.
struct JournalPlace
{
    int folder = -1;
    Descriptor ownFolder;
    QByteArray name;
};

void placeBeside(JournalPlace &place, int folder, const QByteArray &vaultName)
{
    place.ownFolder.reset();
    place.folder = folder;
    place.name = ownName(vaultName, ".keyloft-journal");
}

// False when there is no data folder, or it cannot be made.
bool placeInDataFolder(JournalPlace &place, const QString &target, bool create)
{
    const QString data = keyloftDataFolder();
    const QString folder = data + QStringLiteral("/journals");
    if (data.isEmpty() || (create && !makePrivateFolder(folder).isEmpty()))
        return false;
    place.ownFolder.reset(::open(
        QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    place.folder = place.ownFolder.get();
    place.name = "journal-" + blake2b(QFile::encodeName(target), 16).toHex();
    return place.folder >= 0;
}

// Writes the journal, synced with its name, beside the vault or, where
// that folder takes no new file, in the data folder; `place` receives
// where it went. Returns 0, or the system's error.
int writeJournal(int folder, const QByteArray &vaultName, const QString &target,
    const QByteArray &journal, JournalPlace &place)
{
    int error = 0;
    for (const bool beside : { true, false }) {
        if (beside)
            placeBeside(place, folder, vaultName);
        else if (!placeInDataFolder(place, target, true))
            break;
        // A journal left there is one that was no longer needed.
        ::unlinkat(place.folder, place.name.constData(), 0);
        const Descriptor file(::openat(place.folder, place.name.constData(),
            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        error = file.get() < 0 ? errno : writeFrom(file.get(), journal);
        if (error == 0)
            error = errorOf(::fdatasync(file.get()));
        if (error == 0)
            error = errorOf(::fsync(place.folder));
        if (error == 0)
            return 0;
        if (file.get() >= 0)
            ::unlinkat(place.folder, place.name.constData(), 0);
    }
    return error;
}

// Not crash-safe by itself, and so only where replacing the file would lose
// what makes it the same file: a journal makes it so. It opens the file that
// was examined or nothing: never one created meanwhile (with whatever
// permissions), never a link, a pipe or another file put there since.
WriteResult writeInPlace(int folder, const QByteArray &name, const QString &target,
    const struct stat &old, const QByteArray &content, FileStamp *stamp)
{
    struct stat status
    {
    };
    const Descriptor file(openRegularFile(folder, name, O_RDWR, &status));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return { WriteOutcome::Changed, {} };
        return { WriteOutcome::OpenFailed, { errno, {} } };
    }
    if (!(stampOf(status) == stampOf(old)))
        return { WriteOutcome::Changed, {} };
    QByteArray previous;
    const ReadResult read = readBounded(file.get(), qint64(status.st_size), maxVaultSize, previous);
    if (read.outcome != ReadOutcome::Read)
        return { WriteOutcome::OpenFailed, read.error };
    JournalPlace journal;
    if (const int error = writeJournal(folder, name, target,
            encodeJournal({ quint64(status.st_dev), quint64(status.st_ino), previous, content }),
            journal))
        return { WriteOutcome::WriteFailed, { error, {} } };

    const int error = replaceContent(file.get(), content);
    if (error == 0) {
        ::unlinkat(journal.folder, journal.name.constData(), 0);
        recordStamp(file.get(), stamp);
        return { WriteOutcome::Written, {} };
    }
    // Where the old bytes cannot be put back either, the journal stays, and
    // the next load or save finishes the write.
    if (replaceContent(file.get(), previous) != 0)
        return { WriteOutcome::Damaged, { error, {} } };
    ::unlinkat(journal.folder, journal.name.constData(), 0);
    return { WriteOutcome::WriteFailed, { error, {} } };
}

// Finishes the write in place that `journal` records, if the vault is still
// the file it was written to and holds what that write can have left.
RecoveryResult finishFromJournal(
    int folder, const QByteArray &name, const Journal &journal, FinishedWrite *finished)
{
    struct stat status
    {
    };
    const Descriptor file(openRegularFile(folder, name, O_RDWR, &status));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return { Recovery::Nothing, {} };
        return { Recovery::Failed, { errno, {} } };
    }
    QByteArray content;
    if (quint64(status.st_dev) != journal.device || quint64(status.st_ino) != journal.inode)
        return { Recovery::Nothing, {} };
    const ReadResult read = readBounded(file.get(), qint64(status.st_size), maxVaultSize, content);
    if (read.outcome != ReadOutcome::Read)
        return { Recovery::Failed, read.error };
    if (content == journal.now || !isTornBetween(content, journal.old, journal.now))
        return { Recovery::Nothing, {} };
    if (const int error = replaceContent(file.get(), journal.now))
        return { Recovery::Failed, { error, {} } };
    if (finished) {
        finished->before = content;
        finished->after = journal.now;
        recordStamp(file.get(), &finished->stamp);
    }
    return { Recovery::Finished, {} };
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
        m_folderError = { errno, {} };
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

StampResult VaultLocation::stamp() const
{
    // A folder that does not exist holds no file either.
    if (m_folder < 0)
        return { std::nullopt, m_folderError.code == ENOENT, m_folderError };
    struct stat status
    {
    };
    if (::fstatat(m_folder, nameOf(m_target).constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return { std::nullopt, errno == ENOENT, { errno, {} } };
    return { stampOf(status), false, {} };
}

ReadResult VaultLocation::read(QByteArray &content, FileStamp *stamp, qint64 maxSize) const
{
    if (m_folder < 0) {
        const bool missing = m_folderError.code == ENOENT;
        return { missing ? ReadOutcome::Missing : ReadOutcome::OpenFailed, m_folderError };
    }
    struct stat status
    {
    };
    const Descriptor file(openRegularFile(m_folder, nameOf(m_target), O_RDONLY, &status));
    if (file.get() < 0)
        return { errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::OpenFailed, { errno, {} } };
    if (stamp)
        *stamp = stampOf(status);
    return readBounded(file.get(), qint64(status.st_size), maxSize, content);
}

WriteResult VaultLocation::write(
    const QByteArray &content, const FoundFile *expected, FileStamp *stamp)
{
    if (m_folder < 0)
        return { WriteOutcome::OpenFailed, m_folderError };
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
    const Descriptor file(createTemporary(m_folder, name, temporary));
    if (file.get() < 0) {
        const int error = errno;
        if (existed && ::faccessat(m_folder, name.constData(), W_OK, 0) == 0)
            return inPlace();
        return { WriteOutcome::OpenFailed, { error, {} } };
    }
    // Whatever the temporary name holds when the write ends is not the
    // vault: the new bytes that did not take its place, or the old ones
    // taken out of it.
    const auto removeTemporary = qScopeGuard([&] {
        if (!temporary.isEmpty())
            ::unlinkat(m_folder, temporary.constData(), 0);
    });
    if (!existed && ::fchmod(file.get(), 0600) != 0)
        return { WriteOutcome::OpenFailed, { errno, {} } };
    if (existed && !takeOverIdentity(file.get(), previous.get(), old))
        return inPlace();
    // Some file systems (FUSE mounts among them) hide a file that is still
    // open when it is replaced, under a name of their own and in a step of
    // their own: the old vault is closed before its name is touched.
    previous.reset();

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

RecoveryResult VaultLocation::finishInterruptedSave(FinishedWrite *finished, FileStamp *tidyFolder)
{
    if (m_folder < 0)
        return { Recovery::Nothing, {} };
    const QByteArray name = nameOf(m_target);
    // A leftover put in the folder changes the folder's stamp; a stamp as
    // recent as the look may yet change without showing it.
    const qint64 lookedAt = nanosecondsNow();
    struct stat folder
    {
    };
    const bool stamped = ::fstat(m_folder, &folder) == 0;
    if (!tidyFolder || !stamped || !(stampOf(folder) == *tidyFolder))
        removeTemporaries(m_folder, name);
    if (tidyFolder)
        *tidyFolder
            = stamped && isSettled(stampOf(folder), lookedAt) ? stampOf(folder) : FileStamp();
    Recovery recovery = Recovery::Nothing;
    for (const bool beside : { true, false }) {
        JournalPlace place;
        if (beside)
            placeBeside(place, m_folder, name);
        else if (!placeInDataFolder(place, m_target, false))
            continue;
        struct stat status
        {
        };
        const Descriptor file(openRegularFile(place.folder, place.name, O_RDONLY, &status));
        if (file.get() < 0)
            continue;
        QByteArray bytes;
        const ReadResult read = readBounded(file.get(), qint64(status.st_size),
            2 * maxVaultSize + journalFieldsSize + journalChecksumSize, bytes);
        if (read.outcome == ReadOutcome::ReadFailed)
            return { Recovery::Failed, read.error };
        const std::optional<Journal> journal = decodeJournal(bytes);
        // A journal cut short was never followed by a write in place.
        const RecoveryResult outcome = journal
            ? finishFromJournal(m_folder, name, *journal, finished)
            : RecoveryResult { Recovery::Nothing, {} };
        if (outcome.outcome == Recovery::Failed)
            return outcome;
        ::unlinkat(place.folder, place.name.constData(), 0);
        if (outcome.outcome == Recovery::Finished)
            recovery = Recovery::Finished;
    }
    return { recovery, {} };
}

std::optional<QByteArray> readOwnFile(const QString &path, qint64 maxSize)
{
    struct stat status
    {
    };
    const Descriptor file(openRegularFile(AT_FDCWD, QFile::encodeName(path), O_RDONLY, &status));
    QByteArray content;
    if (file.get() < 0
        || readBounded(file.get(), qint64(status.st_size), maxSize, content).outcome
            != ReadOutcome::Read)
        return std::nullopt;
    return content;
}

FileError writeOwnFile(const QString &path, const QByteArray &content)
{
    const QFileInfo file(path);
    const QString folderPath = file.absolutePath();
    if (const FileError error = makePrivateFolder(folderPath); !error.isEmpty())
        return error;
    const Descriptor folder(::open(QFile::encodeName(folderPath).constData(),
        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0)
        return { errno, {} };
    const QByteArray name = QFile::encodeName(file.fileName());
    QByteArray temporary;
    const Descriptor written(createTemporary(folder.get(), name, temporary));
    if (written.get() < 0)
        return { errno, {} };
    const auto removeTemporary = qScopeGuard([&] {
        if (!temporary.isEmpty())
            ::unlinkat(folder.get(), temporary.constData(), 0);
    });
    int error = errorOf(::fchmod(written.get(), 0600));
    if (error == 0)
        error = writeFrom(written.get(), content);
    if (error == 0)
        error = errorOf(::fdatasync(written.get()));
    if (error == 0)
        error = nameTemporary(folder.get(), written.get(), name, temporary);
    if (error == 0)
        error = errorOf(
            ::renameat(folder.get(), temporary.constData(), folder.get(), name.constData()));
    if (error != 0)
        return { error, {} };
    temporary.clear();
    return { errorOf(::fsync(folder.get())), {} };
}
