// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <optional>

// Everything a save decides, decided in one place from what it knows: which
// file it writes, what it asks, and when it writes. Nothing here looks at a
// file or asks anybody; the session does that, and comes back after each step
// with what it learned. The README's table "What Save asks" is this function.

// What a save may ask before it replaces anything.
enum class SaveQuestion {
    // The window's file holds something other than what the window last
    // loaded or saved there: Merge, Yes (replace) or No.
    VaultChanged,
    // The window's last load skipped lines that the save would not write
    // back: Yes or No.
    NotFullyRead,
    // The file chosen in the dialog is a vault of this master password with
    // entries that are not in the window: Merge, Yes (replace) or No.
    ReplaceVault,
    // The file chosen in the dialog is a vault that Keyloft saved with
    // another master password: Yes (replace) or No.
    ReplaceOtherKeyVault,
    // The file chosen in the dialog is one that this master password does
    // not open: Yes (replace) or No.
    ReplaceFile,
};

enum class SaveAnswer {
    No, // nothing is written
    Yes, // the file's contents are replaced
    Merge, // the file's entries are merged into the window's, which are then written
};

enum class SaveOutcome {
    Saved,
    Declined,
    OpenFailed,
    WriteFailed,
    Damaged,
    // The new bytes took the vault's place, but the system could not
    // confirm that they are on disk.
    Unconfirmed,
    // A merge was asked for, but the file is not a vault under this key, or
    // holds lines that are not entries; nothing was written.
    NotMergeable,
    // The master password typed to confirm it is not the one in use;
    // nothing was written.
    NotConfirmed,
};

// The file a save writes.
enum class SaveTarget {
    // The window has no file, or its last save failed: one is to be chosen.
    Unchosen,
    // The window's file: the one it last loaded or saved, or that same path
    // chosen again after a failed save.
    Own,
    // Another file, chosen in the save dialog: the window knows nothing of it.
    Chosen,
};

// What the last look found at the file, against what the save stands on:
// what the window last loaded or saved there, or what an answer of this save
// agreed to replace since (for a chosen file at first: nothing).
enum class FileState {
    NotLooked, // no file is chosen yet
    Missing, // no file at the name: the save creates it
    AsKnown, // the very bytes the save stands on
    // Anything else, by what it is:
    Vault, // a vault that this key opens whole, every entry of it in the window
    VaultWithOthers, // a vault that this key opens whole, with entries the window lacks
    OtherKeyVault, // a vault Keyloft saved with another master password, as it saved it
    Unopened, // a file this key does not open whole: no vault, or one of another key
    TooLarge, // too large to be a vault
    Unreadable, // it cannot be looked at or read
};

enum class Confirmation { NotAsked, Cancelled, Mismatched, Matched };

struct SaveSituation
{
    // What the window knows.
    SaveTarget target = SaveTarget::Unchosen;
    bool droppedLines = false; // its last load of its file skipped lines
    bool keyConfirmed = false; // the master password was confirmed for this file in this run
    bool keyRecorded = false; // this computer recorded a save of this file under the key

    // What the last look found.
    FileState file = FileState::NotLooked;

    // What this save was answered so far.
    std::optional<SaveAnswer> answer; // about what the file holds now, not yet acted on
    std::optional<FileState> takenOn; // what an answer agreed to replace, once acted on
    std::optional<SaveAnswer> linesAnswer; // to NotFullyRead
    Confirmation confirmation = Confirmation::NotAsked;
};

enum class SaveAction {
    ChooseFile, // ask for the file to save to; a cancel declines the save
    Ask, // ask `question`, then decide again with the answer
    TakeOn, // what the file holds is agreed to be replaced: look again
    Merge, // merge the file's entries into the window's, and take them on: look again
    ConfirmKey, // ask for the master password once more
    Write, // write the window's entries; where the file changed meanwhile, look again
    End, // the save ends with `outcome`
};

struct SaveStep
{
    SaveAction action = SaveAction::End;
    SaveQuestion question = SaveQuestion::VaultChanged; // what Ask asks
    SaveOutcome outcome = SaveOutcome::Declined; // how End ends

    static SaveStep to(SaveAction action) { return { action, {}, {} }; }
    static SaveStep ask(SaveQuestion question) { return { SaveAction::Ask, question, {} }; }
    static SaveStep end(SaveOutcome outcome) { return { SaveAction::End, {}, outcome }; }

    friend bool operator==(SaveStep a, SaveStep b)
    {
        return a.action == b.action && (a.action != SaveAction::Ask || a.question == b.question)
            && (a.action != SaveAction::End || a.outcome == b.outcome);
    }
};

// The next step of a save in `situation`.
SaveStep decideSave(const SaveSituation &situation);
