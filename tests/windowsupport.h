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
// answered with `click` (QMessageBox::NoButton presses Escape).
void expectVaultChanged(DialogDriver &driver, QMessageBox::StandardButton click);

// Triggers the toolbar action with this text; false when there is none.
bool triggerAction(QMainWindow &window, const QString &text);

QTableWidget *entryTable(QMainWindow &window);
QList<QStringList> tableRows(const QTableWidget *table);
void setTableRows(QTableWidget *table, const QList<QStringList> &rows);

} // namespace TestSupport
