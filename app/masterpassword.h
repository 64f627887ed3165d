// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// What an input method may learn of the master password, wherever it is
// typed: that it is hidden and sensitive, so that it neither predicts,
// learns, nor capitalises it.
inline constexpr Qt::InputMethodHints masterPasswordHints
    = Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase;

// Asks for the master password in a dialog of its own, before any window
// exists, with the typed characters masked. Returns the text exactly as typed;
// `confirmed` tells whether the user confirmed rather than cancelled.
QString askMasterPassword(bool *confirmed);
