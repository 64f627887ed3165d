#include "vault/vaultcipher.h"
#include "vault/secretmemory.h"

#include <algorithm>
#include <cstring>

namespace {

// Long enough for the XOR loop below to run at memory speed.
constexpr qsizetype blockTarget = 4096;

} // namespace

QByteArray xorCipher(const QByteArray &data, const QByteArray &key)
{
    const qsizetype keyLength = key.size();
    // A copy of its own even then: callers wipe their plain text after
    // enciphering, which must not wipe the result with it.
    if (keyLength == 0)
        return QByteArray(data.constData(), data.size());

    // The key is laid out repeatedly in a block whose length is a multiple of
    // the key's, so every block-sized chunk of the data starts at key position
    // 0 and the inner loop is a plain element-wise XOR the compiler vectorises.
    const qsizetype repeats = std::max<qsizetype>(1, (blockTarget + keyLength - 1) / keyLength);
    const qsizetype blockLength
        = std::min(repeats * keyLength, std::max<qsizetype>(data.size(), 1));
    QByteArray block(blockLength, Qt::Uninitialized);
    for (qsizetype at = 0; at < blockLength; at += keyLength)
        std::memcpy(
            block.data() + at, key.constData(), size_t(std::min(keyLength, blockLength - at)));

    const qsizetype length = data.size();
    QByteArray result(length, Qt::Uninitialized);
    const auto *in = reinterpret_cast<const unsigned char *>(data.constData());
    const auto *pad = reinterpret_cast<const unsigned char *>(block.constData());
    auto *out = reinterpret_cast<unsigned char *>(result.data());
    for (qsizetype start = 0; start < length; start += blockLength) {
        const qsizetype count = std::min(blockLength, length - start);
        for (qsizetype i = 0; i < count; ++i)
            out[start + i] = in[start + i] ^ pad[i];
    }
    wipe(block);
    return result;
}
