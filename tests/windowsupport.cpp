// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "windowsupport.h"
#include "dialogdriver.h"

#include <QAction>
#include <QMainWindow>
#include <QTableWidget>
#include <QToolBar>

namespace TestSupport {

void expectVaultChanged(DialogDriver &driver, const QString &click)
{
    driver.choice(QMessageBox::Warning, QStringLiteral("Vault Changed"),
        QStringLiteral("The vault file has been changed by another program since Keyloft last "
                       "loaded or saved it. Merge its changes with the entries in this window, "
                       "or replace it with the entries in this window?"),
        { { QStringLiteral("Merge"), QMessageBox::AcceptRole },
            { QStringLiteral("Replace"), QMessageBox::DestructiveRole },
            { QStringLiteral("Cancel"), QMessageBox::RejectRole } },
        click, QStringLiteral("Merge"));
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
