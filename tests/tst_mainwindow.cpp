// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogdriver.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>

using namespace TestSupport;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void windowAndNoDialogWithoutPath();
    void toolbar();
    void table();
    void generatorRow();
    void columnsShareTheWidth();
    void keysReachNoOperation();
    void tabReachesEveryControlInReadingOrder();
};

namespace {

QString nameOf(const QWidget *widget)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    return widget ? widget->objectName() : QStringLiteral("(none)");
}

} // namespace

void TestMainWindow::windowAndNoDialogWithoutPath()
{
    DialogDriver driver; // construction without a path shows nothing
    MainWindow window(QString(), QStringLiteral("key"));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    QCOMPARE(window.windowTitle(), QStringLiteral("Keyloft"));
    QVERIFY(!window.isVisible());
    QVERIFY(!window.menuWidget()); // no menu bar
    QVERIFY(!window.findChild<QStatusBar *>());
    QVERIFY(window.parentWidget() == nullptr);
}

void TestMainWindow::toolbar()
{
    MainWindow window(QString(), QStringLiteral("key"));
    const auto toolBars = window.findChildren<QToolBar *>();
    QCOMPARE(toolBars.size(), 1);
    QToolBar *toolBar = toolBars.first();
    QCOMPARE(toolBar->windowTitle(), QStringLiteral("Main"));
    QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);

    QStringList texts;
    const auto actions = toolBar->actions();
    for (const QAction *action : actions) {
        texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
        if (action->isSeparator())
            continue;
        QVERIFY(action->icon().isNull());
        QVERIFY(action->shortcuts().isEmpty());
        QVERIFY(action->statusTip().isEmpty());
        QCOMPARE(action->toolTip(), action->text()); // Qt's default, nothing set
    }
    QCOMPARE(texts, QStringList({ "Add", "Edit", "Delete", "|", "Save", "Load" }));

    // It stays: no menu to hide it, no handle to drag it away, and no
    // button in the overflow menu however narrow the window is made.
    QVERIFY(!window.createPopupMenu());
    QVERIFY(!toolBar->isMovable() && !toolBar->isFloatable());
    window.show();
    window.resize(100, 300);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (QAction *action : actions) {
        if (!action->isSeparator())
            QVERIFY2(toolBar->widgetForAction(action)->isVisible(), qPrintable(action->text()));
    }
}

// The table has three columns, and a click selects one whole row.
void TestMainWindow::table()
{
    MainWindow window(QString(), QStringLiteral("key"));
    auto *table = entryTable(window);
    setTableRows(table, { { "a", "b", "c" }, { "d", "e", "f" } });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStringList headers;
    for (int column = 0; column < table->columnCount(); ++column)
        headers << table->horizontalHeaderItem(column)->text();
    QCOMPARE(headers, QStringList({ "Service", "Username", "Password" }));
    const auto clickCell = [table](int row, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers,
            table->visualItemRect(table->item(row, 1)).center());
    };
    clickCell(1, {});
    clickCell(0, Qt::ControlModifier); // one row at a time
    QCOMPARE(table->selectedItems(),
        QList<QTableWidgetItem *>({ table->item(0, 0), table->item(0, 1), table->item(0, 2) }));
}

void TestMainWindow::generatorRow()
{
    MainWindow window(QString(), QStringLiteral("key"));
    auto *layout = qobject_cast<QVBoxLayout *>(window.centralWidget()->layout());
    QVERIFY(layout);
    QCOMPARE(layout->count(), 3);
    QCOMPARE(layout->itemAt(0)->widget(), window.findChild<QTableWidget *>());

    auto *button = qobject_cast<QPushButton *>(layout->itemAt(1)->widget());
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("Generate Password"));

    auto *row = qobject_cast<QHBoxLayout *>(layout->itemAt(2)->layout());
    QVERIFY(row);
    QCOMPARE(row->count(), 3);
    auto *label = qobject_cast<QLabel *>(row->itemAt(0)->widget());
    auto *lengthEdit = qobject_cast<QLineEdit *>(row->itemAt(1)->widget());
    auto *resultEdit = qobject_cast<QLineEdit *>(row->itemAt(2)->widget());
    QVERIFY(label && lengthEdit && resultEdit);
    QCOMPARE(label->text(), QStringLiteral("Length:"));
    QCOMPARE(lengthEdit->text(), QStringLiteral("16"));
    QVERIFY(!lengthEdit->validator());
    QVERIFY(lengthEdit->inputMask().isEmpty());
    QVERIFY(resultEdit->text().isEmpty());
    QVERIFY(!resultEdit->isReadOnly());
    QCOMPARE(resultEdit->echoMode(), QLineEdit::Normal);
    for (int i = 0; i < layout->count(); ++i)
        QCOMPARE(layout->stretch(i), 0);
}

void TestMainWindow::columnsShareTheWidth()
{
    MainWindow window(QString(), QStringLiteral("key"));
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *header = window.findChild<QTableWidget *>()->horizontalHeader();
    const int narrow = header->sectionSize(0);
    window.resize(1000, 400);
    QTRY_VERIFY(header->sectionSize(0) > narrow);
    for (int column = 1; column < 3; ++column)
        QVERIFY(qAbs(header->sectionSize(column) - header->sectionSize(0)) <= 1);
}

void TestMainWindow::keysReachNoOperation()
{
    MainWindow window(QString(), QStringLiteral("key"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *table = entryTable(window);
    setTableRows(table, { { "x", "x", "x" } });

    DialogDriver driver; // none of these keys may open a prompt or a box
    table->setFocus();
    table->setCurrentCell(0, 0);
    QTest::keyClick(table, Qt::Key_Delete);
    QTest::keyClick(table, Qt::Key_F2);
    QTest::keyClick(table, Qt::Key_Return);
    QTest::keyClicks(table, QStringLiteral("typed"));
    const QRect cell = table->visualItemRect(table->item(0, 0));
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    auto *lengthEdit = window.findChild<QLineEdit *>(QStringLiteral("lengthEdit"));
    QTest::keyClick(lengthEdit, Qt::Key_Return);
    QVERIFY2(driver.verify(), qPrintable(driver.report()));

    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("x"));
    QVERIFY(table->viewport()->findChildren<QLineEdit *>().isEmpty()); // no cell editor open
    QVERIFY(
        window.findChild<QLineEdit *>(QStringLiteral("generatedPasswordEdit"))->text().isEmpty());
}

// With rows in the table, Tab still leaves it; every control is reached, in
// the order the window reads, and Space on a toolbar button runs its action.
void TestMainWindow::tabReachesEveryControlInReadingOrder()
{
    MainWindow window(QString(), QStringLiteral("key"));
    auto *table = entryTable(window);
    setTableRows(table, { { "x", "x", "x" }, { "x", "x", "x" } });
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    table->setFocus();
    table->setCurrentCell(0, 0);
    QTest::keyClick(table, Qt::Key_Down); // arrows still move between rows
    QCOMPARE(table->currentRow(), 1);

    const QStringList order = { "Add", "Edit", "Delete", "Save", "Load", "Generate Password",
        "lengthEdit", "generatedPasswordEdit", "table" };
    QStringList forward;
    for (int i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        forward << nameOf(QApplication::focusWidget());
    }
    QCOMPARE(forward, order);
    QStringList backward;
    for (int i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        backward.prepend(nameOf(QApplication::focusWidget()));
    }
    QCOMPARE(backward, QStringList { "table" } + order.mid(0, order.size() - 1));

    for (int i = 0; i < 3; ++i) // to Delete, with the second row selected
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(nameOf(QApplication::focusWidget()), QStringLiteral("Delete"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(table->rowCount(), 1);
}

KEYLOFT_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
