// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/conflictcopies.h"
#include "vault/entry.h"
#include "vault/savedkeys.h"
#include "vault/secretmemory.h"
#include "vault/vaultio.h"
#include "vault/vaultmerge.h"
#include "vault/vaultsnapshot.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <mutex>
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
        // The master password typed to confirm it is not the one in use;
        // nothing was written.
        NotConfirmed,
    };
    // What a save asks before it replaces anything.
    enum class Question {
        // The file holds something other than what the window last saw:
        // Merge, Yes (replace) or No.
        VaultChanged,
        // The last load skipped lines that the save would not write back:
        // Yes or No.
        NotFullyRead,
        // The file chosen to save to is another vault of this key, with
        // entries that are not in the window: Merge, Yes (replace) or No.
        ReplaceVault,
        // The file chosen to save to is a vault that Keyloft saved with
        // another key: Yes (replace) or No.
        ReplaceOtherKeyVault,
    };
    enum class Answer {
        No, // nothing is written
        Yes, // the save goes on: the file's contents are replaced
        Merge, // the file's entries are merged into the window's, which are then written
    };

    // Answers a save's questions; the window asks the user.
    class Questions
    {
    public:
        Questions() = default;
        virtual ~Questions() = default;
        Q_DISABLE_COPY_MOVE(Questions)

        // The file to save to, offered first at `start` (empty: anywhere);
        // empty when the user cancels.
        virtual QString chooseFile(const QString &start) = 0;
        virtual Answer ask(Question question) = 0;
        // The master password typed once more, before it first locks a
        // vault; nothing when the user cancels.
        virtual std::optional<QString> confirmMasterPassword() = 0;
    };

    struct SaveResult
    {
        SaveOutcome outcome = SaveOutcome::Declined;
        // The system's error (an errno value) behind a failed outcome.
        int error = 0;
        // Where the save merged the file's entries into the window's: the
        // entries the window must show from now on, whatever became of the
        // write.
        std::optional<QList<Entry>> merged;
        // How many entries the merge found changed both in the window and
        // in the file, and the row of the first of them in `merged`.
        int conflicts = 0;
        qsizetype firstConflict = -1;
    };

    // The session keeps a copy of `key` of its own, in memory for secrets.
    VaultSession(const QString &path, QByteArrayView key,
        const QString &keyRecords = SavedKeys::defaultFolder());
    ~VaultSession();
    VaultSession(const VaultSession &) = delete;
    VaultSession &operator=(const VaultSession &) = delete;

    // The vault in use; empty while there is none.
    QString currentFile() const { return m_currentFile; }
    // Uses `path` from now on, for a load.
    void setPath(const QString &path);

    // Reads the vault into `entries`, after finishing a save of it that was
    // interrupted. A file too large or not a vault under this key is
    // forgotten, so that no later save overwrites it. `error`, when given,
    // receives the system's error (an errno value) behind a failure, or 0.
    LoadOutcome load(QList<Entry> &entries, int *error = nullptr);

    // Writes `entries` to the vault, and asks `questions` whatever must be
    // asked first:
    // - the file to save to, while none is in use or the last save to it
    //   failed (the path may never be writable: a mistyped folder, a full
    //   disk);
    // - about a file chosen there that holds what the window has not seen;
    // - about a vault that another window, program or device wrote since
    //   this session last saw it (Merge writes the three-way merge, entry by
    //   entry, see mergeEntries, of what this session last saw, what the
    //   file holds now and `entries`);
    // - about lines the last load skipped;
    // - for the master password once more, the first time in this run that
    //   it locks a vault this computer has not seen written with it: a new
    //   file, a file chosen in the dialog that this key does not open, or
    //   one without a record of this key.
    // Whatever the answers, the file is checked again after the last of
    // them, under a lock that another Keyloft's save of the same vault
    // waits for, and the write replaces only the file that check found, or
    // asks again. A file that cannot be looked at or read is never taken
    // for a changed one: the save fails instead.
    SaveResult save(const QList<Entry> &entries, Questions &questions);

    // The conflict copies a sync tool left beside the vault that hold
    // entries `entries` does not (see findConflictCopies).
    QList<ConflictCopy> conflictCopies(const QList<Entry> &entries) const;
    // The copies at `paths` were merged into the window: from the next
    // successful save on, each whose entries are all in the saved vault goes
    // to the desktop's trash.
    void copiesMerged(const QStringList &paths);

private:
    QString saveDialogStart() const;
    enum class ChosenFile { Own, Other, Unopened, Unreadable, Stop };
    ChosenFile prepareChosenFile(VaultLocation &vault, std::unique_lock<VaultLocation> &lock,
        Questions &questions, QList<Entry> &entries, SaveResult &result, FoundFile &tooLarge);
    bool finishInterruptedSave(VaultLocation &vault);
    static QList<Entry> takeMerge(const MergedEntries &merge, SaveResult &result);
    bool mustConfirmKey(const VaultLocation &vault, const FoundFile &found, bool unopened) const;
    void rememberKey(const VaultLocation &vault, const FileStamp &stamp);
    void trashMergedCopies(const QList<Entry> &saved);
    std::optional<QList<Entry>> entriesOf(const VaultSnapshot &snapshot, bool *lossless) const;
    void rememberAfterFailedWrite(
        const VaultLocation &vault, const QByteArray &attempted, bool damaged);

    QString m_currentFile;
    SecretBytes m_masterKey;
    VaultSnapshot m_lastSeen;
    bool m_loadDroppedLines = false;
    bool m_lastSaveFailed = false;
    // Conflict copies merged into the window, not yet in the trash.
    QStringList m_mergedCopies;
    // The vaults the master password was confirmed for in this run.
    QSet<QString> m_confirmedFor;
    SavedKeys m_savedKeys;
};
