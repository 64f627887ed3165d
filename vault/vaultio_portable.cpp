// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The vault file through Qt alone, for systems without the POSIX calls the
// other version relies on. The file is replaced through QSaveFile; nothing
// is locked, and a file's identity is its size and times.

#include "vault/vaultio.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

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

std::optional<FileStamp> VaultLocation::stamp() const
{
    const QFileInfo file(m_target);
    if (!file.exists()) {
        errno = ENOENT;
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.size = file.size();
    stamp.modified = nanoseconds(file.lastModified());
    stamp.changed = nanoseconds(file.metadataChangeTime());
    return stamp;
}

ReadOutcome VaultLocation::read(QByteArray &content, FileStamp *stamp) const
{
    QFile file(m_target);
    if (!QFileInfo(m_target).isFile() || !file.open(QIODevice::ReadOnly))
        return ReadOutcome::OpenFailed;
    if (stamp)
        *stamp = this->stamp().value_or(FileStamp());
    if (file.size() > maxVaultSize)
        return ReadOutcome::TooLarge;
    const QByteArray bytes = file.read(maxVaultSize + 1);
    if (file.error() != QFileDevice::NoError)
        return ReadOutcome::ReadFailed;
    if (bytes.size() > maxVaultSize)
        return ReadOutcome::TooLarge;
    content = bytes;
    return ReadOutcome::Read;
}

WriteOutcome VaultLocation::write(
    const QByteArray &content, const FoundFile *expected, FileStamp *stamp)
{
    const std::optional<FileStamp> now = this->stamp();
    if (expected && (expected->exists != now.has_value() || (now && !(expected->stamp == *now))))
        return WriteOutcome::Changed;
    if (now && !QFileInfo(m_target).isFile())
        return WriteOutcome::OpenFailed;

    QSaveFile file(m_target);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return WriteOutcome::OpenFailed;
    if (!now && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return WriteOutcome::OpenFailed;
    }
    if (file.write(content) != content.size() || !file.commit())
        return WriteOutcome::WriteFailed;
    if (stamp)
        *stamp = this->stamp().value_or(FileStamp());
    return WriteOutcome::Written;
}
