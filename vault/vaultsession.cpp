// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultsession.h"
#include "vault/secretmemory.h"
#include "vault/vaultcipher.h"
#include "vault/vaultformat.h"
#include "vault/vaultmerge.h"

#include <QFile>
#include <QFileInfo>

#include <mutex>
#include <optional>
#include <utility>

VaultSession::VaultSession(const QString &path, QByteArrayView key, const QString &keyRecords)
    : m_currentFile(path)
    , m_masterKey(key)
    , m_savedKeys(keyRecords)
{ }

VaultSession::~VaultSession() = default;

void VaultSession::setPath(const QString &path)
{
    m_currentFile = path;
}

// A save that an interrupted one left unfinished is finished first; when
// the window had seen what it left, it has seen what it leaves now.
RecoveryResult VaultSession::finishInterruptedSave(VaultLocation &vault, FileStamp *tidyFolder)
{
    FinishedWrite finished;
    const RecoveryResult recovered = vault.finishInterruptedSave(&finished, tidyFolder);
    if (recovered.outcome == Recovery::Finished && m_lastSeen.hasBytes
        && m_lastSeen.bytes == finished.before)
        m_lastSeen = VaultSnapshot::of(finished.after, finished.stamp);
    return recovered;
}

VaultSession::LoadResult VaultSession::load(QList<Entry> &entries)
{
    m_mergedCopies.clear();
    m_offeredCopies.clear();
    VaultLocation vault(m_currentFile);
    QByteArray content;
    FileStamp stamp;
    ReadResult read { ReadOutcome::ReadFailed, {} };
    {
        const std::lock_guard lock(vault);
        const RecoveryResult recovered = finishInterruptedSave(vault, &m_tidyFolder);
        read = recovered.outcome == Recovery::Failed
            ? ReadResult { ReadOutcome::ReadFailed, recovered.error }
            : vault.read(content, &stamp);
    }
    switch (read.outcome) {
    case ReadOutcome::Missing:
    case ReadOutcome::OpenFailed:
        m_lastSeen = VaultSnapshot();
        return { LoadOutcome::OpenFailed, read.error };
    case ReadOutcome::ReadFailed:
        m_lastSeen = VaultSnapshot();
        return { LoadOutcome::ReadFailed, read.error };
    case ReadOutcome::TooLarge:
        m_currentFile.clear();
        m_lastSeen = VaultSnapshot();
        return { LoadOutcome::TooLarge, read.error };
    case ReadOutcome::Read:
        break;
    }

    // A file exactly as a save here wrote it opens only with the key it was
    // written with, however readable another key makes it.
    std::optional<QList<Entry>> decoded;
    bool lossless = true;
    if (!m_savedKeys.refuses(vault.target(), stamp, m_masterKey.view()))
        decoded = decodeVault(xorDeciphered(content, m_masterKey.view()).view(), &lossless);
    // The window has not seen a vault it could not open: choosing that file
    // to save to must not take it for the window's own.
    if (!decoded) {
        m_currentFile.clear();
        m_lastSeen = VaultSnapshot();
        return { LoadOutcome::NotAVault, {} };
    }
    m_lastSeen = VaultSnapshot::of(content, stamp);
    m_loadDroppedLines = !lossless;
    entries = *std::move(decoded);
    return { LoadOutcome::Loaded, {} };
}

QList<ConflictCopy> VaultSession::conflictCopies(const QList<Entry> &entries)
{
    const qint64 vaultSize = m_lastSeen.hasBytes ? m_lastSeen.bytes.size() : m_lastSeen.stamp.size;
    const QList<ConflictCopy> copies
        = m_copyScan.find(m_currentFile, vaultSize, m_masterKey.view(), entries);
    for (const ConflictCopy &copy : copies)
        m_offeredCopies.insert(copy.path, copy.stamp);
    return copies;
}

QList<ConflictCopy> VaultSession::newConflictCopies(const QList<Entry> &entries)
{
    const QHash<QString, FileStamp> offered = m_offeredCopies;
    QList<ConflictCopy> copies = conflictCopies(entries);
    copies.removeIf([&offered](const ConflictCopy &copy) {
        return offered.contains(copy.path) && offered.value(copy.path) == copy.stamp;
    });
    return copies;
}

void VaultSession::copiesMerged(const QStringList &paths)
{
    m_mergedCopies += paths;
}

// Only a copy that holds nothing the vault does not, as it is when it goes,
// goes; to the trash, never deleted outright. Where there is no trash, it
// stays.
void VaultSession::trashMergedCopies(const QList<Entry> &saved)
{
    const auto heldWhole = [&](const QByteArray &bytes) {
        return isHeldWhole(bytes, m_masterKey.view(), saved);
    };
    QStringList kept;
    for (const QString &path : std::as_const(m_mergedCopies)) {
        if (!moveToTrashIf(path, maxVaultSize, heldWhole))
            kept << path;
    }
    m_mergedCopies = kept;
}

// The entries of what `snapshot` saw, deciphered with this session's key;
// nothing when there were no bytes, or they are no vault under this key.
std::optional<QList<Entry>> VaultSession::entriesOf(
    const VaultSnapshot &snapshot, bool *lossless) const
{
    if (!snapshot.hasBytes)
        return std::nullopt;
    return decodeVault(xorDeciphered(snapshot.bytes, m_masterKey.view()).view(), lossless);
}
