// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/masterpassword.h"

#include <QInputDialog>
#include <QLineEdit>

QString askMasterPassword(bool *confirmed)
{
    return QInputDialog::getText(nullptr, QStringLiteral("Master Password"),
        QStringLiteral("Enter master password:"), QLineEdit::Password, QString(), confirmed,
        Qt::WindowFlags(), Qt::ImhNone);
}
