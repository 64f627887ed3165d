// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Starts libsodium, which guards the memory below and hashes and checks the
// master password: once, at the start of the program, before any other part
// of the vault is used. False where it cannot start.
bool startSecretMemory();

// Bytes that must not outlive their use: the master key, and every vault
// text deciphered with it. They live in memory of their own, from
// libsodium's guarded allocation where it can be had (kept out of swap and
// core dumps, with guard pages around it), are never shared with a copy,
// and are overwritten with zeros whenever they go: when the object is
// destroyed, and when another is moved into it.
class SecretBytes
{
public:
    SecretBytes() = default;
    explicit SecretBytes(QByteArrayView bytes);
    // The UTF-8 bytes of `text`, encoded straight into guarded memory.
    static SecretBytes fromText(QStringView text);
    // Room for `size` bytes, not yet written.
    static SecretBytes withSize(qsizetype size) { return SecretBytes(size); }
    ~SecretBytes();
    SecretBytes(SecretBytes &&other) noexcept;
    SecretBytes &operator=(SecretBytes &&other) noexcept;
    SecretBytes(const SecretBytes &) = delete;
    SecretBytes &operator=(const SecretBytes &) = delete;

    char *data() { return m_data; }
    const char *constData() const { return m_data; }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

    // The bytes as a QByteArray that reads this memory without copying it:
    // for reading at once, never to be kept beyond this object's life.
    QByteArray view() const { return QByteArray::fromRawData(m_data, m_size); }

    // Compares in a time that does not depend on where the bytes differ.
    friend bool operator==(const SecretBytes &a, const SecretBytes &b);

private:
    explicit SecretBytes(qsizetype size);
    void release();

    char *m_data = nullptr;
    qsizetype m_size = 0;
    bool m_guarded = false;
};

// Overwrites the characters of a secret typed into a dialog where they lie,
// unless another copy still shares them, and empties the string.
void forgetText(QString &text);
