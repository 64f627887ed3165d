// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QCoreApplication;

// Puts the user's language into effect: the first of the user's languages
// (QLocale().uiLanguages(), LANGUAGE's list first) that Keyloft has a
// translation for, built into the program, decides for Keyloft's texts and
// for Qt's (its standard buttons and file dialogs) alike, so that no dialog
// mixes two languages. Where English comes first, or none is found, every
// text stays English.
void installTranslations(QCoreApplication &application);
