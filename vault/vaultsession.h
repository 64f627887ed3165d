// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/conflictcopies.h"
#include "vault/entry.h"
#include "vault/savedecision.h"
#include "vault/savedkeys.h"
#include "vault/secretmemory.h"
#include "vault/vaultio.h"
#include "vault/vaultmerge.h"
#include "vault/vaultsnapshot.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

// What a window knows about its vault file, and the only way it reads or
// writes it: the path, the master key, what the window last read from or
// wrote to the file, whether that load skipped lines, and whether the last
// save failed. Loads and saves report an outcome; the window shows it.
class VaultSession
{
public:
    using SaveOutcome = ::SaveOutcome;
    using Question = SaveQuestion;
    using Answer = SaveAnswer;
    enum class LoadOutcome { Loaded, OpenFailed, ReadFailed, TooLarge, NotAVault };

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

    struct LoadResult
    {
        LoadOutcome outcome = LoadOutcome::OpenFailed;
        FileError error; // why a load failed
    };

    struct SaveResult
    {
        SaveOutcome outcome = SaveOutcome::Declined;
        FileError error; // why a save failed
        // The file the save wrote, or tried to.
        QString file;
        // Where the save merged the file's entries into the window's and went
        // on to write them: the entries the window must show from now on,
        // whatever became of the write.
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
    // forgotten, so that no later save overwrites it.
    LoadResult load(QList<Entry> &entries);

    // Writes `entries` to the vault, asking `questions` whatever must be
    // asked first: the steps, and what each answer leads to, are
    // decideSave's. A file chosen in the dialog becomes the window's only
    // once a save to it is done. Whatever the answers, the file is checked
    // again after the last of them, under a lock that another Keyloft's save
    // of the same vault waits for, and the write replaces only the file that
    // check found, or checks again.
    SaveResult save(const QList<Entry> &entries, Questions &questions);

    // The conflict copies a sync tool left beside the vault that hold
    // entries `entries` does not (see ConflictCopyScan); each is offered
    // from now on, until the next load.
    QList<ConflictCopy> conflictCopies(const QList<Entry> &entries);
    // Those of them that were not offered since the last load, or have
    // changed since: copies a sync tool left while the window was open.
    QList<ConflictCopy> newConflictCopies(const QList<Entry> &entries);
    // The copies at `paths` were merged into the window: from the next
    // successful save of this vault on, each whose entries are all in the
    // saved vault goes to the desktop's trash.
    void copiesMerged(const QStringList &paths);

private:
    struct Look;
    QString saveDialogStart() const;
    RecoveryResult finishInterruptedSave(VaultLocation &vault, FileStamp *tidyFolder = nullptr);
    FileState lookAt(const VaultLocation &vault, Look &look, const QList<Entry> &ours) const;
    static QList<Entry> takeMerge(const MergedEntries &merge, SaveResult &result);
    void finishSave(const VaultLocation &vault, bool own, const QByteArray &content,
        const WriteResult &written, const FileStamp &stamp, const QList<Entry> &ours,
        SaveResult &result);
    void rememberKey(const VaultLocation &vault, const FileStamp &stamp);
    void trashMergedCopies(const QList<Entry> &saved);
    std::optional<QList<Entry>> entriesOf(const VaultSnapshot &snapshot, bool *lossless) const;
    void rememberAfterFailedWrite(
        const VaultLocation &vault, const QByteArray &attempted, bool damaged);

    QString m_currentFile;
    SecretBytes m_masterKey;
    VaultSnapshot m_lastSeen;
    bool m_loadDroppedLines = false;
    // The file the last save failed to write; empty when it did not fail.
    QString m_failedSave;
    // Conflict copies merged into the window, not yet in the trash; those
    // offered since the last load, as they were.
    QStringList m_mergedCopies;
    QHash<QString, FileStamp> m_offeredCopies;
    // The stamp of the vault's folder when a load last found it without
    // leftovers of a save.
    FileStamp m_tidyFolder;
    ConflictCopyScan m_copyScan;
    // The vaults the master password was confirmed for in this run.
    QSet<QString> m_confirmedFor;
    SavedKeys m_savedKeys;
};
