// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void installTranslations(QCoreApplication &application)
{
    const QLocale locale;
    const struct
    {
        const char *name;
        QString folder;
    } catalogues[] = {
        { "qtbase", QLibraryInfo::path(QLibraryInfo::TranslationsPath) },
        { "keyloft", QStringLiteral(":/i18n") },
    };
    for (const auto &catalogue : catalogues) {
        auto *translator = new QTranslator(&application);
        if (translator->load(
                locale, QLatin1String(catalogue.name), QStringLiteral("_"), catalogue.folder)
            && QCoreApplication::installTranslator(translator))
            continue;
        delete translator;
    }
}
