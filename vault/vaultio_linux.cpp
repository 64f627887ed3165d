// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/descriptors_linux.h"
#include "vault/vaultio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

VaultLocation::VaultLocation(const QString &path)
    : m_target(resolvedVaultPath(path))
{
    m_folder = ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(),
        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0)
        m_folderError = { errno, {} };
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
    // What a write killed between creating its file and renaming it left
    // behind, and no write can still be busy with.
    removeTemporaries(folder.get(), {}, nanosecondsNow() - qint64(60) * 1000000000);
    const QByteArray name = QFile::encodeName(file.fileName());
    QByteArray temporary;
    Descriptor written(createTemporary(folder.get(), name, temporary));
    if (written.get() < 0)
        return { errno, {} };
    const auto removeTemporary = qScopeGuard([&] {
        written.reset(); // closed before its name goes, see VaultLocation::write
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
