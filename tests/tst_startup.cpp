// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/masterpassword.h"
#include "dialogdriver.h"

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
    QTest::addColumn<QString>("reply"); // a null string cancels
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QString>("password");

    QTest::addRow("typed") << "correct horse" << true << "correct horse";
    QTest::addRow("blanks kept as typed") << "  " << true << "  ";
    QTest::addRow("outside ASCII") << "sésame ключ" << true << "sésame ключ";
    QTest::addRow("confirmed empty") << "" << true << "";
    QTest::addRow("cancelled") << QString() << false << "";
}

// The prompt is a masked, empty field of its own, titled and labelled as the
// user knows it, and what was typed comes back untouched.
void TestStartup::masterPassword()
{
    QFETCH(QString, reply);
    QFETCH(bool, confirmed);
    QFETCH(QString, password);

    DialogDriver driver;
    driver
        .input(QStringLiteral("Master Password"), QStringLiteral("Enter master password:"),
            QString(), reply.isNull() ? std::nullopt : std::optional<QString>(reply),
            QLineEdit::Password)
        .topLevel();
    bool answered = !confirmed;
    QCOMPARE(askMasterPassword(&answered), password);
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(answered, confirmed);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
