// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/secretmemory.h"

#include <QByteArray>
#include <QString>

#include <cstring>

namespace {

void zero(const void *start, size_t length)
{
    if (length == 0)
        return;
    // Written through a volatile pointer so the compiler cannot drop the
    // stores as dead just before the memory is freed.
    auto *bytes = static_cast<volatile unsigned char *>(const_cast<void *>(start));
    for (size_t i = 0; i < length; ++i)
        bytes[i] = 0;
}

} // namespace

// Text that the array does not own (a literal, raw data) has no capacity: it
// may lie in read-only memory, and is no secret typed or read at run time.
// Text shared with another copy is still that copy's: wiping it would
// silently empty the other.
void wipe(QByteArray &secret)
{
    if (secret.capacity() > 0 && secret.isDetached())
        zero(secret.constData(), size_t(secret.size()));
}

void wipe(QString &secret)
{
    if (secret.capacity() > 0 && secret.isDetached())
        zero(secret.constData(), size_t(secret.size()) * sizeof(QChar));
}
