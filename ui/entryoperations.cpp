// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/mainwindow.h"
#include "vault/vaultformat.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QTableWidget>
#include <QTableWidgetItem>

#include <limits>

namespace {

// QInputDialog::getText without its line edit's limit of 32 767 characters,
// which would silently cut a longer field from the vault, even one accepted
// unchanged, and a longer paste.
QString askText(QWidget *parent, const QString &title, const QString &label, const QString &preset,
    Qt::InputMethodHints hints, bool *ok)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setTextEchoMode(QLineEdit::Normal);
    dialog.setInputMethodHints(hints);
    if (auto *edit = dialog.findChild<QLineEdit *>())
        edit->setMaxLength(std::numeric_limits<int>::max());
    dialog.setTextValue(preset);
    *ok = dialog.exec() == QDialog::Accepted;
    return *ok ? dialog.textValue() : QString();
}

// A line break pasted along with a text ends it; it was not meant as part of it.
QString withoutTrailingLineBreaks(QString text)
{
    qsizetype end = text.size();
    while (end > 0 && (text.at(end - 1) == u'\n' || text.at(end - 1) == u'\r'))
        --end;
    text.truncate(end);
    return text;
}

} // namespace

// Asks for the service, the user name and the password in turn, each preset
// with the matching text of `entry`. Only when all three prompts have been
// accepted is `entry` overwritten, so a cancel at any step changes nothing.
// An empty service, or three answers of blanks only, end the operation
// silently; a new text the vault cannot hold ends it with a warning.
bool MainWindow::promptEntry(const QString &title, Entry &entry)
{
    struct Prompt
    {
        QString Entry::*field;
        QString label;
        Qt::InputMethodHints hints;
    };
    // The password is shown in clear, but no input method is to learn it or
    // offer it again.
    const Prompt prompts[] = {
        { &Entry::service, tr("Service:"), Qt::ImhNone },
        { &Entry::username, tr("Username:"), Qt::ImhNone },
        { &Entry::password, tr("Password:"), Qt::ImhSensitiveData | Qt::ImhNoPredictiveText },
    };

    Entry answer;
    for (const Prompt &prompt : prompts) {
        bool ok = false;
        QString text = askText(this, title, prompt.label, entry.*prompt.field, prompt.hints, &ok);
        if (!ok)
            return false;
        // A text kept as it was is stored as it came, even when it holds a
        // carriage return that a vault from elsewhere brought with it.
        if (text != entry.*prompt.field) {
            text = withoutTrailingLineBreaks(text);
            if (!isStorableText(text)) {
                QMessageBox::warning(this, title,
                    tr("Entries cannot contain tabs, line breaks or other control characters."),
                    QMessageBox::Ok, QMessageBox::NoButton);
                return false;
            }
        }
        if (prompt.field == &Entry::service && text.isEmpty())
            return false;
        answer.*prompt.field = text;
    }
    // The vault would skip such a line when it is read back.
    if (isBlankEntry(answer))
        return false;
    entry = answer;
    return true;
}

void MainWindow::addEntry()
{
    Entry entry;
    if (!promptEntry(tr("Add Entry"), entry))
        return;
    appendEntry(entry);
    // Laid out now rather than later, so that the scroll bar reaches the new row.
    table->doItemsLayout();
    table->scrollToItem(table->item(table->rowCount() - 1, 0));
}

// After a load the table has a current row that nothing highlights; Edit
// and Delete act only on a row the user can see is chosen.
int MainWindow::selectedRow() const
{
    const int row = table->currentRow();
    return row >= 0 && table->selectionModel()->isRowSelected(row, QModelIndex()) ? row : -1;
}

void MainWindow::editEntry()
{
    const QString title = tr("Edit Entry");
    const int row = selectedRow();
    if (row < 0) {
        QMessageBox::warning(
            this, title, tr("No row selected."), QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    Entry entry = entryAt(row);
    if (!promptEntry(title, entry))
        return;
    table->item(row, 0)->setText(entry.service);
    table->item(row, 1)->setText(entry.username);
    table->item(row, 2)->setText(entry.password);
}

void MainWindow::deleteEntry()
{
    const int row = selectedRow();
    if (row < 0) {
        QMessageBox::warning(this, tr("Delete Entry"), tr("No row selected."), QMessageBox::Ok,
            QMessageBox::NoButton);
        return;
    }
    table->removeRow(row);
    // The next row would be selected at once, and a second press of Delete
    // (a double click, Space twice) would remove it too.
    table->clearSelection();
}
