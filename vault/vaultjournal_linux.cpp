// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultjournal_linux.h"
#include "vault/descriptors_linux.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The journal of a write in place holds the vault's old and new bytes, the
// file they belong to and a checksum over all of it, so that a journal cut
// short is known for one:
//   magic, device, inode, old size, new size (64 bits, little-endian each),
//   BLAKE2b-256 of all that and both contents, old bytes, new bytes.
constexpr char journalMagic[] = "KEYLOFT-JOURNAL-1\n";
constexpr qsizetype journalFieldsSize = sizeof journalMagic - 1 + 4 * 8;
constexpr qsizetype journalChecksumSize = crypto_generichash_BYTES;

struct Journal
{
    quint64 device = 0;
    quint64 inode = 0;
    QByteArray old;
    QByteArray now;
};

QByteArray journalChecksum(const QByteArray &fields, const QByteArray &old, const QByteArray &now)
{
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, journalChecksumSize);
    for (const QByteArray *part : { &fields, &old, &now })
        crypto_generichash_update(&state,
            reinterpret_cast<const unsigned char *>(part->constData()),
            static_cast<unsigned long long>(part->size()));
    QByteArray checksum(journalChecksumSize, Qt::Uninitialized);
    crypto_generichash_final(
        &state, reinterpret_cast<unsigned char *>(checksum.data()), journalChecksumSize);
    return checksum;
}

QByteArray encodeJournal(const Journal &journal)
{
    QByteArray fields(journalMagic);
    for (const quint64 value : { journal.device, journal.inode, quint64(journal.old.size()),
             quint64(journal.now.size()) }) {
        char bytes[8];
        qToLittleEndian(value, bytes);
        fields.append(bytes, 8);
    }
    return fields + journalChecksum(fields, journal.old, journal.now) + journal.old + journal.now;
}

std::optional<Journal> decodeJournal(const QByteArray &bytes)
{
    const qsizetype contentStart = journalFieldsSize + journalChecksumSize;
    if (bytes.size() < contentStart || !bytes.startsWith(journalMagic))
        return std::nullopt;
    quint64 values[4];
    for (int i = 0; i < 4; ++i)
        values[i] = qFromLittleEndian<quint64>(bytes.constData() + sizeof journalMagic - 1 + 8 * i);
    const quint64 oldSize = values[2];
    const quint64 newSize = values[3];
    if (oldSize > quint64(maxVaultSize) || newSize > quint64(maxVaultSize)
        || quint64(bytes.size() - contentStart) != oldSize + newSize)
        return std::nullopt;
    Journal journal { values[0], values[1], bytes.mid(contentStart, qsizetype(oldSize)),
        bytes.mid(contentStart + qsizetype(oldSize)) };
    if (journalChecksum(bytes.left(journalFieldsSize), journal.old, journal.now)
        != bytes.mid(journalFieldsSize, journalChecksumSize))
        return std::nullopt;
    return journal;
}

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

// Where a vault's journal is kept: beside the vault, or in Keyloft's data
// folder under a name drawn from the vault's path.
struct JournalPlace
{
    int folder = -1;
    Descriptor ownFolder;
    QByteArray name;
};

void placeBeside(JournalPlace &place, int folder, const QByteArray &vaultName)
{
    place.ownFolder.reset();
    place.folder = folder;
    place.name = ownName(vaultName, ".keyloft-journal");
}

// False when there is no data folder, or it cannot be made.
bool placeInDataFolder(JournalPlace &place, const QString &target, bool create)
{
    const QString data = keyloftDataFolder();
    const QString folder = data + QStringLiteral("/journals");
    if (data.isEmpty() || (create && !makePrivateFolder(folder).isEmpty()))
        return false;
    place.ownFolder.reset(::open(
        QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    place.folder = place.ownFolder.get();
    place.name = "journal-" + blake2b(QFile::encodeName(target), 16).toHex();
    return place.folder >= 0;
}

// Writes the journal, synced with its name, beside the vault or, where
// that folder takes no new file, in the data folder; `place` receives
// where it went. Returns 0, or the system's error.
int writeJournal(int folder, const QByteArray &vaultName, const QString &target,
    const QByteArray &journal, JournalPlace &place)
{
    int error = 0;
    for (const bool beside : { true, false }) {
        if (beside)
            placeBeside(place, folder, vaultName);
        else if (!placeInDataFolder(place, target, true))
            break;
        // A journal left there is one that was no longer needed.
        ::unlinkat(place.folder, place.name.constData(), 0);
        const Descriptor file(::openat(place.folder, place.name.constData(),
            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        error = file.get() < 0 ? errno : writeFrom(file.get(), journal);
        if (error == 0)
            error = errorOf(::fdatasync(file.get()));
        if (error == 0)
            error = errorOf(::fsync(place.folder));
        if (error == 0)
            return 0;
        if (file.get() >= 0)
            ::unlinkat(place.folder, place.name.constData(), 0);
    }
    return error;
}

} // namespace

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
    JournalPlace journal;
    if (const int error = writeJournal(folder, name, target,
            encodeJournal({ quint64(status.st_dev), quint64(status.st_ino), previous, content }),
            journal))
        return { WriteOutcome::WriteFailed, { error, {} } };

    const int error = replaceContent(file.get(), content);
    if (error == 0) {
        ::unlinkat(journal.folder, journal.name.constData(), 0);
        recordStamp(file.get(), stamp);
        return { WriteOutcome::Written, {} };
    }
    // Where the old bytes cannot be put back either, the journal stays, and
    // the next load or save finishes the write.
    if (replaceContent(file.get(), previous) != 0)
        return { WriteOutcome::Damaged, { error, {} } };
    ::unlinkat(journal.folder, journal.name.constData(), 0);
    return { WriteOutcome::WriteFailed, { error, {} } };
}

// Finishes the write in place that `journal` records, if the vault is still
// the file it was written to and holds what that write can have left.
namespace {

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
    if (content == journal.now || !isTornBetween(content, journal.old, journal.now))
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
    Recovery recovery = Recovery::Nothing;
    for (const bool beside : { true, false }) {
        JournalPlace place;
        if (beside)
            placeBeside(place, m_folder, name);
        else if (!placeInDataFolder(place, m_target, false))
            continue;
        struct stat status
        {
        };
        const Descriptor file(openRegularFile(place.folder, place.name, O_RDONLY, &status));
        if (file.get() < 0)
            continue;
        QByteArray bytes;
        const ReadResult read = readBounded(file.get(), qint64(status.st_size),
            2 * maxVaultSize + journalFieldsSize + journalChecksumSize, bytes);
        if (read.outcome == ReadOutcome::ReadFailed)
            return { Recovery::Failed, read.error };
        const std::optional<Journal> journal = decodeJournal(bytes);
        // A journal cut short was never followed by a write in place.
        const RecoveryResult outcome = journal
            ? finishFromJournal(m_folder, name, *journal, finished)
            : RecoveryResult { Recovery::Nothing, {} };
        if (outcome.outcome == Recovery::Failed)
            return outcome;
        ::unlinkat(place.folder, place.name.constData(), 0);
        if (outcome.outcome == Recovery::Finished)
            recovery = Recovery::Finished;
    }
    return { recovery, {} };
}
