// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "generator/passwordgenerator.h"

#include <QMimeData>
#include <QRandomGenerator64>

QString generatePassword(int length)
{
    QString password;
    if (length <= 0)
        return password;
    password.reserve(length);
    // The system generator, not the global one: a seeded Mersenne Twister's
    // output can be predicted from enough of what it gave before.
    QRandomGenerator64 *random = QRandomGenerator64::system();
    const auto size = quint64(passwordAlphabet.size());
    for (int i = 0; i < length; ++i)
        password += passwordAlphabet.at(qsizetype(random->bounded(size)));
    return password;
}

namespace {

#if defined(Q_OS_WIN)
constexpr QLatin1String secretMark("ExcludeClipboardContentFromMonitorProcessing");
#else
constexpr QLatin1String secretMark("x-kde-passwordManagerHint");
#endif

} // namespace

QMimeData *secretMimeData(const QString &password)
{
    auto *data = new QMimeData;
    data->setText(password);
#if defined(Q_OS_WIN)
    data->setData(QString(secretMark), QByteArray());
#else
    data->setData(QString(secretMark), QByteArrayLiteral("secret"));
    // CopyQ does not know the hint above, but leaves this out of its history.
    data->setData(QStringLiteral("application/x-copyq-hidden"), QByteArrayLiteral("1"));
#endif
    return data;
}

bool isSecretMimeData(const QMimeData *data)
{
    return data->hasFormat(QString(secretMark));
}
