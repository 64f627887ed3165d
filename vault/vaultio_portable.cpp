// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The vault file through Qt alone, for systems without the Linux calls the
// other version relies on. The file is replaced through QSaveFile after a
// last look; nothing is locked, no journal is kept, and a file's identity is
// its size and times.

#include "vault/vaultio.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

qint64 nanoseconds(const QDateTime &time)
{
    return time.toMSecsSinceEpoch() * 1000000;
}

} // namespace

VaultLocation::VaultLocation(const QString &path)
    : m_target(resolvedVaultPath(path))
{ }

VaultLocation::~VaultLocation() = default;

void VaultLocation::lock() { }

void VaultLocation::unlock() { }

StampResult VaultLocation::stamp() const
{
    const QFileInfo file(m_target);
    if (!file.exists())
        return { std::nullopt, true, {} };
    FileStamp stamp;
    stamp.size = file.size();
    stamp.modified = nanoseconds(file.lastModified());
    stamp.changed = nanoseconds(file.metadataChangeTime());
    return { stamp, false, {} };
}

ReadResult VaultLocation::read(QByteArray &content, FileStamp *stamp, qint64 maxSize) const
{
    QFile file(m_target);
    if (!QFileInfo::exists(m_target))
        return { ReadOutcome::Missing, {} };
    if (!QFileInfo(m_target).isFile())
        return { ReadOutcome::OpenFailed, {} };
    if (!file.open(QIODevice::ReadOnly))
        return { ReadOutcome::OpenFailed, { 0, file.errorString() } };
    if (stamp)
        *stamp = this->stamp().stamp.value_or(FileStamp());
    if (file.size() > maxSize)
        return { ReadOutcome::TooLarge, {} };
    // Read in pieces the size the file tells, rather than asking for the
    // limit at once, which would set aside that much memory for every load.
    QByteArray bytes;
    for (qint64 room = maxSize + 1; room > 0; room = maxSize + 1 - bytes.size()) {
        const QByteArray piece
            = file.read(std::min(room, std::max(file.size() - bytes.size(), qint64(0)) + 4096));
        if (file.error() != QFileDevice::NoError)
            return { ReadOutcome::ReadFailed, { 0, file.errorString() } };
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (bytes.size() > maxSize)
        return { ReadOutcome::TooLarge, {} };
    content = bytes;
    return { ReadOutcome::Read, {} };
}

WriteResult VaultLocation::write(
    const QByteArray &content, const FoundFile *expected, FileStamp *stamp)
{
    const std::optional<FileStamp> now = this->stamp().stamp;
    if (expected && (expected->exists != now.has_value() || (now && !(expected->stamp == *now))))
        return { WriteOutcome::Changed, {} };
    if (now && !QFileInfo(m_target).isFile())
        return { WriteOutcome::OpenFailed, {} };

    QSaveFile file(m_target);
    file.setDirectWriteFallback(true);
    // Unbuffered, so that a full disk fails the write itself: a failed
    // flush inside commit() may go unnoticed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return { WriteOutcome::OpenFailed, { 0, file.errorString() } };
    if (!now && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return { WriteOutcome::OpenFailed, { 0, reason } };
    }
    if (file.write(content) != content.size() || !file.commit())
        return { WriteOutcome::WriteFailed, { 0, file.errorString() } };
    if (stamp)
        *stamp = this->stamp().stamp.value_or(FileStamp());
    return { WriteOutcome::Written, {} };
}

RecoveryResult VaultLocation::finishInterruptedSave(FinishedWrite *, FileStamp *)
{
    return { Recovery::Nothing, {} };
}

std::optional<QByteArray> readOwnFile(const QString &path, qint64 maxSize)
{
    QFile file(path);
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray content = file.read(maxSize + 1);
    if (file.error() != QFileDevice::NoError || content.size() > maxSize)
        return std::nullopt;
    return content;
}

FileError writeOwnFile(const QString &path, const QByteArray &content)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (const FileError error = makePrivateFolder(folder); !error.isEmpty())
        return error;
    // QSaveFile would write through a link: the link goes first.
    QFile link(path);
    if (QFileInfo(path).isSymLink() && !link.remove())
        return { 0, link.errorString() };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(content) != content.size() || !file.commit())
        return { 0, file.errorString() };
    return {};
}

// By name: the bytes approved are compared with those moved aside.
bool moveToTrashIf(
    const QString &path, qint64 maxSize, const std::function<bool(const QByteArray &)> &approve)
{
    QByteArray approved;
    if (VaultLocation(path).read(approved, nullptr, maxSize).outcome != ReadOutcome::Read
        || !approve(approved))
        return false;
    const QFileInfo info(path);
    const QString folder = info.absolutePath() + u'/' + QFile::decodeName(asideFolderName());
    if (!QDir().mkdir(folder))
        return false;
    const QString aside = folder + u'/' + info.fileName();
    bool trashed = false;
    if (QFile::rename(path, aside)) {
        QByteArray now;
        trashed = VaultLocation(aside).read(now, nullptr, maxSize).outcome == ReadOutcome::Read
            && now == approved && trashAside(aside, path);
        if (!trashed)
            QFile::rename(aside, path);
    }
    QDir().rmdir(folder);
    return trashed;
}
