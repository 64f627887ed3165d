// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/entry.h"
#include "vault/savedkeys.h"
#include "vault/vaultsnapshot.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>

class QCloseEvent;
class QLineEdit;
class QMenu;
class QTableWidget;

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

private slots:
    void addEntry();
    void editEntry();
    void deleteEntry();
    void saveToFile();
    void loadFromFile();

private:
    bool promptEntry(const QString &title, Entry &entry);
    // The current row when it is also selected, otherwise -1.
    int selectedRow() const;
    Entry entryAt(int row) const;
    void appendEntry(const Entry &entry);
    // Puts new items holding the entry's texts into an existing, empty row.
    void setEntryAt(int row, const Entry &entry);
    bool saveVault();
    bool confirmReplacing(bool pathChosenNow, VaultLock &lock);
    void rememberAfterFailedWrite(const QByteArray &attempted, bool damaged);
    void deliverGeneratedPassword();

    QLineEdit *generatedPasswordEdit;
    QLineEdit *lengthEdit;
    QTableWidget *table;
    QString currentFile;
    QByteArray masterKey;
    // What the vault file held when this window last read or wrote it.
    VaultSnapshot lastSeen;
    // The last load skipped lines or fields that a save would not write back.
    bool loadDroppedLines = false;
    // The last save failed: the next one asks for a file, starting at this one.
    bool lastSaveFailed = false;
    // The key each vault was last saved with, to refuse a mistyped one.
    SavedKeys savedKeys;
};
