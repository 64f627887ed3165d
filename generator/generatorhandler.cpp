// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "generator/passwordgenerator.h"
#include "ui/mainwindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>

#include <algorithm>

namespace {

// Digits, at least one of them not zero, with an optional plus sign and
// surrounding blanks, as QString::toInt reads them.
bool isPositiveWholeNumber(const QString &text)
{
    QStringView digits = QStringView(text).trimmed();
    if (digits.startsWith(u'+'))
        digits = digits.mid(1);
    return !digits.isEmpty()
        && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })
        && std::any_of(digits.begin(), digits.end(), [](QChar c) { return c != u'0'; });
}

} // namespace

void MainWindow::deliverGeneratedPassword()
{
    const QString title = tr("Generated Password");
    // A text that is not a whole number gives 0: an empty password. A whole
    // number too large for an int is above the cap all the same.
    bool inRange = false;
    const QString text = lengthEdit->text();
    const int length = text.toInt(&inRange, 10);
    if (length > maxPasswordLength || (!inRange && isPositiveWholeNumber(text))) {
        QMessageBox::warning(this, title,
            tr("The length must be at most %1.").arg(maxPasswordLength), QMessageBox::Ok,
            QMessageBox::NoButton);
        return;
    }

    const QString password = generatePassword(length);
    QGuiApplication::clipboard()->setMimeData(secretMimeData(password), QClipboard::Clipboard);
    generatedPasswordEdit->setText(password);
    QMessageBox::information(this, title,
        tr("Your new password has been copied to the clipboard:\n\n") + password, QMessageBox::Ok,
        QMessageBox::NoButton);
}
