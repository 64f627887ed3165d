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
#include <QTableWidget>
#include <QTemporaryDir>
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
    QString addTitle;
    QString editTitle;
    QString serviceLabel;
    QString confirmTitle;
    QString confirmLabel;
};

Texts expectedTexts(const QString &language)
{
    if (language == QLatin1String("de"))
        return { "Master-Passwort", "Master-Passwort eingeben:",
            { "Hinzufügen", "Bearbeiten", "Löschen", "Speichern", "Laden" }, "Beenden",
            "Möchten Sie vor dem Beenden speichern?", { "Ja", "Nein", "Abbrechen" },
            "Tresor speichern", "Keyloft-Tresore (*.pwdb);;Alle Dateien (*)", "Eintrag hinzufügen",
            "Eintrag bearbeiten", "Dienst:", "Master-Passwort bestätigen",
            "Master-Passwort erneut eingeben:" };
    if (language == QLatin1String("fr"))
        return { "Mot de passe principal", "Saisissez le mot de passe principal\u00a0:",
            { "Ajouter", "Modifier", "Supprimer", "Enregistrer", "Charger" }, "Quitter",
            "Voulez-vous enregistrer avant de quitter\u202f?", { "Oui", "Non", "Annuler" },
            "Enregistrer le coffre", "Coffres de mots de passe (*.pwdb);;Tous les fichiers (*)",
            "Ajouter une entrée", "Modifier l’entrée",
            "Service :", "Confirmer le mot de passe principal",
            "Saisissez à nouveau le mot de passe principal :" };
    return { "Master Password",
        "Enter master password:", { "Add", "Edit", "Delete", "Save", "Load" }, "Exit",
        "Do you want to save before exiting?", { "Yes", "No", "Cancel" }, "Save Passwords",
        "Password DB (*.pwdb);;All Files (*)", "Add Entry", "Edit Entry",
        "Service:", "Confirm Master Password", "Type the master password again:" };
}

} // namespace

// Run with the user's languages set as a desktop sets them (see
// CMakeLists.txt), and EXPECTED_LANGUAGE the one that must come of them:
// Keyloft and Qt's own dialogs speak it alike, and with none to match,
// exactly English.
class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installTranslations(*QCoreApplication::instance()); }
    void userMeetsTheirLanguage();
};

void TestTranslations::userMeetsTheirLanguage()
{
    const QString language = qEnvironmentVariable("EXPECTED_LANGUAGE");
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

    // Add's and Edit's first prompt and, after the save dialog, the
    // confirmation of the master password, each cancelled; the driver checks
    // that each of them shows its whole title.
    const QTemporaryDir folder;
    QVERIFY(folder.isValid());
    setTableRows(entryTable(window), { { "a", "b", "c" } });
    entryTable(window)->selectRow(0);
    DialogDriver driver;
    driver.input(texts.addTitle, texts.serviceLabel, QString(), std::nullopt)
        .input(texts.editTitle, texts.serviceLabel, QStringLiteral("a"), std::nullopt)
        .fileDialog(QFileDialog::AcceptSave, texts.saveDialog, texts.filter,
            folder.filePath(QStringLiteral("new.pwdb")))
        .input(
            texts.confirmTitle, texts.confirmLabel, QString(), std::nullopt, QLineEdit::Password);
    for (const int action : { 0, 1, 3 })
        QVERIFY(triggerAction(window, texts.actions.at(action)));
    QVERIFY2(driver.verify(), qPrintable(driver.report()));
}

KEYLOFT_TEST_MAIN(TestTranslations)
#include "tst_translations.moc"
