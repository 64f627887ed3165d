// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "windowsupport.h"
#include "dialogdriver.h"

#include <QAction>
#include <QMainWindow>
#include <QTableWidget>
#include <QToolBar>

namespace TestSupport {

void expectVaultChanged(DialogDriver &driver, QMessageBox::StandardButton click)
{
    driver.message(QMessageBox::Warning, QStringLiteral("Vault Changed"),
        QStringLiteral("The vault file has been changed by another program since Keyloft last "
                       "loaded or saved it. Replace it with the entries in this window?"),
        QMessageBox::Yes | QMessageBox::No, click, QMessageBox::No);
}

bool triggerAction(QMainWindow &window, const QString &text)
{
    const auto toolBars = window.findChildren<QToolBar *>();
    for (const QToolBar *toolBar : toolBars) {
        const auto actions = toolBar->actions();
        for (QAction *action : actions) {
            if (action->text() == text) {
                action->trigger();
                return true;
            }
        }
    }
    return false;
}

QTableWidget *entryTable(QMainWindow &window)
{
    return window.findChild<QTableWidget *>();
}

QList<QStringList> tableRows(const QTableWidget *table)
{
    QList<QStringList> rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        rows.append({ table->item(row, 0)->text(), table->item(row, 1)->text(),
            table->item(row, 2)->text() });
    }
    return rows;
}

void setTableRows(QTableWidget *table, const QList<QStringList> &rows)
{
    table->setRowCount(0);
    for (const QStringList &texts : rows) {
        const int row = table->rowCount();
        table->insertRow(row);
        for (int column = 0; column < 3; ++column)
            table->setItem(row, column, new QTableWidgetItem(texts.value(column)));
    }
}

} // namespace TestSupport
