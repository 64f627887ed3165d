// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/journalfile_linux.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

namespace {

// The journal of a write in place holds the vault's old and new bytes, the
// file they belong to and a checksum over all of it, so that a journal cut
// short is known for one:
//   magic, device, inode, old size, new size, twin size (64 bits,
//   little-endian each), BLAKE2b-256 of all that and the three contents,
//   old bytes, new bytes, twin.
// The twin is the folder of the journal beside the vault, in a copy kept in
// the data folder: a load through another name finishes from the copy and
// removes both.
constexpr char journalMagic[] = "KEYLOFT-JOURNAL-2\n";
constexpr int journalFields = 5;
constexpr qsizetype journalFieldsSize = sizeof journalMagic - 1 + journalFields * 8;
constexpr qsizetype journalChecksumSize = crypto_generichash_BYTES;

QByteArray journalChecksum(const QByteArray &fields, const Journal &journal)
{
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, journalChecksumSize);
    for (const QByteArray *part : { &fields, &journal.old, &journal.now, &journal.twin })
        crypto_generichash_update(&state,
            reinterpret_cast<const unsigned char *>(part->constData()),
            static_cast<unsigned long long>(part->size()));
    QByteArray checksum(journalChecksumSize, Qt::Uninitialized);
    crypto_generichash_final(
        &state, reinterpret_cast<unsigned char *>(checksum.data()), journalChecksumSize);
    return checksum;
}

QByteArray journalName(quint64 device, quint64 inode)
{
    return QByteArray::number(device, 16) + '-' + QByteArray::number(inode, 16);
}

QByteArray besideName(quint64 device, quint64 inode)
{
    return ".keyloft-journal-" + journalName(device, inode);
}

// Writes `bytes` to a new file at `place`, synced with its name: 0, or the
// system's error. Beside the vault, it takes the vault's group and
// permissions (it holds nothing the vault does not), so that whoever may
// write the vault may finish its write; where the user may not give it
// that group, it stays the user's own.
int writeJournalAt(JournalPlace &place, const QByteArray &bytes, const struct stat *vault)
{
    // A journal left there was no longer needed.
    ::unlinkat(place.folder, place.name.constData(), 0);
    int error = 0;
    {
        const Descriptor file(::openat(place.folder, place.name.constData(),
            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file.get() < 0) {
            place.name.clear();
            return errno;
        }
        if (vault && ::fchown(file.get(), uid_t(-1), vault->st_gid) == 0)
            ::fchmod(file.get(), vault->st_mode & 0666);
        error = writeFrom(file.get(), bytes);
        if (error == 0)
            error = errorOf(::fdatasync(file.get()));
    } // closed before its name may go
    if (error == 0)
        error = errorOf(::fsync(place.folder));
    if (error != 0) {
        removeJournal(place);
        place.name.clear();
    }
    return error;
}

} // namespace

QByteArray encodeJournal(const Journal &journal)
{
    QByteArray fields(journalMagic);
    for (const quint64 value : { journal.device, journal.inode, quint64(journal.old.size()),
             quint64(journal.now.size()), quint64(journal.twin.size()) }) {
        char bytes[8];
        qToLittleEndian(value, bytes);
        fields.append(bytes, 8);
    }
    return fields + journalChecksum(fields, journal) + journal.old + journal.now + journal.twin;
}

std::optional<Journal> decodeJournal(const QByteArray &bytes)
{
    const qsizetype contentStart = journalFieldsSize + journalChecksumSize;
    if (bytes.size() < contentStart || !bytes.startsWith(journalMagic))
        return std::nullopt;
    quint64 values[journalFields];
    for (int i = 0; i < journalFields; ++i)
        values[i] = qFromLittleEndian<quint64>(bytes.constData() + sizeof journalMagic - 1 + 8 * i);
    const quint64 oldSize = values[2];
    const quint64 newSize = values[3];
    const quint64 twinSize = values[4];
    if (oldSize > quint64(maxVaultSize) || newSize > quint64(maxVaultSize)
        || twinSize > quint64(PATH_MAX)
        || quint64(bytes.size() - contentStart) != oldSize + newSize + twinSize)
        return std::nullopt;
    const qsizetype twinStart = contentStart + qsizetype(oldSize + newSize);
    Journal journal { values[0], values[1], bytes.mid(contentStart, qsizetype(oldSize)),
        bytes.mid(contentStart + qsizetype(oldSize), qsizetype(newSize)), bytes.mid(twinStart) };
    if (journalChecksum(bytes.left(journalFieldsSize), journal)
        != bytes.mid(journalFieldsSize, journalChecksumSize))
        return std::nullopt;
    return journal;
}

void placeBeside(JournalPlace &place, int folder, const struct stat &vault)
{
    place.ownFolder.reset();
    place.folder = folder;
    place.name = besideName(vault.st_dev, vault.st_ino);
}

bool placeInDataFolder(JournalPlace &place, const struct stat &vault, bool create)
{
    const QString data = keyloftDataFolder();
    const QString folder = data + QStringLiteral("/journals");
    if (data.isEmpty() || (create && !makePrivateFolder(folder).isEmpty()))
        return false;
    place.ownFolder.reset(::open(
        QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    place.folder = place.ownFolder.get();
    place.name = "journal-" + journalName(vault.st_dev, vault.st_ino);
    if (place.folder < 0)
        place.name.clear();
    return place.folder >= 0;
}

bool removeJournal(const JournalPlace &place)
{
    return place.name.isEmpty() || ::unlinkat(place.folder, place.name.constData(), 0) == 0;
}

void removeJournals(const JournalPlace &beside, const JournalPlace &data)
{
    if (removeJournal(beside))
        removeJournal(data);
}

int writeJournal(int folder, const QString &target, const struct stat &vault,
    const Journal &journal, JournalPlace &beside, JournalPlace &data)
{
    placeBeside(beside, folder, vault);
    if (vault.st_nlink > 1 && placeInDataFolder(data, vault, true)) {
        Journal copy = journal;
        copy.twin = QFile::encodeName(QFileInfo(target).absolutePath());
        writeJournalAt(data, encodeJournal(copy), nullptr);
    }
    const int error = writeJournalAt(beside, encodeJournal(journal), &vault);
    if (error == 0 || !data.name.isEmpty())
        return 0;
    if (!placeInDataFolder(data, vault, true))
        return error;
    return writeJournalAt(data, encodeJournal(journal), nullptr);
}

ReadResult readJournal(int folder, const QByteArray &name, Descriptor &file, QByteArray &bytes)
{
    struct stat status
    {
    };
    file.reset(openRegularFile(folder, name, O_RDWR, &status));
    if (file.get() < 0 && errno == EACCES)
        file.reset(openRegularFile(folder, name, O_RDONLY, &status));
    if (file.get() < 0)
        return { ReadOutcome::OpenFailed, { errno, {} } };
    return readBounded(file.get(), qint64(status.st_size),
        2 * maxVaultSize + PATH_MAX + journalFieldsSize + journalChecksumSize, bytes);
}

void removeTwin(const Journal &journal)
{
    const Descriptor folder(::open(journal.twin.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const QByteArray name = besideName(journal.device, journal.inode);
    std::optional<Journal> twin;
    {
        Descriptor file;
        QByteArray bytes;
        if (folder.get() < 0
            || readJournal(folder.get(), name, file, bytes).outcome == ReadOutcome::ReadFailed
            || file.get() < 0)
            return;
        twin = decodeJournal(bytes);
    }
    if (!twin || (twin->old == journal.old && twin->now == journal.now))
        ::unlinkat(folder.get(), name.constData(), 0);
}
