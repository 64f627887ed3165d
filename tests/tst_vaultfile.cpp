// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogdriver.h"
#include "testsupport.h"
#include "ui/mainwindow.h"
#include "vault/vaultio.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>
#include <sys/stat.h>

using namespace TestSupport;

namespace {

const QString filter = QStringLiteral("Password DB (*.pwdb);;All Files (*)");
const QString saved = QStringLiteral("Passwords saved successfully.");
const QString loaded = QStringLiteral("Passwords loaded successfully.");
const QString cannotWrite = QStringLiteral("Failed to open file for writing.");
const QString cannotRead = QStringLiteral("Failed to open file for reading.");
const QString readFailed = QStringLiteral("Failed to read file.");
const QString writeFailed = QStringLiteral("Failed to write file.");
const QString notAVault
    = QStringLiteral("This file is not a vault or the master password is wrong.");

const QList<QStringList> someRows = { { "old", "rows", "here" }, { "kept", "as", "they were" } };

void expectSaved(DialogDriver &driver)
{
    driver.message(QMessageBox::Information, QStringLiteral("Saved"), saved);
}

void expectLoaded(DialogDriver &driver)
{
    driver.message(QMessageBox::Information, QStringLiteral("Loaded"), loaded);
}

void expectError(DialogDriver &driver, const QString &text)
{
    driver.message(QMessageBox::Critical, QStringLiteral("Error"), text);
}

// An error that names the file and the system's reason under "Show Details…".
void expectError(
    DialogDriver &driver, const QString &text, const QString &file, const QString &reason)
{
    driver.message(QMessageBox::Critical, QStringLiteral("Error"), text)
        .detailedText(QStringLiteral("File: %1\nReason: %2").arg(file, reason));
}

// The rows as vault text, joined here.
QByteArray vaultText(const QList<QStringList> &rows)
{
    QByteArray text;
    for (const QStringList &row : rows)
        text += row.join(u'\t').toUtf8() + '\n';
    return text;
}

int modeOf(const QString &path)
{
    return int(statusOf(path).st_mode & 0777);
}

// A vault text of `count` entries, written out here byte by byte.
QByteArray plainVault(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        text += "service-" + n + "\tuser" + n + "@example.org\tPa55-word." + n + "!\n";
    }
    return text;
}

} // namespace

class TestVaultFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void fileDialogsStartAtHomeAndAddTheExtension_data();
    void fileDialogsStartAtHomeAndAddTheExtension();
    void saveWritesTheVaultBytes_data();
    void saveWritesTheVaultBytes();
    void loadReadsTheRows_data();
    void loadReadsTheRows();
    void loadedVaultSavesToTheSameBytes();
    void chosenFileStaysInUse();
    void cancelledDialogsChangeNothing();
    void vaultFromTheCommandLine();
    void missingVaultFromTheCommandLineIsCreatedBySave();
    void refusedVaultIsForgotten_data();
    void refusedVaultIsForgotten();
    void linesASaveWouldDropAreAskedAbout_data();
    void linesASaveWouldDropAreAskedAbout();
    void readFailures_data();
    void readFailures();
    void writeFailures_data();
    void writeFailures();
    void chosenVaultIsAskedAbout_data();
    void chosenVaultIsAskedAbout();
    void fullDiskKeepsTheOldVault();
    void twoWindowsOnOneFile();
    void conflictCopiesAreOffered_data();
    void conflictCopiesAreOffered();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // A folder in which nothing can be created, as seen while PermissionsBind holds.
    QString lockedFolder() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestVaultFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
    // Open to the unprivileged user that PermissionsBind may switch to.
    QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
}

QString TestVaultFile::lockedFolder() const
{
    const QString folder = path(QStringLiteral("locked"));
    QDir().mkpath(folder);
    QFile::setPermissions(folder,
        QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
    return folder;
}

void TestVaultFile::fileDialogsStartAtHomeAndAddTheExtension_data()
{
    QTest::addColumn<QString>("action");
    QTest::addRow("Save, a name typed without its extension") << "Save";
    QTest::addRow("Load, cancelled") << "Load";
}

// In a window without a vault, the file dialogs start in the home folder,
// not in the working directory, and a vault saved under a name typed
// without an extension gets ".pwdb", so that the Open dialog shows it.
void TestVaultFile::fileDialogsStartAtHomeAndAddTheExtension()
{
    QFETCH(QString, action);
    const bool save = action == QLatin1String("Save");

    MainWindow window(QString(), QStringLiteral("pw"));
    setTableRows(entryTable(window), someRows);
    DialogDriver driver;
    driver.fileDialog(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen,
        save ? QStringLiteral("Save Passwords") : QStringLiteral("Open Passwords"), filter,
        save ? std::optional<QString>(path(QStringLiteral("passwords"))) : std::nullopt,
        QDir::homePath());
    if (save) {
        expectConfirmation(driver);
        expectSaved(driver);
    }
    QVERIFY(triggerAction(window, action));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    if (save)
        QCOMPARE(
            readBytes(path(QStringLiteral("passwords.pwdb"))), xorBytes(vaultText(someRows), "pw"));
}

void TestVaultFile::saveWritesTheVaultBytes_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QByteArray>("plain");

    QTest::addRow("empty table writes 0 bytes")
        << "secret" << QByteArray("secret") << QList<QStringList>() << QByteArray();
    QTest::addRow("one entry") << "secret" << QByteArray("secret")
                               << QList<QStringList> { { "mail", "alice", "pw" } }
                               << QByteArray("mail\talice\tpw\n");
    QTest::addRow("rows in order, empty fields")
        << "secret" << QByteArray("secret")
        << QList<QStringList> { { "a", "", "" }, { "b", "u", "p" } }
        << QByteArray("a\t\t\nb\tu\tp\n");
    QTest::addRow("text and key outside ASCII")
        << QStringLiteral("clé") << QByteArray("cl\xc3\xa9")
        << QList<QStringList> { { QStringLiteral("Café"), QStringLiteral("Jürgen"),
               QStringLiteral("密码") } }
        << QByteArray("Caf\xc3\xa9\tJ\xc3\xbcrgen\t\xe5\xaf\x86\xe7\xa0\x81\n");
    QTest::addRow("surrounding spaces")
        << "secret" << QByteArray("secret") << QList<QStringList> { { " svc ", "  u", "p  " } }
        << QByteArray(" svc \t  u\tp  \n");
    QTest::addRow("key longer than the text")
        << "a much longer master password" << QByteArray("a much longer master password")
        << QList<QStringList> { { "x", "y", "z" } } << QByteArray("x\ty\tz\n");
}

void TestVaultFile::saveWritesTheVaultBytes()
{
    QFETCH(QString, password);
    QFETCH(QByteArray, key);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QByteArray, plain);

    MainWindow window(QString(), password);
    setTableRows(entryTable(window), rows);
    const QString file = path(QStringLiteral("new.pwdb"));

    DialogDriver driver;
    driver.fileDialog(QFileDialog::AcceptSave, QStringLiteral("Save Passwords"), filter, file);
    expectConfirmation(driver, password);
    expectSaved(driver);
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    QCOMPARE(readBytes(file), xorBytes(plain, key));
    QCOMPARE(modeOf(file), 0600);
    QCOMPARE(filesIn(m_dir->path()), QStringList { "new.pwdb" });
    QCOMPARE(tableRows(entryTable(window)), rows); // saving leaves the table as it was
}

void TestVaultFile::loadReadsTheRows_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QList<QStringList>>("rows");

    QTest::addRow("empty file, empty table") << QByteArray() << QList<QStringList>();
    QTest::addRow("rows in file order") << QByteArray(
        "b\tu\tp\na\t\t\n") << QList<QStringList> { { "b", "u", "p" }, { "a", "", "" } };
    QTest::addRow("carriage return stays in the password")
        << QByteArray("a\tb\tc\r\n") << QList<QStringList> { { "a", "b", "c\r" } };
    QTest::addRow("blank lines skipped")
        << QByteArray("\n  \n\t\r\na\tb\tc\n\n \t \n") << QList<QStringList> { { "a", "b", "c" } };
    QTest::addRow("fields after the third dropped")
        << QByteArray("a\tb\tc\td\te\n") << QList<QStringList> { { "a", "b", "c" } };
    QTest::addRow("last line without a line feed") << QByteArray(
        "a\tb\tc\nd\te\tf") << QList<QStringList> { { "a", "b", "c" }, { "d", "e", "f" } };
    QTest::addRow("surrounding spaces kept")
        << QByteArray(" a \t b \t c \n") << QList<QStringList> { { " a ", " b ", " c " } };
    QTest::addRow("entry of whitespace only is blank")
        << QByteArray("   \t\t\nz\ty\tx\n") << QList<QStringList> { { "z", "y", "x" } };
    QTest::addRow("text outside ASCII")
        << QByteArray("\xe6\x9c\x8d\xe5\x8a\xa1\tJ\xc3\xbcrgen\t\xf0\x9f\x94\x91\n")
        << QList<QStringList> { { QStringLiteral("服务"), QStringLiteral("Jürgen"),
               QStringLiteral("\U0001F511") } };
}

void TestVaultFile::loadReadsTheRows()
{
    QFETCH(QByteArray, plain);
    QFETCH(QList<QStringList>, rows);

    const QString file = path(QStringLiteral("vault.pwdb"));
    QVERIFY(writeBytes(file, xorBytes(plain, "secret")));
    MainWindow window(QString(), QStringLiteral("secret"));
    setTableRows(entryTable(window), someRows);

    DialogDriver driver;
    driver.fileDialog(QFileDialog::AcceptOpen, QStringLiteral("Open Passwords"), filter, file);
    expectLoaded(driver);
    QVERIFY(triggerAction(window, QStringLiteral("Load")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    QCOMPARE(tableRows(entryTable(window)), rows);
    QCOMPARE(readBytes(file), xorBytes(plain, "secret")); // loading never changes the file
}

void TestVaultFile::loadedVaultSavesToTheSameBytes()
{
    const QByteArray content = xorBytes(plainVault(5) + "x\ty\tz\r\n", "k\xc3\xa9y");
    const QString file = path(QStringLiteral("vault.pwdb"));
    QVERIFY(writeBytes(file, content));

    DialogDriver driver;
    expectLoaded(driver);
    MainWindow window(file, QStringLiteral("kéy"));
    expectConfirmation(driver, QStringLiteral("kéy")); // no record of the vault yet
    expectSaved(driver);
    expectSaved(driver);
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QCOMPARE(readBytes(file), content);
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(file), content);
}

void TestVaultFile::chosenFileStaysInUse()
{
    const QString file = path(QStringLiteral("chosen.pwdb"));
    MainWindow window(QString(), QStringLiteral("pw"));
    auto *table = entryTable(window);
    setTableRows(table, { { "a", "b", "c" } });

    DialogDriver driver;
    driver.fileDialog(QFileDialog::AcceptSave, QStringLiteral("Save Passwords"), filter, file);
    expectConfirmation(driver);
    expectSaved(driver);
    QVERIFY(triggerAction(window, QStringLiteral("Save")));

    // From now on Save writes and Load re-reads that file without a dialog.
    setTableRows(table, { { "d", "e", "f" } });
    expectSaved(driver);
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    setTableRows(table, {});
    expectLoaded(driver);
    QVERIFY(triggerAction(window, QStringLiteral("Load")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    QCOMPARE(readBytes(file), xorBytes("d\te\tf\n", "pw"));
    QCOMPARE(tableRows(table), QList<QStringList>({ { "d", "e", "f" } }));
}

void TestVaultFile::cancelledDialogsChangeNothing()
{
    MainWindow window(QString(), QStringLiteral("pw"));
    auto *table = entryTable(window);
    setTableRows(table, someRows);

    DialogDriver driver; // cancelled twice each: the file stays unchosen
    for (int i = 0; i < 2; ++i) {
        driver.fileDialog(
            QFileDialog::AcceptSave, QStringLiteral("Save Passwords"), filter, std::nullopt);
        driver.fileDialog(
            QFileDialog::AcceptOpen, QStringLiteral("Open Passwords"), filter, std::nullopt);
        QVERIFY(triggerAction(window, QStringLiteral("Save")));
        QVERIFY(triggerAction(window, QStringLiteral("Load")));
    }
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(tableRows(table), someRows);
    QCOMPARE(filesIn(m_dir->path()), QStringList());
}

void TestVaultFile::vaultFromTheCommandLine()
{
    const QString file = path(QStringLiteral("start.pwdb"));
    QVERIFY(writeBytes(file, xorBytes("one\t1\tI\ntwo\t2\tII\n", "pw")));

    DialogDriver driver; // the load reports before the window is ever shown
    expectLoaded(driver);
    MainWindow window(file, QStringLiteral("pw"));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QVERIFY(!window.isVisible());
    // The box stood over the middle of where the window then appears.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint offCentre = driver.placed().value(0).center() - window.geometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 2,
        qPrintable(QStringLiteral("%1, %2").arg(offCentre.x()).arg(offCentre.y())));
    QCOMPARE(tableRows(entryTable(window)),
        QList<QStringList>({ { "one", "1", "I" }, { "two", "2", "II" } }));
}

void TestVaultFile::missingVaultFromTheCommandLineIsCreatedBySave()
{
    const QString file = path(QStringLiteral("later.pwdb"));
    DialogDriver driver;
    expectError(driver, cannotRead);
    MainWindow window(file, QStringLiteral("pw"));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(entryTable(window)->rowCount(), 0);

    setTableRows(entryTable(window), { { "s", "u", "p" } });
    expectConfirmation(driver);
    expectSaved(driver); // no file dialog: the path from the command line is used
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(file), xorBytes("s\tu\tp\n", "pw"));
    QCOMPARE(modeOf(file), 0600);
}

void TestVaultFile::refusedVaultIsForgotten_data()
{
    QTest::addColumn<int>("entries"); // 0: a sparse file of 300 MiB; -1: saved here
    QTest::addColumn<bool>("fromCommandLine");

    for (int entries : { 1, 3, 20 }) {
        QTest::addRow("wrong key, %d entries, Load", entries) << entries << false;
        QTest::addRow("wrong key, %d entries, command line", entries) << entries << true;
    }
    QTest::addRow("file over 256 MiB, Load") << 0 << false;
    QTest::addRow("file over 256 MiB, command line") << 0 << true;
    // One key typed wrong gives readable lines here: only the record of the
    // save tells.
    QTest::addRow("one-key typo of the key a save used, Load") << -1 << false;
    QTest::addRow("one-key typo of the key a save used, command line") << -1 << true;
}

// A mistyped password deciphers to bytes no save writes, and a huge file
// (opened by mistake) is no vault either: refused before it is read. The
// table stays as it was, and the file is forgotten: the next save asks where
// to write instead of overwriting it.
void TestVaultFile::refusedVaultIsForgotten()
{
    QFETCH(int, entries);
    QFETCH(bool, fromCommandLine);

    const QString file = path(QStringLiteral("vault.pwdb"));
    const bool typo = entries < 0;
    const QByteArray content = typo ? xorBytes("github\talice\tsecretpassword\n", "opensesame")
                                    : xorBytes(plainVault(entries), "correct horse");
    if (typo) {
        QCOMPARE(saveAsKeyloft(file, "opensesame", { { "github", "alice", "secretpassword" } }),
            VaultSession::SaveOutcome::Saved);
        QCOMPARE(readBytes(file), content);
    } else {
        QFile vault(file);
        QVERIFY(vault.open(QIODevice::WriteOnly)
            && (entries ? vault.write(content) == content.size()
                        : vault.resize(qint64(300) << 20)));
    }
    const QString message
        = entries ? notAVault : QStringLiteral("This file is too large to be a vault.");

    DialogDriver driver;
    if (fromCommandLine)
        expectError(driver, message);
    MainWindow window(fromCommandLine ? file : QString(),
        typo ? QStringLiteral("oPensesame") : QStringLiteral("battery staple"));
    auto *table = entryTable(window);
    setTableRows(table, someRows);
    if (!fromCommandLine) {
        driver.fileDialog(QFileDialog::AcceptOpen, QStringLiteral("Open Passwords"), filter, file);
        expectError(driver, message);
        QVERIFY(triggerAction(window, QStringLiteral("Load")));
    }
    driver.fileDialog(
        QFileDialog::AcceptSave, QStringLiteral("Save Passwords"), filter, std::nullopt);
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    QCOMPARE(tableRows(table), someRows);
    if (entries)
        QCOMPARE(readBytes(file), content);
    else
        QCOMPARE(statusOf(file).st_blocks, blkcnt_t(0)); // never written
}

void TestVaultFile::linesASaveWouldDropAreAskedAbout_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QString>("typedKey"); // the vault is enciphered with "opensesame"
    QTest::addColumn<bool>("asks");
    QTest::addColumn<QByteArray>("saved"); // the text the save writes, under the typed key

    // Read under the typo, every tenth byte from the second on has its bit
    // 0x20 flipped: the first line feed becomes '*', and one line of five
    // fields is left.
    QTest::addRow("master password mistyped, still readable")
        << QByteArray("github\talice\thunter2!\nmail\tbob\tpa ss\n") << "oPensesame" << true
        << QByteArray("gIthub\talicE\thunter2!*mail\n");
    QTest::addRow("blank line") << QByteArray("a\tb\tc\n\nd\te\tf\n") << "opensesame" << true
                                << QByteArray("a\tb\tc\nd\te\tf\n");
    QTest::addRow("line of blanks")
        << QByteArray("a\tb\tc\n \t \n") << "opensesame" << true << QByteArray("a\tb\tc\n");
    QTest::addRow("fourth field") << QByteArray("a\tb\tc\td\n") << "opensesame" << true
                                  << QByteArray("a\tb\tc\n");
    QTest::addRow("no final line feed") << QByteArray("a\tb\tc\nd\te\tf") << "opensesame" << false
                                        << QByteArray("a\tb\tc\nd\te\tf\n");
    QTest::addRow("CRLF lines") << QByteArray("a\tb\tc\r\nd\te\tf\r\n") << "opensesame" << false
                                << QByteArray("a\tb\tc\r\nd\te\tf\r\n");
    QTest::addRow("empty file") << QByteArray() << "opensesame" << false << QByteArray();
}

// Bytes that a load skipped would be gone after a save, so the save asks
// first; No keeps the file, Yes writes the table and settles the question.
void TestVaultFile::linesASaveWouldDropAreAskedAbout()
{
    QFETCH(QByteArray, plain);
    QFETCH(QString, typedKey);
    QFETCH(bool, asks);
    QFETCH(QByteArray, saved);

    const QString file = path(QStringLiteral("vault.pwdb"));
    const QByteArray content = xorBytes(plain, "opensesame");
    QVERIFY(writeBytes(file, content));
    DialogDriver driver;
    expectLoaded(driver);
    MainWindow window(file, typedKey);

    const QString question = QStringLiteral(
        "Some lines of the vault file are not entries and would be lost by saving. If the "
        "entries look wrong, the master password was probably mistyped. Save anyway?");
    const auto notFullyRead = [&](QMessageBox::StandardButton click) {
        driver.message(QMessageBox::Warning, QStringLiteral("Vault Not Fully Read"), question,
            QMessageBox::Yes | QMessageBox::No, click, QMessageBox::No);
    };
    if (asks) {
        notFullyRead(QMessageBox::No);
        notFullyRead(QMessageBox::NoButton);
        QVERIFY(triggerAction(window, QStringLiteral("Save")));
        QVERIFY(triggerAction(window, QStringLiteral("Save")));
        QVERIFY2(driver.verify(), qPrintable(driver.report()));
        QCOMPARE(readBytes(file), content);
        notFullyRead(QMessageBox::Yes);
    }
    expectConfirmation(driver, typedKey);
    expectSaved(driver);
    expectSaved(driver); // asked once at most
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(file), xorBytes(saved, typedKey.toUtf8()));
}

void TestVaultFile::readFailures_data()
{
    QTest::addColumn<QString>(
        "name"); // empty: the test's own memory, which opens but cannot be read
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("reason"); // what the system says

    QTest::addRow("missing file") << "missing.pwdb" << false << cannotRead
                                  << "No such file or directory";
    QTest::addRow("directory") << "folder.pwdb" << false << cannotRead << "Is a directory";
    QTest::addRow("named pipe, which would block the open")
        << "pipe.pwdb" << false << cannotRead << "No such device or address";
    QTest::addRow("file without read permission")
        << "locked.pwdb" << true << cannotRead << "Permission denied";
    QTest::addRow("read fails after the open")
        << QString() << false << readFailed << "Input/output error";
}

// The failed load keeps the path and the table; Load then tries the same path
// again without a dialog.
void TestVaultFile::readFailures()
{
    QFETCH(QString, name);
    QFETCH(bool, unreadable);
    QFETCH(QString, message);
    QFETCH(QString, reason);

    const QString file = name.isEmpty() ? QStringLiteral("/proc/self/mem") : path(name);
    if (name == QLatin1String("folder.pwdb"))
        QVERIFY(QDir().mkpath(file));
    if (name == QLatin1String("pipe.pwdb"))
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    if (unreadable) {
        QVERIFY(writeBytes(file, xorBytes("a\tb\tc\n", "pw")));
        QVERIFY(QFile::setPermissions(file, QFileDevice::WriteOwner));
    }
    std::optional<PermissionsBind> permissions;
    if (unreadable && !permissions.emplace().isActive())
        QSKIP("cannot run without the privilege to read every file");

    DialogDriver driver;
    expectError(driver, message);
    MainWindow window(file, QStringLiteral("pw"));
    setTableRows(entryTable(window), someRows);
    expectError(driver, message, file, reason);
    QVERIFY(triggerAction(window, QStringLiteral("Load")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(tableRows(entryTable(window)), someRows);
}

void TestVaultFile::writeFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason"); // what the system says
    QTest::addRow("directory as path") << "directory"
                                       << "Is a directory";
    QTest::addRow("named pipe as path, which a save must not replace")
        << "pipe"
        << "No such device or address";
    QTest::addRow("new file in a locked folder") << "locked folder"
                                                 << "Permission denied";
    QTest::addRow("read-only file") << "read-only file"
                                    << "Permission denied";
    QTest::addRow("folder that does not exist") << "missing folder"
                                                << "No such file or directory";
    QTest::addRow("vault another window keeps locked")
        << "held lock"
        << "Another Keyloft window held the vault's lock for more than 10 seconds.";
}

void TestVaultFile::writeFailures()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    const QByteArray content = xorBytes("a\tb\tc\n", "pw");
    QString file = path(QStringLiteral("vault.pwdb"));
    const bool held = kind == QLatin1String("held lock");
    DialogDriver driver;
    if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(file));
        expectError(driver, cannotRead);
    } else if (kind == QLatin1String("pipe")) {
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        // Open to anyone: the refusal is for being a pipe.
        QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions(0x6666)));
        expectError(driver, cannotRead);
    } else if (kind == QLatin1String("locked folder")) {
        file = QDir(lockedFolder()).filePath(QStringLiteral("new.pwdb"));
        expectError(driver, cannotRead);
    } else if (kind == QLatin1String("missing folder")) {
        file = path(QStringLiteral("Documnets/vault.pwdb"));
        expectError(driver, cannotRead);
    } else {
        QVERIFY(writeBytes(file, content));
        QVERIFY(
            held || QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadOther));
        expectLoaded(driver);
    }
    PermissionsBind permissions;
    if (!permissions.isActive())
        QSKIP("cannot run without the privilege to write every file");

    MainWindow window(file, QStringLiteral("pw"));
    setTableRows(entryTable(window), someRows);
    std::optional<VaultLocation> otherWindow;
    if (held)
        otherWindow.emplace(file).lock();
    // A path the check cannot read fails before anything is asked.
    if (kind != QLatin1String("directory") && kind != QLatin1String("pipe") && !held)
        expectConfirmation(driver);
    expectError(driver, cannotWrite, file, reason);
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    otherWindow.reset();

    if (kind == QLatin1String("directory"))
        QVERIFY(QFileInfo(file).isDir());
    else if (kind == QLatin1String("pipe"))
        QVERIFY(QFileInfo(file).exists() && !QFileInfo(file).isFile());
    else if (kind == QLatin1String("locked folder") || kind == QLatin1String("missing folder"))
        QVERIFY(!QFileInfo::exists(file));
    else
        QCOMPARE(readBytes(file), content);

    // No dead end: Yes on exit asks for a file, starting at the one that
    // failed, and the file chosen there is used from then on.
    const QString elsewhere = path(QStringLiteral("elsewhere.pwdb"));
    driver.message(QMessageBox::Question, QStringLiteral("Exit"),
        QStringLiteral("Do you want to save before exiting?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    // A folder that does not exist cannot be shown: its nearest existing one is.
    const QString start = kind == QLatin1String("missing folder")
        ? path(QStringLiteral("vault.pwdb"))
        : QFileInfo(file).absoluteFilePath();
    driver.fileDialog(
        QFileDialog::AcceptSave, QStringLiteral("Save Passwords"), filter, elsewhere, start);
    expectConfirmation(driver);
    expectSaved(driver);
    const bool closed = window.close();
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QVERIFY(closed);
    // Where the record of the key cannot be kept (a data folder this user
    // may not write), the confirmation comes again.
    if (!QFileInfo(qEnvironmentVariable("XDG_DATA_HOME")).isWritable())
        expectConfirmation(driver);
    expectSaved(driver);
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(elsewhere), xorBytes(vaultText(someRows), "pw"));
}

void TestVaultFile::chosenVaultIsAskedAbout_data()
{
    QTest::addColumn<QByteArray>("key"); // the vault's
    QTest::addColumn<bool>("recorded"); // saved by Keyloft on this computer
    QTest::addRow("a vault of this master password") << QByteArray("pw") << true;
    QTest::addRow("a vault Keyloft saved with another master password")
        << QByteArray("other") << true;
    QTest::addRow("a file this master password does not open, Escape")
        << QByteArray("other") << false;
}

// A window started without a vault saves to an existing one chosen in the
// file dialog: replacing its entries is asked about, and declined here.
void TestVaultFile::chosenVaultIsAskedAbout()
{
    QFETCH(QByteArray, key);
    QFETCH(bool, recorded);
    const QString file = path(QStringLiteral("vault.pwdb"));
    if (recorded)
        QCOMPARE(saveAsKeyloft(file, key, { { "a", "b", "c" } }), VaultSession::SaveOutcome::Saved);
    else
        QVERIFY(writeBytes(file, xorBytes("a\tb\tc\n", key)));
    const QByteArray before = readBytes(file);
    const bool sameKey = key == "pw";

    MainWindow window(QString(), QStringLiteral("pw"));
    setTableRows(entryTable(window), someRows);
    DialogDriver driver;
    driver.fileDialog(QFileDialog::AcceptSave, QStringLiteral("Save Passwords"), filter, file);
    // The file dialog's own question, over it.
    driver
        .message(QMessageBox::Warning, QStringLiteral("Save Passwords"),
            QStringLiteral("vault.pwdb already exists.\nDo you want to replace it?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No)
        .topLevel();
    if (sameKey)
        driver.choice(QMessageBox::Warning, QStringLiteral("Replace Vault"),
            QStringLiteral("The file already holds entries of a vault with this master password "
                           "that are not in this window. Merge them with the entries in this "
                           "window, or replace them with the entries in this window?"),
            { { QStringLiteral("Merge"), QMessageBox::AcceptRole },
                { QStringLiteral("Replace"), QMessageBox::DestructiveRole },
                { QStringLiteral("Cancel"), QMessageBox::RejectRole } },
            QStringLiteral("Cancel"), QStringLiteral("Merge"));
    else if (recorded)
        driver.message(QMessageBox::Warning, QStringLiteral("Replace Vault"),
            QStringLiteral("The file is a vault that Keyloft saved with another master password. "
                           "Replacing it loses its entries. Replace it with the entries in this "
                           "window?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::No);
    else
        driver.message(QMessageBox::Warning, QStringLiteral("Replace File"),
            QStringLiteral("This file cannot be opened with your master password: it may be a "
                           "vault locked with another master password. Replacing it loses "
                           "everything it holds. Replace it with the entries in this window?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton, QMessageBox::No);
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(file), before);
    QCOMPARE(tableRows(entryTable(window)), someRows);
}

// The old vault stays, and the user learns that the save failed.
void TestVaultFile::fullDiskKeepsTheOldVault()
{
    const QString file = path(QStringLiteral("vault.pwdb"));
    const QByteArray content = xorBytes(plainVault(3), "pw");
    QVERIFY(writeBytes(file, content));
    DialogDriver driver;
    expectLoaded(driver);
    MainWindow window(file, QStringLiteral("pw"));
    QList<QStringList> many;
    for (int i = 0; i < 200; ++i)
        many.append({ QStringLiteral("service %1").arg(i), QStringLiteral("user"),
            QStringLiteral("password") });
    setTableRows(entryTable(window), many);

    expectConfirmation(driver);
    expectError(driver, writeFailed);
    {
        const FileSizeLimit fullDisk(1024);
        QVERIFY(fullDisk.isActive());
        QVERIFY(triggerAction(window, QStringLiteral("Save")));
    }
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(tableRows(entryTable(window)), many);
    QCOMPARE(filesIn(m_dir->path()), QStringList { "vault.pwdb" });
    QCOMPARE(readBytes(file), content);
}

// One vault open in two windows. The blank line, which no save writes back,
// is asked about too, but never together with a change made elsewhere; each
// button of "Vault Changed" does what it says, and a merge that keeps both
// versions of an entry changed in both windows says so.
void TestVaultFile::twoWindowsOnOneFile()
{
    const QString file = path(QStringLiteral("vault.pwdb"));
    QVERIFY(writeBytes(file, xorBytes("old\tu\tp\n\n", "pw")));
    DialogDriver driver;
    expectLoaded(driver);
    expectLoaded(driver);
    MainWindow a(file, QStringLiteral("pw"));
    MainWindow b(file, QStringLiteral("pw"));
    setTableRows(entryTable(a), { { "from", "A", "1" } });
    setTableRows(entryTable(b), { { "from", "B", "2" } });

    driver.message(QMessageBox::Warning, QStringLiteral("Vault Not Fully Read"), QString(),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No);
    expectConfirmation(driver); // the vault has no record yet
    expectSaved(driver); // A saves first
    expectVaultChanged(driver, QStringLiteral("Cancel")); // B is asked and keeps A's work
    expectVaultChanged(driver, QString()); // asked again: Escape cancels
    QVERIFY(triggerAction(a, QStringLiteral("Save")));
    QVERIFY(triggerAction(b, QStringLiteral("Save")));
    QVERIFY(triggerAction(b, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(file), xorBytes("from\tA\t1\n", "pw"));

    expectVaultChanged(driver, QStringLiteral("Replace")); // B replaces it when told to
    expectSaved(driver); // A's save left the record of the key
    expectLoaded(driver); // A catches up with a Load, then saves without a question
    expectSaved(driver);
    QVERIFY(triggerAction(b, QStringLiteral("Save")));
    QCOMPARE(readBytes(file), xorBytes("from\tB\t2\n", "pw"));
    QVERIFY(triggerAction(a, QStringLiteral("Load")));
    QCOMPARE(tableRows(entryTable(a)), QList<QStringList>({ { "from", "B", "2" } }));
    setTableRows(entryTable(a), { { "from", "B", "2" }, { "bank", "by", "A" } });
    QVERIFY(triggerAction(a, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    // Each adds the same entry, differently: Merge keeps both, the file's
    // first, which B shows as its current row.
    expectVaultChanged(driver, QStringLiteral("Merge"));
    driver.message(QMessageBox::Information, QStringLiteral("Saved"), saved)
        .informativeText(QStringLiteral("1 entry was changed both in this window and in the "
                                        "file: both versions are kept, the file's first."));
    setTableRows(entryTable(b), { { "from", "B", "2" }, { "bank", "by", "B" } });
    QVERIFY(triggerAction(b, QStringLiteral("Save")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(tableRows(entryTable(b)),
        QList<QStringList>({ { "from", "B", "2" }, { "bank", "by", "A" }, { "bank", "by", "B" } }));
    QCOMPARE(entryTable(b)->currentRow(), 1);
    QCOMPARE(selectedRows(entryTable(b)), QList<int> { 1 }); // what came from the file
    QCOMPARE(readBytes(file), xorBytes("from\tB\t2\nbank\tby\tA\nbank\tby\tB\n", "pw"));
}

void TestVaultFile::conflictCopiesAreOffered_data()
{
    QTest::addColumn<QString>("when"); // "start-up", "Load", or "Save" of a window left open
    QTest::addColumn<bool>("merge"); // or Ignore
    QTest::addColumn<bool>("deleteOne"); // delete c, held by the newer copy alone
    QTest::addRow("at start-up, Merge, then Save") << "start-up" << true << false;
    QTest::addRow("by Load, Merge, delete an entry, then Save") << "Load" << true << true;
    QTest::addRow("by Load, Ignore") << "Load" << false << false;
    QTest::addRow("at Save, Merge") << "Save" << true << false;
    QTest::addRow("at Save, Ignore") << "Save" << false << false;
}

// Entries a sync tool moved into conflict copies are offered once the window
// shows, after a load, and at a save when the copies came after the load:
// Merge brings them into the table, oldest copy first, selected, and the
// save that writes them moves the copies it holds whole to the trash;
// Ignore changes nothing, and a save goes on.
void TestVaultFile::conflictCopiesAreOffered()
{
    QFETCH(QString, when);
    QFETCH(bool, merge);
    QFETCH(bool, deleteOne);
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
    QVERIFY(QDir(trash).removeRecursively()); // what earlier rows moved there
    const QString file = path(QStringLiteral("vault.pwdb"));
    const QString older = QStringLiteral("vault.sync-conflict-20261207-200852-BSADUBW.pwdb");
    const QString newer = QStringLiteral("vault (Alice's conflicted copy 2026-12-08).pwdb");
    QVERIFY(writeBytes(file, xorBytes("a\tu\t1\n", "pw")));
    const auto leaveCopies = [&] {
        return writeBytes(path(newer), xorBytes("a\tu\t1\nc\tu\t3\n", "pw"))
            && writeBytes(path(older), xorBytes("b\tu\t2\na\tu\t1\n", "pw"))
            && setModified(path(older), QDateTime::currentDateTime().addDays(-1));
    };
    if (when != QLatin1String("Save"))
        QVERIFY(leaveCopies());

    DialogDriver driver;
    std::unique_ptr<MainWindow> window;
    const auto expectQuestion = [&] {
        driver
            .choice(QMessageBox::Question, QStringLiteral("Conflicting Copies"),
                QStringLiteral("A sync tool left 2 copies of this vault with entries that are "
                               "not in it. Merge their entries into this window?"),
                { { QStringLiteral("Merge"), QMessageBox::AcceptRole },
                    { QStringLiteral("Ignore"), QMessageBox::RejectRole },
                    { QStringLiteral("Show Details..."), QMessageBox::ActionRole } },
                merge ? QStringLiteral("Merge") : QString(), QStringLiteral("Merge"))
            .informativeText(older + u'\n' + newer)
            .detailedText(
                older + QStringLiteral("\n    b / u\n") + newer + QStringLiteral("\n    c / u"))
            .whileOpen([&window] {
                return window && window->isVisible() ? QString()
                                                     : QStringLiteral("the window is not shown");
            });
    };
    if (when == QLatin1String("Load"))
        driver.fileDialog(QFileDialog::AcceptOpen, QStringLiteral("Open Passwords"), filter, file);
    expectLoaded(driver);
    if (when != QLatin1String("Save"))
        expectQuestion();
    window = std::make_unique<MainWindow>(
        when == QLatin1String("Load") ? QString() : file, QStringLiteral("pw"));
    window->show();
    QCoreApplication::processEvents(); // the window's first turn: a question it had to ask
    if (when == QLatin1String("Load"))
        QVERIFY(triggerAction(*window, QStringLiteral("Load")));
    const int questions = when == QLatin1String("Save") ? 1 : when == QLatin1String("Load") ? 3 : 2;
    QTRY_VERIFY2(driver.seen().size() == questions, qPrintable(driver.report()));
    if (when == QLatin1String("Save")) {
        // Copies left while the window was open are asked about before the save.
        QVERIFY(leaveCopies());
        expectQuestion();
        expectConfirmation(driver);
        expectSaved(driver);
        QVERIFY(triggerAction(*window, QStringLiteral("Save")));
    }
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QList<QStringList> all = { { "a", "u", "1" } };
    if (!merge) {
        QCOMPARE(tableRows(entryTable(*window)), all);
        QCOMPARE(filesIn(m_dir->path()), QStringList({ newer, "vault.pwdb", older }));
        QCOMPARE(readBytes(file), xorBytes("a\tu\t1\n", "pw"));
        if (when == QLatin1String("Save"))
            return;
        // Ignored copies are asked about again at the next load, not at a save.
        expectLoaded(driver);
        expectQuestion();
        expectConfirmation(driver);
        expectSaved(driver);
        QVERIFY(triggerAction(*window, QStringLiteral("Load")));
        QVERIFY(triggerAction(*window, QStringLiteral("Save")));
        QVERIFY2(driver.verify(), qPrintable(driver.report()));
        QCOMPARE(filesIn(m_dir->path()), QStringList({ newer, "vault.pwdb", older }));
        return;
    }
    all << QStringList { "b", "u", "2" } << QStringList { "c", "u", "3" };
    QCOMPARE(tableRows(entryTable(*window)), all);
    QCOMPARE(selectedRows(entryTable(*window)), QList<int>({ 1, 2 }));
    QCOMPARE(entryTable(*window)->currentRow(), 1);
    if (when != QLatin1String("Save")) {
        QCOMPARE(readBytes(file), xorBytes("a\tu\t1\n", "pw")); // nothing written yet
        if (deleteOne) {
            entryTable(*window)->setCurrentCell(2, 0);
            QVERIFY(triggerAction(*window, QStringLiteral("Delete")));
            all.removeLast();
        }
        expectConfirmation(driver);
        expectSaved(driver);
        QVERIFY(triggerAction(*window, QStringLiteral("Save")));
        QVERIFY2(driver.verify(), qPrintable(driver.report()));
    }
    QCOMPARE(readBytes(file), xorBytes(vaultText(all), "pw"));
    QCOMPARE(filesIn(m_dir->path()),
        deleteOne ? QStringList({ newer, "vault.pwdb" }) : QStringList { "vault.pwdb" });
    QCOMPARE(filesIn(trash + QStringLiteral("/files")),
        deleteOne ? QStringList { older } : QStringList({ newer, older }));
}

KEYLOFT_TEST_MAIN(TestVaultFile)
#include "tst_vaultfile.moc"
