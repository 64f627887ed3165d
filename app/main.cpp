// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/accessibilityguard.h"
#include "app/masterpassword.h"
#include "app/processguard.h"
#include "ui/mainwindow.h"
#include "vault/secretmemory.h"

#include <QApplication>
#include <QByteArray>
#include <QMessageBox>
#include <QString>

#include <cstdio>

namespace {

constexpr char usage[] = "Usage: keyloft [VAULT]\n";

// Answers --help and --version on standard output, and -1 for any other
// argument.
int answerInformationOption(const QByteArray &option)
{
    if (option == "--help" || option == "-h") {
        std::fputs(usage, stdout);
        std::fputs("VAULT is the vault file to open at start; Save creates it when it is "
                   "missing.\n"
                   "-- ends the options: what follows is the vault, even if it starts with -.\n"
                   "More in the manual page: man keyloft\n",
            stdout);
        return 0;
    }
    if (option == "--version") {
        std::fputs("keyloft " KEYLOFT_VERSION "\n", stdout);
        return 0;
    }
    return -1;
}

// Reads the arguments the toolkit left. Returns the status to exit with at
// once (an information option answered, an unknown option refused), or -1
// with the vault named, if any, in `vault`. A mistyped option must never
// become the name of a vault that a save then creates.
int readArguments(int argc, char *argv[], QByteArray *vault)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument.startsWith('-')) {
            const int status = answerInformationOption(argument);
            if (status >= 0)
                return status;
            std::fprintf(stderr, "keyloft: unknown option %s\n%s", argv[i], usage);
            return 2;
        } else if (vault->isNull()) {
            *vault = argument;
        }
    }
    return -1;
}

// Runs the window until it is closed; returns the event loop's result.
int runWindow(const QByteArray &vault, const QString &masterPassword)
{
    QString vaultPath = QString::fromLocal8Bit(vault);
    // A name that is not valid in the local encoding decodes to another
    // name: loading would fail, and a save would create that other file.
    if (vaultPath.toLocal8Bit() != vault) {
        QMessageBox::critical(nullptr, QStringLiteral("Error"),
            QStringLiteral("Failed to open file for reading."), QMessageBox::Ok,
            QMessageBox::NoButton);
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
    // Answered before the toolkit starts when they come first, so that they
    // work without a display too.
    if (argc > 1 && answerInformationOption(argv[1]) >= 0)
        return 0;
    protectProcessMemory();
    Application app(argc, argv);
    // Read after QApplication has taken its own options out of argv.
    QByteArray vault;
    const int status = readArguments(argc, argv, &vault);
    if (status >= 0)
        return status;

    bool confirmed = false;
    QString masterPassword = askMasterPassword(&confirmed);
    if (!confirmed || masterPassword.isEmpty())
        return 0;

    const int result = runWindow(vault, masterPassword);
    forgetText(masterPassword);
    return result;
}
