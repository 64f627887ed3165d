// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/mainwindow.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
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

// The file holds something other than what this window last saw: merge
// (the default), replace, or cancel.
VaultSession::Answer MainWindow::askAboutChangedVault()
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Vault Changed"),
        QStringLiteral("The vault file has been changed by another program since Keyloft last "
                       "loaded or saved it. Merge its changes with the entries in this window, "
                       "or replace it with the entries in this window?"),
        QMessageBox::NoButton, this);
    QPushButton *merge = box.addButton(QStringLiteral("Merge"), QMessageBox::AcceptRole);
    QPushButton *replace = box.addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(merge);
    box.exec();
    if (box.clickedButton() == merge)
        return VaultSession::Answer::Merge;
    return box.clickedButton() == replace ? VaultSession::Answer::Yes : VaultSession::Answer::No;
}

VaultSession::Answer MainWindow::askAboutLinesNotRead()
{
    const QMessageBox::StandardButton answer
        = QMessageBox::warning(this, QStringLiteral("Vault Not Fully Read"),
            QStringLiteral("Some lines of the vault file are not entries and would be lost by "
                           "saving. If the entries look wrong, the master password was probably "
                           "mistyped. Save anyway?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes ? VaultSession::Answer::Yes : VaultSession::Answer::No;
}

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
        return question == VaultSession::Question::VaultChanged ? askAboutChangedVault()
                                                                : askAboutLinesNotRead();
    };
    std::optional<QList<Entry>> merged;
    const VaultSession::SaveOutcome outcome = session.save(entries, ask, &merged);
    // A merge brought in the file's entries, whatever became of the save.
    if (merged)
        showEntries(*merged);

    switch (outcome) {
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
    case VaultSession::SaveOutcome::NotMergeable:
        showError(this,
            QStringLiteral(
                "The vault file cannot be merged: it is not a vault of this master password."));
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

    showEntries(entries);
    QMessageBox::information(this, QStringLiteral("Loaded"),
        QStringLiteral("Passwords loaded successfully."), QMessageBox::Ok, QMessageBox::NoButton);
}
