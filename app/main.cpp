#include "ui/mainwindow.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QSize>
#include <QString>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    bool confirmed = false;
    const QString masterPassword = QInputDialog::getText(nullptr, QStringLiteral("Master Password"),
        QStringLiteral("Enter master password:"), QLineEdit::Password, QString(), &confirmed,
        Qt::WindowFlags(), Qt::ImhNone);
    if (!confirmed || masterPassword.isEmpty())
        return 0;

    // Read after QApplication has taken its own options out of argv, so the
    // vault is the first argument the toolkit leaves.
    QString vaultPath;
    if (argc > 1)
        vaultPath = QString::fromLocal8Bit(argv[1]);

    MainWindow window(vaultPath, masterPassword, nullptr);
    window.resize(QSize(700, 400));
    window.show();
    return app.exec();
}
