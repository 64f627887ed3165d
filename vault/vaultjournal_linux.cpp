// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultjournal_linux.h"
#include "vault/descriptors_linux.h"
#include "vault/journalfile_linux.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

WriteResult writeInPlace(int folder, const QByteArray &name, const QString &target,
    const struct stat &old, const QByteArray &content, FileStamp *stamp)
{
    struct stat status
    {
    };
    const Descriptor file(openRegularFile(folder, name, O_RDWR, &status));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return { WriteOutcome::Changed, {} };
        return { WriteOutcome::OpenFailed, { errno, {} } };
    }
    if (!(stampOf(status) == stampOf(old)))
        return { WriteOutcome::Changed, {} };
    QByteArray previous;
    const ReadResult read = readBounded(file.get(), qint64(status.st_size), maxVaultSize, previous);
    if (read.outcome != ReadOutcome::Read)
        return { WriteOutcome::OpenFailed, read.error };
    JournalPlace beside;
    JournalPlace data;
    if (const int error = writeJournal(folder, target, status,
            { quint64(status.st_dev), quint64(status.st_ino), previous, content, {} }, beside,
            data))
        return { WriteOutcome::WriteFailed, { error, {} } };

    const int error = replaceContent(file.get(), content);
    if (error == 0) {
        removeJournals(beside, data);
        recordStamp(file.get(), stamp);
        return { WriteOutcome::Written, {} };
    }
    // Where the old bytes cannot be put back either, the journal stays, and
    // the next load or save finishes the write.
    if (replaceContent(file.get(), previous) != 0)
        return { WriteOutcome::Damaged, { error, {} } };
    removeJournals(beside, data);
    return { WriteOutcome::WriteFailed, { error, {} } };
}

namespace {

// True when `content` is what an interrupted write of `now` over `old`
// can have left: every byte from one of them, or never written at all.
bool isTornBetween(const QByteArray &content, const QByteArray &old, const QByteArray &now)
{
    if (content.size() > std::max(old.size(), now.size()))
        return false;
    for (qsizetype i = 0; i < content.size(); ++i) {
        const char byte = content.at(i);
        if (byte != 0 && !(i < now.size() && byte == now.at(i))
            && !(i < old.size() && byte == old.at(i)))
            return false;
    }
    return true;
}

// Finishes the write in place that `journal` records, if the vault is still
// the file it was written to and holds what that write can have left.
RecoveryResult finishFromJournal(
    int folder, const QByteArray &name, const Journal &journal, FinishedWrite *finished)
{
    struct stat status
    {
    };
    const Descriptor file(openRegularFile(folder, name, O_RDWR, &status));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return { Recovery::Nothing, {} };
        return { Recovery::Failed, { errno, {} } };
    }
    QByteArray content;
    if (quint64(status.st_dev) != journal.device || quint64(status.st_ino) != journal.inode)
        return { Recovery::Nothing, {} };
    const ReadResult read = readBounded(file.get(), qint64(status.st_size), maxVaultSize, content);
    if (read.outcome != ReadOutcome::Read)
        return { Recovery::Failed, read.error };
    // A vault that holds the old bytes whole was never written, or never
    // kept what was: it stays as it is.
    if (content == journal.now || content == journal.old
        || !isTornBetween(content, journal.old, journal.now))
        return { Recovery::Nothing, {} };
    if (const int error = replaceContent(file.get(), journal.now))
        return { Recovery::Failed, { error, {} } };
    if (finished) {
        finished->before = content;
        finished->after = journal.now;
        recordStamp(file.get(), &finished->stamp);
    }
    return { Recovery::Finished, {} };
}
} // namespace

RecoveryResult VaultLocation::finishInterruptedSave(FinishedWrite *finished, FileStamp *tidyFolder)
{
    if (m_folder < 0)
        return { Recovery::Nothing, {} };
    if (!m_lockError.isEmpty())
        return { Recovery::Failed, m_lockError };
    const QByteArray name = nameOf(m_target);
    // A leftover put in the folder changes the folder's stamp; a stamp as
    // recent as the look may yet change without showing it.
    const qint64 lookedAt = nanosecondsNow();
    struct stat folder
    {
    };
    const bool stamped = ::fstat(m_folder, &folder) == 0;
    if (!tidyFolder || !stamped || !(stampOf(folder) == *tidyFolder))
        removeTemporaries(m_folder, name);
    if (tidyFolder)
        *tidyFolder
            = stamped && isSettled(stampOf(folder), lookedAt) ? stampOf(folder) : FileStamp();
    struct stat vault
    {
    };
    if (::fstatat(m_folder, name.constData(), &vault, AT_SYMLINK_NOFOLLOW) != 0
        || !S_ISREG(vault.st_mode))
        return { Recovery::Nothing, {} };
    Recovery recovery = Recovery::Nothing;
    for (const bool beside : { true, false }) {
        JournalPlace place;
        if (beside)
            placeBeside(place, m_folder, vault);
        else if (!placeInDataFolder(place, vault, false))
            continue;
        std::optional<Journal> journal;
        {
            Descriptor file;
            QByteArray bytes;
            const ReadResult read = readJournal(place.folder, place.name, file, bytes);
            if (read.outcome == ReadOutcome::ReadFailed)
                return { Recovery::Failed, read.error };
            if (file.get() < 0)
                continue;
            journal = decodeJournal(bytes);
            // A journal cut short was never followed by a write in place.
            const RecoveryResult outcome = journal
                ? finishFromJournal(m_folder, name, *journal, finished)
                : RecoveryResult { Recovery::Nothing, {} };
            if (outcome.outcome == Recovery::Failed)
                return outcome;
            if (outcome.outcome == Recovery::Finished)
                recovery = Recovery::Finished;
            // Emptied first, a journal this user may not remove (another
            // user's, in a folder that keeps others' files) is no longer
            // taken for one.
            errorOf(::ftruncate(file.get(), 0));
        } // closed before its name goes
        removeJournal(place);
        if (journal && !journal->twin.isEmpty())
            removeTwin(*journal);
    }
    return { recovery, {} };
}
