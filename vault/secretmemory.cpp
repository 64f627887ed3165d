// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/secretmemory.h"

#include <QStringEncoder>

#include <cstdlib>
#include <cstring>
#include <sodium.h>
#include <utility>

bool startSecretMemory()
{
    return sodium_init() >= 0;
}

SecretBytes::SecretBytes(qsizetype size)
    : m_size(size)
{
    if (size <= 0) {
        m_size = 0;
        return;
    }
    // Where libsodium finds no memory to guard, plain memory serves: it is
    // still the object's own and still wiped.
    m_data = static_cast<char *>(sodium_malloc(size_t(size)));
    m_guarded = m_data != nullptr;
    if (!m_guarded)
        m_data = static_cast<char *>(std::malloc(size_t(size)));
    if (!m_data)
        qFatal("Keyloft is out of memory");
}

SecretBytes::SecretBytes(QByteArrayView bytes)
    : SecretBytes(bytes.size())
{
    if (m_size > 0)
        std::memcpy(m_data, bytes.data(), size_t(m_size));
}

SecretBytes SecretBytes::fromText(QStringView text)
{
    QStringEncoder toUtf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    SecretBytes room = withSize(toUtf8.requiredSpace(text.size()));
    if (room.isEmpty())
        return room;
    // The room is cut to the bytes written; the rest was never written to.
    room.m_size = toUtf8.appendToBuffer(room.data(), text) - room.constData();
    return room;
}

SecretBytes::~SecretBytes()
{
    release();
}

SecretBytes::SecretBytes(SecretBytes &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_guarded(std::exchange(other.m_guarded, false))
{ }

SecretBytes &SecretBytes::operator=(SecretBytes &&other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_guarded = std::exchange(other.m_guarded, false);
    }
    return *this;
}

void SecretBytes::release()
{
    if (!m_data)
        return;
    sodium_memzero(m_data, size_t(m_size));
    if (m_guarded)
        sodium_free(m_data);
    else
        std::free(m_data);
    m_data = nullptr;
    m_size = 0;
}

bool operator==(const SecretBytes &a, const SecretBytes &b)
{
    return a.m_size == b.m_size
        && (a.m_size == 0 || sodium_memcmp(a.m_data, b.m_data, size_t(a.m_size)) == 0);
}

// Text that the string does not own (a literal, raw data) has no capacity:
// it may lie in read-only memory, and is no secret typed at run time.
void forgetText(QString &text)
{
    if (text.capacity() > 0 && text.isDetached())
        sodium_memzero(text.data(), size_t(text.size()) * sizeof(QChar));
    text.clear();
}
