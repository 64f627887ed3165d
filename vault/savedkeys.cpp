// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/savedkeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <sodium.h>

#include <algorithm>
#include <iterator>

namespace {

// A record file is a few hundred bytes per vault; anything much larger is
// not one of ours and is not read whole.
constexpr qint64 maxRecordFileSize = qint64(4) * 1024 * 1024;

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
        QByteArray id(crypto_generichash_BYTES, Qt::Uninitialized);
        crypto_generichash(reinterpret_cast<unsigned char *>(id.data()), size_t(id.size()),
            reinterpret_cast<const unsigned char *>(key.constData()),
            static_cast<unsigned long long>(key.size()), nullptr, 0);
        return id;
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

bool verifies(const QByteArray &verifier, const QByteArray &key)
{
    if (verifier.size() >= crypto_pwhash_STRBYTES || sodium_init() < 0)
        return false;
    char text[crypto_pwhash_STRBYTES] = {};
    std::copy(verifier.cbegin(), verifier.cend(), text);
    return crypto_pwhash_str_verify(
               text, key.constData(), static_cast<unsigned long long>(key.size()))
        == 0;
}

QJsonArray readRecords(const QString &recordFile)
{
    QFile file(recordFile);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonArray();
    const QByteArray text = file.read(maxRecordFileSize + 1);
    if (text.size() > maxRecordFileSize)
        return QJsonArray();
    return QJsonDocument::fromJson(text).object().value(QStringLiteral("vaults")).toArray();
}

QJsonObject recordOf(const QJsonArray &records, const QString &canonicalPath)
{
    for (const QJsonValue &record : records) {
        if (record.toObject().value(QStringLiteral("path")).toString() == canonicalPath)
            return record.toObject();
    }
    return QJsonObject();
}

// Numbers are kept as text: nanosecond times are beyond a JSON double's precision.
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

} // namespace

SavedKeys::SavedKeys(const QString &recordFile)
    : m_recordFile(recordFile)
{ }

QString SavedKeys::defaultRecordFile()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/saved-vaults.json");
}

bool SavedKeys::refuses(
    const QString &canonicalPath, const FileStamp &stamp, const QByteArray &key) const
{
    if (m_recordFile.isEmpty() || canonicalPath.isEmpty())
        return false;
    const QJsonObject record = recordOf(readRecords(m_recordFile), canonicalPath);
    if (record.isEmpty() || !hasStamp(record, stamp))
        return false;
    const QByteArray verifier = record.value(QStringLiteral("verifier")).toString().toLatin1();
    if (verifier.isEmpty())
        return false;

    VerifierCache *cache = VerifierCache::instance();
    if (cache) {
        cache->useKey(key);
        if (verifier == cache->m_verifier || verifier == cache->m_matched)
            return false;
    }
    if (!verifies(verifier, key))
        return true;
    if (cache)
        cache->m_matched = verifier;
    return false;
}

bool SavedKeys::remember(
    const QString &canonicalPath, const FileStamp &stamp, const QByteArray &key)
{
    if (m_recordFile.isEmpty() || canonicalPath.isEmpty())
        return false;
    QByteArray verifier;
    VerifierCache *cache = VerifierCache::instance();
    if (cache) {
        cache->useKey(key);
        if (cache->m_verifier.isEmpty())
            cache->m_verifier = newVerifier(key);
        verifier = cache->m_verifier;
    } else {
        verifier = newVerifier(key);
    }
    if (verifier.isEmpty())
        return false;

    QJsonObject record { { QStringLiteral("path"), canonicalPath },
        { QStringLiteral("verifier"), QString::fromLatin1(verifier) } };
    for (size_t i = 0; i < std::size(stampFields); ++i)
        record.insert(stampFields[i], QString::number(stamp.*stampMembers[i]));
    QJsonArray records;
    const QJsonArray previous = readRecords(m_recordFile);
    for (const QJsonValue &other : previous) {
        if (other.toObject().value(QStringLiteral("path")).toString() != canonicalPath)
            records.append(other);
    }
    records.append(record);

    // The folder and the file are the user's alone; the file is replaced
    // whole, so a failed write keeps the old records.
    const QString folder = QFileInfo(m_recordFile).absolutePath();
    if (!QDir().mkpath(folder)
        || !QFile::setPermissions(
            folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return false;
    QSaveFile file(m_recordFile);
    if (!file.open(QIODevice::WriteOnly)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    const QByteArray text
        = QJsonDocument(QJsonObject { { QStringLiteral("vaults"), records } }).toJson();
    return file.write(text) == text.size() && file.commit();
}

#include "savedkeys.moc"
