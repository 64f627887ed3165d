// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/masterpassword.h"
#include "app/translations.h"
#include "dialogdriver.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QLocale>
#include <QTest>
#include <QTimer>
#include <QToolBar>

using namespace TestSupport;

namespace {

// What a user of each language meets first, as the test has it written down.
struct Texts
{
    QString promptTitle;
    QString promptLabel;
    QStringList actions;
    QString exitTitle;
    QString exitQuestion;
    QStringList exitButtons; // Qt's own, without their accelerator marks
    QString saveDialog;
    QString filter;
};

Texts expectedTexts(const QString &language)
{
    if (language == QLatin1String("de"))
        return { "Master-Passwort", "Master-Passwort eingeben:",
            { "Hinzufügen", "Bearbeiten", "Löschen", "Speichern", "Laden" }, "Beenden",
            "Möchten Sie vor dem Beenden speichern?", { "Ja", "Nein", "Abbrechen" },
            "Passwörter speichern", "Passwort-Tresore (*.pwdb);;Alle Dateien (*)" };
    if (language == QLatin1String("fr"))
        return { "Mot de passe principal", "Saisissez le mot de passe principal\u00a0:",
            { "Ajouter", "Modifier", "Supprimer", "Enregistrer", "Charger" }, "Quitter",
            "Voulez-vous enregistrer avant de quitter\u202f?", { "Oui", "Non", "Annuler" },
            "Enregistrer les mots de passe",
            "Coffres de mots de passe (*.pwdb);;Tous les fichiers (*)" };
    return { "Master Password",
        "Enter master password:", { "Add", "Edit", "Delete", "Save", "Load" }, "Exit",
        "Do you want to save before exiting?", { "Yes", "No", "Cancel" }, "Save Passwords",
        "Password DB (*.pwdb);;All Files (*)" };
}

} // namespace

// Run with LANG set to German, French, and C: Keyloft and Qt's own dialogs
// speak the user's language, and with none to match, exactly English.
class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installTranslations(*QCoreApplication::instance()); }
    void userMeetsTheirLanguage();
};

void TestTranslations::userMeetsTheirLanguage()
{
    const QString language = QLocale().name().section(u'_', 0, 0);
    const Texts texts = expectedTexts(language);

    {
        DialogDriver driver;
        driver
            .input(
                texts.promptTitle, texts.promptLabel, QString(), std::nullopt, QLineEdit::Password)
            .topLevel();
        bool confirmed = true;
        askMasterPassword(&confirmed);
        QVERIFY2(driver.verify(), qPrintable(driver.report()));
    }

    MainWindow window(QString(), QStringLiteral("pw"));
    QStringList actions;
    for (const QAction *action : window.findChild<QToolBar *>()->actions()) {
        if (!action->isSeparator())
            actions << action->text();
    }
    QCOMPARE(actions, texts.actions);

    // The exit question, with Qt's buttons in the same language; Cancel.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStringList buttons;
    QTimer::singleShot(50, &window, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        QCOMPARE(box->windowTitle(), texts.exitTitle);
        QCOMPARE(box->text(), texts.exitQuestion);
        for (auto which : { QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel })
            buttons << box->button(which)->text().remove(u'&');
        box->button(QMessageBox::Cancel)->click();
    });
    QVERIFY(!window.close());
    QCOMPARE(buttons, texts.exitButtons);

    DialogDriver driver;
    driver.fileDialog(QFileDialog::AcceptSave, texts.saveDialog, texts.filter, std::nullopt);
    QVERIFY(triggerAction(window, texts.actions.at(3)));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
}

KEYLOFT_TEST_MAIN(TestTranslations)
#include "tst_translations.moc"
