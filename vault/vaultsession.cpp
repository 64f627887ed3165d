// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultsession.h"
#include "vault/secretmemory.h"
#include "vault/vaultcipher.h"
#include "vault/vaultformat.h"
#include "vault/vaultmerge.h"

#include <QDir>
#include <QFileInfo>

#include <optional>
#include <utility>

VaultSession::VaultSession(const QString &path, const QByteArray &key, const QString &keyRecords)
    : m_currentFile(path)
    , m_masterKey(key)
    , m_savedKeys(keyRecords)
{ }

VaultSession::~VaultSession()
{
    wipe(m_masterKey);
}

void VaultSession::setPath(const QString &path)
{
    m_currentFile = path;
}

QString VaultSession::saveDialogStart() const
{
    if (!m_lastSaveFailed)
        return QString();
    const QFileInfo file(m_currentFile);
    QString folder = file.absolutePath();
    for (QFileInfo at(folder); !at.isDir() && !at.isRoot(); at.setFile(folder))
        folder = at.absolutePath();
    return QDir(folder).filePath(file.fileName());
}

void VaultSession::chooseSavePath(const QString &path)
{
    m_currentFile = path;
    m_chosenInDialog = true;
}

VaultSession::LoadOutcome VaultSession::load(QList<Entry> &entries)
{
    m_chosenInDialog = false;
    const VaultLocation vault(m_currentFile);
    QByteArray content;
    FileStamp stamp;
    switch (vault.read(content, &stamp)) {
    case ReadOutcome::OpenFailed:
        m_lastSeen = VaultSnapshot();
        return LoadOutcome::OpenFailed;
    case ReadOutcome::ReadFailed:
        m_lastSeen = VaultSnapshot();
        return LoadOutcome::ReadFailed;
    case ReadOutcome::TooLarge:
        m_currentFile.clear();
        m_lastSeen = VaultSnapshot();
        return LoadOutcome::TooLarge;
    case ReadOutcome::Read:
        break;
    }
    m_lastSeen = VaultSnapshot::of(content, stamp);

    // A file exactly as a save here wrote it opens only with the key it was
    // written with, however readable another key makes it.
    std::optional<QList<Entry>> read;
    bool lossless = true;
    if (!m_savedKeys.refuses(vault.target(), stamp, m_masterKey)) {
        xorCipherInPlace(content, m_masterKey);
        read = decodeVault(content, &lossless);
        wipe(content);
    }
    if (!read) {
        m_currentFile.clear();
        return LoadOutcome::NotAVault;
    }
    m_loadDroppedLines = !lossless;
    entries = *std::move(read);
    return LoadOutcome::Loaded;
}

VaultSession::SaveOutcome VaultSession::save(
    const QList<Entry> &entries, const Ask &ask, std::optional<QList<Entry>> *merged)
{
    const bool confirmed = std::exchange(m_chosenInDialog, false);
    QList<Entry> ours = entries; // merged with the file's entries when the user says so
    QByteArray content = encodeVault(ours);
    xorCipherInPlace(content, m_masterKey);

    VaultLocation vault(m_currentFile);
    // Whether the write must find the file as the last check did: not when
    // the user chose the file in the dialog, nor when the file could not be
    // read, since what cannot be read cannot be watched either.
    bool watched = !confirmed;
    bool lossAccepted = false;
    FoundFile found;
    FileStamp stamp;
    WriteOutcome outcome = WriteOutcome::Changed;
    while (outcome == WriteOutcome::Changed) {
        vault.lock();
        VaultSnapshot onDisk;
        if (watched && vaultChangedOnDisk(vault, m_lastSeen, &onDisk, &found)) {
            vault.unlock();
            const Answer answer = ask(Question::VaultChanged);
            if (answer == Answer::No)
                return SaveOutcome::Declined;
            if (answer == Answer::Merge) {
                bool lossless = false;
                const std::optional<QList<Entry>> theirs = entriesOf(onDisk, &lossless);
                if (!theirs || !lossless)
                    return SaveOutcome::NotMergeable;
                const std::optional<QList<Entry>> result = mergeEntries(
                    entriesOf(m_lastSeen, nullptr).value_or(QList<Entry>()), *theirs, ours);
                if (!result)
                    return SaveOutcome::NotMergeable;
                ours = *result;
                if (merged)
                    *merged = ours;
                content = encodeVault(ours);
                xorCipherInPlace(content, m_masterKey);
            }
            // What the file holds now is agreed to be replaced, or is merged
            // in; the lines the load skipped are no longer in it.
            lossAccepted = true;
            watched = onDisk.hasBytes;
            m_lastSeen = onDisk;
            continue;
        }
        if (watched && m_loadDroppedLines && !lossAccepted) {
            // Most often the sign of a mistyped master password that
            // happened to give readable text: saving would write that
            // garbage back, less the lines it skipped.
            vault.unlock();
            if (ask(Question::NotFullyRead) == Answer::No)
                return SaveOutcome::Declined;
            lossAccepted = true;
            continue;
        }
        outcome = vault.write(content, watched ? &found : nullptr, &stamp);
        vault.unlock();
    }

    m_lastSaveFailed = outcome != WriteOutcome::Written;
    switch (outcome) {
    case WriteOutcome::Written:
        m_lastSeen = VaultSnapshot::of(content, stamp);
        m_loadDroppedLines = false;
        m_savedKeys.remember(QFileInfo(vault.target()).canonicalFilePath(), stamp, m_masterKey);
        return SaveOutcome::Saved;
    case WriteOutcome::Unconfirmed:
        m_lastSeen = VaultSnapshot::of(content, stamp);
        return SaveOutcome::Unconfirmed;
    case WriteOutcome::WriteFailed:
        rememberAfterFailedWrite(vault, content, false);
        return SaveOutcome::WriteFailed;
    case WriteOutcome::Damaged:
        rememberAfterFailedWrite(vault, content, true);
        return SaveOutcome::Damaged;
    case WriteOutcome::OpenFailed:
    case WriteOutcome::Changed:
        break;
    }
    return SaveOutcome::OpenFailed;
}

// The entries of what `snapshot` saw, deciphered with this session's key;
// nothing when there were no bytes, or they are no vault under this key.
std::optional<QList<Entry>> VaultSession::entriesOf(
    const VaultSnapshot &snapshot, bool *lossless) const
{
    if (!snapshot.hasBytes)
        return std::nullopt;
    QByteArray text = snapshot.bytes;
    xorCipherInPlace(text, m_masterKey);
    std::optional<QList<Entry>> entries = decodeVault(text, lossless);
    wipe(text);
    return entries;
}

// A failed save may still have left this window's bytes in the file, and a
// failed rollback leaves whatever it left: either is this window's own doing,
// and must not be taken for a change made elsewhere at the next save.
void VaultSession::rememberAfterFailedWrite(
    const VaultLocation &vault, const QByteArray &attempted, bool damaged)
{
    QByteArray onDisk;
    FileStamp stamp;
    const bool read = vault.read(onDisk, &stamp) == ReadOutcome::Read;
    if (damaged)
        m_lastSeen = read ? VaultSnapshot::of(onDisk, stamp) : VaultSnapshot();
    else if (read && onDisk == attempted)
        m_lastSeen = VaultSnapshot::of(onDisk, stamp);
}
