// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/masterpassword.h"
#include "app/processguard.h"
#include "ui/mainwindow.h"
#include "vault/secretmemory.h"

#include <QApplication>
#include <QByteArray>
#include <QMessageBox>
#include <QScreen>
#include <QSize>
#include <QString>

#include <cstdio>

namespace {

// Answers --help and --version on standard output; -1 for any other
// argument, which is a vault path.
int answerInformationOption(const char *argument)
{
    const QByteArray option(argument);
    if (option == "--help" || option == "-h") {
        std::fputs("Usage: keyloft [VAULT]\n"
                   "VAULT is the vault file to open at start; Save creates it when it is "
                   "missing.\n"
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

// Runs the window until it is closed; returns the event loop's result.
int runWindow(int argc, char *argv[], const QString &masterPassword)
{
    // Read after QApplication has taken its own options out of argv, so the
    // vault is the first argument the toolkit leaves.
    QString vaultPath;
    if (argc > 1) {
        vaultPath = QString::fromLocal8Bit(argv[1]);
        // A name that is not valid in the local encoding decodes to another
        // name: loading would fail, and a save would create that other file.
        if (vaultPath.toLocal8Bit() != QByteArray(argv[1])) {
            QMessageBox::critical(nullptr, QStringLiteral("Error"),
                QStringLiteral("Failed to open file for reading."), QMessageBox::Ok,
                QMessageBox::NoButton);
            vaultPath.clear();
        }
    }

    MainWindow window(vaultPath, masterPassword, nullptr);
    // Never larger than the screen, even on a small one at a large scale.
    QSize size(700, 400);
    if (const QScreen *screen = window.screen())
        size = size.boundedTo(screen->availableGeometry().size());
    window.resize(size);
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
    QApplication app(argc, argv);
    if (argc > 1 && answerInformationOption(argv[1]) >= 0)
        return 0;

    bool confirmed = false;
    QString masterPassword = askMasterPassword(&confirmed);
    if (!confirmed || masterPassword.isEmpty())
        return 0;

    const int status = runWindow(argc, argv, masterPassword);
    wipe(masterPassword);
    return status;
}
