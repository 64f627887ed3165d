// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "xsession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int pollMs = 50;

// Children get SIGTERM when the test process dies, however it dies.
void dieWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void stop(QProcess *process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
    }
}

} // namespace

XSession::XSession() = default;

XSession::~XSession()
{
    stop(m_windowManager.get());
    stop(m_server.get());
}

bool XSession::start()
{
    for (int number = 90; number < 190 && !m_server; ++number) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))
            || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
            continue;
        const QString display = QStringLiteral(":%1").arg(number);
        auto server = std::make_unique<QProcess>();
        dieWithParent(*server);
        server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server->start(QStringLiteral("Xvfb"),
            { display, QStringLiteral("-screen"), QStringLiteral("0"),
                QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp") });
        if (!server->waitForStarted(5000)) {
            m_error = QStringLiteral("Xvfb did not start: ") + server->errorString();
            return false;
        }
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
        QDeadlineTimer deadline(10000);
        while (!QFile::exists(socket) && server->state() == QProcess::Running
            && !deadline.hasExpired())
            QThread::msleep(pollMs);
        if (QFile::exists(socket) && server->state() == QProcess::Running) {
            m_server = std::move(server);
            m_display = display;
        } else {
            stop(server.get());
        }
    }
    if (!m_server) {
        m_error = QStringLiteral("no free display for Xvfb");
        return false;
    }

    m_windowManager = std::make_unique<QProcess>();
    dieWithParent(*m_windowManager);
    m_windowManager->setProcessEnvironment(environment());
    m_windowManager->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_windowManager->start(QStringLiteral("openbox"), { QStringLiteral("--sm-disable") });
    if (!m_windowManager->waitForStarted(5000)) {
        m_error = QStringLiteral("openbox did not start: ") + m_windowManager->errorString();
        return false;
    }
    // openbox offers no signal of readiness; it has claimed the screen well
    // within this, and a window mapped earlier would only be placed differently.
    QThread::msleep(1000);
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

void XSession::activate(const QString &windowId) const
{
    tool(QStringLiteral("xdotool"),
        { QStringLiteral("windowactivate"), QStringLiteral("--sync"), windowId });
}

void XSession::type(const QString &text) const
{
    tool(QStringLiteral("xdotool"),
        { QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
            QStringLiteral("--"), text });
}

void XSession::key(const QString &keys) const
{
    tool(QStringLiteral("xdotool"),
        { QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"), keys });
}

void XSession::click(const QString &windowId, int x, int y) const
{
    tool(QStringLiteral("xdotool"),
        { QStringLiteral("mousemove"), QStringLiteral("--window"), windowId, QString::number(x),
            QString::number(y), QStringLiteral("click"), QStringLiteral("1") });
}

QByteArray XSession::clipboard(const QString &target) const
{
    return tool(QStringLiteral("xclip"),
        { QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), target,
            QStringLiteral("-o") });
}

bool XSession::screenshot(const QString &windowId, const QString &path) const
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(windowId.toULongLong()).save(path);
}
