// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLatin1String>
#include <QString>

class QMimeData;

// Every character a generated password is drawn from: letters, digits and
// symbols, with no blanks, quotes, backslashes, commas or full stops.
inline constexpr QLatin1String passwordAlphabet(
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!@#$%^&*()-_=+[]{}");

// The longest password the generator hands out.
inline constexpr int maxPasswordLength = 1024;

// A password of max(length, 0) characters, each drawn on its own and uniformly
// from passwordAlphabet by the operating system's secure random source.
QString generatePassword(int length);

// Clipboard content for a password: its plain text, marked as a secret so
// that clipboard managers keep it out of their histories.
QMimeData *secretMimeData(const QString &password);

// Whether `data` carries the marks secretMimeData() gives.
bool isSecretMimeData(const QMimeData *data);
