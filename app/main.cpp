#include "app/masterpassword.h"
#include "app/processguard.h"
#include "ui/mainwindow.h"
#include "vault/secretmemory.h"

#include <QApplication>
#include <QSize>
#include <QString>

namespace {

// Runs the window until it is closed; returns the event loop's result.
int runWindow(int argc, char *argv[], const QString &masterPassword)
{
    // Read after QApplication has taken its own options out of argv, so the
    // vault is the first argument the toolkit leaves.
    QString vaultPath;
    if (argc > 1)
        vaultPath = QString::fromLocal8Bit(argv[1]);

    MainWindow window(vaultPath, masterPassword, nullptr);
    window.resize(QSize(700, 400));
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    protectProcessMemory();
    QApplication app(argc, argv);

    bool confirmed = false;
    QString masterPassword = askMasterPassword(&confirmed);
    if (!confirmed || masterPassword.isEmpty())
        return 0;

    const int status = runWindow(argc, argv, masterPassword);
    wipe(masterPassword);
    return status;
}
