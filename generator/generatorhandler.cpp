// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "generator/passwordgenerator.h"
#include "ui/mainwindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>

void MainWindow::deliverGeneratedPassword()
{
    const QString title = QStringLiteral("Generated Password");
    // A text that is not a whole number in range gives 0: an empty password.
    const int length = lengthEdit->text().toInt(nullptr, 10);
    if (length > maxPasswordLength) {
        QMessageBox::warning(this, title,
            QStringLiteral("The length must be at most %1.").arg(maxPasswordLength),
            QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }

    const QString password = generatePassword(length);
    QGuiApplication::clipboard()->setMimeData(secretMimeData(password), QClipboard::Clipboard);
    generatedPasswordEdit->setText(password);
    QMessageBox::information(this, title,
        QStringLiteral("Your new password has been copied to the clipboard:\n\n") + password,
        QMessageBox::Ok, QMessageBox::NoButton);
}
