// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "displaysession.h"

#include <QTemporaryDir>

#include <memory>

// A private Wayland compositor for end-to-end tests: sway on its headless
// backend, keys through wtype, the clipboard and the primary selection through
// wl-paste, which also records every primary selection offered. Sway refuses
// to run as root: run as root, the session and every program it starts run
// as "nobody", from a folder and runtime folder of their own, a copy of each
// program included.
class WaylandSession : public DisplaySession
{
public:
    WaylandSession();
    ~WaylandSession() override;

    bool start();
    QString errorString() const { return m_error; }

    QString waitForWindow(const QString &title, const QString &previous = QString(),
        int timeoutMs = 10000) const override;
    bool waitUntilGone(const QString &windowId, int timeoutMs = 10000) const override;
    void activate(const QString &windowId) const override;
    void type(const QString &text) const override;
    void key(const QString &keys) const override;
    void close(const QString &windowId) const override;
    QByteArray clipboard(const QString &target,
        const QString &selection = QStringLiteral("clipboard")) const override;
    QProcessEnvironment environment() const override;
    void run(
        QProcess &process, const QString &program, const QStringList &arguments) const override;

    // How many primary selections were offered since the session started,
    // and what each of them gave as its KDE and CopyQ secret marks, read
    // from that very offer (one that has no such mark gives nothing).
    int primaryOffers() const;
    QByteArrayList primaryMarks(const QString &type) const;
    // Makes `folder` the session user's, for a program it starts to write in.
    bool hand(const QString &folder) const;

private:
    QByteArray tool(const QString &program, const QStringList &arguments) const;
    QStringList asUser(const QString &program, const QStringList &arguments) const;
    QByteArray tree() const;

    QTemporaryDir m_home; // the session's own folder, with its runtime folder in it
    std::unique_ptr<QProcess> m_compositor;
    // wl-paste watching the primary selection: each offer, then the value
    // of each mark type in the offers that have it, a line each.
    std::unique_ptr<QProcess> m_watchers[3];
    mutable QByteArray m_seen[3];
    QString m_display;
    QString m_ipc;
    QString m_error;
};
