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

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(table);
    setCentralWidget(central);

    QToolBar *toolBar = addToolBar(QStringLiteral("Main"));
    QAction *addAction = toolBar->addAction(QStringLiteral("Add"));
    QAction *editAction = toolBar->addAction(QStringLiteral("Edit"));
    QAction *deleteAction = toolBar->addAction(QStringLiteral("Delete"));
    toolBar->addSeparator();
    QAction *saveAction = toolBar->addAction(QStringLiteral("Save"));
    QAction *loadAction = toolBar->addAction(QStringLiteral("Load"));

    auto *generatorRow = new QHBoxLayout;
    auto *generateButton = new QPushButton(QStringLiteral("Generate Password"));
    layout->addWidget(generateButton);
    generatorRow->addWidget(new QLabel(QStringLiteral("Length:")));
    generatorRow->addWidget(lengthEdit);
    generatorRow->addWidget(generatedPasswordEdit);
    layout->addLayout(generatorRow);
    lengthEdit->setText(QStringLiteral("16"));
    lengthEdit->setObjectName(QStringLiteral("lengthEdit"));
    generatedPasswordEdit->setObjectName(QStringLiteral("generatedPasswordEdit"));

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

    if (!currentFile.isEmpty())
        loadFromFile();
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
