// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/savedkeys.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <sodium.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

// A record is a few hundred bytes; anything much larger is not one of ours
// and is not read whole.
constexpr qint64 maxRecordFileSize = 64 * 1024;

constexpr QLatin1String stampFields[] = { QLatin1String("device"), QLatin1String("inode"),
    QLatin1String("size"), QLatin1String("modified"), QLatin1String("changed") };

qint64 FileStamp::*const stampMembers[] = { &FileStamp::device, &FileStamp::inode, &FileStamp::size,
    &FileStamp::modified, &FileStamp::changed };

QByteArray newVerifier(const QByteArray &key)
{
    char text[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(text, key.constData(), static_cast<unsigned long long>(key.size()),
            crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        return QByteArray();
    return QByteArray(text);
}

// Numbers are kept as text: nanosecond times are beyond a JSON double's
// precision. The checksum covers every field, so a record damaged on disk
// counts as none rather than as a verifier that refuses every key.
QByteArray checksumOf(const QJsonObject &record)
{
    QByteArray fields;
    for (const QLatin1String name : { QLatin1String("path"), QLatin1String("verifier") })
        fields += record.value(name).toString().toUtf8() + '\n';
    for (const QLatin1String name : stampFields)
        fields += record.value(name).toString().toUtf8() + '\n';
    return blake2b(fields, crypto_generichash_BYTES).toHex();
}

bool hasStamp(const QJsonObject &record, const FileStamp &stamp)
{
    for (size_t i = 0; i < std::size(stampFields); ++i) {
        bool ok = false;
        const qint64 value = record.value(stampFields[i]).toString().toLongLong(&ok);
        if (!ok || value != stamp.*stampMembers[i])
            return false;
    }
    return true;
}

// The record in `file` of the vault at `canonicalPath`, or nothing when
// there is none that can be trusted.
QJsonObject recordIn(const QString &file, const QString &canonicalPath)
{
    const std::optional<QByteArray> text = readOwnFile(file, maxRecordFileSize);
    if (!text)
        return QJsonObject();
    const QJsonObject record = QJsonDocument::fromJson(*text).object();
    if (record.value(QStringLiteral("path")).toString() != canonicalPath
        || record.value(QStringLiteral("check")).toString().toLatin1() != checksumOf(record))
        return QJsonObject();
    return record;
}

} // namespace

SavedKeys::SavedKeys(const QString &folder)
    : m_folder(folder)
{ }

// Earlier versions kept every vault's record in one file beside this folder
// (saved-vaults.json). It is not read: each of those vaults asks for its
// master password to be confirmed once more at its next save.
QString SavedKeys::defaultFolder()
{
    const QString data = keyloftDataFolder();
    return data.isEmpty() ? QString() : data + QStringLiteral("/records");
}

QString SavedKeys::recordFile(const QString &canonicalPath) const
{
    return m_folder + u'/' + QString::fromLatin1(blake2b(canonicalPath.toUtf8(), 16).toHex());
}

void SavedKeys::VerifierCache::useKey(const QByteArray &key)
{
    const QByteArray id = blake2b(key, crypto_generichash_BYTES);
    if (id == fingerprint)
        return;
    fingerprint = id;
    verifier.clear();
    matched.clear();
}

QByteArray SavedKeys::verifierOf(const QByteArray &key) const
{
    m_cache.useKey(key);
    if (m_cache.verifier.isEmpty())
        m_cache.verifier = newVerifier(key);
    return m_cache.verifier;
}

namespace {

// Whether this process may take the memory Argon2id needs to check
// `verifier` (its m= parameter, in KiB), which may be more than a verifier
// made here needs.
bool hasRoomToCheck(const char *verifier)
{
    const char *memory = std::strstr(verifier, "$m=");
    const unsigned long long kib = memory ? std::strtoull(memory + 3, nullptr, 10) : 0;
    if (kib == 0 || kib > SIZE_MAX / 1024)
        return false;
    const size_t size = size_t(kib) * 1024;
    void *room = ::mmap(
        nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (room == MAP_FAILED)
        return false;
    ::munmap(room, size);
    return true;
}

} // namespace

// Only a well-formed verifier that could be checked tells a key apart:
// libsodium gives the same answer for another key, a damaged verifier and
// too little memory for Argon2id.
SavedKeys::KeyCheck SavedKeys::checkKey(const QByteArray &verifier, const QByteArray &key) const
{
    m_cache.useKey(key);
    if (verifier == m_cache.verifier || verifier == m_cache.matched)
        return KeyCheck::Matches;
    if (verifier.size() >= crypto_pwhash_STRBYTES)
        return KeyCheck::Unknown;
    char text[crypto_pwhash_STRBYTES] = {};
    std::copy(verifier.cbegin(), verifier.cend(), text);
    const int rehash = crypto_pwhash_str_needs_rehash(
        text, crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE);
    if (rehash < 0)
        return KeyCheck::Unknown;
    if (crypto_pwhash_str_verify(text, key.constData(), static_cast<unsigned long long>(key.size()))
        != 0)
        return hasRoomToCheck(text) ? KeyCheck::Differs : KeyCheck::Unknown;
    m_cache.matched = verifier;
    // A verifier of today's settings serves the records this run writes,
    // without another run of Argon2id.
    if (rehash == 0 && m_cache.verifier.isEmpty())
        m_cache.verifier = verifier;
    return KeyCheck::Matches;
}

bool SavedKeys::refuses(
    const QString &canonicalPath, const FileStamp &stamp, const QByteArray &key) const
{
    if (m_folder.isEmpty() || canonicalPath.isEmpty())
        return false;
    const QJsonObject record = recordIn(recordFile(canonicalPath), canonicalPath);
    return !record.isEmpty() && hasStamp(record, stamp)
        && checkKey(record.value(QStringLiteral("verifier")).toString().toLatin1(), key)
        == KeyCheck::Differs;
}

bool SavedKeys::knows(const QString &canonicalPath, const QByteArray &key) const
{
    if (m_folder.isEmpty() || canonicalPath.isEmpty())
        return false;
    const QJsonObject record = recordIn(recordFile(canonicalPath), canonicalPath);
    return !record.isEmpty()
        && checkKey(record.value(QStringLiteral("verifier")).toString().toLatin1(), key)
        == KeyCheck::Matches;
}

FileError SavedKeys::remember(
    const QString &canonicalPath, const FileStamp &stamp, const QByteArray &key)
{
    if (m_folder.isEmpty() || canonicalPath.isEmpty())
        return { 0, QStringLiteral("there is no data folder, or the vault has no path") };
    const QByteArray verifier = verifierOf(key);
    if (verifier.isEmpty())
        return { 0, QStringLiteral("Argon2id cannot hash the master password") };

    QJsonObject record { { QStringLiteral("path"), canonicalPath },
        { QStringLiteral("verifier"), QString::fromLatin1(verifier) } };
    for (size_t i = 0; i < std::size(stampFields); ++i)
        record.insert(stampFields[i], QString::number(stamp.*stampMembers[i]));
    record.insert(QStringLiteral("check"), QString::fromLatin1(checksumOf(record)));
    return writeOwnFile(recordFile(canonicalPath), QJsonDocument(record).toJson());
}
