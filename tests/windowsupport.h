// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "testsupport.h"

#include <QMessageBox>

class DialogDriver;
class QMainWindow;
class QTableWidget;

// Small pieces the window tests share.
namespace TestSupport {

// The question a save asks before replacing a vault changed elsewhere,
// answered with the button of this text ("Merge", "Replace" or "Cancel");
// an empty one presses Escape.
void expectVaultChanged(DialogDriver &driver, const QString &click);

// Triggers the toolbar action with this text; false when there is none.
bool triggerAction(QMainWindow &window, const QString &text);

QTableWidget *entryTable(QMainWindow &window);
QList<QStringList> tableRows(const QTableWidget *table);
void setTableRows(QTableWidget *table, const QList<QStringList> &rows);

} // namespace TestSupport
