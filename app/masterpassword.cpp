// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/masterpassword.h"
#include "app/accessibilityguard.h"
#include "ui/titlefit.h"
#include "vault/secretmemory.h"
#include "vault/vaultformat.h"

#include <QCoreApplication>
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
    dialog.setInputMethodHints(masterPasswordHints);
    const PasswordTypingHidden hidden;
    *confirmed = dialog.exec() == QDialog::Accepted;
    return *confirmed ? dialog.textValue() : QString();
}

} // namespace

QString askMasterPassword(bool *confirmed)
{
    const TitleFit fit;
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
