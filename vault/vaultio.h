// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
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
    // The name no longer holds what the last look found there; nothing was
    // written.
    Changed,
};
enum class ReadOutcome { Read, Missing, OpenFailed, ReadFailed, TooLarge };

// Why a file operation failed: the system's error (an errno value) of the
// call that failed (or lockNotReleased) or, where the file layer has no
// such number (Qt's own file access), its description. Empty where the
// outcome says it all: a file too large, or not a regular file.
struct FileError
{
    int code = 0;
    QString text;

    bool isEmpty() const { return code == 0 && text.isEmpty(); }
};

// What a read, a look, a write or a recovery came to, and why it failed.
template<typename Outcome> struct FileResult
{
    Outcome outcome;
    FileError error;
};
using ReadResult = FileResult<ReadOutcome>;
using WriteResult = FileResult<WriteOutcome>;

// How long a save waits for another one that holds the vault's lock, in
// milliseconds, and the error (no errno value) when it was not released.
inline constexpr int lockWait = 10000;
inline constexpr int lockNotReleased = -1;

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

    bool isSameFile(const FileStamp &other) const
    {
        return device == other.device && inode == other.inode;
    }
    friend bool operator==(const FileStamp &a, const FileStamp &b)
    {
        return a.isSameFile(b) && a.size == b.size && a.modified == b.modified
            && a.changed == b.changed;
    }
};

// Nanoseconds since the epoch, as file times count them.
qint64 nanosecondsNow();
// Whether what a file held when it was looked at, at `lookedAt`, is still
// what it holds while its stamp stays `stamp`. A file changed twice within
// one tick of its file system's clock keeps its stamp, so only a stamp
// whose times are both older than the coarsest tick (two seconds on FAT)
// before the look can be trusted.
bool isSettled(const FileStamp &stamp, qint64 lookedAt);

// What a save's last look found at the vault's name: a file with this
// stamp, or no file at all.
struct FoundFile
{
    bool exists = false;
    FileStamp stamp;
};

// A write in place that a kill or a power cut interrupted, finished from its
// journal: the vault's bytes before and after, and the stamp it has now.
struct FinishedWrite
{
    QByteArray before;
    QByteArray after;
    FileStamp stamp;
};
enum class Recovery {
    Nothing, // no interrupted save was found, or what it left was removed
    Finished, // a write in place was finished from its journal
    Failed, // a journal was found, but the vault could not be finished
};
using RecoveryResult = FileResult<Recovery>;

// What is at a name: a file with its stamp, nothing (a missing file), or,
// where it cannot be looked at, why.
struct StampResult
{
    std::optional<FileStamp> stamp;
    bool missing = false;
    FileError error;
};

// One vault file, reached through its folder. The path is resolved once, a
// symbolic link to its target, and every later step works on that folder
// and name: a link, a pipe or another file put there meanwhile is never
// followed or written through.
//
// This is the one place that touches the file system. On Linux it works
// through descriptors; elsewhere (or with KEYLOFT_PORTABLE_FILES) a plain Qt
// version stands in: it replaces the file through QSaveFile, and keeps
// neither the lock, nor owners, hard links, access control lists, extended
// attributes or journals.
class VaultLocation
{
public:
    explicit VaultLocation(const QString &path);
    ~VaultLocation();
    VaultLocation(const VaultLocation &) = delete;
    VaultLocation &operator=(const VaultLocation &) = delete;

    // The resolved path: a symbolic link's target.
    QString target() const { return m_target; }

    // While locked, no other Keyloft saves into this folder or to this
    // file through any of its names: every save holds the lock from its
    // last look at the file to the end of the write. Locking waits for a
    // save under way, but at most lockWait milliseconds: then it holds
    // nothing, and write and finishInterruptedSave fail with the error
    // lockNotReleased, touching nothing. Where the folder or the file cannot
    // be locked (some network file systems), nothing is held and saves go
    // on as without it. A std::unique_lock holds it for a scope.
    void lock();
    void unlock();

    // The stamp of what is at the name now, not followed if it is a link.
    StampResult stamp() const;

    // Reads the whole file into `content`, unless it is larger than
    // maxVaultSize, however it grows while being read. Anything but a
    // regular file (a folder, a pipe, a device, a link) is refused without
    // waiting for it. `stamp`, when given, receives the stamp of the file as
    // it was just before it was read. `maxSize` lowers the bound.
    ReadResult read(
        QByteArray &content, FileStamp *stamp = nullptr, qint64 maxSize = maxVaultSize) const;

    // Replaces the file with `content`, and reports success only once the
    // new bytes and their name are synced to disk. With `expected`, only
    // the file a look found there is replaced (WriteOutcome::Changed
    // otherwise, and the name keeps what another program put there).
    //
    // The bytes go to a temporary file beside it that takes the old file's
    // place only once all of them are written and synced, so a failed save
    // (a full disk, an I/O error) leaves the old file exactly as it was. The
    // two are exchanged in one step, and the file taken out is compared with
    // the one expected: another program's file that took the name meanwhile
    // is put back. Where no file was, the new one takes the name only while
    // it is free. File systems that know neither step get a last look
    // just before a plain rename instead.
    //
    // The new file gets the old one's owner, group, permissions, access
    // control lists and extended attributes first. Where it cannot (someone
    // else's file, a group the user is not in, a sticky folder), where the
    // file has other hard links, or where the folder refuses the temporary
    // file but the file itself is writable, the file is written in place
    // instead: its old and new bytes go to a synced journal first, beside it
    // or else in Keyloft's data folder, so that an interrupted write can be
    // finished (see finishInterruptedSave), and a failed one is undone. A
    // file this creates is readable and writable by its owner only. `stamp`,
    // when given, receives the written file's stamp.
    WriteResult write(
        const QByteArray &content, const FoundFile *expected = nullptr, FileStamp *stamp = nullptr);

    // Puts right what a save of this vault that was killed, or cut off by a
    // power cut, left behind, under the lock: a write in place is finished
    // from its journal, so the vault holds the new bytes whole, and
    // temporary files are removed. A journal that is incomplete, or whose
    // vault has been replaced or changed since, is removed and the vault
    // left as it is. `finished`, when given, receives what a finished
    // write changed. `tidyFolder`, when given, is the stamp the vault's
    // folder had when it was last found without leftovers: while the folder
    // keeps it, it is not listed again (a folder of many files takes a
    // while). It receives the stamp to pass next time.
    RecoveryResult finishInterruptedSave(
        FinishedWrite *finished = nullptr, FileStamp *tidyFolder = nullptr);

private:
    // Moves the lock of the file to `fd`, a new file that is to take its
    // place: the old one is closed.
    void handLockTo(int fd);

    QString m_target;
    // The folder's descriptor, or -1 when it cannot be opened: every call
    // then fails with `m_folderError`.
    [[maybe_unused]] int m_folder = -1;
    [[maybe_unused]] FileError m_folderError;
    // The vault's file while it is locked, or -1.
    [[maybe_unused]] int m_lockedFile = -1;
    // Why the last lock() holds nothing, if it does not.
    [[maybe_unused]] FileError m_lockError;
};

// The file `path` names: the target of a symbolic link (however many links
// lead there, and even where the target does not exist yet), as an absolute
// path.
QString resolvedVaultPath(const QString &path);

// Moves the file at `path` to the desktop's trash when `approve` approves
// its bytes, as read through one descriptor (a regular file of at most
// `maxSize` bytes), and only if the name still leads to that very file with
// those very bytes: it is moved aside into a private folder beside it and
// checked again there first. A file changed or replaced meanwhile goes back
// to its name and stays. True when the file went to the trash.
bool moveToTrashIf(
    const QString &path, qint64 maxSize, const std::function<bool(const QByteArray &)> &approve);

// Where moveToTrashIf moves a file aside: a fresh name for a private folder
// beside it.
QByteArray asideFolderName();
// Moves `aside`, a file that moveToTrashIf moved aside from `original`, to
// the trash, which restores it to `original`. True when it went.
bool trashAside(const QString &aside, const QString &original);

// Where Keyloft keeps what it needs between runs beside the vaults: the
// records of the keys vaults were saved with, and journals that a vault's
// own folder has no room for. Readable by the user only once created.
QString keyloftDataFolder();

// Makes `folder` where it is missing, readable by its owner only, and so
// Keyloft's data folder when it lies within; a mode its owner set that lets
// nobody else in stays. Returns why it cannot; nothing when it can.
FileError makePrivateFolder(const QString &folder);

// The BLAKE2b hash of `bytes`, `length` bytes long (16 to 64): for names
// drawn from paths and for checksums, never for keys.
QByteArray blake2b(QByteArrayView bytes, qsizetype length);

// Keyloft's own small files in its data folder. Reading never follows a
// link or waits for a pipe, and takes in at most `maxSize` bytes: nothing
// when the file is missing, unreadable, larger, or no regular file.
std::optional<QByteArray> readOwnFile(const QString &path, qint64 maxSize);
// Replaces the file at `path` with `content`, readable and writable by its
// owner only, in a folder readable by the owner only that is created when
// missing. Whatever stands at the name, a link included, is replaced, never
// written through, and only once the new file is complete and synced: a
// failed write keeps the old file. Returns why it failed; nothing when it
// did not.
FileError writeOwnFile(const QString &path, const QByteArray &content);
