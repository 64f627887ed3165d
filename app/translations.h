// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QCoreApplication;

// Puts the user's language into effect: Keyloft's own translation (built
// into the program) and Qt's (its standard buttons and file dialogs), each
// for the first of the user's languages (QLocale().uiLanguages()) that it
// has. Where none is found, the English texts stay.
void installTranslations(QCoreApplication &application);
