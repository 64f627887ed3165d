// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "vault/savedkeys.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sodium.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace TestSupport;

namespace {

const FileStamp stamp { 1, 2, 3, 4, 5 };

// In a process of its own, with the data folder of the test that started
// it: `--record PATH COUNT KEY` records COUNT vaults named PATH0, PATH1...
// (the exit status is the first error), and `--load VAULT ROOM KEY` loads
// with an address space of ROOM MiB more than it takes (the exit status is
// the outcome).
int child(const QStringList &arguments)
{
    const QByteArray key = arguments.last().toUtf8();
    if (arguments.value(1) == QLatin1String("--record")) {
        for (int i = 0; i < arguments.value(3).toInt(); ++i) {
            const FileError error
                = SavedKeys().remember(arguments.value(2) + QString::number(i), stamp, key);
            if (!error.isEmpty())
                return error.code != 0 ? error.code : 255;
        }
        return 0;
    }
    const QByteArray status = readBytes(QStringLiteral("/proc/self/status"));
    const qsizetype at = status.indexOf("VmSize:") + 7;
    const rlimit room { rlim_t(status.mid(at, status.indexOf("kB", at) - at).trimmed().toLongLong())
                * 1024
            + (rlim_t(arguments.value(3).toInt()) << 20),
        RLIM_INFINITY };
    setrlimit(RLIMIT_AS, &room);
    QList<Entry> entries;
    return int(VaultSession(arguments.value(2), key).load(entries).outcome);
}

} // namespace

class TestSavedKeys : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void concurrentSavesKeepEveryRecord();
    void failedWriteKeepsTheOldRecord();
    void linkInPlaceOfTheRecordIsReplaced();
    void leftoversOfKilledWritesAreRemoved();
    void recordsFolderKeepsAModeThatLetsNobodyElseIn_data();
    void recordsFolderKeepsAModeThatLetsNobodyElseIn();
    void recordThatCannotBeCheckedLocksNobodyOut_data();
    void recordThatCannotBeCheckedLocksNobodyOut();

private:
    QString m_data;
};

// Each test has a data folder of its own.
void TestSavedKeys::init()
{
    m_data = useFreshDataFolder();
    QVERIFY(!m_data.isEmpty());
}

// Two Keyloft processes saving vaults at the same time never lose each
// other's records.
void TestSavedKeys::concurrentSavesKeepEveryRecord()
{
    ChildRun a({ "--record", "/a/vault", "100", "key" });
    ChildRun b({ "--record", "/b/vault", "100", "key" });
    QCOMPARE(a.exitStatus(), 0);
    QCOMPARE(b.exitStatus(), 0);
    for (const QString &prefix : { QStringLiteral("/a/vault"), QStringLiteral("/b/vault") }) {
        for (int i = 0; i < 100; ++i)
            QVERIFY(SavedKeys().knows(prefix + QString::number(i), "key"));
    }
}

// A full disk while a record is replaced keeps the old record, and says so.
void TestSavedKeys::failedWriteKeepsTheOldRecord()
{
    if (const char *reason = noFaultInjection())
        QSKIP(reason);
    QVERIFY(SavedKeys().remember(QStringLiteral("/vault0"), stamp, "old").isEmpty());
    QCOMPARE(
        ChildRun({ "--record", "/vault", "1", "new" }, { "-e", "inject=pwrite64:error=ENOSPC" })
            .exitStatus(),
        ENOSPC);
    QVERIFY(SavedKeys().knows(QStringLiteral("/vault0"), "old"));
    QCOMPARE(filesIn(SavedKeys::defaultFolder()).size(), 1);
}

// A link put where a record goes is replaced by the record, and whatever it
// led to stays as it was.
void TestSavedKeys::linkInPlaceOfTheRecordIsReplaced()
{
    const SavedKeys keys;
    const QString record = keys.recordFile(QStringLiteral("/vault"));
    const QString target = m_data + QStringLiteral("/target");
    QVERIFY(writeBytes(target, "someone's file"));
    QVERIFY(QFile::setPermissions(target, QFileDevice::Permissions(0x6644)));
    QVERIFY(QDir().mkpath(SavedKeys::defaultFolder()) && QFile::link(target, record));
    QVERIFY(SavedKeys().remember(QStringLiteral("/vault"), stamp, "key").isEmpty());
    QCOMPARE(readBytes(target), QByteArray("someone's file"));
    QCOMPARE(QFile::permissions(target), QFileDevice::Permissions(0x6644));
    QVERIFY(!QFileInfo(record).isSymLink());
    QVERIFY(keys.knows(QStringLiteral("/vault"), "key"));
}

// What a write killed between creating its file and renaming it leaves is
// removed by the next record written, once a minute old: a younger one may
// be another Keyloft's write under way.
void TestSavedKeys::leftoversOfKilledWritesAreRemoved()
{
#ifdef KEYLOFT_PORTABLE_FILES
    QSKIP("Qt's QSaveFile leaves no temporary file behind a killed write");
#endif
    const QString folder = SavedKeys::defaultFolder();
    QVERIFY(QDir().mkpath(folder));
    const QString old = QStringLiteral(".0a1b.json.keyloft-save-old");
    const QString recent = QStringLiteral(".0a1b.json.keyloft-save-recent");
    QVERIFY(writeBytes(folder + u'/' + old, "{") && writeBytes(folder + u'/' + recent, "{"));
    QVERIFY(setModified(folder + u'/' + old, QDateTime::currentDateTime().addSecs(-61)));
    QVERIFY(SavedKeys().remember(QStringLiteral("/vault"), stamp, "key").isEmpty());
    QStringList left = filesIn(folder);
    left.removeAll(QFileInfo(SavedKeys().recordFile(QStringLiteral("/vault"))).fileName());
    QCOMPARE(left, QStringList { recent });
}

void TestSavedKeys::recordsFolderKeepsAModeThatLetsNobodyElseIn_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("kept");
    QTest::addRow("read-only for its owner") << 0500 << 0500;
    QTest::addRow("open to the group") << 0750 << 0700;
}

void TestSavedKeys::recordsFolderKeepsAModeThatLetsNobodyElseIn()
{
    QFETCH(int, mode);
    QFETCH(int, kept);
    const QByteArray folder = QFile::encodeName(SavedKeys::defaultFolder());
    QVERIFY(
        QDir().mkpath(QFile::decodeName(folder)) && ::chmod(folder.constData(), mode_t(mode)) == 0);
    SavedKeys().remember(QStringLiteral("/vault"), stamp, "key");
    QCOMPARE(int(statusOf(QFile::decodeName(folder)).st_mode & 07777), kept);
}

void TestSavedKeys::recordThatCannotBeCheckedLocksNobodyOut_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addRow("a character of the verifier changed") << "damaged";
    QTest::addRow("too little memory for Argon2id") << "no room";
    QTest::addRow("made with more memory than the process may use") << "more memory";
}

// A record that cannot be trusted or checked counts as none: the right
// master password opens a vault exactly as Keyloft saved it.
void TestSavedKeys::recordThatCannotBeCheckedLocksNobodyOut()
{
    QFETCH(QString, fault);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString vault = dir.filePath(QStringLiteral("vault.pwdb"));
    QCOMPARE(
        saveAsKeyloft(vault, "right", { { "a", "b", "c" } }), VaultSession::SaveOutcome::Saved);
    const QString record = SavedKeys().recordFile(QFileInfo(vault).canonicalFilePath());
    QByteArray text = readBytes(record);
    QVERIFY(text.contains("$argon2id$"));

    if (fault == QLatin1String("damaged")) {
        const qsizetype at = text.indexOf("\"verifier\"");
        const qsizetype last = text.indexOf('"', text.indexOf('"', at + 11) + 1) - 1;
        text[last] = text.at(last) == 'A' ? 'B' : 'A';
        QVERIFY(writeBytes(record, text));
        QList<Entry> entries;
        QVERIFY(loadedSession(vault, QByteArray(), "right", &entries));
        QCOMPARE(entries, QList<Entry>({ { "a", "b", "c" } }));
        return;
    }
    // Room for a verifier of 64 MiB, which Keyloft makes, and one of 256 MiB
    // put in its place, with the record's checksum made anew: BLAKE2b-256
    // of its fields, each followed by a line break.
    if (fault == QLatin1String("more memory")) {
        QJsonObject fields = QJsonDocument::fromJson(text).object();
        char verifier[crypto_pwhash_STRBYTES];
        QCOMPARE(crypto_pwhash_str(verifier, "right", 5, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                     crypto_pwhash_MEMLIMIT_MODERATE),
            0);
        fields.insert(QStringLiteral("verifier"), QString::fromLatin1(verifier));
        QByteArray checked;
        for (const char *name :
            { "path", "verifier", "device", "inode", "size", "modified", "changed" })
            checked += fields.value(QLatin1String(name)).toString().toUtf8() + '\n';
        unsigned char check[crypto_generichash_BYTES];
        crypto_generichash(check, sizeof check,
            reinterpret_cast<const unsigned char *>(checked.constData()), size_t(checked.size()),
            nullptr, 0);
        fields.insert(QStringLiteral("check"),
            QString::fromLatin1(QByteArray(reinterpret_cast<char *>(check), sizeof check).toHex()));
        QVERIFY(writeBytes(record, QJsonDocument(fields).toJson()));
    }
    QCOMPARE(
        ChildRun({ "--load", vault, fault == QLatin1String("no room") ? "32" : "128", "right" })
            .exitStatus(),
        int(VaultSession::LoadOutcome::Loaded));
}

int main(int argc, char *argv[])
{
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    TestSupport::startLibraries();
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "--record" || mode == "--load") {
        qputenv("XDG_DATA_HOME", data); // the test's, not one of its own
        return child(QCoreApplication::arguments());
    }
    TestSavedKeys test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_savedkeys.moc"
