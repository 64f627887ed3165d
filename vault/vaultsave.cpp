// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The save of a vault session: it looks at the file, asks decideSave what
// to do, asks or writes, and repeats; then keeps what the write leaves.

#include "vault/secretmemory.h"
#include "vault/vaultcipher.h"
#include "vault/vaultformat.h"
#include "vault/vaultmerge.h"
#include "vault/vaultsession.h"

#include <QDir>
#include <QFileInfo>

#include <mutex>
#include <optional>

// What a save's last look at its file found, against what it stands on.
struct VaultSession::Look
{
    // What the window last loaded or saved there, or what an answer of this
    // save agreed to replace since; for a file chosen in the dialog, at
    // first nothing.
    VaultSnapshot known;
    VaultSnapshot onDisk; // what the file holds, where that is something else
    FoundFile found; // what is at the name, for the write to replace just that
    FileError error; // why the file could not be looked at
};

// Where the save dialog starts: at the path that failed, or, where its
// folder does not exist, at the same file name in the nearest folder that
// does; else in the folder of the window's vault, if it has one.
QString VaultSession::saveDialogStart() const
{
    if (m_failedSave.isEmpty())
        return m_currentFile.isEmpty() ? QString() : QFileInfo(m_currentFile).absolutePath();
    const QFileInfo file(m_failedSave);
    QString folder = file.absolutePath();
    for (QFileInfo at(folder); !at.isDir() && !at.isRoot(); at.setFile(folder))
        folder = at.absolutePath();
    return QDir(folder).filePath(file.fileName());
}

// What the file holds now, against what the save stands on: the same, or
// else what it is to this key and to the window's entries `ours`.
FileState VaultSession::lookAt(
    const VaultLocation &vault, Look &look, const QList<Entry> &ours) const
{
    const FileResult<VaultCheck> check = checkVault(vault, look.known, &look.onDisk, &look.found);
    look.error = check.error;
    switch (check.outcome) {
    case VaultCheck::Unreadable:
        return FileState::Unreadable;
    case VaultCheck::Unchanged:
        return look.found.exists ? FileState::AsKnown : FileState::Missing;
    case VaultCheck::Changed:
        break;
    }
    if (look.onDisk.tooLarge)
        return FileState::TooLarge;
    if (m_savedKeys.refuses(vault.target(), look.onDisk.stamp, m_masterKey.view()))
        return FileState::OtherKeyVault;
    bool lossless = false;
    const std::optional<QList<Entry>> theirs = entriesOf(look.onDisk, &lossless);
    if (!theirs || !lossless)
        return FileState::Unopened;
    return holdsOthers(*theirs, ours) ? FileState::VaultWithOthers : FileState::Vault;
}

// The entries of a merge, which the window shows from now on; its conflicts
// are told with the box that ends the save.
QList<Entry> VaultSession::takeMerge(const MergedEntries &merge, SaveResult &result)
{
    result.merged = merge.entries;
    if (merge.conflicts > 0) {
        result.conflicts += merge.conflicts;
        result.firstConflict = merge.firstConflict;
    }
    return merge.entries;
}

VaultSession::SaveResult VaultSession::save(const QList<Entry> &entries, Questions &questions)
{
    SaveResult result;
    SaveSituation situation;
    situation.target = m_currentFile.isEmpty() || !m_failedSave.isEmpty() ? SaveTarget::Unchosen
                                                                          : SaveTarget::Own;
    situation.droppedLines = m_loadDroppedLines;
    QList<Entry> ours = entries; // merged with the file's entries when the user says so
    QByteArray content; // `ours` enciphered: nothing to wipe
    Look look;
    std::optional<VaultLocation> vault;
    std::unique_lock<VaultLocation> lock;
    const auto open = [&](const QString &path) {
        result.file = path;
        vault.emplace(path);
        lock = std::unique_lock(*vault);
        const RecoveryResult recovered = finishInterruptedSave(*vault);
        look.known = situation.target == SaveTarget::Own ? m_lastSeen : VaultSnapshot();
        look.error = recovered.error;
        situation.keyRecorded = !m_confirmedFor.contains(vault->target())
            && m_savedKeys.knows(vault->target(), m_masterKey.view());
        return recovered.outcome != Recovery::Failed;
    };
    if (situation.target == SaveTarget::Own && !open(m_currentFile))
        situation.file = FileState::Unreadable;

    // Whether the last look still stands: an answer is about what it found.
    bool answered = false;
    for (;;) {
        if (vault && !answered && situation.file != FileState::Unreadable) {
            situation.file = lookAt(*vault, look, ours);
            situation.keyConfirmed = m_confirmedFor.contains(vault->target());
        }
        answered = false;
        const SaveStep next = decideSave(situation);
        switch (next.action) {
        case SaveAction::ChooseFile: {
            const QString path = questions.chooseFile(saveDialogStart());
            if (path.isEmpty())
                return result;
            // The window's own file, chosen again after a failed save, is
            // checked against what the window saw there, whatever took its
            // place since.
            const bool own = !m_currentFile.isEmpty()
                && resolvedVaultPath(path) == resolvedVaultPath(m_currentFile);
            situation.target = own ? SaveTarget::Own : SaveTarget::Chosen;
            if (!open(path))
                situation.file = FileState::Unreadable;
            break;
        }
        case SaveAction::Ask: {
            lock.unlock();
            const Answer answer = questions.ask(next.question);
            lock.lock();
            if (next.question == Question::NotFullyRead) {
                situation.linesAnswer = answer;
            } else {
                situation.answer = answer;
                answered = true;
            }
            break;
        }
        case SaveAction::Merge: {
            const QList<Entry> base = entriesOf(look.known, nullptr).value_or(QList<Entry>());
            const QList<Entry> theirs = entriesOf(look.onDisk, nullptr).value_or(QList<Entry>());
            ours = takeMerge(mergeEntries(base, theirs, ours), result);
            content.clear();
            [[fallthrough]];
        }
        case SaveAction::TakeOn:
            look.known = look.onDisk;
            situation.takenOn = situation.file;
            situation.answer.reset();
            break;
        case SaveAction::ConfirmKey: {
            lock.unlock();
            std::optional<QString> typed = questions.confirmMasterPassword();
            lock.lock();
            situation.confirmation = Confirmation::Cancelled;
            if (typed) {
                const bool matches = SecretBytes::fromText(*typed) == m_masterKey;
                forgetText(*typed);
                situation.confirmation = matches ? Confirmation::Matched : Confirmation::Mismatched;
                if (matches)
                    m_confirmedFor.insert(vault->target());
            }
            break;
        }
        case SaveAction::Write: {
            if (content.isNull()) {
                content = encodeVault(ours);
                xorCipherInPlace(content, m_masterKey.view());
            }
            FileStamp stamp;
            const WriteResult written = vault->write(content, &look.found, &stamp);
            if (written.outcome == WriteOutcome::Changed)
                break; // looked at again
            lock.unlock();
            finishSave(
                *vault, situation.target == SaveTarget::Own, content, written, stamp, ours, result);
            return result;
        }
        case SaveAction::End:
            result.outcome = next.outcome;
            if (next.outcome == SaveOutcome::OpenFailed) {
                m_failedSave = result.file;
                result.error = look.error;
            } else {
                // Declined, or refused: the table stays as it was too.
                result.merged.reset();
                result.conflicts = 0;
                result.firstConflict = -1;
            }
            return result;
        }
    }
}

// What a write leaves the window knowing. A file chosen in the dialog is the
// window's from the first write that puts the window's bytes in it; a failed
// write leaves the window's file as it was, and the next save asks for one.
void VaultSession::finishSave(const VaultLocation &vault, bool own, const QByteArray &content,
    const WriteResult &written, const FileStamp &stamp, const QList<Entry> &ours,
    SaveResult &result)
{
    result.error = written.error;
    switch (written.outcome) {
    case WriteOutcome::Written:
    case WriteOutcome::Unconfirmed:
        m_currentFile = result.file;
        m_lastSeen = VaultSnapshot::of(content, stamp);
        m_loadDroppedLines = false;
        m_failedSave.clear();
        if (!own)
            m_mergedCopies.clear(); // copies of another vault
        if (written.outcome == WriteOutcome::Unconfirmed) {
            result.outcome = SaveOutcome::Unconfirmed;
            return;
        }
        rememberKey(vault, stamp);
        trashMergedCopies(ours);
        result.outcome = SaveOutcome::Saved;
        return;
    case WriteOutcome::WriteFailed:
    case WriteOutcome::Damaged:
        if (own)
            rememberAfterFailedWrite(vault, content, written.outcome == WriteOutcome::Damaged);
        result.outcome = written.outcome == WriteOutcome::Damaged ? SaveOutcome::Damaged
                                                                  : SaveOutcome::WriteFailed;
        break;
    case WriteOutcome::OpenFailed:
    case WriteOutcome::Changed:
        result.outcome = SaveOutcome::OpenFailed;
        break;
    }
    m_failedSave = result.file;
}

// The vault is safe whatever becomes of its record; without one, the next
// save asks for the master password again.
void VaultSession::rememberKey(const VaultLocation &vault, const FileStamp &stamp)
{
    const QString path = QFileInfo(vault.target()).canonicalFilePath();
    const FileError error = m_savedKeys.remember(path, stamp, m_masterKey.view());
    if (error.isEmpty())
        return;
    m_confirmedFor.remove(vault.target());
    qWarning("keyloft: the record of the master password of %s cannot be kept in %s: %s",
        qUtf8Printable(path), qUtf8Printable(m_savedKeys.recordFile(path)),
        qUtf8Printable(error.code != 0 ? qt_error_string(error.code) : error.text));
}

// A failed save may still have left this window's bytes in the file, and a
// failed rollback leaves whatever it left: either is this window's own doing,
// and must not be taken for a change made elsewhere at the next save.
void VaultSession::rememberAfterFailedWrite(
    const VaultLocation &vault, const QByteArray &attempted, bool damaged)
{
    QByteArray onDisk;
    FileStamp stamp;
    const bool read = vault.read(onDisk, &stamp).outcome == ReadOutcome::Read;
    if (damaged)
        m_lastSeen = read ? VaultSnapshot::of(onDisk, stamp) : VaultSnapshot();
    else if (read && onDisk == attempted)
        m_lastSeen = VaultSnapshot::of(onDisk, stamp);
}
