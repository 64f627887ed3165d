// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sodium.h>

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
    for (const QString &made : { folder, withinData ? data : folder }) {
        QFile file(made);
        if (!file.setPermissions(ownerOnly))
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
