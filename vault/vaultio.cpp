// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultio.h"

#include <QFileInfo>
#include <QStandardPaths>

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
