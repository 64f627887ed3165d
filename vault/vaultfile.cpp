// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/mainwindow.h"
#include "vault/secretmemory.h"
#include "vault/vaultcipher.h"
#include "vault/vaultformat.h"
#include "vault/vaultio.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTableWidget>

namespace {

QString vaultFilter()
{
    return QStringLiteral("Password DB (*.pwdb);;All Files (*)");
}

// Where the save dialog starts after a failed save: at the path that failed,
// or, where its folder does not exist (a mistyped name), at the same file
// name in the nearest folder that does.
QString dialogStartAfter(const QString &failed)
{
    const QFileInfo file(failed);
    QString folder = file.absolutePath();
    for (QFileInfo at(folder); !at.isDir() && !at.isRoot(); at.setFile(folder))
        folder = at.absolutePath();
    return QDir(folder).filePath(file.fileName());
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
    const bool pathChosenNow = currentFile.isEmpty() || lastSaveFailed;
    if (pathChosenNow) {
        // A path that failed may never be writable (a mistyped folder, a full
        // disk): the dialog starts there, so the user can choose another.
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Passwords"),
            lastSaveFailed ? dialogStartAfter(currentFile) : QString(), vaultFilter());
        if (path.isEmpty())
            return false;
        currentFile = path;
    }
    // Held from the last check to the end of the replace: another Keyloft
    // saving the same vault meanwhile waits, and is then asked about this save.
    VaultLock lock;
    if (!confirmReplacing(pathChosenNow, lock))
        return false;

    QList<Entry> entries;
    entries.reserve(table->rowCount());
    for (int row = 0; row < table->rowCount(); ++row)
        entries.append(entryAt(row));
    QByteArray content = encodeVault(entries);
    xorCipherInPlace(content, masterKey);

    FileStamp stamp;
    const WriteOutcome outcome = writeVaultFile(currentFile, content, &stamp);
    lastSaveFailed = outcome != WriteOutcome::Written;
    switch (outcome) {
    case WriteOutcome::OpenFailed:
        showError(this, QStringLiteral("Failed to open file for writing."));
        return false;
    case WriteOutcome::WriteFailed:
        rememberAfterFailedWrite(content, false);
        showError(this, QStringLiteral("Failed to write file."));
        return false;
    case WriteOutcome::Damaged:
        rememberAfterFailedWrite(content, true);
        showError(this,
            QStringLiteral("Failed to write file. The vault file may be damaged: save again "
                           "before you close Keyloft."));
        return false;
    case WriteOutcome::Unconfirmed:
        lastSeen = VaultSnapshot::of(content, stamp);
        showError(this,
            QStringLiteral("The vault file was written, but the system could not confirm that "
                           "it is safely on disk. Save again before you close Keyloft."));
        return false;
    case WriteOutcome::Written:
        break;
    }
    lastSeen = VaultSnapshot::of(content, stamp);
    loadDroppedLines = false;
    savedKeys.remember(QFileInfo(currentFile).canonicalFilePath(), stamp, masterKey);
    QMessageBox::information(this, QStringLiteral("Saved"),
        QStringLiteral("Passwords saved successfully."), QMessageBox::Ok, QMessageBox::NoButton);
    return true;
}

// Another window, program or device may have written the vault since this
// window last saw it; those entries are replaced only when the user says so.
// A file just chosen in the save dialog was confirmed there. Whatever the
// answers, the file is checked again under `lock` after the last of them, so
// a change made while a question was open is asked about too. True with
// `lock` held when the save may go on.
bool MainWindow::confirmReplacing(bool pathChosenNow, VaultLock &lock)
{
    const auto ask = [this](const QString &title, const QString &text) {
        return QMessageBox::warning(
                   this, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };
    bool lossAccepted = false;
    for (;;) {
        lock.acquire(currentFile);
        if (pathChosenNow)
            return true;
        VaultSnapshot onDisk;
        if (vaultChangedOnDisk(currentFile, lastSeen, &onDisk)) {
            lock.release();
            if (!ask(QStringLiteral("Vault Changed"),
                    QStringLiteral("The vault file has been changed by another program since "
                                   "Keyloft last loaded or saved it. Replace it with the "
                                   "entries in this window?")))
                return false;
            // Agreed to replace what the file holds now; the lines the load
            // skipped are no longer in it. A file that cannot be read cannot
            // be watched for a further change either.
            lossAccepted = true;
            if (!onDisk.hasBytes) {
                lock.acquire(currentFile);
                return true;
            }
            lastSeen = onDisk;
        } else if (loadDroppedLines && !lossAccepted) {
            // Most often the sign of a mistyped master password that happened
            // to give readable text: saving would write that garbage back,
            // less the lines it skipped.
            lock.release();
            if (!ask(QStringLiteral("Vault Not Fully Read"),
                    QStringLiteral("Some lines of the vault file are not entries and would be "
                                   "lost by saving. If the entries look wrong, the master "
                                   "password was probably mistyped. Save anyway?")))
                return false;
            lossAccepted = true;
        } else {
            return true;
        }
    }
}

// A failed save may still have left this window's bytes in the file, and a
// failed rollback leaves whatever it left: either is this window's own doing,
// and must not be taken for a change made elsewhere at the next save.
void MainWindow::rememberAfterFailedWrite(const QByteArray &attempted, bool damaged)
{
    QByteArray onDisk;
    FileStamp stamp;
    const bool read = readVaultFile(currentFile, onDisk, &stamp) == ReadOutcome::Read;
    if (damaged)
        lastSeen = read ? VaultSnapshot::of(onDisk, stamp) : VaultSnapshot();
    else if (read && onDisk == attempted)
        lastSeen = VaultSnapshot::of(onDisk, stamp);
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
    FileStamp stamp;
    switch (readVaultFile(currentFile, content, &stamp)) {
    case ReadOutcome::OpenFailed:
        lastSeen = VaultSnapshot();
        showError(this, QStringLiteral("Failed to open file for reading."));
        return;
    case ReadOutcome::ReadFailed:
        lastSeen = VaultSnapshot();
        showError(this, QStringLiteral("Failed to read file."));
        return;
    case ReadOutcome::TooLarge:
        // Forgotten like a file that is not a vault: no later save may
        // replace it.
        currentFile.clear();
        lastSeen = VaultSnapshot();
        showError(this, QStringLiteral("This file is too large to be a vault."));
        return;
    case ReadOutcome::Read:
        break;
    }
    lastSeen = VaultSnapshot::of(content, stamp);

    // A file exactly as a save here wrote it opens only with the key it was
    // written with, however readable another key makes it.
    std::optional<QList<Entry>> entries;
    bool lossless = true;
    if (!savedKeys.refuses(QFileInfo(currentFile).canonicalFilePath(), stamp, masterKey)) {
        xorCipherInPlace(content, masterKey);
        entries = decodeVault(content, &lossless);
        wipe(content);
    }
    if (!entries) {
        // Forget the file, so that no later save overwrites it with this
        // table without the user choosing it again.
        currentFile.clear();
        showError(
            this, QStringLiteral("This file is not a vault or the master password is wrong."));
        return;
    }

    loadDroppedLines = !lossless;

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
