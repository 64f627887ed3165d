// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogdriver.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

namespace {

const QString question = QStringLiteral("Do you want to save before exiting?");
const QMessageBox::StandardButtons exitButtons
    = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
const QList<QStringList> rows = { { "mail", "alice", "pw" }, { "bank", "bob", "1234" } };
const QByteArray plainRows = "mail\talice\tpw\nbank\tbob\t1234\n";

} // namespace

class TestExitQuestion : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void askedOnEveryClose();
};

void TestExitQuestion::answers_data()
{
    // "file", "none", "directory" (a save that fails), or a file that another
    // program rewrites after the load: "changed, replace", "changed, keep" or
    // "changed, merge".
    QTest::addColumn<QString>("vault");
    QTest::addColumn<int>("answer"); // QMessageBox::NoButton presses Escape
    QTest::addColumn<bool>("chooseFile"); // when the save dialog opens: choose, or cancel
    // Typed when the master password is to be confirmed: "pw", "typo", or
    // "cancel"; empty when the save never gets there.
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("written");

    QTest::addRow("Cancel") << "changed, keep" << int(QMessageBox::Cancel) << false << "" << false
                            << false;
    QTest::addRow("Escape") << "changed, keep" << int(QMessageBox::NoButton) << false << "" << false
                            << false;
    QTest::addRow("No") << "changed, keep" << int(QMessageBox::No) << false << "" << true << false;
    QTest::addRow("Yes, file in use")
        << "file" << int(QMessageBox::Yes) << false << "pw" << true << true;
    QTest::addRow("Yes, confirmation cancelled")
        << "file" << int(QMessageBox::Yes) << false << "cancel" << false << false;
    QTest::addRow("Yes, confirmation mistyped")
        << "file" << int(QMessageBox::Yes) << false << "typo" << false << false;
    QTest::addRow("Yes, file changed elsewhere, replaced")
        << "changed, replace" << int(QMessageBox::Yes) << false << "pw" << true << true;
    QTest::addRow("Yes, file changed elsewhere, merged")
        << "changed, merge" << int(QMessageBox::Yes) << false << "pw" << true << true;
    QTest::addRow("Yes, file changed elsewhere, kept")
        << "changed, keep" << int(QMessageBox::Yes) << false << "" << false << false;
    QTest::addRow("Yes, lines the save would drop, kept")
        << "not fully read" << int(QMessageBox::Yes) << false << "" << false << false;
    QTest::addRow("Yes, file chosen")
        << "none" << int(QMessageBox::Yes) << true << "pw" << true << true;
    QTest::addRow("Yes, save dialog cancelled")
        << "none" << int(QMessageBox::Yes) << false << "" << false << false;
    QTest::addRow("Yes, save fails")
        << "directory" << int(QMessageBox::Yes) << false << "" << false << false;
}

void TestExitQuestion::answers()
{
    QFETCH(QString, vault);
    QFETCH(int, answer);
    QFETCH(bool, chooseFile);
    QFETCH(QString, confirm);
    QFETCH(bool, closes);
    QFETCH(bool, written);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString file = dir.filePath(QStringLiteral("vault.pwdb"));
    const QByteArray before = xorBytes("kept\tas\tis\n\n", "pw"); // a blank line no save writes
    QString startPath;
    DialogDriver driver;
    const bool changed = vault.startsWith(QLatin1String("changed"));
    const bool notFullyRead = vault == QLatin1String("not fully read");
    if (vault == QLatin1String("file") || changed || notFullyRead) {
        QVERIFY(writeBytes(file, notFullyRead ? before : QByteArray()));
        startPath = file;
        driver.message(QMessageBox::Information, QStringLiteral("Loaded"),
            QStringLiteral("Passwords loaded successfully."));
    } else if (vault == QLatin1String("directory")) {
        startPath = dir.filePath(QStringLiteral("folder"));
        QVERIFY(QDir().mkpath(startPath));
        driver.message(QMessageBox::Critical, QStringLiteral("Error"),
            QStringLiteral("Failed to open file for reading."));
    }
    MainWindow window(startPath, QStringLiteral("pw"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    setTableRows(entryTable(window), rows);
    // Without the blank line, the file can be merged.
    const bool merge = vault == QLatin1String("changed, merge");
    const QByteArray mergeable = xorBytes("kept\tas\tis\n", "pw");
    if (changed)
        QVERIFY(writeBytes(file, merge ? mergeable : before));

    driver.message(QMessageBox::Question, QStringLiteral("Exit"), question, exitButtons,
        QMessageBox::StandardButton(answer));
    if (answer == QMessageBox::Yes) {
        if (vault == QLatin1String("none")) {
            driver.fileDialog(QFileDialog::AcceptSave, QStringLiteral("Save Passwords"),
                QStringLiteral("Password DB (*.pwdb);;All Files (*)"),
                chooseFile ? std::optional<QString>(file) : std::nullopt);
        }
        if (changed) {
            expectVaultChanged(driver,
                merge                                          ? QStringLiteral("Merge")
                    : vault.endsWith(QLatin1String("replace")) ? QStringLiteral("Replace")
                                                               : QStringLiteral("Cancel"));
        }
        if (notFullyRead) {
            driver.message(QMessageBox::Warning, QStringLiteral("Vault Not Fully Read"), QString(),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::No);
        }
        if (!confirm.isEmpty())
            expectConfirmation(
                driver, confirm == QLatin1String("cancel") ? std::nullopt : std::optional(confirm));
        if (confirm == QLatin1String("typo")) {
            driver.message(QMessageBox::Critical, QStringLiteral("Error"),
                QStringLiteral("The master password does not match the one Keyloft was started "
                               "with. Nothing was saved."));
        } else if (vault == QLatin1String("directory")) {
            driver.message(QMessageBox::Critical, QStringLiteral("Error"),
                QStringLiteral("Failed to open file for writing."));
        } else if (written) {
            driver.message(QMessageBox::Information, QStringLiteral("Saved"),
                QStringLiteral("Passwords saved successfully."));
        }
    }
    QCOMPARE(window.close(), closes);
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    QCOMPARE(window.isVisible(), !closes);
    const QList<QStringList> kept = { { "kept", "as", "is" } };
    QCOMPARE(tableRows(entryTable(window)), merge ? kept + rows : rows);
    if (written)
        QCOMPARE(readBytes(file), xorBytes(merge ? "kept\tas\tis\n" + plainRows : plainRows, "pw"));
    else if (changed || notFullyRead)
        QCOMPARE(readBytes(file), before);
    else if (vault == QLatin1String("file"))
        QCOMPARE(readBytes(file), QByteArray());
    else if (vault == QLatin1String("none"))
        QVERIFY(!QFileInfo::exists(file));
}

// Nothing records unsaved changes, so the question comes after a save too,
// and after a refused close the next close asks again.
void TestExitQuestion::askedOnEveryClose()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString file = dir.filePath(QStringLiteral("vault.pwdb"));
    DialogDriver driver;
    driver.message(QMessageBox::Critical, QStringLiteral("Error"),
        QStringLiteral("Failed to open file for reading."));
    MainWindow window(file, QStringLiteral("pw"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    expectConfirmation(driver);
    driver.message(QMessageBox::Information, QStringLiteral("Saved"),
        QStringLiteral("Passwords saved successfully."));
    QVERIFY(triggerAction(window, QStringLiteral("Save")));
    driver.message(
        QMessageBox::Question, QStringLiteral("Exit"), question, exitButtons, QMessageBox::Cancel);
    QVERIFY(!window.close());
    driver.message(
        QMessageBox::Question, QStringLiteral("Exit"), question, exitButtons, QMessageBox::No);
    QVERIFY(window.close());
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(readBytes(file), QByteArray());
}

KEYLOFT_TEST_MAIN(TestExitQuestion)
#include "tst_exitquestion.moc"
