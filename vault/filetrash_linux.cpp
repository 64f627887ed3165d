// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/descriptors_linux.h"
#include "vault/vaultio.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The file is read and approved through one descriptor; then its name is
// moved aside, so that nobody can put anything else there unseen, and what
// the name led to is compared with what was approved. Whoever rewrites the
// file, in place or by putting another in its place, before the move gets
// it back under its name; whoever writes it after the move writes a new
// file, which stays.
bool moveToTrashIf(
    const QString &path, qint64 maxSize, const std::function<bool(const QByteArray &)> &approve)
{
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(info.fileName());
    const Descriptor folder(::open(
        QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat status
    {
    };
    Descriptor file(folder.get() < 0 ? -1 : openRegularFile(folder.get(), name, O_RDONLY, &status));
    QByteArray approved;
    if (file.get() < 0
        || readBounded(file.get(), qint64(status.st_size), maxSize, approved).outcome
            != ReadOutcome::Read
        || !approve(approved))
        return false;

    const QByteArray asideName = asideFolderName();
    if (::mkdirat(folder.get(), asideName.constData(), 0700) != 0)
        return false;
    const Descriptor aside(::openat(
        folder.get(), asideName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    bool trashed = false;
    if (aside.get() >= 0
        && ::renameat(folder.get(), name.constData(), aside.get(), name.constData()) == 0) {
        struct stat moved
        {
        };
        QByteArray now;
        const bool unchanged
            = ::fstatat(aside.get(), name.constData(), &moved, AT_SYMLINK_NOFOLLOW) == 0
            && moved.st_dev == status.st_dev && moved.st_ino == status.st_ino
            && ::lseek(file.get(), 0, SEEK_SET) == 0
            && readBounded(file.get(), qint64(moved.st_size), maxSize, now).outcome
                == ReadOutcome::Read
            && now == approved;
        file.reset(); // closed before its name goes
        trashed = unchanged
            && trashAside(
                info.absolutePath() + u'/' + QFile::decodeName(asideName) + u'/' + info.fileName(),
                path);
        // Back under its name, unless another file took it meanwhile: then
        // it stays in the private folder, which is kept.
        if (!trashed)
            ::renameat2(
                aside.get(), name.constData(), folder.get(), name.constData(), RENAME_NOREPLACE);
    }
    ::unlinkat(folder.get(), asideName.constData(), AT_REMOVEDIR);
    return trashed;
}
