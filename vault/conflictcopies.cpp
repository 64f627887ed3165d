// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/conflictcopies.h"
#include "vault/vaultcipher.h"
#include "vault/vaultformat.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

// What a sync tool calls a conflict copy of the vault file named
// `vaultName` (STEM.EXT, or STEM without an extension):
// - Syncthing: STEM.sync-conflict-YYYYMMDD-HHMMSS-DEVICE.EXT
// - Nextcloud and ownCloud: STEM (conflicted copy YYYY-MM-DD HHMMSS).EXT and
//   STEM_conflict-YYYYMMDD-HHMMSS.EXT
// - Dropbox: STEM (NAME's conflicted copy YYYY-MM-DD).EXT, where NAME holds
//   no parentheses: "v (old) (Bob's conflicted copy …).EXT" is a copy of
//   "v (old).EXT".
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
        QStringLiteral(" \\([^()]+'s conflicted copy %1\\)").arg(date), // Dropbox
    };
    return QRegularExpression(QRegularExpression::anchoredPattern(
        stem + QStringLiteral("(?:") + marks.join(u'|') + u')' + extension));
}

} // namespace

bool isConflictCopyName(const QString &vaultName, const QString &fileName)
{
    return conflictCopyPattern(vaultName).match(fileName).hasMatch();
}

QStringList ConflictCopyScan::namesLike(const QString &vault)
{
    const QFileInfo info(vault);
    const StampResult folder = VaultLocation(info.absolutePath()).stamp();
    if (folder.stamp && m_listedFor == vault && *folder.stamp == m_folderStamp)
        return m_names;
    const qint64 listedAt = m_now();
    const QString stem = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
    m_names.clear();
    // Names alone: no file is looked at until its name is a copy's.
    QDirIterator names(info.absolutePath(), QDir::AllEntries | QDir::Hidden | QDir::System);
    while (names.hasNext()) {
        names.next();
        const QString name = names.fileName();
        if (name.startsWith(stem) && isConflictCopyName(info.fileName(), name))
            m_names.append(name);
    }
    const bool settled = folder.stamp && isSettled(*folder.stamp, listedAt);
    m_listedFor = settled ? vault : QString();
    m_folderStamp = folder.stamp.value_or(FileStamp());
    return m_names;
}

std::optional<QList<Entry>> ConflictCopyScan::entriesAt(
    const QString &path, qint64 limit, const QByteArray &key, FileStamp *stamp)
{
    const VaultLocation file(path);
    const StampResult now = file.stamp();
    if (!now.stamp || now.stamp->size > limit)
        return std::nullopt;
    const auto keyOf = [](const FileStamp &s) {
        return StampKey { s.device, s.inode, s.size, s.modified, s.changed };
    };
    if (const auto known = m_known.find(keyOf(*now.stamp)); known != m_known.end()) {
        *stamp = *now.stamp;
        return known->second;
    }
    const qint64 readAt = m_now();
    QByteArray content;
    if (file.read(content, stamp, limit).outcome != ReadOutcome::Read)
        return std::nullopt;
    bool lossless = false;
    std::optional<QList<Entry>> entries
        = decodeVault(xorDeciphered(content, key).view(), &lossless);
    if (!lossless)
        entries.reset();
    if (isSettled(*stamp, readAt))
        m_known[keyOf(*stamp)] = entries;
    return entries;
}

QList<ConflictCopy> ConflictCopyScan::find(
    const QString &vaultPath, qint64 vaultSize, const QByteArray &key, const QList<Entry> &entries)
{
    const QFileInfo vault(resolvedVaultPath(vaultPath));
    const qint64 limit = std::min(maxVaultSize, 4 * vaultSize + (qint64(1) << 20));
    QList<ConflictCopy> copies;
    const QStringList names = namesLike(vault.absoluteFilePath());
    for (const QString &name : names) {
        ConflictCopy copy { vault.absolutePath() + u'/' + name, {}, {} };
        std::optional<QList<Entry>> held = entriesAt(copy.path, limit, key, &copy.stamp);
        if (held && holdsOthers(*held, entries)) {
            copy.entries = *std::move(held);
            copies.append(copy);
        }
    }
    std::stable_sort(
        copies.begin(), copies.end(), [](const ConflictCopy &a, const ConflictCopy &b) {
            return a.stamp.modified < b.stamp.modified;
        });
    return copies;
}

MergedEntries mergeCopies(const QList<Entry> &entries, const QList<ConflictCopy> &copies)
{
    MergedEntries merged { entries, 0, -1 };
    for (const ConflictCopy &copy : copies) {
        const MergedEntries next = mergeEntries({}, merged.entries, copy.entries);
        merged.entries = next.entries;
        merged.conflicts += next.conflicts;
    }
    if (merged.conflicts == 0)
        return merged;
    // With nothing as the base, a conflict is a name that came in and is on
    // more than one row: its first row is the first conflict.
    const auto nameOf = [](const Entry &entry) {
        return qMakePair(entry.service, entry.username);
    };
    const QSet<Entry> held(entries.cbegin(), entries.cend());
    QHash<QPair<QString, QString>, int> rows;
    QSet<QPair<QString, QString>> conflicting;
    for (const Entry &entry : std::as_const(merged.entries))
        ++rows[nameOf(entry)];
    for (const Entry &entry : std::as_const(merged.entries)) {
        if (!held.contains(entry) && rows.value(nameOf(entry)) > 1)
            conflicting.insert(nameOf(entry));
    }
    for (qsizetype row = 0; row < merged.entries.size(); ++row) {
        if (conflicting.contains(nameOf(merged.entries.at(row)))) {
            merged.firstConflict = row;
            break;
        }
    }
    return merged;
}

bool isHeldWhole(const QByteArray &bytes, const QByteArray &key, const QList<Entry> &entries)
{
    bool lossless = false;
    const std::optional<QList<Entry>> held
        = decodeVault(xorDeciphered(bytes, key).view(), &lossless);
    return held && lossless && !holdsOthers(*held, entries);
}
