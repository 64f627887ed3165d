// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QByteArray;
class QString;

// Overwrite the bytes of a secret with zeros where they lie, so they do not
// linger in freed memory. Every implicitly shared copy of the same data is
// wiped with it: these are for the key and texts derived from it only.
void wipe(QByteArray &secret);
void wipe(QString &secret);
