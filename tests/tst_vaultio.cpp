#include "testsupport.h"
#include "vault/vaultio.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TestSupport;

class TestVaultIo : public QObject
{
    Q_OBJECT

private slots:
    void crashMidSaveKeepsTheOldVault();
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

QTEST_GUILESS_MAIN(TestVaultIo)
#include "tst_vaultio.moc"
