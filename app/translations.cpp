// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/translations.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

void install(QCoreApplication &application, const QString &file, const QString &folder)
{
    auto *translator = new QTranslator(&application);
    if (!translator->load(file, folder) || !QCoreApplication::installTranslator(translator))
        delete translator;
}

} // namespace

void installTranslations(QCoreApplication &application)
{
    const QString keyloftFolder = QStringLiteral(":/i18n");
    const QStringList languages = QLocale().uiLanguages();
    for (const QString &tag : languages) {
        const QString language = QLocale(tag).name().section(u'_', 0, 0);
        // English is the texts' own language: nothing to load, not even Qt's.
        if (language == QLatin1String("en"))
            return;
        const QString keyloft = QStringLiteral("keyloft_") + language;
        if (!QFile::exists(keyloftFolder + u'/' + keyloft + QStringLiteral(".qm")))
            continue;
        install(application, keyloft, keyloftFolder);
        install(application, QStringLiteral("qtbase_") + language,
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        return;
    }
}
