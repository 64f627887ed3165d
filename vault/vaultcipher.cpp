// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultcipher.h"
#include "vault/secretmemory.h"

#include <algorithm>
#include <cstring>

namespace {

// Long enough for the XOR loop below to run at memory speed.
constexpr qsizetype blockTarget = 4096;

// out[i] = in[i] ^ key[i mod key length]; `out` may be `in`.
void xorBytes(const unsigned char *in, unsigned char *out, qsizetype length, const QByteArray &key)
{
    const qsizetype keyLength = key.size();
    if (keyLength == 0 || length == 0) {
        if (out != in)
            std::memcpy(out, in, size_t(length));
        return;
    }

    // The key is laid out repeatedly in a block whose length is a multiple of
    // the key's, so every block-sized chunk of the data starts at key position
    // 0 and the inner loop is a plain element-wise XOR the compiler vectorises.
    const qsizetype repeats = std::max<qsizetype>(1, (blockTarget + keyLength - 1) / keyLength);
    const qsizetype blockLength = std::min(repeats * keyLength, length);
    SecretBytes block = SecretBytes::withSize(blockLength);
    for (qsizetype at = 0; at < blockLength; at += keyLength)
        std::memcpy(
            block.data() + at, key.constData(), size_t(std::min(keyLength, blockLength - at)));

    const auto *pad = reinterpret_cast<const unsigned char *>(block.constData());
    for (qsizetype start = 0; start < length; start += blockLength) {
        const qsizetype count = std::min(blockLength, length - start);
        for (qsizetype i = 0; i < count; ++i)
            out[start + i] = in[start + i] ^ pad[i];
    }
}

} // namespace

QByteArray xorCipher(const QByteArray &data, const QByteArray &key)
{
    // Always a buffer of its own, even for an empty key, so that changing
    // the result in place never changes the data with it.
    QByteArray result(data.size(), Qt::Uninitialized);
    xorBytes(reinterpret_cast<const unsigned char *>(data.constData()),
        reinterpret_cast<unsigned char *>(result.data()), data.size(), key);
    return result;
}

void xorCipherInPlace(QByteArray &data, const QByteArray &key)
{
    auto *bytes = reinterpret_cast<unsigned char *>(data.data());
    xorBytes(bytes, bytes, data.size(), key);
}

SecretBytes xorDeciphered(const QByteArray &data, const QByteArray &key)
{
    // Deciphered straight into the guarded memory, in one pass.
    SecretBytes plain = SecretBytes::withSize(data.size());
    if (!plain.isEmpty())
        xorBytes(reinterpret_cast<const unsigned char *>(data.constData()),
            reinterpret_cast<unsigned char *>(plain.data()), plain.size(), key);
    return plain;
}
