// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/conflictcopies.h"
#include "vault/vaultcipher.h"
#include "vault/vaultformat.h"
#include "vault/vaultio.h"
#include "vault/vaultmerge.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace {

// The entries of the vault at `path`, when it is one under `key` that
// opens without loss.
std::optional<QList<Entry>> entriesAt(const QString &path, const QByteArray &key)
{
    QByteArray content;
    if (VaultLocation(path).read(content).outcome != ReadOutcome::Read)
        return std::nullopt;
    bool lossless = false;
    std::optional<QList<Entry>> entries
        = decodeVault(xorDeciphered(content, key).view(), &lossless);
    if (!lossless)
        return std::nullopt;
    return entries;
}

// What a sync tool calls a conflict copy of the vault file named
// `vaultName` (STEM.EXT, or STEM without an extension):
// - Syncthing: STEM.sync-conflict-YYYYMMDD-HHMMSS-DEVICE.EXT
// - Nextcloud and ownCloud: STEM (conflicted copy YYYY-MM-DD HHMMSS).EXT and
//   STEM_conflict-YYYYMMDD-HHMMSS.EXT
// - Dropbox: STEM (NAME's conflicted copy YYYY-MM-DD).EXT
QRegularExpression conflictCopyPattern(const QString &vaultName)
{
    const QFileInfo vault(vaultName);
    const QString stem = QRegularExpression::escape(
        vault.suffix().isEmpty() ? vault.fileName() : vault.completeBaseName());
    const QString extension
        = vault.suffix().isEmpty() ? QString() : u'.' + QRegularExpression::escape(vault.suffix());
    const QString date = QStringLiteral("\\d{4}-\\d{2}-\\d{2}");
    const QString dateTime = QStringLiteral("\\d{8}-\\d{6}");
    const QStringList marks = {
        QStringLiteral("\\.sync-conflict-%1-[A-Z0-9]+").arg(dateTime), // Syncthing
        QStringLiteral(" \\(conflicted copy %1 \\d{6}\\)").arg(date), // Nextcloud, ownCloud
        QStringLiteral("_conflict-%1").arg(dateTime), // Nextcloud, ownCloud
        QStringLiteral(" \\(.+'s conflicted copy %1\\)").arg(date), // Dropbox
    };
    return QRegularExpression(QRegularExpression::anchoredPattern(
        stem + QStringLiteral("(?:") + marks.join(u'|') + u')' + extension));
}

} // namespace

QList<ConflictCopy> findConflictCopies(
    const QString &vaultPath, const QByteArray &key, const QList<Entry> &entries)
{
    const QFileInfo vault(resolvedVaultPath(vaultPath));
    QFileInfoList candidates;
    const QRegularExpression copyName = conflictCopyPattern(vault.fileName());
    const QFileInfoList files = vault.dir().entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &file : files) {
        if (copyName.match(file.fileName()).hasMatch() && file.size() <= maxVaultSize)
            candidates << file;
    }
    std::stable_sort(candidates.begin(), candidates.end(),
        [](const QFileInfo &a, const QFileInfo &b) { return a.lastModified() < b.lastModified(); });
    QList<ConflictCopy> copies;
    for (const QFileInfo &file : std::as_const(candidates)) {
        const std::optional<QList<Entry>> held = entriesAt(file.absoluteFilePath(), key);
        if (held && holdsOthers(*held, entries))
            copies.append({ file.absoluteFilePath(), *held });
    }
    return copies;
}

bool isHeldIn(const QString &path, const QByteArray &key, const QList<Entry> &entries)
{
    const std::optional<QList<Entry>> held = entriesAt(path, key);
    return held && !holdsOthers(*held, entries);
}
