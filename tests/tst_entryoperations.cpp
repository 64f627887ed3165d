// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogdriver.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QTableWidget>
#include <QTest>

using namespace TestSupport;

namespace {

const QString refusal
    = QStringLiteral("Entries cannot contain tabs, line breaks or other control characters.");
const QStringList labels
    = { QStringLiteral("Service:"), QStringLiteral("Username:"), QStringLiteral("Password:") };

// Expects the prompts of one add or edit: one prompt per reply, each preset
// with the matching text of `presets`. A null reply cancels its prompt. When
// `refused` is set, the last reply is refused with the warning.
void expectPrompts(DialogDriver &driver, const QString &title, const QStringList &presets,
    const QStringList &replies, bool refused)
{
    for (int i = 0; i < replies.size(); ++i) {
        const std::optional<QString> reply
            = replies[i].isNull() ? std::nullopt : std::optional<QString>(replies[i]);
        // The password, shown in clear, is still no input method's to learn.
        driver.input(title, labels[i], presets.value(i), reply)
            .inputHints(i == 2 ? Qt::ImhSensitiveData | Qt::ImhNoPredictiveText : Qt::ImhNone);
    }
    if (refused)
        driver.message(QMessageBox::Warning, title, refusal);
}

} // namespace

class TestEntryOperations : public QObject
{
    Q_OBJECT

private slots:
    void add_data();
    void add();
    void edit_data();
    void edit();
    void editKeepsTheItems();
    void editKeepsACarriageReturnFromTheVault();
    void fieldsOfAnyLengthAreKeptWhole();
    void noRowSelected_data();
    void noRowSelected();
    void deleteRemovesTheCurrentRowWithoutAsking();
    void duplicateServicesStandSideBySide();
    void addedRowIsScrolledIntoView();

private:
    // A window holding two entries, without a vault file.
    static void fill(MainWindow &window, QTableWidget *table);
};

void TestEntryOperations::fill(MainWindow &window, QTableWidget *table)
{
    DialogDriver driver;
    expectPrompts(driver, QStringLiteral("Add Entry"), {}, { "mail", "alice", "first" }, false);
    expectPrompts(driver, QStringLiteral("Add Entry"), {}, { "bank", "bob", "second" }, false);
    QVERIFY(triggerAction(window, QStringLiteral("Add")));
    QVERIFY(triggerAction(window, QStringLiteral("Add")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(table->rowCount(), 2);
}

// Null strings in `replies` stand for a cancelled prompt.
void TestEntryOperations::add_data()
{
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QStringList>("added"); // empty when no row is added

    const QString cancel;
    QTest::addRow("all three accepted") << QStringList { "github", "alice", "s3cret" } << false
                                        << QStringList { "github", "alice", "s3cret" };
    QTest::addRow("empty username and password")
        << QStringList { "wifi", "", "" } << false << QStringList { "wifi", "", "" };
    QTest::addRow("service of spaces kept as typed")
        << QStringList { "   ", " u ", " p " } << false << QStringList { "   ", " u ", " p " };
    QTest::addRow("text outside ASCII") << QStringList { "Café ☕", "Jürgen", "пароль密码" } << false
                                        << QStringList { "Café ☕", "Jürgen", "пароль密码" };
    QTest::addRow("empty service ends silently") << QStringList { "" } << false << QStringList();
    QTest::addRow("cancel service") << QStringList { cancel } << false << QStringList();
    QTest::addRow("cancel username") << QStringList { "svc", cancel } << false << QStringList();
    QTest::addRow("cancel password")
        << QStringList { "svc", "user", cancel } << false << QStringList();
    QTest::addRow("tab in service") << QStringList { "a\tb" } << true << QStringList();
    QTest::addRow("line feed in username")
        << QStringList { "svc", "a\nb" } << true << QStringList();
    QTest::addRow("pasted line breaks at the end dropped") << QStringList { "svc\n", "user\r\n",
        "hunter2\r\n\n" } << false << QStringList { "svc", "user", "hunter2" };
    QTest::addRow("service of a line break only ends silently")
        << QStringList { "\r\n" } << false << QStringList();
    QTest::addRow("carriage return inside password")
        << QStringList { "svc", "user", "pa\rss" } << true << QStringList();
    QTest::addRow("blanks only, which the vault would skip")
        << QStringList { "   ", " ", "" } << false << QStringList();
    QTest::addRow("unit separator in password")
        << QStringList { "svc", "user", QStringLiteral("a\x1f") } << true << QStringList();
    QTest::addRow("delete character in username")
        << QStringList { "svc", QStringLiteral("a\x7f") } << true << QStringList();
    QTest::addRow("start of heading in service")
        << QStringList { QStringLiteral("\x01") } << true << QStringList();
}

void TestEntryOperations::add()
{
    QFETCH(QStringList, replies);
    QFETCH(bool, refused);
    QFETCH(QStringList, added);

    MainWindow window(QString(), QStringLiteral("key"));
    auto *table = window.findChild<QTableWidget *>();
    fill(window, table);
    table->setCurrentCell(0, 1); // a new entry goes last, whichever row is current
    const QList<QStringList> before = tableRows(table);

    DialogDriver driver;
    expectPrompts(driver, QStringLiteral("Add Entry"), {}, replies, refused);
    QVERIFY(triggerAction(window, QStringLiteral("Add")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    QList<QStringList> expected = before;
    if (!added.isEmpty())
        expected << added;
    QCOMPARE(tableRows(table), expected);
}

void TestEntryOperations::edit_data()
{
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QStringList>("after");

    const QString cancel;
    const QStringList unchanged { "bank", "bob", "second" };
    QTest::addRow("accepted unchanged") << unchanged << false << unchanged;
    QTest::addRow("all three changed") << QStringList { "bank2", "robert", "third" } << false
                                       << QStringList { "bank2", "robert", "third" };
    QTest::addRow("emptied username and password")
        << QStringList { "bank", "", "" } << false << QStringList { "bank", "", "" };
    QTest::addRow("emptied service drops the edit") << QStringList { "" } << false << unchanged;
    QTest::addRow("cancel service") << QStringList { cancel } << false << unchanged;
    QTest::addRow("cancel username after a new service")
        << QStringList { "changed", cancel } << false << unchanged;
    QTest::addRow("cancel password after new texts")
        << QStringList { "changed", "changed", cancel } << false << unchanged;
    QTest::addRow("tab in service") << QStringList { "ba\tnk" } << true << unchanged;
    QTest::addRow("line feed in username")
        << QStringList { "changed", "bo\nb" } << true << unchanged;
    QTest::addRow("escape character in password")
        << QStringList { "changed", "changed", QStringLiteral("\x1b[0m") } << true << unchanged;
    QTest::addRow("pasted line break at the end dropped") << QStringList { "bank", "bob",
        "third\r\n" } << false << QStringList { "bank", "bob", "third" };
    QTest::addRow("blanks only leave the entry as it was")
        << QStringList { " ", "", "  " } << false << unchanged;
}

void TestEntryOperations::edit()
{
    QFETCH(QStringList, replies);
    QFETCH(bool, refused);
    QFETCH(QStringList, after);

    MainWindow window(QString(), QStringLiteral("key"));
    auto *table = window.findChild<QTableWidget *>();
    fill(window, table);
    table->setCurrentCell(1, 0);

    DialogDriver driver;
    expectPrompts(
        driver, QStringLiteral("Edit Entry"), { "bank", "bob", "second" }, replies, refused);
    QVERIFY(triggerAction(window, QStringLiteral("Edit")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(tableRows(table).value(0), QStringList({ "mail", "alice", "first" }));
    QCOMPARE(tableRows(table).value(1), after);
}

void TestEntryOperations::editKeepsTheItems()
{
    MainWindow window(QString(), QStringLiteral("key"));
    auto *table = window.findChild<QTableWidget *>();
    fill(window, table);
    table->setCurrentCell(0, 2);
    const QList<QTableWidgetItem *> items
        = { table->item(0, 0), table->item(0, 1), table->item(0, 2) };

    DialogDriver driver;
    expectPrompts(driver, QStringLiteral("Edit Entry"), { "mail", "alice", "first" },
        { "post", "al", "new" }, false);
    QVERIFY(triggerAction(window, QStringLiteral("Edit")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    QCOMPARE(tableRows(table).value(0), QStringList({ "post", "al", "new" }));
    QCOMPARE(QList<QTableWidgetItem *>({ table->item(0, 0), table->item(0, 1), table->item(0, 2) }),
        items);
}

// A vault written elsewhere with CRLF line ends loads with a carriage return
// at the end of each password. Keeping that text as it is must not be refused.
void TestEntryOperations::editKeepsACarriageReturnFromTheVault()
{
    MainWindow window(QString(), QStringLiteral("key"));
    auto *table = window.findChild<QTableWidget *>();
    setTableRows(table, { { "svc", "user", "pw\r" } });
    table->setCurrentCell(0, 0);

    DialogDriver driver;
    expectPrompts(driver, QStringLiteral("Edit Entry"), { "svc", "user", "pw\r" },
        { "renamed", "user", "pw\r" }, false);
    expectPrompts(driver, QStringLiteral("Edit Entry"), { "renamed", "user", "pw\r" },
        { "renamed", "user", "p\rw\r" }, true);
    QVERIFY(triggerAction(window, QStringLiteral("Edit")));
    QVERIFY(triggerAction(window, QStringLiteral("Edit")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(tableRows(table), QList<QStringList>({ { "renamed", "user", "pw\r" } }));
}

// The prompts' line edits would cut anything beyond 32 767 characters, even a
// text accepted unchanged, and a longer paste.
void TestEntryOperations::fieldsOfAnyLengthAreKeptWhole()
{
    MainWindow window(QString(), QStringLiteral("key"));
    auto *table = window.findChild<QTableWidget *>();
    const QStringList entry = { "svc", "user", QString(40000, u'p') };
    setTableRows(table, { entry });
    table->setCurrentCell(0, 0);
    const QStringList pasted = { QString(50000, u's'), "u", QString(70000, u'x') };

    DialogDriver driver;
    expectPrompts(driver, QStringLiteral("Edit Entry"), entry, entry, false);
    expectPrompts(driver, QStringLiteral("Add Entry"), {}, pasted, false);
    QVERIFY(triggerAction(window, QStringLiteral("Edit")));
    QVERIFY(triggerAction(window, QStringLiteral("Add")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(tableRows(table), QList<QStringList>({ entry, pasted }));
}

void TestEntryOperations::noRowSelected_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("title");
    // "empty table", "no current row", or a current row that is not
    // selected: "current, never selected" (as focus leaves it after a load)
    // or "current, deselected" (Ctrl+click on the selected row)
    QTest::addColumn<QString>("table");

    for (const char *table :
        { "empty table", "no current row", "current, never selected", "current, deselected" }) {
        QTest::addRow("edit, %s", table) << "Edit"
                                         << "Edit Entry" << table;
        QTest::addRow("delete, %s", table) << "Delete"
                                           << "Delete Entry" << table;
    }
}

void TestEntryOperations::noRowSelected()
{
    QFETCH(QString, action);
    QFETCH(QString, title);
    QFETCH(QString, table);

    MainWindow window(QString(), QStringLiteral("key"));
    auto *view = window.findChild<QTableWidget *>();
    if (table != QLatin1String("empty table"))
        fill(window, view);
    QItemSelectionModel *selection = view->selectionModel();
    selection->clear();
    const QModelIndex second = view->model()->index(1, 0);
    if (table == QLatin1String("current, never selected")) {
        selection->setCurrentIndex(second, QItemSelectionModel::NoUpdate);
    } else if (table == QLatin1String("current, deselected")) {
        view->setCurrentCell(1, 0);
        QVERIFY(selection->isRowSelected(1, QModelIndex()));
        selection->select(second, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
    QCOMPARE(view->currentRow(), table.startsWith(QLatin1String("current")) ? 1 : -1);
    const QList<QStringList> before = tableRows(view);

    DialogDriver driver;
    driver.message(QMessageBox::Warning, title, QStringLiteral("No row selected."));
    QVERIFY(triggerAction(window, action));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(tableRows(view), before);
}

// A second Delete right after the first (a double click, Space twice) finds
// nothing selected and removes nothing more.
void TestEntryOperations::deleteRemovesTheCurrentRowWithoutAsking()
{
    MainWindow window(QString(), QStringLiteral("key"));
    auto *table = window.findChild<QTableWidget *>();
    fill(window, table);
    table->setCurrentCell(0, 0);

    DialogDriver driver; // no dialog for the first
    driver.message(
        QMessageBox::Warning, QStringLiteral("Delete Entry"), QStringLiteral("No row selected."));
    QVERIFY(triggerAction(window, QStringLiteral("Delete")));
    QVERIFY(triggerAction(window, QStringLiteral("Delete")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(tableRows(table), QList<QStringList>({ { "bank", "bob", "second" } }));
}

void TestEntryOperations::duplicateServicesStandSideBySide()
{
    MainWindow window(QString(), QStringLiteral("key"));
    auto *table = window.findChild<QTableWidget *>();

    DialogDriver driver;
    expectPrompts(driver, QStringLiteral("Add Entry"), {}, { "same", "a", "1" }, false);
    expectPrompts(driver, QStringLiteral("Add Entry"), {}, { "same", "b", "2" }, false);
    QVERIFY(triggerAction(window, QStringLiteral("Add")));
    QVERIFY(triggerAction(window, QStringLiteral("Add")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(tableRows(table), QList<QStringList>({ { "same", "a", "1" }, { "same", "b", "2" } }));
}

// The new row shows at once, however long the table; the current row and the
// selection stay where the user left them.
void TestEntryOperations::addedRowIsScrolledIntoView()
{
    MainWindow window(QString(), QStringLiteral("key"));
    auto *table = window.findChild<QTableWidget *>();
    QList<QStringList> rows;
    for (int i = 0; i < 40; ++i)
        rows.append({ QStringLiteral("service %1").arg(i), "user", "password" });
    setTableRows(table, rows);
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    table->setCurrentCell(1, 0);

    DialogDriver driver;
    expectPrompts(driver, QStringLiteral("Add Entry"), {}, { "new", "entry", "here" }, false);
    QVERIFY(triggerAction(window, QStringLiteral("Add")));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
    QCOMPARE(table->rowCount(), 41);
    QVERIFY(table->viewport()->rect().contains(table->visualItemRect(table->item(40, 0))));
    QCOMPARE(table->currentRow(), 1);
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QVERIFY(table->selectionModel()->isRowSelected(1, QModelIndex()));
}

KEYLOFT_TEST_MAIN(TestEntryOperations)
#include "tst_entryoperations.moc"
