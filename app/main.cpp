// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/accessibilityguard.h"
#include "app/commandline.h"
#include "app/masterpassword.h"
#include "app/processguard.h"
#include "app/translations.h"
#include "ui/mainwindow.h"
#include "vault/secretmemory.h"

#include <QApplication>
#include <QByteArray>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

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
    // they work without a display too, through an application object that
    // needs none and brings the user's language; the toolkit's own options
    // (-style, -platform) are known only once it has taken them out.
    if (const Request early = readArguments(argc, argv, true); early.exitStatus == 0) {
        QCoreApplication information(argc, argv);
        installTranslations(information);
        answer(early.information);
        return 0;
    }
    protectProcessMemory();
    if (!startSecretMemory()) {
        std::fputs("keyloft: libsodium cannot start\n", stderr);
        return 1;
    }
    Application app(argc, argv);
    installTranslations(app);
    const Request request = readArguments(argc, argv, false);
    answer(request.information);
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
