// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// A private display for end-to-end tests, X11 or Wayland, and the input a
// person gives it. Windows are known by ids of the session's own; keys are
// named as xdotool names them ("Tab", "Return", "ctrl+a").
class DisplaySession
{
public:
    DisplaySession() = default;
    virtual ~DisplaySession() = default;
    DisplaySession(const DisplaySession &) = delete;
    DisplaySession &operator=(const DisplaySession &) = delete;

    // Waits up to `timeoutMs` for a mapped window titled `title` whose id is
    // not `previous`; returns its id, or an empty string.
    virtual QString waitForWindow(
        const QString &title, const QString &previous = QString(), int timeoutMs = 10000) const = 0;
    virtual bool waitUntilGone(const QString &windowId, int timeoutMs = 10000) const = 0;
    virtual void activate(const QString &windowId) const = 0;
    virtual void type(const QString &text) const = 0;
    virtual void key(const QString &keys) const = 0;
    // Closes the window as a person does: the window manager asks it to.
    virtual void close(const QString &windowId) const = 0;
    // What the clipboard, or the primary selection ("primary"), offers as
    // `target`.
    virtual QByteArray clipboard(
        const QString &target, const QString &selection = QStringLiteral("clipboard")) const = 0;
    // The environment for a program shown on this display.
    virtual QProcessEnvironment environment() const = 0;
    // Starts `program` on this display, as the user the display runs as.
    virtual void run(QProcess &process, const QString &program, const QStringList &arguments) const
    {
        process.start(program, arguments);
    }
};

// Helpers of the sessions' own processes.
namespace SessionProcess {
// The child gets SIGTERM when the test process dies, however it dies.
void dieWithParent(QProcess &process);
void stop(QProcess *process);
} // namespace SessionProcess
