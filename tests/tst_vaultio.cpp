// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "vault/vaultio.h"
#include "vault/vaultsnapshot.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    if (vaultChangedOnDisk(path, seen))
        return 10;
    return int(writeVaultFile(path, newVault));
}

struct Call
{
    QString name;
    int occurrence; // counted from the process's start, as strace counts
};

// The file and descriptor calls the save makes, read from a trace of it.
QList<Call> callsOfTheSave(const QString &log)
{
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QRegularExpression callName(QStringLiteral("^([a-z0-9_]+)\\("));
    QHash<QString, int> counts;
    QList<Call> calls;
    bool started = false;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QRegularExpressionMatch match = callName.match(QString::fromLatin1(line));
        if (!match.hasMatch())
            continue;
        const QString name = match.captured(1);
        const int occurrence = ++counts[name];
        if (line.contains(saveStarts))
            started = true;
        else if (started && name != QLatin1String("exit_group"))
            calls.append({ name, occurrence });
    }
    return calls;
}

} // namespace

class TestVaultIo : public QObject
{
    Q_OBJECT

private slots:
    void crashMidSaveKeepsTheOldVault();
    void anyFailingCallKeepsTheOldVault_data();
    void anyFailingCallKeepsTheOldVault();
};

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
        writeVaultFile(vault, QByteArray(1 << 20, 'x'));
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

    for (const char *fault : { "error=EIO", "signal=SIGKILL" }) {
        QTest::addRow("replaced, %s", fault) << "replaced" << fault;
        QTest::addRow("owner kept, %s", fault) << "owner kept" << fault;
    }
    // Written in place: a kill there can cut the vault short, as documented.
    QTest::addRow("hard link, error=EIO") << "hard link"
                                          << "error=EIO";
}

// Every file or descriptor call the save makes (the comparison's read, the
// temporary file, keeping the owner, the rename, the syncs, the write in
// place) fails in turn, or the process is killed there. Whatever happens,
// the vault holds the old or the new bytes, "Saved" comes only with the new
// ones, and the old ones stay only with a message (or a killed process).
void TestVaultIo::anyFailingCallKeepsTheOldVault()
{
    QFETCH(QString, vault);
    QFETCH(QString, fault);
#ifdef __SANITIZE_ADDRESS__
    QSKIP("the sanitizer's own calls (probing memory through a pipe) would fail instead");
#endif
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    QVERIFY2(!strace.isEmpty(), "strace is needed");
    if (vault == QLatin1String("owner kept") && geteuid() != 0)
        QSKIP("giving the vault to another user needs root");

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("vault.pwdb"));
    const QByteArray native = QFile::encodeName(path);
    const QString link = dir.filePath(QStringLiteral("link.pwdb"));
    const auto prepare = [&] {
        QFile::remove(link);
        QVERIFY(writeBytes(path, oldVault));
        if (vault == QLatin1String("owner kept"))
            QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
        if (vault == QLatin1String("hard link"))
            QCOMPARE(::link(native.constData(), QFile::encodeName(link).constData()), 0);
    };
    const auto run = [&](const QStringList &options) {
        QProcess child;
        child.start(strace,
            QStringList { QStringLiteral("-qq") } + options
                + QStringList { QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                    QStringLiteral("--save-child"), path });
        if (!child.waitForFinished(60000))
            child.kill();
        return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    };

    prepare();
    const QString log = dir.filePath(QStringLiteral("trace"));
    QCOMPARE(run({ QStringLiteral("-o"), log, QStringLiteral("-e"),
                 QStringLiteral("trace=%file,%desc") }),
        int(WriteOutcome::Written));
    const QList<Call> calls = callsOfTheSave(log);
    QFile::remove(log);
    QVERIFY2(calls.size() > 5, "the trace shows no save");

    const QStringList expectedFiles = vault == QLatin1String("hard link")
        ? QStringList { "link.pwdb", "vault.pwdb" }
        : QStringList { "vault.pwdb" };
    for (const Call &call : calls) {
        prepare();
        const int status = run({ QStringLiteral("-o"), QStringLiteral("/dev/null"),
            QStringLiteral("-e"),
            QStringLiteral("inject=%1:%2:when=%3").arg(call.name, fault).arg(call.occurrence) });
        const QByteArray after = readBytes(path);
        const QString where
            = QStringLiteral("%1 #%2 gave %3").arg(call.name).arg(call.occurrence).arg(status);
        QVERIFY2(after == oldVault || after == newVault, qPrintable(where + ": other bytes"));
        if (status == int(WriteOutcome::Written))
            QVERIFY2(after == newVault, qPrintable(where + ": reported saved, old bytes"));
        if (after == newVault && vault == QLatin1String("owner kept")) {
            struct stat status
            {
            };
            QCOMPARE(::stat(native.constData(), &status), 0);
            QVERIFY2(status.st_uid == 65534 && status.st_gid == 65534, qPrintable(where));
        }
        // A kill between linking the finished temporary file and renaming it
        // leaves that file beside the vault; a failing call leaves nothing.
        if (fault.startsWith(QLatin1String("error"))) {
            QVERIFY2(filesIn(dir.path()) == expectedFiles,
                qPrintable(where + ": left " + filesIn(dir.path()).join(u' ')));
        }
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
