<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CommandLine</name>
    <message>
        <source>Usage: keyloft [VAULT]</source>
        <translation>Aufruf: keyloft [TRESOR]</translation>
    </message>
    <message>
        <source>VAULT is the vault file to open at start; Save creates it when it is missing.</source>
        <translation>TRESOR ist die Tresordatei, die beim Start geöffnet wird; Speichern legt sie an, wenn sie fehlt.</translation>
    </message>
    <message>
        <source>-- ends the options: what follows is the vault, even if it starts with -.</source>
        <translation>-- beendet die Optionen: Was folgt, ist der Tresor, auch wenn es mit - beginnt.</translation>
    </message>
    <message>
        <source>More in the manual page: man keyloft</source>
        <translation>Mehr in der Handbuchseite: man keyloft</translation>
    </message>
    <message>
        <source>keyloft: unknown option %1</source>
        <translation>keyloft: unbekannte Option %1</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Generated Password</source>
        <translation>Erzeugtes Passwort</translation>
    </message>
    <message>
        <source>The length must be at most %1.</source>
        <translation>Die Länge darf höchstens %1 betragen.</translation>
    </message>
    <message>
        <source>Your new password has been copied to the clipboard:

</source>
        <translation>Ihr neues Passwort wurde in die Zwischenablage kopiert:

</translation>
    </message>
    <message>
        <source>Service:</source>
        <translation>Dienst:</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>Entries cannot contain tabs, line breaks or other control characters.</source>
        <translation>Einträge dürfen keine Tabulatoren, Zeilenumbrüche oder anderen Steuerzeichen enthalten.</translation>
    </message>
    <message>
        <source>Add Entry</source>
        <translation>Eintrag hinzufügen</translation>
    </message>
    <message>
        <source>Edit Entry</source>
        <translation>Eintrag bearbeiten</translation>
    </message>
    <message>
        <source>No row selected.</source>
        <translation>Keine Zeile ausgewählt.</translation>
    </message>
    <message>
        <source>Delete Entry</source>
        <translation>Eintrag löschen</translation>
    </message>
    <message>
        <source>Service</source>
        <translation>Dienst</translation>
    </message>
    <message>
        <source>Username</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Entries</source>
        <translation>Einträge</translation>
    </message>
    <message>
        <source>Main</source>
        <translation>Hauptleiste</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Laden</translation>
    </message>
    <message>
        <source>Generate Password</source>
        <translation>Passwort erzeugen</translation>
    </message>
    <message>
        <source>Length:</source>
        <translation>Länge:</translation>
    </message>
    <message>
        <source>Generated password</source>
        <translation>Erzeugtes Passwort</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Do you want to save before exiting?</source>
        <translation>Möchten Sie vor dem Beenden speichern?</translation>
    </message>
    <message>
        <source>Password DB (*.pwdb);;All Files (*)</source>
        <translation>Keyloft-Tresore (*.pwdb);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>File: %1</source>
        <translation>Datei: %1</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Merge</source>
        <translation>Zusammenführen</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Ersetzen</translation>
    </message>
    <message>
        <source>Save Passwords</source>
        <translation>Tresor speichern</translation>
    </message>
    <message>
        <source>Vault Changed</source>
        <translation>Tresor geändert</translation>
    </message>
    <message>
        <source>The vault file has been changed by another program since Keyloft last loaded or saved it. Merge its changes with the entries in this window, or replace it with the entries in this window?</source>
        <translation>Die Tresordatei wurde von einem anderen Programm geändert, seit Keyloft sie zuletzt geladen oder gespeichert hat. Sollen ihre Änderungen mit den Einträgen in diesem Fenster zusammengeführt werden, oder soll sie durch die Einträge in diesem Fenster ersetzt werden?</translation>
    </message>
    <message>
        <source>Vault Not Fully Read</source>
        <translation>Tresor nicht vollständig gelesen</translation>
    </message>
    <message>
        <source>Some lines of the vault file are not entries and would be lost by saving. If the entries look wrong, the master password was probably mistyped. Save anyway?</source>
        <translation>Einige Zeilen der Tresordatei sind keine Einträge und würden beim Speichern verloren gehen. Wenn die Einträge falsch aussehen, wurde das Master-Passwort wahrscheinlich vertippt. Trotzdem speichern?</translation>
    </message>
    <message>
        <source>Replace Vault</source>
        <translation>Tresor ersetzen</translation>
    </message>
    <message>
        <source>The file already holds entries of a vault with this master password that are not in this window. Merge them with the entries in this window, or replace them with the entries in this window?</source>
        <translation>Die Datei enthält bereits Einträge eines Tresors mit diesem Master-Passwort, die nicht in diesem Fenster stehen. Sollen sie mit den Einträgen in diesem Fenster zusammengeführt oder durch die Einträge in diesem Fenster ersetzt werden?</translation>
    </message>
    <message>
        <source>The file is a vault that Keyloft saved with another master password. Replacing it loses its entries. Replace it with the entries in this window?</source>
        <translation>Die Datei ist ein Tresor, den Keyloft mit einem anderen Master-Passwort gespeichert hat. Wird sie ersetzt, gehen ihre Einträge verloren. Durch die Einträge in diesem Fenster ersetzen?</translation>
    </message>
    <message>
        <source>Confirm Master Password</source>
        <translation>Master-Passwort bestätigen</translation>
    </message>
    <message>
        <source>Type the master password again:</source>
        <translation>Master-Passwort erneut eingeben:</translation>
    </message>
    <message>
        <source>Passwords saved successfully.</source>
        <translation>Passwörter erfolgreich gespeichert.</translation>
    </message>
    <message>
        <source>Failed to write file.</source>
        <translation>Die Datei konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Failed to write file. The vault file may be damaged: save again before you close Keyloft.</source>
        <translation>Die Datei konnte nicht geschrieben werden. Die Tresordatei ist möglicherweise beschädigt: Speichern Sie erneut, bevor Sie Keyloft schließen.</translation>
    </message>
    <message>
        <source>The vault file cannot be merged: it is not a vault of this master password.</source>
        <translation>Die Tresordatei kann nicht zusammengeführt werden, denn sie ist kein Tresor mit diesem Master-Passwort.</translation>
    </message>
    <message>
        <source>The master password does not match the one Keyloft was started with. Nothing was saved.</source>
        <translation>Das Master-Passwort stimmt nicht mit dem überein, mit dem Keyloft gestartet wurde. Es wurde nichts gespeichert.</translation>
    </message>
    <message>
        <source>The vault file was written, but the system could not confirm that it is safely on disk. Save again before you close Keyloft.</source>
        <translation>Die Tresordatei wurde geschrieben, aber das System konnte nicht bestätigen, dass sie sicher auf dem Datenträger liegt. Speichern Sie erneut, bevor Sie Keyloft schließen.</translation>
    </message>
    <message>
        <source>Failed to open file for writing.</source>
        <translation>Die Datei konnte nicht zum Schreiben geöffnet werden.</translation>
    </message>
    <message>
        <source>Failed to read file.</source>
        <translation>Die Datei konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>This file is too large to be a vault.</source>
        <translation>Diese Datei ist zu groß für einen Tresor.</translation>
    </message>
    <message>
        <source>This file is not a vault or the master password is wrong.</source>
        <translation>Diese Datei ist kein Tresor, oder das Master-Passwort ist falsch.</translation>
    </message>
    <message>
        <source>Failed to open file for reading.</source>
        <translation>Die Datei konnte nicht zum Lesen geöffnet werden.</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>Gespeichert</translation>
    </message>
    <message>
        <source>1 entry was changed both in this window and in the file: both versions are kept, the file&apos;s first.</source>
        <translation>1 Eintrag wurde sowohl in diesem Fenster als auch in der Datei geändert: Beide Fassungen bleiben erhalten, die aus der Datei zuerst.</translation>
    </message>
    <message numerus="yes">
        <source>%n entries were changed both in this window and in the file: both versions are kept, the file&apos;s first.</source>
        <translation>
            <numerusform>%n Eintrag wurde sowohl in diesem Fenster als auch in der Datei geändert: Beide Fassungen bleiben erhalten, die aus der Datei zuerst.</numerusform>
            <numerusform>%n Einträge wurden sowohl in diesem Fenster als auch in der Datei geändert: Beide Fassungen bleiben erhalten, die aus der Datei zuerst.</numerusform>
        </translation>
    </message>
    <message>
        <source>Open Passwords</source>
        <translation>Tresor laden</translation>
    </message>
    <message>
        <source>Loaded</source>
        <translation>Geladen</translation>
    </message>
    <message>
        <source>Passwords loaded successfully.</source>
        <translation>Passwörter erfolgreich geladen.</translation>
    </message>
    <message>
        <source>Reason: %1</source>
        <translation>Grund: %1</translation>
    </message>
    <message>
        <source>Conflicting Copies</source>
        <translation>Konfliktkopien</translation>
    </message>
    <message>
        <source>A sync tool left 1 copy of this vault with entries that are not in it. Merge their entries into this window?</source>
        <translation>Ein Synchronisierungsprogramm hat 1 Kopie dieses Tresors mit Einträgen hinterlassen, die nicht in ihm stehen. Sollen ihre Einträge in dieses Fenster übernommen werden?</translation>
    </message>
    <message numerus="yes">
        <source>A sync tool left %n copies of this vault with entries that are not in it. Merge their entries into this window?</source>
        <translation>
            <numerusform>Ein Synchronisierungsprogramm hat %n Kopie dieses Tresors mit Einträgen hinterlassen, die nicht in ihm stehen. Sollen ihre Einträge in dieses Fenster übernommen werden?</numerusform>
            <numerusform>Ein Synchronisierungsprogramm hat %n Kopien dieses Tresors mit Einträgen hinterlassen, die nicht in ihm stehen. Sollen ihre Einträge in dieses Fenster übernommen werden?</numerusform>
        </translation>
    </message>
    <message>
        <source>Ignore</source>
        <translation>Ignorieren</translation>
    </message>
    <message>
        <source>Replace File</source>
        <translation>Datei ersetzen</translation>
    </message>
    <message>
        <source>This file cannot be opened with your master password: it may be a vault locked with another master password. Replacing it loses everything it holds. Replace it with the entries in this window?</source>
        <translation>Diese Datei lässt sich mit Ihrem Master-Passwort nicht öffnen: Vielleicht ist sie ein Tresor, der mit einem anderen Master-Passwort verschlossen ist. Wird sie ersetzt, geht alles verloren, was sie enthält. Durch die Einträge in diesem Fenster ersetzen?</translation>
    </message>
    <message>
        <source>Another Keyloft window held the vault&apos;s lock for more than %1 seconds.</source>
        <translation>Ein anderes Keyloft-Fenster hat die Sperre des Tresors länger als %1 Sekunden gehalten.</translation>
    </message>
</context>
<context>
    <name>MasterPassword</name>
    <message>
        <source>Master Password</source>
        <translation>Master-Passwort</translation>
    </message>
    <message>
        <source>Enter master password:</source>
        <translation>Master-Passwort eingeben:</translation>
    </message>
    <message>
        <source>The master password contains a line break or another control character, so it can be entered again only by pasting the same text. Use it anyway?</source>
        <translation>Das Master-Passwort enthält einen Zeilenumbruch oder ein anderes Steuerzeichen und lässt sich daher nur durch Einfügen desselben Textes erneut eingeben. Trotzdem verwenden?</translation>
    </message>
</context>
</TS>
