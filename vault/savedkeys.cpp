// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/savedkeys.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace {

// A record is a few hundred bytes; anything much larger is not one of ours
// and is not read whole.
constexpr qint64 maxRecordFileSize = 64 * 1024;

constexpr QLatin1String stampFields[] = { QLatin1String("device"), QLatin1String("inode"),
    QLatin1String("size"), QLatin1String("modified"), QLatin1String("changed") };

qint64 FileStamp::*const stampMembers[] = { &FileStamp::device, &FileStamp::inode, &FileStamp::size,
    &FileStamp::modified, &FileStamp::changed };

// Argon2id is slow on purpose, so the verifier of the key in use is computed
// once per run and kept beside the application object, together with the
// stored verifiers the key was found to match. Only a fast hash of the key
// identifies it here, never the key itself.
class VerifierCache : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    static VerifierCache *instance()
    {
        QCoreApplication *application = QCoreApplication::instance();
        if (!application)
            return nullptr;
        auto *cache
            = application->findChild<VerifierCache *>(QString(), Qt::FindDirectChildrenOnly);
        return cache ? cache : new VerifierCache(application);
    }

    // Forgets what belongs to another key than `key`.
    void useKey(const QByteArray &key)
    {
        const QByteArray id = fingerprint(key);
        if (id == m_key)
            return;
        m_key = id;
        m_verifier.clear();
        m_matched.clear();
    }

    QByteArray m_key;
    QByteArray m_verifier;
    QByteArray m_matched;

private:
    static QByteArray fingerprint(const QByteArray &key)
    {
        return blake2b(key, crypto_generichash_BYTES);
    }
};

QByteArray newVerifier(const QByteArray &key)
{
    char text[crypto_pwhash_STRBYTES];
    if (sodium_init() < 0
        || crypto_pwhash_str(text, key.constData(), static_cast<unsigned long long>(key.size()),
               crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE)
            != 0)
        return QByteArray();
    return QByteArray(text);
}

// The verifier that records of `key` get: computed once per run and key.
QByteArray verifierOf(const QByteArray &key)
{
    VerifierCache *cache = VerifierCache::instance();
    if (!cache)
        return newVerifier(key);
    cache->useKey(key);
    if (cache->m_verifier.isEmpty())
        cache->m_verifier = newVerifier(key);
    return cache->m_verifier;
}

enum class KeyCheck { Matches, Differs, Unknown };

// Only a well-formed verifier that could be checked tells a key apart:
// libsodium gives the same answer for another key, a damaged verifier and
// too little memory for Argon2id. `current` tells whether a verifier that
// matches was made with today's Argon2id settings.
KeyCheck check(const QByteArray &verifier, const QByteArray &key, bool *current)
{
    if (verifier.size() >= crypto_pwhash_STRBYTES || sodium_init() < 0)
        return KeyCheck::Unknown;
    char text[crypto_pwhash_STRBYTES] = {};
    std::copy(verifier.cbegin(), verifier.cend(), text);
    const int rehash = crypto_pwhash_str_needs_rehash(
        text, crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE);
    if (rehash < 0)
        return KeyCheck::Unknown;
    if (crypto_pwhash_str_verify(text, key.constData(), static_cast<unsigned long long>(key.size()))
        == 0) {
        *current = rehash == 0;
        return KeyCheck::Matches;
    }
    // Argon2id could run just now only if it can hash the key itself.
    return verifierOf(key).isEmpty() ? KeyCheck::Unknown : KeyCheck::Differs;
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

// The verifier `key` is checked against: computed once per run and key.
bool isCached(const QByteArray &verifier, const QByteArray &key)
{
    VerifierCache *cache = VerifierCache::instance();
    if (!cache)
        return false;
    cache->useKey(key);
    return verifier == cache->m_verifier || verifier == cache->m_matched;
}

KeyCheck checkCached(const QByteArray &verifier, const QByteArray &key)
{
    if (isCached(verifier, key))
        return KeyCheck::Matches;
    bool current = false;
    const KeyCheck result = check(verifier, key, &current);
    if (result == KeyCheck::Matches) {
        if (VerifierCache *cache = VerifierCache::instance()) {
            cache->m_matched = verifier;
            // A verifier of today's settings serves the records this run
            // writes, without another run of Argon2id.
            if (current && cache->m_verifier.isEmpty())
                cache->m_verifier = verifier;
        }
    }
    return result;
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

bool SavedKeys::refuses(
    const QString &canonicalPath, const FileStamp &stamp, const QByteArray &key) const
{
    if (m_folder.isEmpty() || canonicalPath.isEmpty())
        return false;
    const QJsonObject record = recordIn(recordFile(canonicalPath), canonicalPath);
    return !record.isEmpty() && hasStamp(record, stamp)
        && checkCached(record.value(QStringLiteral("verifier")).toString().toLatin1(), key)
        == KeyCheck::Differs;
}

bool SavedKeys::knows(const QString &canonicalPath, const QByteArray &key) const
{
    if (m_folder.isEmpty() || canonicalPath.isEmpty())
        return false;
    const QJsonObject record = recordIn(recordFile(canonicalPath), canonicalPath);
    return !record.isEmpty()
        && checkCached(record.value(QStringLiteral("verifier")).toString().toLatin1(), key)
        == KeyCheck::Matches;
}

int SavedKeys::remember(const QString &canonicalPath, const FileStamp &stamp, const QByteArray &key)
{
    if (m_folder.isEmpty() || canonicalPath.isEmpty())
        return ENOENT;
    const QByteArray verifier = verifierOf(key);
    if (verifier.isEmpty())
        return ENOMEM;

    QJsonObject record { { QStringLiteral("path"), canonicalPath },
        { QStringLiteral("verifier"), QString::fromLatin1(verifier) } };
    for (size_t i = 0; i < std::size(stampFields); ++i)
        record.insert(stampFields[i], QString::number(stamp.*stampMembers[i]));
    record.insert(QStringLiteral("check"), QString::fromLatin1(checksumOf(record)));
    return writeOwnFile(recordFile(canonicalPath), QJsonDocument(record).toJson());
}

#include "savedkeys.moc"
