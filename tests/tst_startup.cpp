// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/masterpassword.h"
#include "dialogdriver.h"
#include "testsupport.h"

#include <QFontMetrics>
#include <QTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void masterPassword_data();
    void masterPassword();
};

void TestStartup::masterPassword_data()
{
    QTest::addColumn<QStringList>("replies"); // one per prompt; a null string cancels
    // The answer to the control-character question after each reply that asks it.
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QString>("password");

    const QString cancel;
    QTest::addRow("typed") << QStringList { "correct horse" } << QList<int>() << true
                           << "correct horse";
    QTest::addRow("blanks kept as typed") << QStringList { "  " } << QList<int>() << true << "  ";
    QTest::addRow("outside ASCII")
        << QStringList { "sésame ключ" } << QList<int>() << true << "sésame ключ";
    QTest::addRow("confirmed empty") << QStringList { "" } << QList<int>() << true << "";
    QTest::addRow("cancelled") << QStringList { cancel } << QList<int>() << false << "";
    QTest::addRow("pasted line break, used anyway")
        << QStringList { "opensesame\n" } << QList<int> { QMessageBox::Yes } << true
        << "opensesame\n";
    QTest::addRow("pasted line break, typed again")
        << QStringList { "opensesame\r\n", "opensesame" } << QList<int> { QMessageBox::No } << true
        << "opensesame";
    QTest::addRow("paragraph separator, Escape, then cancelled")
        << QStringList { QStringLiteral("a\u2029"), cancel } << QList<int> { QMessageBox::NoButton }
        << false << "";
}

// The prompt is a masked, empty field of its own, titled and labelled as the
// user knows it, wide enough to show its title, and what was typed comes back
// untouched. A password that typing alone cannot give again is confirmed first.
void TestStartup::masterPassword()
{
    QFETCH(QStringList, replies);
    QFETCH(QList<int>, answers);
    QFETCH(bool, confirmed);
    QFETCH(QString, password);

    const QString title = QStringLiteral("Master Password");
    DialogDriver driver;
    for (int i = 0; i < replies.size(); ++i) {
        driver
            .input(title, QStringLiteral("Enter master password:"), QString(),
                replies[i].isNull() ? std::nullopt : std::optional<QString>(replies[i]),
                QLineEdit::Password)
            .inputHints(TestSupport::passwordHints)
            .topLevel();
        if (i < answers.size()) {
            driver
                .message(QMessageBox::Warning, title,
                    QStringLiteral("The master password contains a line break or another "
                                   "control character, so it can be entered again only by "
                                   "pasting the same text. Use it anyway?"),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::StandardButton(answers[i]),
                    QMessageBox::No)
                .topLevel();
        }
    }
    bool answered = !confirmed;
    QCOMPARE(askMasterPassword(&answered), password);
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(answered, confirmed);

    // The title bar holds the title in a bold font and three buttons beside it.
    QFont bold;
    bold.setBold(true);
    QVERIFY(driver.placed().value(0).width() >= QFontMetrics(bold).horizontalAdvance(title) + 150);
}

KEYLOFT_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
