// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/mainwindow.h"
#include "generator/passwordgenerator.h"
#include "vault/secretmemory.h"

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
#include <QShortcut>
#include <QTableWidget>
#include <QTableWidgetItem>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

MainWindow::MainWindow(const QString &filePath, const QString &masterPassword, QWidget *parent)
    : QMainWindow(parent)
    , generatedPasswordEdit(new QLineEdit)
    , lengthEdit(new QLineEdit)
    , currentFile(filePath)
    , masterKey(masterPassword.toUtf8())
{
    setWindowTitle(QStringLiteral("Keyloft"));

    table = new QTableWidget(this);
    table->setObjectName(QStringLiteral("table"));
    table->setColumnCount(3);
    table->setHorizontalHeaderLabels(
        { QStringLiteral("Service"), QStringLiteral("Username"), QStringLiteral("Password") });
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table for the toolbar; the arrow keys move between rows.
    table->setTabKeyNavigation(false);
    table->setAccessibleName(QStringLiteral("Entries"));

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(table);
    setCentralWidget(central);

    // The toolbar holds every operation: it can be neither hidden (see
    // createPopupMenu) nor moved away.
    QToolBar *toolBar = addToolBar(QStringLiteral("Main"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    QAction *addAction = toolBar->addAction(QStringLiteral("Add"));
    QAction *editAction = toolBar->addAction(QStringLiteral("Edit"));
    QAction *deleteAction = toolBar->addAction(QStringLiteral("Delete"));
    toolBar->addSeparator();
    QAction *saveAction = toolBar->addAction(QStringLiteral("Save"));
    QAction *loadAction = toolBar->addAction(QStringLiteral("Load"));

    // Toolbar buttons take no keyboard focus by default, which would leave a
    // user without a mouse unable to reach any operation.
    QWidget *previous = table;
    for (QAction *action : { addAction, editAction, deleteAction, saveAction, loadAction }) {
        QWidget *button = toolBar->widgetForAction(action);
        button->setFocusPolicy(Qt::TabFocus);
        setTabOrder(previous, button);
        previous = button;
    }

    auto *generatorRow = new QHBoxLayout;
    auto *generateButton = new QPushButton(QStringLiteral("Generate Password"));
    layout->addWidget(generateButton);
    auto *lengthLabel = new QLabel(QStringLiteral("Length:"));
    lengthLabel->setBuddy(lengthEdit); // a screen reader announces the field by its label
    generatorRow->addWidget(lengthLabel);
    generatorRow->addWidget(lengthEdit);
    generatorRow->addWidget(generatedPasswordEdit);
    layout->addLayout(generatorRow);
    lengthEdit->setText(QStringLiteral("16"));
    lengthEdit->setObjectName(QStringLiteral("lengthEdit"));
    generatedPasswordEdit->setObjectName(QStringLiteral("generatedPasswordEdit"));
    generatedPasswordEdit->setAccessibleName(QStringLiteral("Generated password"));
    setTabOrder(previous, generateButton);
    setTabOrder(generateButton, lengthEdit);
    setTabOrder(lengthEdit, generatedPasswordEdit);

    connect(addAction, &QAction::triggered, this, &MainWindow::addEntry);
    connect(editAction, &QAction::triggered, this, &MainWindow::editEntry);
    connect(deleteAction, &QAction::triggered, this, &MainWindow::deleteEntry);
    connect(saveAction, &QAction::triggered, this, &MainWindow::saveToFile);
    connect(loadAction, &QAction::triggered, this, &MainWindow::loadFromFile);
    connect(generateButton, &QPushButton::clicked, this, [this] { deliverGeneratedPassword(); });

    // The table's own copy would put a stored password on the clipboard
    // unmarked, for every clipboard history to keep.
    auto *copyCell = new QShortcut(QKeySequence::Copy, table, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copyCell, &QShortcut::activated, this, [this] {
        if (const QTableWidgetItem *item = table->currentItem())
            QGuiApplication::clipboard()->setMimeData(secretMimeData(item->text()));
    });

    // Every toolbar button stays in view: the overflow menu that would take
    // the last ones is out of reach of the Tab key.
    setMinimumWidth(std::max(minimumSizeHint().width(), toolBar->sizeHint().width()));

    if (!currentFile.isEmpty())
        loadFromFile();
}

QMenu *MainWindow::createPopupMenu()
{
    // The window's own context menu would offer to hide the toolbar, and
    // nothing would bring it back.
    return nullptr;
}

MainWindow::~MainWindow()
{
    wipe(masterKey);
}

// Every close asks whether to save first. A close that was to save goes
// through only once the vault is safely written: when the user cancels the
// file dialog or the save fails, the window stays open with all its rows.
void MainWindow::closeEvent(QCloseEvent *event)
{
    const QMessageBox::StandardButton answer = QMessageBox::question(this, QStringLiteral("Exit"),
        QStringLiteral("Do you want to save before exiting?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::NoButton);
    const bool close = answer != QMessageBox::Cancel && (answer != QMessageBox::Yes || saveVault());
    event->setAccepted(close);
}

Entry MainWindow::entryAt(int row) const
{
    return { table->item(row, 0)->text(), table->item(row, 1)->text(),
        table->item(row, 2)->text() };
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
