// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "vault/vaultio.h"
#include "vault/vaultsnapshot.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

const char saveStarts[] = "/keyloft-save-starts";
const QByteArray oldVault = xorBytes("mail\talice\tpw\n", "key");
const QByteArray newVault = xorBytes("mail\talice\tpw\nbank\tbob\t1234\n", "key");

// Run in a process of its own under strace: the save of a window that last
// saw the old vault. A stale stamp makes the comparison read the file. The
// exit status is the outcome: 10 when the user would be asked, otherwise
// the WriteOutcome.
int saveInChild(const char *vault)
{
    const QString path = QFile::decodeName(vault);
    VaultSnapshot seen = VaultSnapshot::of(oldVault, FileStamp());
    ::access(saveStarts, F_OK); // marks where the save starts in the trace
    VaultLocation location(path);
    location.lock();
    FoundFile found;
    if (vaultChangedOnDisk(location, seen, nullptr, &found))
        return 10;
    return int(location.write(newVault, &found));
}

// The file and descriptor calls of the save in a trace, each named as
// strace counts it: the call and its occurrence since the process started.
QList<QPair<QByteArray, int>> callsOfTheSave(const QByteArray &trace)
{
    QHash<QByteArray, int> counts;
    QList<QPair<QByteArray, int>> calls;
    bool started = false;
    for (const QByteArray &line : trace.split('\n')) {
        const QByteArray name = line.left(std::max<qsizetype>(line.indexOf('('), 0));
        if (name.isEmpty())
            continue;
        const int occurrence = ++counts[name];
        if (started && name != "exit_group")
            calls.append({ name, occurrence });
        started = started || line.contains(saveStarts);
    }
    return calls;
}

} // namespace

class TestVaultIo : public QObject
{
    Q_OBJECT

private slots:
    void stampIsTrustedOnlyWhenBothTimesAreOld_data();
    void stampIsTrustedOnlyWhenBothTimesAreOld();
    void crashMidSaveKeepsTheOldVault();
    void anyFailingCallKeepsTheOldVault_data();
    void anyFailingCallKeepsTheOldVault();
};

void TestVaultIo::stampIsTrustedOnlyWhenBothTimesAreOld_data()
{
    QTest::addColumn<bool>("setBack"); // the modification time set back a day
    QTest::addRow("modification time set back, change time recent") << true;
    QTest::addRow("seen just after both times") << false;
}

// A program may set the modification time back (cp -p, touch -r); the change
// time it cannot. Where timestamps are coarse, a rewrite of the same size
// within one tick keeps the stamp, so a stamp is trusted only once both its
// times are older than the coarsest tick before the window looked: until
// then, the file is read.
void TestVaultIo::stampIsTrustedOnlyWhenBothTimesAreOld()
{
    QFETCH(bool, setBack);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString vault = dir.filePath(QStringLiteral("vault.pwdb"));
    QVERIFY(writeBytes(vault, oldVault));
    QFile file(vault);
    QVERIFY(file.open(QIODevice::ReadWrite)
        && (!setBack
            || file.setFileTime(
                QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime)));
    file.close();

    // What a window saw just before a rewrite of the same size in the same
    // tick: the stamp the file still has, with the bytes it had before.
    const std::optional<FileStamp> stamp = VaultLocation(vault).stamp();
    QVERIFY(stamp);
    QByteArray before = oldVault;
    before[0] = char(before[0] ^ 1);
    VaultSnapshot seen = VaultSnapshot::of(before, *stamp);
    if (!setBack) // seen a nanosecond after the file's last change
        seen.takenAt = std::max(stamp->modified, stamp->changed) + 1;
    QVERIFY(vaultChangedOnDisk(VaultLocation(vault), seen));
}

// A process killed while writing (here by the file-size signal, as abrupt as
// a power cut for the file) leaves the old vault whole: the new bytes only
// ever went to the temporary file beside it.
void TestVaultIo::crashMidSaveKeepsTheOldVault()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString vault = dir.filePath(QStringLiteral("vault.pwdb"));
    const QByteArray old = xorBytes("mail\talice\tpw\n", "key");
    QVERIFY(writeBytes(vault, old));

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit { 4096, RLIM_INFINITY };
        setrlimit(RLIMIT_FSIZE, &limit);
        VaultLocation(vault).write(QByteArray(1 << 20, 'x'));
        _exit(0); // not reached: the write past the limit kills the process
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ, "the save was not cut short");
    QCOMPARE(readBytes(vault), old);
}

void TestVaultIo::anyFailingCallKeepsTheOldVault_data()
{
    QTest::addColumn<QString>("vault");
    QTest::addColumn<QString>("fault");
    // Calls the save without a fault makes in this order, others between:
    // the new bytes synced before they take the vault's place, the folder
    // synced after the rename, or, in place, the bytes synced after writing.
    QTest::addColumn<QByteArrayList>("order");

    const QByteArrayList replace = { "fdatasync", "renameat", "fsync" };
    for (const char *fault : { "error=EIO", "signal=SIGKILL" }) {
        QTest::addRow("replaced, %s", fault) << "replaced" << fault << replace;
        QTest::addRow("owner kept, %s", fault) << "owner kept" << fault << replace;
        QTest::addRow("extended attribute kept, %s", fault) << "attribute kept" << fault << replace;
    }
    // Written in place: a kill there can cut the vault short, as documented.
    QTest::addRow("hard link, error=EIO")
        << "hard link"
        << "error=EIO" << QByteArrayList { "pwrite64", "ftruncate", "fdatasync" };
}

// Every file or descriptor call the save makes (the lock, the comparison's
// read, the temporary file, keeping the owner and the attributes, the check
// that the file is still the one compared, the rename, the syncs, the write
// in place) fails in turn, or the process is killed there. Whatever happens,
// the vault holds the old or the new bytes, "Saved" comes only with the new
// ones, and the old ones stay only with a message (or a killed process).
void TestVaultIo::anyFailingCallKeepsTheOldVault()
{
    QFETCH(QString, vault);
    QFETCH(QString, fault);
    QFETCH(QByteArrayList, order);
#ifdef __SANITIZE_ADDRESS__
    QSKIP("the sanitizer's own calls (probing memory through a pipe) would fail instead");
#endif
#ifdef KEYLOFT_PORTABLE_FILES
    QSKIP("Qt's own file access relies on QSaveFile, whose commit ignores a failed sync");
#endif
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    QVERIFY2(!strace.isEmpty(), "strace is needed");
    if (vault == QLatin1String("owner kept") && geteuid() != 0)
        QSKIP("giving the vault to another user needs root");

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("vault.pwdb"));
    const QString link = dir.filePath(QStringLiteral("link.pwdb"));
    const bool linked = vault == QLatin1String("hard link");
    const auto prepare = [&] {
        QFile::remove(link);
        QVERIFY(writeBytes(path, oldVault));
        if (vault == QLatin1String("owner kept"))
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        if (vault == QLatin1String("attribute kept"))
            QCOMPARE(::setxattr(QFile::encodeName(path).constData(), "user.note", "kept", 4, 0), 0);
        if (linked)
            QVERIFY(::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData())
                == 0);
    };
    const auto run = [&](const QString &option) {
        QProcess child;
        child.start(strace,
            { QStringLiteral("-qq"), QStringLiteral("-o"), dir.filePath(QStringLiteral("trace")),
                QStringLiteral("-e"), option, QCoreApplication::applicationFilePath(),
                QStringLiteral("--save-child"), path });
        if (!child.waitForFinished(60000))
            child.kill();
        return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    };

    if (vault == QLatin1String("attribute kept")
        && ::setxattr(QFile::encodeName(dir.path()).constData(), "user.probe", "", 0, 0) != 0)
        QSKIP("the temporary folder's file system keeps no extended attributes");
    prepare();
    QCOMPARE(run(QStringLiteral("trace=%file,%desc")), int(WriteOutcome::Written));
    const auto calls = callsOfTheSave(readBytes(dir.filePath(QStringLiteral("trace"))));
    QVERIFY2(calls.size() > 5, "the trace shows no save");
    qsizetype next = 0;
    for (const auto &call : calls)
        next += next < order.size() && call.first.startsWith(order.at(next)) ? 1 : 0;
    QVERIFY2(next == order.size(), order.value(next).constData()); // the first call missing

    for (const auto &[name, occurrence] : calls) {
        prepare();
        const int status = run(QStringLiteral("inject=%1:%2:when=%3")
                                   .arg(QString::fromLatin1(name), fault)
                                   .arg(occurrence));
        QFile::remove(dir.filePath(QStringLiteral("trace")));
        const QByteArray after = readBytes(path);
        const QByteArray where
            = name + " #" + QByteArray::number(occurrence) + " gave " + QByteArray::number(status);
        QVERIFY2(after == oldVault || after == newVault,
            QByteArray(where + ": other bytes").constData());
        QVERIFY2(after == newVault || status != int(WriteOutcome::Written),
            QByteArray(where + ": old bytes").constData());
        if (after == newVault && vault == QLatin1String("owner kept"))
            QVERIFY2(QFileInfo(path).ownerId() == 65534 && QFileInfo(path).groupId() == 65534,
                where.constData());
        char note[8] = {};
        if (after == newVault && vault == QLatin1String("attribute kept"))
            QVERIFY2(::getxattr(QFile::encodeName(path).constData(), "user.note", note, 8) == 4,
                where.constData());
        // A kill between linking the finished temporary file and renaming it
        // leaves that file beside the vault; a failing call leaves nothing.
        if (fault.startsWith(QLatin1String("error")))
            QCOMPARE(filesIn(dir.path()).size(), linked ? 2 : 1);
    }
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--save-child") == 0)
        return saveInChild(argv[2]);
    QCoreApplication app(argc, argv);
    TestVaultIo test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_vaultio.moc"
