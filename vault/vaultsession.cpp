// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultsession.h"
#include "vault/secretmemory.h"
#include "vault/vaultcipher.h"
#include "vault/vaultformat.h"
#include "vault/vaultmerge.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// Where the save dialog starts: at the path that failed, or, where its
// folder does not exist, at the same file name in the nearest folder that
// does.
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

// A save that an interrupted one left unfinished is finished first; when
// the window had seen what it left, it has seen what it leaves now.
bool VaultSession::finishInterruptedSave(VaultLocation &vault)
{
    FinishedWrite finished;
    switch (vault.finishInterruptedSave(&finished)) {
    case Recovery::Failed:
        return false;
    case Recovery::Finished:
        if (m_lastSeen.hasBytes && m_lastSeen.bytes == finished.before)
            m_lastSeen = VaultSnapshot::of(finished.after, finished.stamp);
        break;
    case Recovery::Nothing:
        break;
    }
    return true;
}

VaultSession::LoadOutcome VaultSession::load(QList<Entry> &entries, int *error)
{
    m_mergedCopies.clear();
    VaultLocation vault(m_currentFile);
    QByteArray content;
    FileStamp stamp;
    ReadOutcome read = ReadOutcome::ReadFailed;
    {
        const std::lock_guard lock(vault);
        if (finishInterruptedSave(vault))
            read = vault.read(content, &stamp);
    }
    if (error)
        *error = read == ReadOutcome::Read ? 0 : vault.error();
    switch (read) {
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

    const VaultSnapshot seen = VaultSnapshot::of(content, stamp);

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
        return LoadOutcome::NotAVault;
    }
    m_lastSeen = seen;
    m_loadDroppedLines = !lossless;
    entries = *std::move(decoded);
    return LoadOutcome::Loaded;
}
// A file chosen in the save dialog that is not the one this window last
// saw: the dialog's own question covers replacing a file, but not losing
// the entries of a vault, so those are asked about. From then on the file
// as it is now counts as seen, and a change to it as a change.
VaultSession::ChosenFile VaultSession::prepareChosenFile(VaultLocation &vault,
    std::unique_lock<VaultLocation> &lock, Questions &questions, QList<Entry> &entries,
    SaveResult &result, FoundFile &tooLarge)
{
    QByteArray bytes;
    FileStamp stamp;
    switch (vault.read(bytes, &stamp)) {
    case ReadOutcome::OpenFailed:
        if (vault.error() == ENOENT) {
            m_lastSeen = VaultSnapshot();
            return ChosenFile::Other;
        }
        [[fallthrough]];
    case ReadOutcome::ReadFailed:
        return ChosenFile::Unreadable;
    case ReadOutcome::TooLarge:
        // No vault: the dialog's question was enough.
        m_lastSeen = VaultSnapshot();
        tooLarge = { true, stamp };
        return ChosenFile::Other;
    case ReadOutcome::Read:
        break;
    }
    if (m_lastSeen.hasBytes && m_lastSeen.stamp.isSameFile(stamp))
        return ChosenFile::Own; // checked as always
    const VaultSnapshot there = VaultSnapshot::of(bytes, stamp);

    std::optional<Question> question;
    bool lossless = false;
    const std::optional<QList<Entry>> theirs = entriesOf(there, &lossless);
    const bool refused = m_savedKeys.refuses(vault.target(), stamp, m_masterKey.view());
    if (refused)
        question = Question::ReplaceOtherKeyVault;
    else if (theirs && lossless && holdsOthers(*theirs, entries))
        question = Question::ReplaceVault;
    if (question) {
        lock.unlock();
        const Answer answer = questions.ask(*question);
        lock.lock();
        if (answer == Answer::No)
            return ChosenFile::Stop;
        if (answer == Answer::Merge)
            entries = takeMerge(mergeEntries({}, *theirs, entries), result);
    }
    m_lastSeen = there;
    return theirs && !refused ? ChosenFile::Other : ChosenFile::Unopened;
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

// A master password locks a vault for good: one mistyped at start-up would
// lock the vault under the typo. So the first time in a run that it would
// lock a vault this computer has not seen written with it, it is asked for
// once more.
bool VaultSession::mustConfirmKey(
    const VaultLocation &vault, const FoundFile &found, bool unopened) const
{
    if (m_confirmedFor.contains(vault.target()))
        return false;
    return !found.exists || unopened || !m_savedKeys.knows(vault.target(), m_masterKey.view());
}

VaultSession::SaveResult VaultSession::save(const QList<Entry> &entries, Questions &questions)
{
    SaveResult result;
    const bool choose = m_currentFile.isEmpty() || m_lastSaveFailed;
    if (choose) {
        const QString path = questions.chooseFile(saveDialogStart());
        if (path.isEmpty())
            return result;
        m_currentFile = path;
    }

    QList<Entry> ours = entries; // merged with the file's entries when the user says so
    VaultLocation vault(m_currentFile);
    std::unique_lock lock(vault);
    const auto failure = [&](SaveOutcome outcome) {
        m_lastSaveFailed = true;
        result.outcome = outcome;
        result.error = vault.error();
        return result;
    };
    if (!finishInterruptedSave(vault))
        return failure(SaveOutcome::OpenFailed);
    // Whether the file must be read to be compared: not one too large to be
    // read, once the user agreed to replace it; the write still replaces
    // only what was found there.
    bool watched = true;
    FoundFile found;
    // The lines the last load skipped belong to another file than one just
    // chosen.
    bool lossAccepted = false;
    bool unopened = false; // a file chosen that this key does not open
    bool keyConfirmed = false;
    if (choose) {
        switch (prepareChosenFile(vault, lock, questions, ours, result, found)) {
        case ChosenFile::Unreadable:
            return failure(SaveOutcome::OpenFailed);
        case ChosenFile::Stop:
            return result;
        case ChosenFile::Unopened:
            unopened = true;
            [[fallthrough]];
        case ChosenFile::Other:
            lossAccepted = true;
            watched = !found.exists;
            break;
        case ChosenFile::Own:
            break;
        }
    }

    FileStamp stamp;
    QByteArray content;
    WriteOutcome outcome = WriteOutcome::Changed;
    while (outcome == WriteOutcome::Changed) {
        VaultSnapshot onDisk;
        const VaultCheck check
            = watched ? checkVault(vault, m_lastSeen, &onDisk, &found) : VaultCheck::Unchanged;
        if (check == VaultCheck::Unreadable)
            return failure(SaveOutcome::OpenFailed);
        if (check == VaultCheck::Changed) {
            lock.unlock();
            const Answer answer = questions.ask(Question::VaultChanged);
            lock.lock();
            if (answer == Answer::No)
                return result;
            if (answer == Answer::Merge) {
                bool lossless = false;
                const std::optional<QList<Entry>> theirs = entriesOf(onDisk, &lossless);
                if (!theirs || !lossless) {
                    result.outcome = SaveOutcome::NotMergeable;
                    return result;
                }
                const QList<Entry> base = entriesOf(m_lastSeen, nullptr).value_or(QList<Entry>());
                ours = takeMerge(mergeEntries(base, *theirs, ours), result);
                content.clear(); // enciphered: nothing to wipe
            }
            // What the file holds now is agreed to be replaced, or is merged
            // in; the lines the load skipped are no longer in it.
            lossAccepted = true;
            watched = onDisk.hasBytes;
            m_lastSeen = onDisk;
            continue;
        }
        if (m_loadDroppedLines && !lossAccepted) {
            // Most often the sign of a mistyped master password that
            // happened to give readable text: saving would write that
            // garbage back, less the lines it skipped.
            lock.unlock();
            const Answer answer = questions.ask(Question::NotFullyRead);
            lock.lock();
            if (answer == Answer::No)
                return result;
            lossAccepted = true;
            continue;
        }
        if (!keyConfirmed && mustConfirmKey(vault, found, unopened)) {
            lock.unlock();
            std::optional<QString> typed = questions.confirmMasterPassword();
            lock.lock();
            if (!typed)
                return result;
            const bool matches = SecretBytes::fromText(*typed) == m_masterKey;
            forgetText(*typed);
            if (!matches) {
                result.outcome = SaveOutcome::NotConfirmed;
                return result;
            }
            keyConfirmed = true;
            m_confirmedFor.insert(vault.target());
            continue;
        }
        keyConfirmed = true;
        if (content.isNull()) {
            content = encodeVault(ours);
            xorCipherInPlace(content, m_masterKey.view());
        }
        outcome = vault.write(content, &found, &stamp);
        watched = true;
    }
    lock.unlock();

    m_lastSaveFailed = outcome != WriteOutcome::Written;
    result.error = vault.error();
    switch (outcome) {
    case WriteOutcome::Written:
        m_lastSeen = VaultSnapshot::of(content, stamp);
        m_loadDroppedLines = false;
        rememberKey(vault, stamp);
        trashMergedCopies(ours);
        result.outcome = SaveOutcome::Saved;
        result.error = 0;
        break;
    case WriteOutcome::Unconfirmed:
        m_lastSeen = VaultSnapshot::of(content, stamp);
        result.outcome = SaveOutcome::Unconfirmed;
        break;
    case WriteOutcome::WriteFailed:
        rememberAfterFailedWrite(vault, content, false);
        result.outcome = SaveOutcome::WriteFailed;
        break;
    case WriteOutcome::Damaged:
        rememberAfterFailedWrite(vault, content, true);
        result.outcome = SaveOutcome::Damaged;
        break;
    case WriteOutcome::OpenFailed:
    case WriteOutcome::Changed:
        result.outcome = SaveOutcome::OpenFailed;
        break;
    }
    return result;
}

// The vault is safe whatever becomes of its record; without one, the next
// save asks for the master password again.
void VaultSession::rememberKey(const VaultLocation &vault, const FileStamp &stamp)
{
    const QString path = QFileInfo(vault.target()).canonicalFilePath();
    const int error = m_savedKeys.remember(path, stamp, m_masterKey.view());
    if (error == 0)
        return;
    m_confirmedFor.remove(vault.target());
    qWarning("keyloft: the record of the master password of %s cannot be kept in %s: %s",
        qUtf8Printable(path), qUtf8Printable(m_savedKeys.recordFile(path)), std::strerror(error));
}

QList<ConflictCopy> VaultSession::conflictCopies(const QList<Entry> &entries) const
{
    return findConflictCopies(m_currentFile, m_masterKey.view(), entries);
}

void VaultSession::copiesMerged(const QStringList &paths)
{
    m_mergedCopies += paths;
}

// Only a copy that holds nothing the vault does not, as it is now, goes; to
// the trash, never deleted outright. Where there is no trash, it stays.
void VaultSession::trashMergedCopies(const QList<Entry> &saved)
{
    QStringList kept;
    for (const QString &path : std::as_const(m_mergedCopies)) {
        if (!isHeldIn(path, m_masterKey.view(), saved) || !QFile::moveToTrash(path))
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
