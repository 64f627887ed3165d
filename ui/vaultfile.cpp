// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/mainwindow.h"

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
// in use or the last save to it failed. True only when the new vault is
// completely on disk.
bool MainWindow::saveVault()
{
    if (session.needsFileForSave()) {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Save Passwords"), session.saveDialogStart(), vaultFilter());
        if (path.isEmpty())
            return false;
        session.chooseSavePath(path);
    }

    QList<Entry> entries;
    entries.reserve(table->rowCount());
    for (int row = 0; row < table->rowCount(); ++row)
        entries.append(entryAt(row));
    const auto ask = [this](VaultSession::Question question) {
        const bool changed = question == VaultSession::Question::VaultChanged;
        const QString title
            = changed ? QStringLiteral("Vault Changed") : QStringLiteral("Vault Not Fully Read");
        const QString text = changed
            ? QStringLiteral("The vault file has been changed by another program since Keyloft "
                             "last loaded or saved it. Replace it with the entries in this "
                             "window?")
            : QStringLiteral("Some lines of the vault file are not entries and would be lost "
                             "by saving. If the entries look wrong, the master password was "
                             "probably mistyped. Save anyway?");
        return QMessageBox::warning(
                   this, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };

    switch (session.save(entries, ask)) {
    case VaultSession::SaveOutcome::Saved:
        QMessageBox::information(this, QStringLiteral("Saved"),
            QStringLiteral("Passwords saved successfully."), QMessageBox::Ok,
            QMessageBox::NoButton);
        return true;
    case VaultSession::SaveOutcome::Declined:
        return false;
    case VaultSession::SaveOutcome::OpenFailed:
        showError(this, QStringLiteral("Failed to open file for writing."));
        return false;
    case VaultSession::SaveOutcome::WriteFailed:
        showError(this, QStringLiteral("Failed to write file."));
        return false;
    case VaultSession::SaveOutcome::Damaged:
        showError(this,
            QStringLiteral("Failed to write file. The vault file may be damaged: save again "
                           "before you close Keyloft."));
        return false;
    case VaultSession::SaveOutcome::Unconfirmed:
        showError(this,
            QStringLiteral("The vault file was written, but the system could not confirm that "
                           "it is safely on disk. Save again before you close Keyloft."));
        return false;
    }
    return false;
}

void MainWindow::loadFromFile()
{
    if (session.currentFile().isEmpty()) {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Open Passwords"), QString(), vaultFilter());
        if (path.isEmpty())
            return;
        session.setPath(path);
    }

    QList<Entry> entries;
    switch (session.load(entries)) {
    case VaultSession::LoadOutcome::OpenFailed:
        showError(this, QStringLiteral("Failed to open file for reading."));
        return;
    case VaultSession::LoadOutcome::ReadFailed:
        showError(this, QStringLiteral("Failed to read file."));
        return;
    case VaultSession::LoadOutcome::TooLarge:
        showError(this, QStringLiteral("This file is too large to be a vault."));
        return;
    case VaultSession::LoadOutcome::NotAVault:
        showError(
            this, QStringLiteral("This file is not a vault or the master password is wrong."));
        return;
    case VaultSession::LoadOutcome::Loaded:
        break;
    }

    // All rows are made at once and filled with painting held back, so the
    // table does its bookkeeping once rather than once per entry.
    table->setUpdatesEnabled(false);
    table->setRowCount(0);
    table->setRowCount(int(entries.size()));
    for (int row = 0; row < table->rowCount(); ++row)
        setEntryAt(row, entries.at(row));
    table->setUpdatesEnabled(true);
    QMessageBox::information(this, QStringLiteral("Loaded"),
        QStringLiteral("Passwords loaded successfully."), QMessageBox::Ok, QMessageBox::NoButton);
}
