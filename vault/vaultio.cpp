// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultio.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUrl>

#include <sodium.h>

#include <algorithm>

qint64 nanosecondsNow()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000000;
}

bool isSettled(const FileStamp &stamp, qint64 lookedAt)
{
    const qint64 racyWindow = qint64(3) * 1000000000;
    return std::max(stamp.modified, stamp.changed) < lookedAt - racyWindow;
}

QString resolvedVaultPath(const QString &path)
{
    QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    // A link to a file that a save will create: the save creates the target.
    for (int depth = 0; file.isSymLink() && depth < 40; ++depth)
        file.setFile(file.symLinkTarget());
    return file.absoluteFilePath();
}

QString keyloftDataFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/keyloft");
}

FileError makePrivateFolder(const QString &folder)
{
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    const QString data = keyloftDataFolder();
    const bool withinData = !data.isEmpty() && folder.startsWith(data + u'/');
    if (!QDir().mkpath(folder))
        return { 0, QStringLiteral("the folder %1 cannot be made").arg(folder) };
    // A mode the user chose that lets nobody else in (read-only, say) stays.
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    for (const QString &made : { folder, withinData ? data : folder }) {
        QFile file(made);
        if ((file.permissions() & others) && !file.setPermissions(ownerOnly))
            return { 0, file.errorString() };
    }
    return {};
}

QByteArray blake2b(QByteArrayView bytes, qsizetype length)
{
    QByteArray hash(length, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char *>(hash.data()), size_t(length),
        reinterpret_cast<const unsigned char *>(bytes.data()),
        static_cast<unsigned long long>(bytes.size()), nullptr, 0);
    return hash;
}

QByteArray asideFolderName()
{
    return ".keyloft-trash-" + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
}

bool trashAside(const QString &aside, const QString &original)
{
    QString inTrash;
    if (!QFile::moveToTrash(aside, &inTrash))
        return false;
    // A desktop trash notes where each file came from, to restore it there:
    // the file's own folder, not the private one. Where the note cannot be
    // mended, the file is still in the trash.
    const QFileInfo trashed(inTrash);
    QFile note(trashed.absolutePath() + QStringLiteral("/../info/") + trashed.fileName()
        + QStringLiteral(".trashinfo"));
    if (!note.open(QIODevice::ReadOnly))
        return true;
    QByteArray text = note.readAll();
    note.close();
    const QByteArray folder = QUrl::toPercentEncoding(QFileInfo(aside).dir().dirName()) + '/';
    if (text.contains(folder) && QFileInfo(aside).fileName() == QFileInfo(original).fileName()
        && note.open(QIODevice::WriteOnly | QIODevice::Truncate))
        note.write(text.replace(folder, QByteArray()));
    return true;
}
