// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Asks for the master password in a dialog of its own, before any window
// exists, with the typed characters masked. Returns the text exactly as typed;
// `confirmed` tells whether the user confirmed rather than cancelled.
QString askMasterPassword(bool *confirmed);
