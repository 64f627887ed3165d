// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/savedecision.h"

namespace {

// What is asked before a file holding `state` is replaced: about the
// window's own file, any change since the window saw it; about a file chosen
// in the dialog, whatever replacing it would lose. Nothing where nothing is
// lost (a vault whose entries the window holds, an empty file) or where the
// dialog's own question about replacing a file said enough (a file too large
// to be a vault).
std::optional<SaveQuestion> questionBeforeReplacing(SaveTarget target, FileState state)
{
    if (target == SaveTarget::Own)
        return SaveQuestion::VaultChanged;
    switch (state) {
    case FileState::VaultWithOthers:
        return SaveQuestion::ReplaceVault;
    case FileState::OtherKeyVault:
        return SaveQuestion::ReplaceOtherKeyVault;
    case FileState::Unopened:
        return SaveQuestion::ReplaceFile;
    default:
        return std::nullopt;
    }
}

bool opensWhole(FileState state)
{
    return state == FileState::Vault || state == FileState::VaultWithOthers;
}

// A master password locks a vault for good, so one mistyped at start-up would
// lock it under the typo: the first time in a run that it would lock a file
// this computer has not seen written with it, it is typed once more. That is
// a new file, a file it does not open, or one without a record of it.
bool mustConfirmKey(const SaveSituation &situation)
{
    if (situation.keyConfirmed)
        return false;
    const bool replacesUnopened = situation.takenOn && !opensWhole(*situation.takenOn);
    return situation.file == FileState::Missing || replacesUnopened || !situation.keyRecorded;
}

} // namespace

SaveStep decideSave(const SaveSituation &situation)
{
    if (situation.target == SaveTarget::Unchosen)
        return SaveStep::to(SaveAction::ChooseFile);
    const FileState file = situation.file;
    if (file == FileState::Unreadable || file == FileState::NotLooked)
        return SaveStep::end(SaveOutcome::OpenFailed);

    // Whatever the file holds that this save has not agreed to replace.
    if (file != FileState::Missing && file != FileState::AsKnown) {
        const std::optional<SaveQuestion> question
            = questionBeforeReplacing(situation.target, file);
        if (!question)
            return SaveStep::to(SaveAction::TakeOn);
        if (!situation.answer)
            return SaveStep::ask(*question);
        switch (*situation.answer) {
        case SaveAnswer::No:
            return SaveStep::end(SaveOutcome::Declined);
        case SaveAnswer::Yes:
            return SaveStep::to(SaveAction::TakeOn);
        case SaveAnswer::Merge:
            return opensWhole(file) ? SaveStep::to(SaveAction::Merge)
                                    : SaveStep::end(SaveOutcome::NotMergeable);
        }
    }

    // Lines a load skipped are in the window's file only while it holds
    // what the window loaded; a mistyped master password that happened to
    // give readable text is the likeliest cause.
    if (situation.target == SaveTarget::Own && situation.droppedLines && !situation.takenOn) {
        if (!situation.linesAnswer)
            return SaveStep::ask(SaveQuestion::NotFullyRead);
        if (*situation.linesAnswer == SaveAnswer::No)
            return SaveStep::end(SaveOutcome::Declined);
    }

    switch (situation.confirmation) {
    case Confirmation::Cancelled:
        return SaveStep::end(SaveOutcome::Declined);
    case Confirmation::Mismatched:
        return SaveStep::end(SaveOutcome::NotConfirmed);
    case Confirmation::Matched:
        break;
    case Confirmation::NotAsked:
        if (mustConfirmKey(situation))
            return SaveStep::to(SaveAction::ConfirmKey);
        break;
    }
    return SaveStep::to(SaveAction::Write);
}
