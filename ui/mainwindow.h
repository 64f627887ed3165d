// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/entry.h"
#include "vault/vaultsession.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>

class QCloseEvent;
class QShowEvent;
class QLineEdit;
class QMenu;
class QTableWidget;
class QToolBar;
class QVBoxLayout;

// The program's only window. It owns every piece of run-time state: the entry
// table, the generator's two fields, the vault file in use and the master key.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(const QString &filePath, const QString &masterPassword, QWidget *parent = nullptr);
    ~MainWindow() override;

    QMenu *createPopupMenu() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void addEntry();
    void editEntry();
    void deleteEntry();
    void saveToFile();
    void loadFromFile();

private:
    void setUpTable();
    QToolBar *createToolBar();
    QWidget *setUpGenerator(QVBoxLayout *layout);
    void placeOnScreen();
    bool promptEntry(const QString &title, Entry &entry);
    // The current row when it is also selected, otherwise -1.
    int selectedRow() const;
    Entry entryAt(int row) const;
    void appendEntry(const Entry &entry);
    // Puts new items holding the entry's texts into an existing, empty row.
    void setEntryAt(int row, const Entry &entry);
    bool saveVault();
    QList<Entry> tableEntries() const;
    // Asks whether to merge the copies into `entries`, the table's rows, and
    // merges them when the user agrees.
    void offerConflictCopies(const QList<ConflictCopy> &copies, QList<Entry> &entries);
    // Replaces the table's rows by `entries`.
    void showEntries(const QList<Entry> &entries);
    // Shows what a merge into the rows `before` gave: the rows that came in
    // are selected, and the first conflict, or else the first of them, is
    // the current row.
    void showMerged(
        const QList<Entry> &merged, const QList<Entry> &before, qsizetype firstConflict);
    void deliverGeneratedPassword();

    QLineEdit *generatedPasswordEdit;
    QLineEdit *lengthEdit;
    QTableWidget *table;
    // The conflict copies found by the load at start-up are offered once the
    // window shows, in front of its rows.
    bool offerCopiesWhenShown = false;
    // The vault file in use, the master key, and what the window last read
    // from or wrote to the file.
    VaultSession session;
};
