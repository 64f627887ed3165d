// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/accessibilityguard.h"
#include "app/masterpassword.h"
#include "ui/mainwindow.h"
#include "vault/secretmemory.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>

namespace {

// Asks for a vault file to open or to save to, starting at `start`: the
// file that failed, or else the folder of the window's vault, or else the
// home folder, never the working directory (a source checkout, say, where a
// vault would end up committed). A name typed without an extension gets
// ".pwdb", so that the filter shows the file again.
QString chooseVaultFile(QWidget *parent, QFileDialog::AcceptMode mode, const QString &start)
{
    const bool save = mode == QFileDialog::AcceptSave;
    QFileDialog dialog(parent,
        save ? MainWindow::tr("Save Passwords") : MainWindow::tr("Open Passwords"),
        start.isEmpty() ? QDir::homePath() : start,
        MainWindow::tr("Password DB (*.pwdb);;All Files (*)"));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save)
        dialog.setDefaultSuffix(QStringLiteral("pwdb"));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

// What a failed load or save keeps behind "Show Details…": the file, and
// what the system said of the call that failed, if one did.
QString failureDetails(const QString &path, const FileError &error)
{
    QString details = MainWindow::tr("File: %1").arg(QDir::toNativeSeparators(path));
    if (!error.isEmpty()) {
        const QString reason = error.code == lockNotReleased
            ? MainWindow::tr("Another Keyloft window held the vault's lock for more than %1 "
                             "seconds.")
                  .arg(lockWait / 1000)
            : error.code != 0 ? qt_error_string(error.code)
                              : error.text;
        details += u'\n' + MainWindow::tr("Reason: %1").arg(reason);
    }
    return details;
}

void showError(QWidget *parent, const QString &text, const QString &details)
{
    QMessageBox box(QMessageBox::Critical, MainWindow::tr("Error"), text, QMessageBox::Ok, parent);
    box.setDetailedText(details);
    box.exec();
}

// A box of three choices: merge (the default), replace, or cancel.
VaultSession::Answer askMergeOrReplace(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
    QPushButton *merge = box.addButton(MainWindow::tr("Merge"), QMessageBox::AcceptRole);
    QPushButton *replace = box.addButton(MainWindow::tr("Replace"), QMessageBox::DestructiveRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(merge);
    box.exec();
    if (box.clickedButton() == merge)
        return VaultSession::Answer::Merge;
    return box.clickedButton() == replace ? VaultSession::Answer::Yes : VaultSession::Answer::No;
}

VaultSession::Answer askYesOrNo(QWidget *parent, const QString &title, const QString &text)
{
    return QMessageBox::warning(
               parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes
        ? VaultSession::Answer::Yes
        : VaultSession::Answer::No;
}

// The questions of a save, asked in boxes over the window.
class WindowQuestions : public VaultSession::Questions
{
public:
    explicit WindowQuestions(QWidget *window)
        : m_window(window)
    { }

    QString chooseFile(const QString &start) override
    {
        return chooseVaultFile(m_window, QFileDialog::AcceptSave, start);
    }

    VaultSession::Answer ask(VaultSession::Question question) override
    {
        switch (question) {
        case VaultSession::Question::VaultChanged:
            return askMergeOrReplace(m_window, MainWindow::tr("Vault Changed"),
                MainWindow::tr("The vault file has been changed by another program since "
                               "Keyloft last loaded or saved it. Merge its changes with the "
                               "entries in this window, or replace it with the entries in this "
                               "window?"));
        case VaultSession::Question::NotFullyRead:
            return askYesOrNo(m_window, MainWindow::tr("Vault Not Fully Read"),
                MainWindow::tr("Some lines of the vault file are not entries and would be lost "
                               "by saving. If the entries look wrong, the master password was "
                               "probably mistyped. Save anyway?"));
        case VaultSession::Question::ReplaceVault:
            return askMergeOrReplace(m_window, MainWindow::tr("Replace Vault"),
                MainWindow::tr("The file already holds entries of a vault with this master "
                               "password that are not in this window. Merge them with the "
                               "entries in this window, or replace them with the entries in "
                               "this window?"));
        case VaultSession::Question::ReplaceOtherKeyVault:
            return askYesOrNo(m_window, MainWindow::tr("Replace Vault"),
                MainWindow::tr("The file is a vault that Keyloft saved with another master "
                               "password. Replacing it loses its entries. Replace it with the "
                               "entries in this window?"));
        case VaultSession::Question::ReplaceFile:
            return askYesOrNo(m_window, MainWindow::tr("Replace File"),
                MainWindow::tr("This file cannot be opened with your master password: it may be "
                               "a vault locked with another master password. Replacing it loses "
                               "everything it holds. Replace it with the entries in this "
                               "window?"));
        }
        return VaultSession::Answer::No;
    }

    std::optional<QString> confirmMasterPassword() override
    {
        const PasswordTypingHidden hidden;
        bool confirmed = false;
        QString typed = QInputDialog::getText(m_window, MainWindow::tr("Confirm Master Password"),
            MainWindow::tr("Type the master password again:"), QLineEdit::Password, QString(),
            &confirmed, Qt::WindowFlags(), masterPasswordHints);
        if (confirmed)
            return typed;
        forgetText(typed);
        return std::nullopt;
    }

private:
    QWidget *m_window;
};

// What the box that ends a save says.
QString saveMessage(VaultSession::SaveOutcome outcome)
{
    switch (outcome) {
    case VaultSession::SaveOutcome::Saved:
        return MainWindow::tr("Passwords saved successfully.");
    case VaultSession::SaveOutcome::Declined:
    case VaultSession::SaveOutcome::OpenFailed:
        break;
    case VaultSession::SaveOutcome::WriteFailed:
        return MainWindow::tr("Failed to write file.");
    case VaultSession::SaveOutcome::Damaged:
        return MainWindow::tr("Failed to write file. The vault file may be damaged: save again "
                              "before you close Keyloft.");
    case VaultSession::SaveOutcome::NotMergeable:
        return MainWindow::tr(
            "The vault file cannot be merged: it is not a vault of this master password.");
    case VaultSession::SaveOutcome::NotConfirmed:
        return MainWindow::tr("The master password does not match the one Keyloft was started "
                              "with. Nothing was saved.");
    case VaultSession::SaveOutcome::Unconfirmed:
        return MainWindow::tr("The vault file was written, but the system could not confirm "
                              "that it is safely on disk. Save again before you close Keyloft.");
    }
    return MainWindow::tr("Failed to open file for writing.");
}

QString loadMessage(VaultSession::LoadOutcome outcome)
{
    switch (outcome) {
    case VaultSession::LoadOutcome::Loaded:
    case VaultSession::LoadOutcome::OpenFailed:
        break;
    case VaultSession::LoadOutcome::ReadFailed:
        return MainWindow::tr("Failed to read file.");
    case VaultSession::LoadOutcome::TooLarge:
        return MainWindow::tr("This file is too large to be a vault.");
    case VaultSession::LoadOutcome::NotAVault:
        return MainWindow::tr("This file is not a vault or the master password is wrong.");
    }
    return MainWindow::tr("Failed to open file for reading.");
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
    QList<Entry> entries = tableEntries();
    // Copies a sync tool left since the load are offered first; whatever
    // the answer, the save goes on.
    if (!session.currentFile().isEmpty())
        offerConflictCopies(session.newConflictCopies(entries), entries);
    WindowQuestions questions(this);
    const VaultSession::SaveResult result = session.save(entries, questions);
    // A merge brought in the file's entries, whatever became of the save.
    if (result.merged)
        showMerged(*result.merged, entries, result.firstConflict);
    if (result.outcome == VaultSession::SaveOutcome::Declined)
        return false;

    const bool saved = result.outcome == VaultSession::SaveOutcome::Saved;
    QMessageBox box(saved ? QMessageBox::Information : QMessageBox::Critical,
        saved ? MainWindow::tr("Saved") : MainWindow::tr("Error"), saveMessage(result.outcome),
        QMessageBox::Ok, this);
    // English says "1 entry was", which no number put into the plural text
    // gives; other languages choose their forms for any count.
    if (result.conflicts == 1)
        box.setInformativeText(tr("1 entry was changed both in this window and in the file: both "
                                  "versions are kept, the file's first."));
    else if (result.conflicts > 1)
        box.setInformativeText(tr("%n entries were changed both in this window and in the file: "
                                  "both versions are kept, the file's first.",
            nullptr, result.conflicts));
    if (!saved)
        box.setDetailedText(failureDetails(result.file, result.error));
    box.exec();
    return saved;
}

void MainWindow::loadFromFile()
{
    if (session.currentFile().isEmpty()) {
        const QString path = chooseVaultFile(this, QFileDialog::AcceptOpen, QString());
        if (path.isEmpty())
            return;
        session.setPath(path);
    }

    // A file refused is forgotten by the load: its path is taken first.
    const QString path = session.currentFile();
    QList<Entry> entries;
    const VaultSession::LoadResult loaded = session.load(entries);
    if (loaded.outcome != VaultSession::LoadOutcome::Loaded) {
        showError(this, loadMessage(loaded.outcome), failureDetails(path, loaded.error));
        return;
    }

    showEntries(entries);
    QMessageBox::information(this, tr("Loaded"), tr("Passwords loaded successfully."),
        QMessageBox::Ok, QMessageBox::NoButton);
    if (isVisible())
        offerConflictCopies(session.conflictCopies(entries), entries);
    else
        offerCopiesWhenShown = true;
}
