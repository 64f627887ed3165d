// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/accessibilityguard.h"
#include "app/masterpassword.h"
#include "app/processguard.h"
#include "app/translations.h"
#include "ui/mainwindow.h"
#include "vault/secretmemory.h"

#include <QApplication>
#include <QByteArray>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

constexpr char usage[] = "Usage: keyloft [VAULT]\n";

// What the command line asks for: the vault named, if any, or to stop at
// once with a status (an information option answered, an unknown option
// refused). A mistyped option must never become the name of a vault that a
// save then creates.
struct Request
{
    QByteArray vault;
    int exitStatus = -1; // -1: run
};

// The first argument before "--" that names no option, as it was typed: the
// parser knows the names only. A lone "-" counts too.
QString firstUnknownOption(const QStringList &arguments, const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    const QStringList typed = arguments.mid(1);
    for (const QString &argument : typed) {
        if (argument == QLatin1String("--"))
            break;
        if (argument == QLatin1String("-")
            || (argument.startsWith(u'-')
                && unknown.contains(
                    argument.section(u'=', 0, 0)
                        .remove(0, argument.startsWith(QLatin1String("--")) ? 2 : 1))))
            return argument;
    }
    return QString();
}

// Reads the arguments the toolkit left in `argv`. Before the toolkit has
// taken out its own options (`early`), only an information option that
// parses cleanly is answered.
Request readArguments(int argc, char *argv[], bool early)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    // "-abc" is one unknown option, as it was typed, not three.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("VAULT"), QString());
    const bool parsed = parser.parse(arguments);

    Request request;
    const QString unknown = firstUnknownOption(arguments, parser);
    if (parsed && unknown.isNull()
        && (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))) {
        std::fputs(usage, stdout);
        std::fputs("VAULT is the vault file to open at start; Save creates it when it is "
                   "missing.\n"
                   "-- ends the options: what follows is the vault, even if it starts with -.\n"
                   "More in the manual page: man keyloft\n",
            stdout);
        request.exitStatus = 0;
    } else if (parsed && unknown.isNull() && parser.isSet(version)) {
        std::fputs("keyloft " KEYLOFT_VERSION "\n", stdout);
        request.exitStatus = 0;
    } else if (early) {
        return request;
    } else if (!unknown.isNull()) {
        std::fprintf(stderr, "keyloft: unknown option %s\n%s", qPrintable(unknown), usage);
        request.exitStatus = 2;
    } else if (!parser.positionalArguments().isEmpty()) {
        // The bytes as given: a name not valid in the locale's encoding
        // must be told apart from the name it decodes to.
        const QString vault = parser.positionalArguments().constFirst();
        for (int i = 1; i < argc && request.vault.isNull(); ++i) {
            if (arguments.at(i) == vault)
                request.vault = QByteArray(argv[i]);
        }
    }
    return request;
}

// Runs the window until it is closed; returns the event loop's result.
int runWindow(const QByteArray &vault, const QString &masterPassword)
{
    QString vaultPath = QString::fromLocal8Bit(vault);
    // A name that is not valid in the local encoding decodes to another
    // name: loading would fail, and a save would create that other file.
    if (vaultPath.toLocal8Bit() != vault) {
        QMessageBox box(QMessageBox::Critical, MainWindow::tr("Error"),
            MainWindow::tr("Failed to open file for reading."), QMessageBox::Ok);
        box.setDetailedText(MainWindow::tr("File: %1").arg(vaultPath));
        box.exec();
        vaultPath.clear();
    }

    // The window sizes and places itself before it loads the vault.
    MainWindow window(vaultPath, masterPassword, nullptr);
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    // Information options are answered before the toolkit starts, so that
    // they work without a display too; the toolkit's own options (-style,
    // -platform) are known only once it has taken them out.
    if (readArguments(argc, argv, true).exitStatus == 0)
        return 0;
    protectProcessMemory();
    if (!startSecretMemory()) {
        std::fputs("keyloft: libsodium cannot start\n", stderr);
        return 1;
    }
    Application app(argc, argv);
    installTranslations(app);
    const Request request = readArguments(argc, argv, false);
    if (request.exitStatus >= 0)
        return request.exitStatus;

    bool confirmed = false;
    QString masterPassword = askMasterPassword(&confirmed);
    if (!confirmed || masterPassword.isEmpty())
        return 0;

    const int result = runWindow(request.vault, masterPassword);
    forgetText(masterPassword);
    return result;
}
