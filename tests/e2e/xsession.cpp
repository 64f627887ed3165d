// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "xsession.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QThread>

using namespace SessionProcess;

namespace {

constexpr int pollMs = 50;

} // namespace

XSession::XSession() = default;

XSession::~XSession()
{
    stop(m_windowManager.get());
    stop(m_server.get());
}

bool XSession::start()
{
    // Xvfb takes a free display itself and writes its number to standard
    // output once it accepts connections.
    m_server = std::make_unique<QProcess>();
    dieWithParent(*m_server);
    m_server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server->start(QStringLiteral("Xvfb"),
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
            QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
            QStringLiteral("tcp") });
    if (!m_server->waitForStarted(5000)) {
        m_error = QStringLiteral("Xvfb did not start: ") + m_server->errorString();
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!m_server->canReadLine()) {
        if (!m_server->waitForReadyRead(int(deadline.remainingTime()))) {
            m_error = QStringLiteral("Xvfb reported no display");
            return false;
        }
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(m_server->readLine().trimmed());

    m_windowManager = std::make_unique<QProcess>();
    dieWithParent(*m_windowManager);
    m_windowManager->setProcessEnvironment(environment());
    m_windowManager->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_windowManager->start(QStringLiteral("openbox"), { QStringLiteral("--sm-disable") });
    if (!m_windowManager->waitForStarted(5000)) {
        m_error = QStringLiteral("openbox did not start: ") + m_windowManager->errorString();
        return false;
    }
    // openbox names its check window on the root window once it manages the
    // screen; windows mapped from then on are placed by it.
    const auto managed = [this] {
        return tool(QStringLiteral("xprop"),
            { QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK") })
            .contains("window id");
    };
    deadline.setRemainingTime(10000);
    while (!managed()) {
        if (m_windowManager->state() != QProcess::Running || deadline.hasExpired()) {
            m_error = QStringLiteral("openbox did not take the screen");
            return false;
        }
        QThread::msleep(pollMs);
    }
    return true;
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

QByteArray XSession::tool(const QString &program, const QStringList &arguments) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return process.readAllStandardOutput();
}

QStringList XSession::visibleWindows(const QString &title) const
{
    const QString pattern = title.isEmpty()
        ? QStringLiteral(".")
        : QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$');
    const QByteArray ids = tool(QStringLiteral("xdotool"),
        { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
            pattern });
    return QString::fromLatin1(ids).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString XSession::waitForWindow(const QString &title, const QString &previous, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        const QStringList ids = visibleWindows(title);
        for (const QString &id : ids) {
            if (id != previous)
                return id;
        }
        QThread::msleep(pollMs);
    } while (!deadline.hasExpired());
    return {};
}

bool XSession::waitUntilGone(const QString &windowId, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QByteArray state = tool(QStringLiteral("xdotool"),
            { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                QStringLiteral(".") });
        if (!QString::fromLatin1(state).split(QLatin1Char('\n')).contains(windowId))
            return true;
        QThread::msleep(pollMs);
    }
    return false;
}

QSize XSession::windowSize(const QString &windowId) const
{
    const QString geometry = QString::fromLatin1(
        tool(QStringLiteral("xdotool"), { QStringLiteral("getwindowgeometry"), windowId }));
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(geometry);
    return match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
}

QString XSession::windowClass(const QString &windowId) const
{
    return QString::fromUtf8(tool(
        QStringLiteral("xprop"), { QStringLiteral("-id"), windowId, QStringLiteral("WM_CLASS") }));
}

QString XSession::activeWindow() const
{
    return QString::fromLatin1(
        tool(QStringLiteral("xdotool"), { QStringLiteral("getactivewindow") }))
        .trimmed();
}

void XSession::activate(const QString &windowId) const
{
    tool(QStringLiteral("xdotool"),
        { QStringLiteral("windowactivate"), QStringLiteral("--sync"), windowId });
}

void XSession::type(const QString &text) const
{
    // xdotool types a character that no key gives by binding it to a spare
    // key just for the press: a program that reads the press only after the
    // binding is undone (a busy machine) gets another character. Such
    // characters get keys of their own first, the keys the keymap leaves
    // empty.
    for (const QChar c : text) {
        if (c.unicode() < 0x80 || m_bound.contains(c))
            continue;
        static const QRegularExpression emptyKey(
            QStringLiteral("^keycode +(\\d+) =\\s*$"), QRegularExpression::MultilineOption);
        const QRegularExpressionMatch key = emptyKey.match(
            QString::fromLatin1(tool(QStringLiteral("xmodmap"), { QStringLiteral("-pke") })));
        if (!key.hasMatch())
            break;
        tool(QStringLiteral("xmodmap"),
            { QStringLiteral("-e"),
                QStringLiteral("keycode %1 = U%2")
                    .arg(key.captured(1))
                    .arg(c.unicode(), 4, 16, QLatin1Char('0')) });
        m_bound += c;
    }
    tool(QStringLiteral("xdotool"),
        { QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
            QStringLiteral("--"), text });
}

void XSession::key(const QString &keys) const
{
    tool(QStringLiteral("xdotool"),
        { QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"), keys });
}

void XSession::close(const QString &windowId) const
{
    activate(windowId);
    key(QStringLiteral("alt+F4"));
}

void XSession::click(const QString &windowId, int x, int y) const
{
    tool(QStringLiteral("xdotool"),
        { QStringLiteral("mousemove"), QStringLiteral("--window"), windowId, QString::number(x),
            QString::number(y), QStringLiteral("click"), QStringLiteral("1") });
}

void XSession::drag(const QString &windowId, int x1, int y1, int x2, int y2) const
{
    tool(QStringLiteral("xdotool"),
        { QStringLiteral("mousemove"), QStringLiteral("--window"), windowId, QString::number(x1),
            QString::number(y1), QStringLiteral("mousedown"), QStringLiteral("1"),
            QStringLiteral("mousemove"), QStringLiteral("--window"), windowId, QString::number(x2),
            QString::number(y2), QStringLiteral("mouseup"), QStringLiteral("1") });
}

QByteArray XSession::clipboard(const QString &target, const QString &selection) const
{
    return tool(QStringLiteral("xclip"),
        { QStringLiteral("-selection"), selection, QStringLiteral("-t"), target,
            QStringLiteral("-o") });
}

bool XSession::screenshot(const QString &windowId, const QString &path) const
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(windowId.toULongLong()).save(path);
}
