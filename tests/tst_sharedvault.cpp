// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogdriver.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace TestSupport;

namespace {

const QByteArray key = "pw";

void expectLoaded(DialogDriver &driver)
{
    driver.message(QMessageBox::Information, QStringLiteral("Loaded"),
        QStringLiteral("Passwords loaded successfully."));
}

void expectSaved(DialogDriver &driver)
{
    driver.message(QMessageBox::Information, QStringLiteral("Saved"),
        QStringLiteral("Passwords saved successfully."));
}

struct stat statusOf(const QString &path)
{
    struct stat status
    {
    };
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

} // namespace

// One vault file open in two windows, or changed by a sync tool, another
// user or through another name while a window has it open.
class TestSharedVault : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void twoWindowsOnOneFile();
    void saveAsksOnlyWhenTheBytesChanged_data();
    void saveAsksOnlyWhenTheBytesChanged();
    void savedVaultKeepsItsIdentity_data();
    void savedVaultKeepsItsIdentity();
    void failedRollbackSaysTheVaultMayBeDamaged();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSharedVault::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
    // Open to the unprivileged user that PermissionsBind may switch to.
    QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
}

void TestSharedVault::twoWindowsOnOneFile()
{
    const QString file = path(QStringLiteral("vault.pwdb"));
    // The blank line, which no save writes back, is asked about too, but
    // never together with a change made elsewhere.
    QVERIFY(writeBytes(file, xorBytes("old\tu\tp\n\n", key)));
    DialogDriver driver;
    expectLoaded(driver);
    expectLoaded(driver);
    MainWindow a(file, QString::fromLatin1(key));
    MainWindow b(file, QString::fromLatin1(key));
    setTableRows(entryTable(a), { { "old", "u", "p" }, { "from", "A", "1" } });
    setTableRows(entryTable(b), { { "old", "u", "p" }, { "from", "B", "2" } });

    driver.message(QMessageBox::Warning, QStringLiteral("Vault Not Fully Read"), QString(),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No);
    expectSaved(driver); // A saves first
    expectVaultChanged(driver, QMessageBox::No); // B is asked and keeps A's work
    expectVaultChanged(driver, QMessageBox::NoButton); // asked again: Escape answers No
    QVERIFY(triggerAction(a, QStringLiteral("Save")));
    QVERIFY(triggerAction(b, QStringLiteral("Save")));
    QVERIFY(triggerAction(b, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    const QByteArray fromA = xorBytes("old\tu\tp\nfrom\tA\t1\n", key);
    QCOMPARE(readBytes(file), fromA);

    expectVaultChanged(driver, QMessageBox::Yes); // B replaces A's work when told to
    expectSaved(driver);
    QVERIFY(triggerAction(b, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(file), xorBytes("old\tu\tp\nfrom\tB\t2\n", key));

    expectLoaded(driver); // A catches up with a Load, then saves without a question
    expectSaved(driver);
    QVERIFY(triggerAction(a, QStringLiteral("Load")));
    QCOMPARE(tableRows(entryTable(a)), tableRows(entryTable(b)));
    setTableRows(entryTable(a), { { "merged", "by", "A" } });
    QVERIFY(triggerAction(a, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(file), xorBytes("merged\tby\tA\n", key));
}

void TestSharedVault::saveAsksOnlyWhenTheBytesChanged_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("asks");

    QTest::addRow("touched") << "touched" << false;
    QTest::addRow("rewritten with the same bytes") << "rewritten" << false;
    QTest::addRow("replaced by an identical copy") << "copied" << false;
    QTest::addRow("deleted: the save recreates it") << "deleted" << false;
    QTest::addRow("other bytes of the same size") << "same size" << true;
    QTest::addRow("created after the load found none") << "created" << true;
}

void TestSharedVault::saveAsksOnlyWhenTheBytesChanged()
{
    QFETCH(QString, change);
    QFETCH(bool, asks);

    const QString file = path(QStringLiteral("vault.pwdb"));
    const QByteArray loaded = xorBytes("svc\tuser\tpass\n", key);
    const QByteArray elsewhere = xorBytes("svc\tuser\tPASS\n", key);
    DialogDriver driver;
    if (change == QLatin1String("created")) {
        driver.message(QMessageBox::Critical, QStringLiteral("Error"),
            QStringLiteral("Failed to open file for reading."));
    } else {
        QVERIFY(writeBytes(file, loaded));
        expectLoaded(driver);
    }
    MainWindow window(file, QString::fromLatin1(key));
    setTableRows(entryTable(window), { { "new", "entry", "here" } });

    const QByteArray native = QFile::encodeName(file);
    if (change == QLatin1String("touched")) {
        const utimbuf later { 2000000000, 2000000000 };
        QCOMPARE(::utime(native.constData(), &later), 0);
    } else if (change == QLatin1String("rewritten")) {
        QVERIFY(writeBytes(file, loaded));
    } else if (change == QLatin1String("copied")) {
        const QString copy = path(QStringLiteral("copy"));
        QVERIFY(writeBytes(copy, loaded));
        QCOMPARE(::rename(QFile::encodeName(copy).constData(), native.constData()), 0);
    } else if (change == QLatin1String("deleted")) {
        QVERIFY(QFile::remove(file));
    } else {
        QVERIFY(writeBytes(file, elsewhere));
    }

    if (asks) {
        expectVaultChanged(driver, QMessageBox::No);
    } else {
        expectSaved(driver);
    }
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(file), asks ? elsewhere : xorBytes("new\tentry\there\n", key));
    QCOMPARE(filesIn(m_dir->path()), QStringList { "vault.pwdb" });
}

void TestSharedVault::savedVaultKeepsItsIdentity_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addRow("someone else's owner and group, saved by root") << "owner";
    QTest::addRow("hard link") << "hard link";
    QTest::addRow("symbolic link") << "symlink";
    QTest::addRow("world-writable vault of another user in a sticky folder") << "sticky";
}

// After a save the vault is the same file to everyone else: its owner, group,
// permissions and other names stay, so the group that shares it, and a
// backup link to it, keep seeing the new entries.
void TestSharedVault::savedVaultKeepsItsIdentity()
{
    QFETCH(QString, kind);

    QString folder = m_dir->path();
    if (kind == QLatin1String("sticky")) {
        folder = path(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
    }
    const QString file = QDir(folder).filePath(QStringLiteral("vault.pwdb"));
    const QString other = QDir(folder).filePath(QStringLiteral("other.pwdb"));
    const QByteArray native = QFile::encodeName(file);
    QVERIFY(writeBytes(file, xorBytes("a\tb\tc\n", key)));
    QCOMPARE(::chmod(native.constData(), kind == QLatin1String("sticky") ? 0666 : 0640), 0);
    QString opened = file;
    if (kind == QLatin1String("owner")) {
        if (geteuid() != 0)
            QSKIP("giving a file to another user needs root");
        QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
    } else if (kind == QLatin1String("hard link")) {
        QCOMPARE(::link(native.constData(), QFile::encodeName(other).constData()), 0);
    } else if (kind == QLatin1String("symlink")) {
        QVERIFY(QFile::link(file, other));
        opened = other;
    }
    const struct stat before = statusOf(file);

    std::optional<PermissionsBind> permissions;
    if (kind == QLatin1String("sticky")) {
        if (geteuid() != 0)
            QSKIP("a vault of another user needs root to set up");
        QVERIFY(permissions.emplace().isActive());
    }
    DialogDriver driver;
    expectLoaded(driver);
    expectSaved(driver);
    MainWindow window(opened, QString::fromLatin1(key));
    setTableRows(entryTable(window), { { "new", "entry", "here" } });
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    permissions.reset();
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    const QByteArray saved = xorBytes("new\tentry\there\n", key);
    QCOMPARE(readBytes(file), saved);
    const struct stat after = statusOf(file);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(after.st_mode, before.st_mode);
    if (kind == QLatin1String("hard link")) {
        QCOMPARE(after.st_nlink, nlink_t(2));
        QCOMPARE(readBytes(other), saved);
    } else if (kind == QLatin1String("symlink")) {
        QVERIFY(S_ISLNK(statusOf(other).st_mode));
    }
    const QStringList names = kind == QLatin1String("hard link") || kind == QLatin1String("symlink")
        ? QStringList { "other.pwdb", "vault.pwdb" }
        : QStringList { "vault.pwdb" };
    QCOMPARE(filesIn(folder), names);
}

// A hard-linked vault is written in place. When that write fails and the old
// bytes cannot be put back either, the user must know the file may be damaged;
// the next save is this window's own repair, not a change made elsewhere.
void TestSharedVault::failedRollbackSaysTheVaultMayBeDamaged()
{
    const QString file = path(QStringLiteral("vault.pwdb"));
    QByteArray plain;
    for (int i = 0; i < 100; ++i)
        plain += "service " + QByteArray::number(i) + "\tuser\tpassword\n";
    QVERIFY(writeBytes(file, xorBytes(plain, key)));
    QCOMPARE(::link(QFile::encodeName(file).constData(),
                 QFile::encodeName(path(QStringLiteral("link.pwdb"))).constData()),
        0);

    DialogDriver driver;
    expectLoaded(driver);
    MainWindow window(file, QString::fromLatin1(key));
    QList<QStringList> more = tableRows(entryTable(window));
    more.append({ "one", "more", "entry" });
    setTableRows(entryTable(window), more);
    driver.message(QMessageBox::Critical, QStringLiteral("Error"),
        QStringLiteral("Failed to write file. The vault file may be damaged: save again before "
                       "you close Keyloft."));
    {
        const FileSizeLimit fullDisk(1024); // smaller than both the old and the new vault
        QVERIFY(fullDisk.isActive());
        QVERIFY(triggerAction(window, QStringLiteral("Save")));
    }
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    expectSaved(driver);
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(file), xorBytes(plain + "one\tmore\tentry\n", key));
}

QTEST_MAIN(TestSharedVault)
#include "tst_sharedvault.moc"
