// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/entry.h"
#include "vault/savedkeys.h"
#include "vault/vaultio.h"
#include "vault/vaultsnapshot.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// What a window knows about its vault file, and the only way it reads or
// writes it: the path, the master key, what the window last read from or
// wrote to the file, whether that load skipped lines, and whether the last
// save failed. Loads and saves report an outcome; the window shows it.
class VaultSession
{
public:
    enum class LoadOutcome { Loaded, OpenFailed, ReadFailed, TooLarge, NotAVault };
    enum class SaveOutcome {
        Saved,
        Declined,
        OpenFailed,
        WriteFailed,
        Damaged,
        Unconfirmed,
        // A merge was asked for, but the file is not a vault under this key,
        // or holds lines that are not entries; nothing was written.
        NotMergeable,
    };
    // What a save asks before it replaces anything.
    enum class Question {
        // The file holds something other than what the window last saw.
        VaultChanged,
        // The last load skipped lines that the save would not write back.
        NotFullyRead,
    };
    enum class Answer {
        No, // nothing is written
        Yes, // the save goes on: the file's contents are replaced
        Merge, // the file's changes are merged into the entries, which are then written
    };
    using Ask = std::function<Answer(Question)>;

    VaultSession(const QString &path, const QByteArray &key,
        const QString &keyRecords = SavedKeys::defaultRecordFile());
    ~VaultSession();
    VaultSession(const VaultSession &) = delete;
    VaultSession &operator=(const VaultSession &) = delete;

    // The vault in use; empty while there is none.
    QString currentFile() const { return m_currentFile; }
    // Uses `path` from now on, for a load.
    void setPath(const QString &path);
    // Whether a save must first ask for a file: none is in use, or the last
    // save to it failed (the path may never be writable: a mistyped folder,
    // a full disk).
    bool needsFileForSave() const { return m_currentFile.isEmpty() || m_lastSaveFailed; }
    // Where the save dialog starts: at the path that failed, or, where its
    // folder does not exist, at the same file name in the nearest folder
    // that does.
    QString saveDialogStart() const;
    // Uses `path`, just chosen in the save dialog (which confirmed replacing
    // it), for the next save and from then on.
    void chooseSavePath(const QString &path);

    // Reads the vault into `entries`. A file too large or not a vault under
    // this key is forgotten, so that no later save overwrites it.
    LoadOutcome load(QList<Entry> &entries);

    // Writes `entries` to the vault. Another window, program or device may
    // have written it since this session last saw it, and the last load may
    // have skipped lines: such a save asks first. Whatever the answers, the
    // file is checked again after the last of them, under a lock that
    // another Keyloft's save of the same vault waits for, and the write
    // finds the file as that check did or asks again.
    //
    // Merge, the answer to a changed file, writes instead the three-way merge
    // (see mergeEntries) of what this session last read or wrote (the base),
    // what the file holds now (first) and `entries` (second). From then on,
    // whatever comes of the save, the file's present entries are the base,
    // and the merged entries are what the window must show: `merged`
    // receives them.
    SaveOutcome save(
        const QList<Entry> &entries, const Ask &ask, std::optional<QList<Entry>> *merged = nullptr);

private:
    std::optional<QList<Entry>> entriesOf(const VaultSnapshot &snapshot, bool *lossless) const;
    void rememberAfterFailedWrite(
        const VaultLocation &vault, const QByteArray &attempted, bool damaged);

    QString m_currentFile;
    QByteArray m_masterKey;
    VaultSnapshot m_lastSeen;
    bool m_loadDroppedLines = false;
    bool m_lastSaveFailed = false;
    // The path was just chosen in the save dialog.
    bool m_chosenInDialog = false;
    SavedKeys m_savedKeys;
};
