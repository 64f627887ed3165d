// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

QString usage()
{
    return QCoreApplication::translate("CommandLine", "Usage: keyloft [VAULT]") + u'\n';
}

void print(const QString &text, FILE *stream)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

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

} // namespace

void answer(Request::Information information)
{
    if (information == Request::Information::None)
        return;
    if (information == Request::Information::Version) {
        std::fputs("keyloft " KEYLOFT_VERSION "\n", stdout);
        return;
    }
    print(usage()
            + QCoreApplication::translate("CommandLine",
                "VAULT is the vault file to open at start; Save creates it when it is missing.")
            + u'\n'
            + QCoreApplication::translate("CommandLine",
                "-- ends the options: what follows is the vault, even if it starts with -.")
            + u'\n'
            + QCoreApplication::translate("CommandLine", "More in the manual page: man keyloft")
            + u'\n',
        stdout);
}

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
        request.information = Request::Information::Help;
        request.exitStatus = 0;
    } else if (parsed && unknown.isNull() && parser.isSet(version)) {
        request.information = Request::Information::Version;
        request.exitStatus = 0;
    } else if (early) {
        return request;
    } else if (!unknown.isNull()) {
        print(QCoreApplication::translate("CommandLine", "keyloft: unknown option %1").arg(unknown)
                + u'\n' + usage(),
            stderr);
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
