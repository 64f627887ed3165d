// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogdriver.h"
#include "generator/passwordgenerator.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <array>

namespace {

const QString prefix = QStringLiteral("Your new password has been copied to the clipboard:\n\n");
const QString alphabet = QStringLiteral(
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!@#$%^&*()-_=+[]{}");

bool onlyFromAlphabet(const QString &password)
{
    return std::all_of(
        password.cbegin(), password.cend(), [](QChar c) { return alphabet.contains(c); });
}

// The clipboard holds `text`, marked as a secret for both kinds of
// clipboard manager.
void expectSecretOnClipboard(const QString &text)
{
    const QMimeData *clipboard = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    QCOMPARE(clipboard->text(), text);
    QCOMPARE(clipboard->data(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
    QCOMPARE(clipboard->data(QStringLiteral("application/x-copyq-hidden")), QByteArray("1"));
}

} // namespace

class TestPasswordGenerator : public QObject
{
    Q_OBJECT

private slots:
    void lengths_data();
    void lengths();
    void everyCharacterEquallyLikely();
    void button_data();
    void button();
    void lengthAboveTheCapChangesNothing_data();
    void lengthAboveTheCapChangesNothing();
    void secondClickReplacesTheFirst();
    void copiesAreMarkedSecret_data();
    void copiesAreMarkedSecret();

private:
    // Clicks "Generate Password" and answers its box; returns the box's text.
    static QString click(MainWindow &window, QMessageBox::Icon icon, const QString &text);
};

void TestPasswordGenerator::lengths_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");
    for (int length : { 1, 2, 16, 79, 80, 81, 1024, 5000 })
        QTest::addRow("%d", length) << length << length;
    for (int length : { 0, -1, -3, std::numeric_limits<int>::min() })
        QTest::addRow("%d gives nothing", length) << length << 0;
}

void TestPasswordGenerator::lengths()
{
    QFETCH(int, length);
    QFETCH(int, expected);
    QCOMPARE(QString(passwordAlphabet), alphabet);
    const QString password = generatePassword(length);
    QCOMPARE(password.size(), expected);
    QVERIFY2(onlyFromAlphabet(password), qPrintable(password));
}

// 160 000 characters, 2 000 expected of each. The chi-square statistic has 79
// degrees of freedom (mean 79, standard deviation 12.6); a fair generator
// exceeds 200 with a probability below 1e-11, so this never fails by chance,
// while a bias of a few percent on a handful of characters, or a missing one,
// shows at once.
void TestPasswordGenerator::everyCharacterEquallyLikely()
{
    constexpr int perCharacter = 2000;
    std::array<int, 80> counts {};
    const QString drawn = generatePassword(80 * perCharacter);
    for (QChar c : drawn) {
        const auto index = alphabet.indexOf(c);
        QVERIFY(index >= 0);
        ++counts[size_t(index)];
    }
    double chiSquare = 0;
    for (size_t i = 0; i < counts.size(); ++i) {
        QVERIFY2(
            counts[i] > 0, qPrintable(QStringLiteral("never drawn: ") + alphabet.at(qsizetype(i))));
        const double deviation = counts[i] - perCharacter;
        chiSquare += deviation * deviation / perCharacter;
    }
    QVERIFY2(chiSquare < 200, qPrintable(QString::number(chiSquare)));
}

QString TestPasswordGenerator::click(
    MainWindow &window, QMessageBox::Icon icon, const QString &text)
{
    DialogDriver driver;
    driver.message(icon, QStringLiteral("Generated Password"), text);
    const auto buttons = window.findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->text() == QLatin1String("Generate Password"))
            QTest::mouseClick(button, Qt::LeftButton);
    }
    if (!driver.verify()) {
        qWarning("%s", qPrintable(driver.report()));
        return QStringLiteral("<no box>");
    }
    return driver.seen().value(0);
}

void TestPasswordGenerator::button_data()
{
    QTest::addColumn<QString>("lengthText");
    QTest::addColumn<int>("length");
    QTest::addRow("preset") << "16" << 16;
    QTest::addRow("one") << "1" << 1;
    QTest::addRow("at the cap") << "1024" << 1024;
    QTest::addRow("zero") << "0" << 0;
    QTest::addRow("negative") << "-3" << 0;
    QTest::addRow("letters") << "abc" << 0;
    QTest::addRow("nothing") << "" << 0;
    QTest::addRow("negative, beyond the 64-bit range") << "-99999999999999999999" << 0;
}

// The clipboard, the field and the box all carry the same password; an empty
// one for a length that is not a positive whole number.
void TestPasswordGenerator::button()
{
    QFETCH(QString, lengthText);
    QFETCH(int, length);

    MainWindow window(QString(), QStringLiteral("pw"));
    window.findChild<QLineEdit *>(QStringLiteral("lengthEdit"))->setText(lengthText);
    auto *result = window.findChild<QLineEdit *>(QStringLiteral("generatedPasswordEdit"));
    result->setText(QStringLiteral("typed by hand"));
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));

    const QString text = click(window, QMessageBox::Information, QString());
    QVERIFY2(text.startsWith(prefix), qPrintable(text));
    const QString password = text.mid(prefix.size());
    QCOMPARE(password.size(), length);
    QVERIFY(onlyFromAlphabet(password));
    QCOMPARE(result->text(), password);
    expectSecretOnClipboard(password);
}

void TestPasswordGenerator::copiesAreMarkedSecret_data()
{
    QTest::addColumn<QString>("from"); // "table", "generated password" or "Add prompt"
    QTest::addColumn<QKeySequence>("keys"); // none: the field's context menu
    QTest::addColumn<bool>("cut");

    QTest::addRow("Ctrl+C on the table") << "table" << QKeySequence(QKeySequence::Copy) << false;
    const QString field = QStringLiteral("generated password");
    QTest::addRow("Ctrl+C") << field << QKeySequence(Qt::CTRL | Qt::Key_C) << false;
    QTest::addRow("Ctrl+X") << field << QKeySequence(Qt::CTRL | Qt::Key_X) << true;
    QTest::addRow("Ctrl+Insert") << field << QKeySequence(Qt::CTRL | Qt::Key_Insert) << false;
    QTest::addRow("Shift+Delete") << field << QKeySequence(Qt::SHIFT | Qt::Key_Delete) << true;
    QTest::addRow("context menu, Copy") << field << QKeySequence() << false;
    QTest::addRow("context menu, Cut") << field << QKeySequence() << true;
    QTest::addRow("Ctrl+C in the Add prompt")
        << "Add prompt" << QKeySequence(Qt::CTRL | Qt::Key_C) << false;
}

// Whatever Keyloft puts on the clipboard carries both secret marks: a stored
// password copied from the table, and any text copied or cut out of a field
// of the window or a prompt.
void TestPasswordGenerator::copiesAreMarkedSecret()
{
    QFETCH(QString, from);
    QFETCH(QKeySequence, keys);
    QFETCH(bool, cut);

    MainWindow window(QString(), QStringLiteral("pw"));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    const QString secret = QStringLiteral("s3cret!");
    const auto copyFrom = [&](QWidget *target) {
        target->setFocus();
        if (!keys.isEmpty()) {
            QTest::keySequence(target, keys);
            return;
        }
        // The menu runs its own loop: its Copy or Cut is chosen from a timer.
        QTimer::singleShot(50, &window, [cut] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            for (QAction *action : menu ? menu->actions() : QList<QAction *>()) {
                if (action->text().startsWith(cut ? QLatin1String("Cu&t") : QLatin1String("&Copy")))
                    action->trigger();
            }
            if (menu)
                menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(1, 1), QPoint(1, 1));
        QApplication::sendEvent(target, &event);
    };

    if (from == QLatin1String("table")) {
        auto *table = TestSupport::entryTable(window);
        TestSupport::setTableRows(table, { { secret } });
        table->setCurrentCell(0, 0);
        copyFrom(table);
    } else if (from == QLatin1String("generated password")) {
        auto *field = window.findChild<QLineEdit *>(QStringLiteral("generatedPasswordEdit"));
        field->setText(secret);
        field->selectAll();
        copyFrom(field);
        QCOMPARE(field->text(), cut ? QString() : secret);
    } else {
        QTimer::singleShot(50, &window, [&] {
            auto *prompt = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            QVERIFY(prompt);
            auto *field = prompt->findChild<QLineEdit *>();
            field->setText(secret);
            field->selectAll();
            copyFrom(field);
            prompt->reject();
        });
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeModalWidget() == nullptr; }));
        QMetaObject::invokeMethod(window.findChild<QToolBar *>()->actions().value(0), "trigger");
    }
    expectSecretOnClipboard(secret);
}

void TestPasswordGenerator::lengthAboveTheCapChangesNothing_data()
{
    QTest::addColumn<QString>("lengthText");
    for (const char *text : { "1025", "2147483648", "99999999999", " +099999999999999999999 " })
        QTest::addRow("%s", text) << text;
}

// However many digits the length has.
void TestPasswordGenerator::lengthAboveTheCapChangesNothing()
{
    QFETCH(QString, lengthText);
    MainWindow window(QString(), QStringLiteral("pw"));
    window.findChild<QLineEdit *>(QStringLiteral("lengthEdit"))->setText(lengthText);
    auto *result = window.findChild<QLineEdit *>(QStringLiteral("generatedPasswordEdit"));
    result->setText(QStringLiteral("kept"));
    QGuiApplication::clipboard()->setText(QStringLiteral("also kept"));

    QCOMPARE(
        click(window, QMessageBox::Warning, QStringLiteral("The length must be at most 1024.")),
        QStringLiteral("The length must be at most 1024."));
    QCOMPARE(result->text(), QStringLiteral("kept"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("also kept"));
}

void TestPasswordGenerator::secondClickReplacesTheFirst()
{
    MainWindow window(QString(), QStringLiteral("pw"));
    const QString first = click(window, QMessageBox::Information, QString()).mid(prefix.size());
    const QString second = click(window, QMessageBox::Information, QString()).mid(prefix.size());
    QCOMPARE(first.size(), 16);
    QVERIFY(first != second); // equal with probability 80^-16
    QCOMPARE(QGuiApplication::clipboard()->text(), second);
    QCOMPARE(
        window.findChild<QLineEdit *>(QStringLiteral("generatedPasswordEdit"))->text(), second);
}

KEYLOFT_TEST_MAIN(TestPasswordGenerator)
#include "tst_passwordgenerator.moc"
