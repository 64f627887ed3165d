// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QByteArray;
class QString;

// Overwrite the bytes of a secret with zeros where they lie, so they do not
// linger in freed memory. Bytes that another copy still shares are left to
// that copy: they are not this one's to wipe.
void wipe(QByteArray &secret);
void wipe(QString &secret);
