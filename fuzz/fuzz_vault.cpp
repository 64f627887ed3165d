// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

// libFuzzer target for reading a vault: deciphering the file content and
// decoding the text into entries. An input is one key-length byte k, then k
// key bytes (fewer when the input ends sooner), then the file content.
//
// Beyond running clean under the sanitizers, every input must keep these:
// - deciphering matches byte i XOR key byte (i mod k), keeps the length, and
//   enciphering the result gives back the file content;
// - decoding the same text twice gives the same refusal or the same rows;
// - rows that decoding accepts encode to a text that decodes to the same rows,
//   less those whose three fields are all whitespace: such a row encodes to a
//   blank line, which the reader skips;
// - decoding calls the text lossless exactly when encoding its rows gives the
//   text back, or the text and the final line feed it lacked.
//
// None of this needs a QCoreApplication.

#include "vault/secretmemory.h"
#include "vault/vaultcipher.h"
#include "vault/vaultformat.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool holds, const char *property)
{
    if (holds)
        return;
    std::fprintf(stderr, "fuzz_vault: property broken: %s\n", property);
    std::abort();
}

bool isWhitespace(QChar c)
{
    return (c.unicode() >= 0x09 && c.unicode() <= 0x0D) || c.unicode() == 0x20;
}

bool isBlank(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), isWhitespace);
}

bool encodesToBlankLine(const Entry &entry)
{
    return isBlank(entry.service) && isBlank(entry.username) && isBlank(entry.password);
}

void checkCipher(const QByteArray &content, const QByteArray &key, const QByteArray &text)
{
    require(text.size() == content.size(), "deciphering keeps the length");
    for (qsizetype i = 0; i < content.size(); ++i) {
        const char expected = key.isEmpty() ? content[i] : char(content[i] ^ key[i % key.size()]);
        require(text[i] == expected, "deciphered byte i is content byte i XOR key byte i mod k");
    }
    require(xorCipher(text, key) == content, "enciphering the deciphered text gives the content");
}

void checkDecoding(const QByteArray &text)
{
    bool lossless = false;
    const std::optional<QList<Entry>> first = decodeVault(text, &lossless);
    const std::optional<QList<Entry>> second = decodeVault(text);
    require(first.has_value() == second.has_value(), "decoding refuses or accepts every time");
    if (!first)
        return;
    require(*first == *second, "decoding gives the same rows every time");

    const QByteArray encoded = encodeVault(*first);
    require(lossless == (encoded == text || encoded == text + '\n'),
        "lossless means the rows encode back to the text");
    const std::optional<QList<Entry>> again = decodeVault(encoded);
    require(again.has_value(), "decoding accepts what the encoder writes");
    QList<Entry> kept = *first;
    kept.removeIf(encodesToBlankLine);
    require(*again == kept, "accepted rows survive encoding and decoding");
}

} // namespace

// Deciphered texts live in libsodium's guarded memory, as in the program.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    require(startSecretMemory(), "libsodium starts");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto *bytes = reinterpret_cast<const char *>(data);
    const std::size_t keyLength = std::min<std::size_t>(data[0], size - 1);
    const QByteArray key(bytes + 1, qsizetype(keyLength));
    const QByteArray content(bytes + 1 + keyLength, qsizetype(size - 1 - keyLength));

    const QByteArray text = xorCipher(content, key);
    checkCipher(content, key, text);
    checkDecoding(text);
    return 0;
}
