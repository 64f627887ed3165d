// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QAccessible>
#include <QApplication>

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

// The application object. Qt's AT-SPI bridge hands every key press and
// release that comes from the window system, character and all, to any
// program listening for keystrokes on the accessibility bus, before the
// focused field sees it. So the keys of a password field (the master
// password, and its confirmation) reach the field as the application's own
// events instead, which the bridge leaves alone; keys typed anywhere else
// go their usual way.
class Application : public QApplication
{
    Q_OBJECT

public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override;
};
