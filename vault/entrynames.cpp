// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/entrynames.h"

#include <QStringView>

#include <cstring>

namespace {

// The full 128-bit product of two 64-bit words, its halves folded together
// (as wyhash does): every bit of either word reaches every bit of the result.
quint64 fold(quint64 x, quint64 y)
{
#if defined(__SIZEOF_INT128__)
    __extension__ using Product = unsigned __int128;
    const Product product = Product(x) * y;
    return quint64(product) ^ quint64(product >> 64);
#else
    const quint64 low = (x & 0xffffffffU) * (y & 0xffffffffU);
    const quint64 middle1 = (x >> 32) * (y & 0xffffffffU);
    const quint64 middle2 = (x & 0xffffffffU) * (y >> 32);
    const quint64 high = (x >> 32) * (y >> 32);
    const quint64 carry = ((low >> 32) + (middle1 & 0xffffffffU) + (middle2 & 0xffffffffU)) >> 32;
    return (low + (middle1 << 32) + (middle2 << 32))
        ^ (high + (middle1 >> 32) + (middle2 >> 32) + carry);
#endif
}

constexpr quint64 k1 = 0xa0761d6478bd642fU;
constexpr quint64 k2 = 0xe7037ed1a0b428dbU;
constexpr quint64 k3 = 0x8ebc6af09c88c6e3U;

// Calls `add` with the text's bytes sixteen at a time; the last ones (the
// final sixteen, overlapping the ones before, or fewer, padded) carry its
// length, so that no text runs into the next.
template<typename Add> void forWords(QStringView text, Add add)
{
    const auto *bytes = reinterpret_cast<const char *>(text.data());
    const size_t size = size_t(text.size()) * sizeof(QChar);
    quint64 words[2] = {};
    if (size > 16) {
        for (size_t at = 0; at + 16 < size; at += 16) {
            std::memcpy(words, bytes + at, 16);
            add(words[0], words[1]);
        }
        std::memcpy(words, bytes + size - 16, 16);
    } else if (size > 8) {
        std::memcpy(&words[0], bytes, 8);
        std::memcpy(&words[1], bytes + size - 8, 8);
    } else if (size >= 4) {
        quint32 first = 0;
        quint32 last = 0;
        std::memcpy(&first, bytes, 4);
        std::memcpy(&last, bytes + size - 4, 4);
        words[0] = (quint64(first) << 32) | last;
    } else if (size > 0) {
        words[0] = text.at(0).unicode();
    }
    add(words[0], words[1] ^ (quint64(size) << 40));
}

} // namespace

quint64 hashOfName(const Entry &entry)
{
    quint64 hash = k3;
    const auto add = [&hash](quint64 x, quint64 y) {
        hash = fold(x ^ hash ^ k1, y ^ k2);
    };
    forWords(entry.service, add);
    forWords(entry.username, add);
    return hash;
}

namespace {

// Whether two texts are alike, code unit for code unit: what QString's own
// comparison tells, without its ordering work.
bool equal(QStringView a, QStringView b)
{
    return a.size() == b.size()
        && std::memcmp(a.data(), b.data(), size_t(a.size()) * sizeof(QChar)) == 0;
}

} // namespace

bool sameName(const Entry &a, const Entry &b)
{
    return equal(a.service, b.service) && equal(a.username, b.username);
}
