// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/secretmemory.h"

#include <QByteArray>

// The vault cipher: byte i of the result is data byte i XOR key byte
// (i mod key length), counted from the start of `data`. The same call
// enciphers and deciphers. An empty key leaves the data unchanged. The result
// always has the length of `data` and may hold any byte value.
QByteArray xorCipher(const QByteArray &data, const QByteArray &key);

// The same cipher applied to `data` where it lies, so that no second copy of
// the plain text is made.
void xorCipherInPlace(QByteArray &data, const QByteArray &key);

// The same cipher deciphering `data` into memory for secrets.
SecretBytes xorDeciphered(const QByteArray &data, const QByteArray &key);
