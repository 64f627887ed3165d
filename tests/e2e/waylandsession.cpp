// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "waylandsession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <unistd.h>

namespace {

constexpr int pollMs = 50;
constexpr uid_t nobody = 65534;
const char *const markTypes[] = { "x-kde-passwordManagerHint", "application/x-copyq-hidden" };

// The id of the first window titled `title` in sway's tree, other than
// `previous`.
QString findWindow(const QJsonObject &node, const QString &title, const QString &previous)
{
    const QString id = QString::number(node.value(QStringLiteral("id")).toInteger());
    if (node.value(QStringLiteral("name")).toString() == title
        && node.value(QStringLiteral("type")).toString().endsWith(QLatin1String("con"))
        && id != previous)
        return id;
    for (const char *children : { "nodes", "floating_nodes" }) {
        const QJsonArray nodes = node.value(QLatin1String(children)).toArray();
        for (const QJsonValue &child : nodes) {
            const QString found = findWindow(child.toObject(), title, previous);
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

} // namespace

WaylandSession::WaylandSession() = default;

WaylandSession::~WaylandSession()
{
    for (auto &watcher : m_watchers)
        SessionProcess::stop(watcher.get());
    SessionProcess::stop(m_compositor.get());
}

bool WaylandSession::start()
{
    const QString runtime = m_home.filePath(QStringLiteral("runtime"));
    const QString config = m_home.filePath(QStringLiteral("sway.conf"));
    QFile file(config);
    if (!m_home.isValid() || !QDir().mkdir(runtime) || !file.open(QIODevice::WriteOnly)
        || file.write("output HEADLESS-1 resolution 1280x800\n") < 0) {
        m_error = QStringLiteral("cannot make the session's folders");
        return false;
    }
    file.close();
    // The user's runtime folder is its own, and nobody else's.
    QFile::setPermissions(m_home.path(), QFileDevice::Permissions(0x7755));
    QFile::setPermissions(config, QFileDevice::Permissions(0x6444));
    QFile::setPermissions(runtime, QFileDevice::Permissions(0x7000));
    if (!hand(runtime)) {
        m_error = QStringLiteral("cannot give the runtime folder to the session's user");
        return false;
    }

    m_compositor = std::make_unique<QProcess>();
    SessionProcess::dieWithParent(*m_compositor);
    QProcessEnvironment environment = this->environment();
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_compositor->setProcessEnvironment(environment);
    m_compositor->setStandardOutputFile(QProcess::nullDevice());
    m_compositor->setStandardErrorFile(QProcess::nullDevice());
    run(*m_compositor, QStringLiteral("sway"), { QStringLiteral("-c"), config });
    if (!m_compositor->waitForStarted(5000)) {
        m_error = QStringLiteral("sway did not start: ") + m_compositor->errorString();
        return false;
    }
    // Sway makes its display's socket, then its IPC socket, once it runs.
    QDeadlineTimer deadline(10000);
    while (m_ipc.isEmpty()) {
        const QStringList ipc
            = QDir(runtime).entryList({ QStringLiteral("sway-ipc.*") }, QDir::System | QDir::Files);
        const QStringList displays
            = QDir(runtime).entryList({ QStringLiteral("wayland-?") }, QDir::System);
        if (!ipc.isEmpty() && !displays.isEmpty()) {
            m_display = displays.constFirst();
            m_ipc = QDir(runtime).filePath(ipc.constFirst());
        } else if (m_compositor->state() != QProcess::Running || deadline.hasExpired()) {
            m_error = QStringLiteral("sway made no display");
            return false;
        } else {
            QThread::msleep(pollMs);
        }
    }

    const QString watch = QStringLiteral("wl-paste");
    for (int i = 0; i < 3; ++i) {
        QStringList arguments { QStringLiteral("--primary") };
        if (i > 0)
            arguments << QStringLiteral("--type") << QLatin1String(markTypes[i - 1]);
        // Newer wl-paste runs the command for an empty selection too (none
        // yet, or cleared): only offers of something count.
        arguments << QStringLiteral("--watch") << QStringLiteral("sh") << QStringLiteral("-c")
                  << (i == 0 ? QStringLiteral("[ -n \"$(cat)\" ] && echo offer")
                             : QStringLiteral("v=$(cat); [ -n \"$v\" ] && echo \"$v\""));
        m_watchers[i] = std::make_unique<QProcess>();
        SessionProcess::dieWithParent(*m_watchers[i]);
        m_watchers[i]->setProcessEnvironment(this->environment());
        run(*m_watchers[i], watch, arguments);
        if (!m_watchers[i]->waitForStarted(5000)) {
            m_error = QStringLiteral("wl-paste did not start");
            return false;
        }
    }
    return true;
}

QProcessEnvironment WaylandSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(
        QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    if (!m_display.isEmpty())
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), m_display);
    if (!m_ipc.isEmpty())
        environment.insert(QStringLiteral("SWAYSOCK"), m_ipc);
    // The session's user keeps its data under the home it is given.
    for (const char *folder : { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME" })
        environment.remove(QLatin1String(folder));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    return environment;
}

bool WaylandSession::hand(const QString &folder) const
{
    return ::geteuid() != 0 || ::chown(QFile::encodeName(folder).constData(), nobody, nobody) == 0;
}

// As the session's user: "nobody", from a copy of the program that user can
// reach, where the tests run as root.
QStringList WaylandSession::asUser(const QString &program, const QStringList &arguments) const
{
    if (::geteuid() != 0)
        return QStringList { program } + arguments;
    QString path = program;
    if (QDir::isAbsolutePath(program)) {
        path = m_home.filePath(QFileInfo(program).fileName());
        if (!QFileInfo::exists(path))
            QFile::copy(program, path);
        QFile::setPermissions(path, QFileDevice::Permissions(0x7555));
    }
    return QStringList { QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
        QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"), QStringLiteral("--"),
        path }
    + arguments;
}

void WaylandSession::run(
    QProcess &process, const QString &program, const QStringList &arguments) const
{
    const QStringList command = asUser(program, arguments);
    process.start(command.constFirst(), command.mid(1));
}

QByteArray WaylandSession::tool(const QString &program, const QStringList &arguments) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    run(process, program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return process.readAllStandardOutput();
}

QByteArray WaylandSession::tree() const
{
    return tool(QStringLiteral("swaymsg"),
        { QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree") });
}

QString WaylandSession::waitForWindow(
    const QString &title, const QString &previous, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        const QString id = findWindow(QJsonDocument::fromJson(tree()).object(), title, previous);
        if (!id.isEmpty())
            return id;
        QThread::msleep(pollMs);
    } while (!deadline.hasExpired());
    return {};
}

bool WaylandSession::waitUntilGone(const QString &windowId, int timeoutMs) const
{
    const QByteArray pattern = "\"id\": " + windowId.toLatin1() + ',';
    QDeadlineTimer deadline(timeoutMs);
    do {
        if (!tree().contains(pattern))
            return true;
        QThread::msleep(pollMs);
    } while (!deadline.hasExpired());
    return false;
}

void WaylandSession::activate(const QString &windowId) const
{
    tool(QStringLiteral("swaymsg"), { QStringLiteral("[con_id=%1] focus").arg(windowId) });
}

void WaylandSession::close(const QString &windowId) const
{
    tool(QStringLiteral("swaymsg"), { QStringLiteral("[con_id=%1] kill").arg(windowId) });
}

// wtype brings a keyboard of its own with each call, whose first key the
// program may miss while it takes the new keyboard in: each call waits first.
void WaylandSession::type(const QString &text) const
{
    tool(QStringLiteral("wtype"), { QStringLiteral("-s"), QStringLiteral("300"), text });
}

void WaylandSession::key(const QString &keys) const
{
    QStringList arguments { QStringLiteral("-s"), QStringLiteral("300") };
    QStringList modifiers = keys.split(u'+');
    const QString last = modifiers.takeLast();
    for (const QString &modifier : std::as_const(modifiers))
        arguments << QStringLiteral("-M") << modifier;
    arguments << QStringLiteral("-k") << last;
    for (const QString &modifier : std::as_const(modifiers))
        arguments << QStringLiteral("-m") << modifier;
    tool(QStringLiteral("wtype"), arguments);
}

QByteArray WaylandSession::clipboard(const QString &target, const QString &selection) const
{
    QStringList arguments { QStringLiteral("--no-newline"), QStringLiteral("--type"), target };
    if (selection == QLatin1String("primary"))
        arguments.prepend(QStringLiteral("--primary"));
    return tool(QStringLiteral("wl-paste"), arguments);
}

int WaylandSession::primaryOffers() const
{
    m_seen[0] += m_watchers[0]->readAllStandardOutput();
    return int(m_seen[0].count('\n'));
}

QByteArrayList WaylandSession::primaryMarks(const QString &type) const
{
    const int i = type == QLatin1String(markTypes[0]) ? 1 : 2;
    m_seen[i] += m_watchers[i]->readAllStandardOutput();
    QByteArrayList marks = m_seen[i].split('\n');
    marks.removeLast(); // after the last line feed
    return marks;
}
