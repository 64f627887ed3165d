// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/mainwindow.h"
#include "generator/passwordgenerator.h"
#include "ui/secretclipboard.h"
#include "ui/titlefit.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QShortcut>
#include <QTableWidget>
#include <QTableWidgetItem>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The buttons of the toolbar's actions, in their order; no separators.
QWidgetList toolButtons(const QToolBar *toolBar)
{
    QWidgetList buttons;
    const QList<QAction *> actions = toolBar->actions();
    for (QAction *action : actions) {
        if (!action->isSeparator())
            buttons.append(toolBar->widgetForAction(action));
    }
    return buttons;
}

} // namespace

MainWindow::MainWindow(const QString &filePath, const QString &masterPassword, QWidget *parent)
    : QMainWindow(parent)
    , generatedPasswordEdit(new QLineEdit)
    , lengthEdit(new QLineEdit)
    , session(filePath, SecretBytes::fromText(masterPassword).view())
{
    setWindowTitle(QStringLiteral("Keyloft"));

    // Whatever is copied out of the window and its prompts is marked secret,
    // and each of its dialogs shows its whole title.
    new SecretClipboard(this);
    new TitleFit(this);
    setUpTable();
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(table);
    setCentralWidget(central);
    QToolBar *toolBar = createToolBar();
    QWidget *lastButton = setUpGenerator(layout);

    // Tab goes from the table through the toolbar's buttons to the generator.
    QWidget *previous = table;
    const QWidgetList buttons = toolButtons(toolBar);
    for (QWidget *button : buttons) {
        setTabOrder(previous, button);
        previous = button;
    }
    setTabOrder(previous, lastButton);
    setTabOrder(lastButton, lengthEdit);
    setTabOrder(lengthEdit, generatedPasswordEdit);

    // Every toolbar button stays in view: the overflow menu that would take
    // the last ones is out of reach of the Tab key.
    setMinimumWidth(std::max(minimumSizeHint().width(), toolBar->sizeHint().width()));
    placeOnScreen();

    if (!session.currentFile().isEmpty())
        loadFromFile();
}

void MainWindow::setUpTable()
{
    table = new QTableWidget(this);
    table->setObjectName(QStringLiteral("table"));
    table->setColumnCount(3);
    table->setHorizontalHeaderLabels({ tr("Service"), tr("Username"), tr("Password") });
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table for the toolbar; the arrow keys move between rows.
    table->setTabKeyNavigation(false);
    table->setAccessibleName(tr("Entries"));

    // The table's own copy would put a stored password on the clipboard
    // unmarked, for every clipboard history to keep.
    auto *copyCell = new QShortcut(QKeySequence::Copy, table, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copyCell, &QShortcut::activated, this, [this] {
        if (const QTableWidgetItem *item = table->currentItem())
            QGuiApplication::clipboard()->setMimeData(secretMimeData(item->text()));
    });
}

// The toolbar holds every operation: it can be neither hidden (see
// createPopupMenu) nor moved away.
QToolBar *MainWindow::createToolBar()
{
    QToolBar *toolBar = addToolBar(tr("Main"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->addAction(tr("Add"), this, &MainWindow::addEntry);
    toolBar->addAction(tr("Edit"), this, &MainWindow::editEntry);
    toolBar->addAction(tr("Delete"), this, &MainWindow::deleteEntry);
    toolBar->addSeparator();
    toolBar->addAction(tr("Save"), this, &MainWindow::saveToFile);
    toolBar->addAction(tr("Load"), this, &MainWindow::loadFromFile);
    // Toolbar buttons take no keyboard focus by default, which would leave a
    // user without a mouse unable to reach any operation.
    const QWidgetList buttons = toolButtons(toolBar);
    for (QWidget *button : buttons)
        button->setFocusPolicy(Qt::TabFocus);
    return toolBar;
}

// The "Generate Password" button and the row of the length and the password
// below the table; returns the button.
QWidget *MainWindow::setUpGenerator(QVBoxLayout *layout)
{
    auto *generateButton = new QPushButton(tr("Generate Password"));
    layout->addWidget(generateButton);
    auto *generatorRow = new QHBoxLayout;
    auto *lengthLabel = new QLabel(tr("Length:"));
    lengthLabel->setBuddy(lengthEdit); // a screen reader announces the field by its label
    generatorRow->addWidget(lengthLabel);
    generatorRow->addWidget(lengthEdit);
    generatorRow->addWidget(generatedPasswordEdit);
    layout->addLayout(generatorRow);
    lengthEdit->setText(QStringLiteral("16"));
    lengthEdit->setObjectName(QStringLiteral("lengthEdit"));
    generatedPasswordEdit->setObjectName(QStringLiteral("generatedPasswordEdit"));
    generatedPasswordEdit->setAccessibleName(tr("Generated password"));
    connect(generateButton, &QPushButton::clicked, this, [this] { deliverGeneratedPassword(); });
    return generateButton;
}

// 700 x 400, never larger than the screen, centred on it. Done before the
// load, so that the load's message box shows where the window will appear.
void MainWindow::placeOnScreen()
{
    QSize size(700, 400);
    const QScreen *display = screen();
    if (!display) {
        resize(size);
        return;
    }
    const QRect available = display->availableGeometry();
    size = size.boundedTo(available.size()).expandedTo(minimumSize());
    QRect frame(QPoint(), size);
    frame.moveCenter(available.center());
    setGeometry(frame);
}

QMenu *MainWindow::createPopupMenu()
{
    // The window's own context menu would offer to hide the toolbar, and
    // nothing would bring it back.
    return nullptr;
}

MainWindow::~MainWindow() = default;

// Every close asks whether to save first. A close that was to save goes
// through only once the vault is safely written: when the user cancels the
// file dialog or the save fails, the window stays open with all its rows.
void MainWindow::closeEvent(QCloseEvent *event)
{
    const QMessageBox::StandardButton answer
        = QMessageBox::question(this, tr("Exit"), tr("Do you want to save before exiting?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::NoButton);
    const bool close = answer != QMessageBox::Cancel && (answer != QMessageBox::Yes || saveVault());
    event->setAccepted(close);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!offerCopiesWhenShown)
        return;
    offerCopiesWhenShown = false;
    QTimer::singleShot(0, this, [this] {
        QList<Entry> entries = tableEntries();
        offerConflictCopies(session.newConflictCopies(entries), entries);
    });
}

QList<Entry> MainWindow::tableEntries() const
{
    QList<Entry> entries;
    entries.reserve(table->rowCount());
    for (int row = 0; row < table->rowCount(); ++row)
        entries.append(entryAt(row));
    return entries;
}

Entry MainWindow::entryAt(int row) const
{
    return { table->item(row, 0)->text(), table->item(row, 1)->text(),
        table->item(row, 2)->text() };
}

void MainWindow::showEntries(const QList<Entry> &entries)
{
    // All rows are made at once and filled with painting held back, so the
    // table does its bookkeeping once rather than once per entry.
    table->setUpdatesEnabled(false);
    table->setRowCount(0);
    table->setRowCount(int(entries.size()));
    for (int row = 0; row < table->rowCount(); ++row)
        setEntryAt(row, entries.at(row));
    table->setUpdatesEnabled(true);
}

void MainWindow::showMerged(
    const QList<Entry> &merged, const QList<Entry> &before, qsizetype firstConflict)
{
    showEntries(merged);
    const QSet<Entry> held(before.cbegin(), before.cend());
    QItemSelection cameIn;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (!held.contains(merged.at(row)))
            cameIn.select(table->model()->index(row, 0), table->model()->index(row, 2));
    }
    if (firstConflict < 0 && !cameIn.isEmpty())
        firstConflict = cameIn.first().top();
    if (firstConflict >= 0) {
        QTableWidgetItem *current = table->item(int(firstConflict), 0);
        table->selectionModel()->setCurrentIndex(
            table->indexFromItem(current), QItemSelectionModel::NoUpdate);
        table->scrollToItem(current);
    }
    table->selectionModel()->select(cameIn, QItemSelectionModel::ClearAndSelect);
}

void MainWindow::appendEntry(const Entry &entry)
{
    const int row = table->rowCount();
    table->insertRow(row);
    setEntryAt(row, entry);
}

void MainWindow::setEntryAt(int row, const Entry &entry)
{
    table->setItem(row, 0, new QTableWidgetItem(entry.service));
    table->setItem(row, 1, new QTableWidgetItem(entry.username));
    table->setItem(row, 2, new QTableWidgetItem(entry.password));
}
