// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/masterpassword.h"
#include "app/accessibilityguard.h"
#include "vault/secretmemory.h"
#include "vault/vaultformat.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace {

QString askOnce(bool *confirmed)
{
    const QString title = QCoreApplication::translate("MasterPassword", "Master Password");
    QInputDialog dialog;
    dialog.setWindowTitle(title);
    dialog.setLabelText(QCoreApplication::translate("MasterPassword", "Enter master password:"));
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setInputMethodHints(Qt::ImhNone);
    const PasswordTypingHidden hidden;
    // The dialog takes the width of its label only, narrower than the title
    // with the window manager's buttons beside it; its layout sets the
    // dialog's own minimum, so the field asks for room for the title twice
    // over, in a title font that may be larger and bold.
    QFont titleFont = dialog.font();
    titleFont.setBold(true);
    if (auto *field = dialog.findChild<QLineEdit *>())
        field->setMinimumWidth(2 * QFontMetrics(titleFont).horizontalAdvance(title) + 100);
    *confirmed = dialog.exec() == QDialog::Accepted;
    return *confirmed ? dialog.textValue() : QString();
}

} // namespace

QString askMasterPassword(bool *confirmed)
{
    for (;;) {
        QString password = askOnce(confirmed);
        // Most often a line break pasted from a password file: it becomes part
        // of the key, and typing alone can never give that key again.
        if (!*confirmed || isStorableText(password))
            return password;
        const QMessageBox::StandardButton answer = QMessageBox::warning(nullptr,
            QCoreApplication::translate("MasterPassword", "Master Password"),
            QCoreApplication::translate("MasterPassword",
                "The master password contains a line break or another control character, so "
                "it can be entered again only by pasting the same text. Use it anyway?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes)
            return password;
        forgetText(password);
    }
}
