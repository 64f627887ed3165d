<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>CommandLine</name>
    <message>
        <source>Usage: keyloft [VAULT]</source>
        <translation>Usage&#xa0;: keyloft [COFFRE]</translation>
    </message>
    <message>
        <source>VAULT is the vault file to open at start; Save creates it when it is missing.</source>
        <translation>COFFRE est le fichier du coffre à ouvrir au démarrage&#x202f;; Enregistrer le crée s’il n’existe pas.</translation>
    </message>
    <message>
        <source>-- ends the options: what follows is the vault, even if it starts with -.</source>
        <translation>-- termine les options&#xa0;: ce qui suit est le coffre, même s’il commence par -.</translation>
    </message>
    <message>
        <source>More in the manual page: man keyloft</source>
        <translation>Plus de détails dans la page de manuel&#xa0;: man keyloft</translation>
    </message>
    <message>
        <source>keyloft: unknown option %1</source>
        <translation>keyloft&#xa0;: option inconnue %1</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Generated Password</source>
        <translation>Mot de passe généré</translation>
    </message>
    <message>
        <source>The length must be at most %1.</source>
        <translation>La longueur ne doit pas dépasser %1.</translation>
    </message>
    <message>
        <source>Your new password has been copied to the clipboard:

</source>
        <translation>Votre nouveau mot de passe a été copié dans le presse-papiers&#xa0;:

</translation>
    </message>
    <message>
        <source>Service:</source>
        <translation>Service&#xa0;:</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Nom d’utilisateur&#xa0;:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Mot de passe&#xa0;:</translation>
    </message>
    <message>
        <source>Entries cannot contain tabs, line breaks or other control characters.</source>
        <translation>Les entrées ne peuvent contenir ni tabulations, ni sauts de ligne, ni d’autres caractères de contrôle.</translation>
    </message>
    <message>
        <source>Add Entry</source>
        <translation>Ajouter une entrée</translation>
    </message>
    <message>
        <source>Edit Entry</source>
        <translation>Modifier l’entrée</translation>
    </message>
    <message>
        <source>No row selected.</source>
        <translation>Aucune ligne sélectionnée.</translation>
    </message>
    <message>
        <source>Delete Entry</source>
        <translation>Supprimer l’entrée</translation>
    </message>
    <message>
        <source>Service</source>
        <translation>Service</translation>
    </message>
    <message>
        <source>Username</source>
        <translation>Nom d’utilisateur</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Mot de passe</translation>
    </message>
    <message>
        <source>Entries</source>
        <translation>Entrées</translation>
    </message>
    <message>
        <source>Main</source>
        <translation>Barre d’outils principale</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Ajouter</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Modifier</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Supprimer</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Enregistrer</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Charger</translation>
    </message>
    <message>
        <source>Generate Password</source>
        <translation>Générer un mot de passe</translation>
    </message>
    <message>
        <source>Length:</source>
        <translation>Longueur&#xa0;:</translation>
    </message>
    <message>
        <source>Generated password</source>
        <translation>Mot de passe généré</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Do you want to save before exiting?</source>
        <translation>Voulez-vous enregistrer avant de quitter&#x202f;?</translation>
    </message>
    <message>
        <source>Password DB (*.pwdb);;All Files (*)</source>
        <translation>Coffres de mots de passe (*.pwdb);;Tous les fichiers (*)</translation>
    </message>
    <message>
        <source>File: %1</source>
        <translation>Fichier&#xa0;: %1</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>Merge</source>
        <translation>Fusionner</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Remplacer</translation>
    </message>
    <message>
        <source>Save Passwords</source>
        <translation>Enregistrer le coffre</translation>
    </message>
    <message>
        <source>Vault Changed</source>
        <translation>Coffre modifié</translation>
    </message>
    <message>
        <source>The vault file has been changed by another program since Keyloft last loaded or saved it. Merge its changes with the entries in this window, or replace it with the entries in this window?</source>
        <translation>Le fichier du coffre a été modifié par un autre programme depuis que Keyloft l’a chargé ou enregistré pour la dernière fois. Fusionner ses modifications avec les entrées de cette fenêtre, ou le remplacer par les entrées de cette fenêtre&#x202f;?</translation>
    </message>
    <message>
        <source>Vault Not Fully Read</source>
        <translation>Coffre lu en partie</translation>
    </message>
    <message>
        <source>Some lines of the vault file are not entries and would be lost by saving. If the entries look wrong, the master password was probably mistyped. Save anyway?</source>
        <translation>Certaines lignes du fichier du coffre ne sont pas des entrées et seraient perdues à l’enregistrement. Si les entrées semblent fausses, le mot de passe principal a probablement été mal saisi. Enregistrer quand même&#x202f;?</translation>
    </message>
    <message>
        <source>Replace Vault</source>
        <translation>Remplacer le coffre</translation>
    </message>
    <message>
        <source>The file already holds entries of a vault with this master password that are not in this window. Merge them with the entries in this window, or replace them with the entries in this window?</source>
        <translation>Le fichier contient déjà des entrées qui ne figurent pas dans cette fenêtre, celles d’un coffre protégé par ce mot de passe principal. Les fusionner avec les entrées de cette fenêtre, ou les remplacer par les entrées de cette fenêtre&#x202f;?</translation>
    </message>
    <message>
        <source>The file is a vault that Keyloft saved with another master password. Replacing it loses its entries. Replace it with the entries in this window?</source>
        <translation>Ce fichier est un coffre que Keyloft a enregistré avec un autre mot de passe principal. S’il est remplacé, ses entrées seront perdues. Le remplacer par les entrées de cette fenêtre&#x202f;?</translation>
    </message>
    <message>
        <source>Confirm Master Password</source>
        <translation>Confirmer le mot de passe principal</translation>
    </message>
    <message>
        <source>Type the master password again:</source>
        <translation>Saisissez à nouveau le mot de passe principal&#xa0;:</translation>
    </message>
    <message>
        <source>Passwords saved successfully.</source>
        <translation>Mots de passe enregistrés avec succès.</translation>
    </message>
    <message>
        <source>Failed to write file.</source>
        <translation>Impossible d’écrire le fichier.</translation>
    </message>
    <message>
        <source>Failed to write file. The vault file may be damaged: save again before you close Keyloft.</source>
        <translation>Impossible d’écrire le fichier. Le fichier du coffre est peut-être endommagé&#xa0;: enregistrez à nouveau avant de fermer Keyloft.</translation>
    </message>
    <message>
        <source>The vault file cannot be merged: it is not a vault of this master password.</source>
        <translation>Impossible de fusionner le fichier du coffre&#xa0;: ce n’est pas un coffre de ce mot de passe principal.</translation>
    </message>
    <message>
        <source>The master password does not match the one Keyloft was started with. Nothing was saved.</source>
        <translation>Le mot de passe principal ne correspond pas à celui avec lequel Keyloft a été lancé. Rien n’a été enregistré.</translation>
    </message>
    <message>
        <source>The vault file was written, but the system could not confirm that it is safely on disk. Save again before you close Keyloft.</source>
        <translation>Le fichier du coffre a été écrit, mais le système n’a pas pu confirmer qu’il se trouve bien sur le disque. Enregistrez à nouveau avant de fermer Keyloft.</translation>
    </message>
    <message>
        <source>Failed to open file for writing.</source>
        <translation>Impossible d’ouvrir le fichier en écriture.</translation>
    </message>
    <message>
        <source>Failed to read file.</source>
        <translation>Impossible de lire le fichier.</translation>
    </message>
    <message>
        <source>This file is too large to be a vault.</source>
        <translation>Ce fichier est trop volumineux pour être un coffre.</translation>
    </message>
    <message>
        <source>This file is not a vault or the master password is wrong.</source>
        <translation>Ce fichier n’est pas un coffre, ou le mot de passe principal est erroné.</translation>
    </message>
    <message>
        <source>Failed to open file for reading.</source>
        <translation>Impossible d’ouvrir le fichier en lecture.</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>Enregistré</translation>
    </message>
    <message>
        <source>1 entry was changed both in this window and in the file: both versions are kept, the file&apos;s first.</source>
        <translation>1 entrée a été modifiée à la fois dans cette fenêtre et dans le fichier&#xa0;: les deux versions sont conservées, celle du fichier en premier.</translation>
    </message>
    <message numerus="yes">
        <source>%n entries were changed both in this window and in the file: both versions are kept, the file&apos;s first.</source>
        <translation>
            <numerusform>%n entrée a été modifiée à la fois dans cette fenêtre et dans le fichier&#xa0;: les deux versions sont conservées, celle du fichier en premier.</numerusform>
            <numerusform>%n entrées ont été modifiées à la fois dans cette fenêtre et dans le fichier&#xa0;: les deux versions sont conservées, celle du fichier en premier.</numerusform>
        </translation>
    </message>
    <message>
        <source>Open Passwords</source>
        <translation>Ouvrir un coffre</translation>
    </message>
    <message>
        <source>Loaded</source>
        <translation>Chargé</translation>
    </message>
    <message>
        <source>Passwords loaded successfully.</source>
        <translation>Mots de passe chargés avec succès.</translation>
    </message>
    <message>
        <source>Reason: %1</source>
        <translation>Raison&#xa0;: %1</translation>
    </message>
    <message>
        <source>Conflicting Copies</source>
        <translation>Copies en conflit</translation>
    </message>
    <message>
        <source>A sync tool left 1 copy of this vault with entries that are not in it. Merge their entries into this window?</source>
        <translation>Un outil de synchronisation a laissé 1 copie de ce coffre avec des entrées qui n’y figurent pas. Fusionner ses entrées dans cette fenêtre&#x202f;?</translation>
    </message>
    <message numerus="yes">
        <source>A sync tool left %n copies of this vault with entries that are not in it. Merge their entries into this window?</source>
        <translation>
            <numerusform>Un outil de synchronisation a laissé %n copie de ce coffre avec des entrées qui n’y figurent pas. Fusionner ses entrées dans cette fenêtre&#x202f;?</numerusform>
            <numerusform>Un outil de synchronisation a laissé %n copies de ce coffre avec des entrées qui n’y figurent pas. Fusionner leurs entrées dans cette fenêtre&#x202f;?</numerusform>
        </translation>
    </message>
    <message>
        <source>Ignore</source>
        <translation>Ignorer</translation>
    </message>
    <message>
        <source>Replace File</source>
        <translation>Remplacer le fichier</translation>
    </message>
    <message>
        <source>This file cannot be opened with your master password: it may be a vault locked with another master password. Replacing it loses everything it holds. Replace it with the entries in this window?</source>
        <translation>Ce fichier ne peut pas être ouvert avec votre mot de passe principal&#xa0;: c’est peut-être un coffre verrouillé par un autre mot de passe principal. S’il est remplacé, tout ce qu’il contient sera perdu. Le remplacer par les entrées de cette fenêtre&#x202f;?</translation>
    </message>
    <message>
        <source>Another Keyloft window held the vault&apos;s lock for more than %1 seconds.</source>
        <translation>Une autre fenêtre Keyloft a gardé le verrou du coffre plus de %1&#xa0;secondes.</translation>
    </message>
</context>
<context>
    <name>MasterPassword</name>
    <message>
        <source>Master Password</source>
        <translation>Mot de passe principal</translation>
    </message>
    <message>
        <source>Enter master password:</source>
        <translation>Saisissez le mot de passe principal&#xa0;:</translation>
    </message>
    <message>
        <source>The master password contains a line break or another control character, so it can be entered again only by pasting the same text. Use it anyway?</source>
        <translation>Le mot de passe principal contient un saut de ligne ou un autre caractère de contrôle&#xa0;: il ne pourra être saisi à nouveau qu’en collant le même texte. L’utiliser quand même&#x202f;?</translation>
    </message>
</context>
</TS>
