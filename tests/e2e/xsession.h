// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "displaysession.h"

#include <QByteArray>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

// A private X server (Xvfb) with a window manager (openbox) for end-to-end
// tests, and the input a person gives it: keys, typing and mouse clicks
// through xdotool, the clipboard through xclip. The server is stopped when
// the session is destroyed, and dies with the test process if that crashes.
class XSession : public DisplaySession
{
public:
    XSession();
    ~XSession() override;

    // Starts the server on a free display and the window manager on it; false
    // (with errorString()) when either could not be started.
    bool start();
    QString errorString() const { return m_error; }
    QString display() const { return m_display; }

    // Window ids of the mapped windows whose title is exactly `title`.
    QStringList visibleWindows(const QString &title) const;
    // Waits up to `timeoutMs` for a mapped window titled `title` whose id is
    // not `previous`; returns its id, or an empty string.
    QString waitForWindow(const QString &title, const QString &previous = QString(),
        int timeoutMs = 10000) const override;
    bool waitUntilGone(const QString &windowId, int timeoutMs = 10000) const override;
    QSize windowSize(const QString &windowId) const;
    // The window's WM_CLASS property as xprop prints it.
    QString windowClass(const QString &windowId) const;

    // The id of the window that has the focus.
    QString activeWindow() const;
    void activate(const QString &windowId) const override;
    void type(const QString &text) const override;
    void key(const QString &keys) const override;
    // Alt+F4, as a person closes a window under openbox.
    void close(const QString &windowId) const override;
    // Clicks at (x, y) inside the window's own area.
    void click(const QString &windowId, int x, int y) const;
    // Drags with the left button held from (x1, y1) to (x2, y2) there.
    void drag(const QString &windowId, int x1, int y1, int x2, int y2) const;

    // What the clipboard, or another selection ("primary"), offers as `target`.
    QByteArray clipboard(const QString &target = QStringLiteral("UTF8_STRING"),
        const QString &selection = QStringLiteral("clipboard")) const override;
    // Saves a PNG of the window.
    bool screenshot(const QString &windowId, const QString &path) const;

    // The environment for a program shown on this server.
    QProcessEnvironment environment() const override;

private:
    QByteArray tool(const QString &program, const QStringList &arguments) const;

    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
    QString m_display;
    QString m_error;
    // Characters outside ASCII that type() has given keys of their own.
    mutable QString m_bound;
};
