#include "ui/mainwindow.h"
#include "vault/secretmemory.h"
#include "vault/vaultcipher.h"
#include "vault/vaultformat.h"
#include "vault/vaultio.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTableWidget>

namespace {

QString vaultFilter()
{
    return QStringLiteral("Password DB (*.pwdb);;All Files (*)");
}

void showError(QWidget *parent, const QString &text)
{
    QMessageBox::critical(
        parent, QStringLiteral("Error"), text, QMessageBox::Ok, QMessageBox::NoButton);
}

} // namespace

void MainWindow::saveToFile()
{
    saveVault();
}

// Saves every row to the vault file, asking for the file first while none is
// in use. True only when the new vault is completely on disk.
bool MainWindow::saveVault()
{
    if (currentFile.isEmpty()) {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Save Passwords"), QString(), vaultFilter());
        if (path.isEmpty())
            return false;
        currentFile = path;
    }

    QList<Entry> entries;
    entries.reserve(table->rowCount());
    for (int row = 0; row < table->rowCount(); ++row)
        entries.append(entryAt(row));
    QByteArray content = encodeVault(entries);
    xorCipherInPlace(content, masterKey);

    switch (writeVaultFile(currentFile, content)) {
    case WriteOutcome::OpenFailed:
        showError(this, QStringLiteral("Failed to open file for writing."));
        return false;
    case WriteOutcome::WriteFailed:
        showError(this, QStringLiteral("Failed to write file."));
        return false;
    case WriteOutcome::Written:
        break;
    }
    QMessageBox::information(this, QStringLiteral("Saved"),
        QStringLiteral("Passwords saved successfully."), QMessageBox::Ok, QMessageBox::NoButton);
    return true;
}

void MainWindow::loadFromFile()
{
    if (currentFile.isEmpty()) {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Open Passwords"), QString(), vaultFilter());
        if (path.isEmpty())
            return;
        currentFile = path;
    }

    QByteArray content;
    switch (readVaultFile(currentFile, content)) {
    case ReadOutcome::OpenFailed:
        showError(this, QStringLiteral("Failed to open file for reading."));
        return;
    case ReadOutcome::ReadFailed:
        showError(this, QStringLiteral("Failed to read file."));
        return;
    case ReadOutcome::Read:
        break;
    }

    xorCipherInPlace(content, masterKey);
    const std::optional<QList<Entry>> entries = decodeVault(content);
    wipe(content);
    if (!entries) {
        // Forget the file, so that no later save overwrites it with this
        // table without the user choosing it again.
        currentFile.clear();
        showError(
            this, QStringLiteral("This file is not a vault or the master password is wrong."));
        return;
    }

    // All rows are made at once and filled with painting held back, so the
    // table does its bookkeeping once rather than once per entry.
    table->setUpdatesEnabled(false);
    table->setRowCount(0);
    table->setRowCount(int(entries->size()));
    for (int row = 0; row < table->rowCount(); ++row)
        setEntryAt(row, entries->at(row));
    table->setUpdatesEnabled(true);
    QMessageBox::information(this, QStringLiteral("Loaded"),
        QStringLiteral("Passwords loaded successfully."), QMessageBox::Ok, QMessageBox::NoButton);
}
