// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QAccessible>

// Keeps what is typed into a password field off the accessibility bus while
// it lives. Qt's line edit reports every insertion and removal to assistive
// technology with the characters themselves, whatever its echo mode, so a
// screen reader would speak the master password and any program on the bus
// could read it. Meanwhile those reports carry the field's masking
// characters instead, or no text when it echoes nothing.
class PasswordTypingHidden
{
public:
    PasswordTypingHidden();
    ~PasswordTypingHidden();
    PasswordTypingHidden(const PasswordTypingHidden &) = delete;
    PasswordTypingHidden &operator=(const PasswordTypingHidden &) = delete;

private:
    QAccessible::UpdateHandler m_previous;
};
