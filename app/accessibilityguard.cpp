// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/accessibilityguard.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLineEdit>
#include <QString>
#include <QStyle>

namespace {

// Hands `event` to the platform's accessibility bridge, which is where
// QAccessible::updateAccessibility() sends it while no handler is installed.
void forward(QAccessibleEvent *event)
{
    const QAccessible::UpdateHandler self = QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(self);
}

// What `field` shows for `text`: its masking character once per character,
// or nothing when it echoes nothing.
QString masked(const QLineEdit *field, const QString &text)
{
    if (field->echoMode() == QLineEdit::NoEcho)
        return QString();
    return QString(text.size(),
        QChar(field->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, field)));
}

void maskPasswordText(QAccessibleEvent *event)
{
    // Ends here: updateAccessibility() has already applied a table change to
    // the view's accessible cache before calling this handler, and sending it
    // round again would apply it twice. No table exists while the master
    // password is asked for, and Qt 6.4's AT-SPI bridge ignores it anyway.
    if (event->type() == QAccessible::TableModelChanged)
        return;

    QObject *object = event->object();
    const auto *field = qobject_cast<const QLineEdit *>(object);
    if (!field || field->echoMode() == QLineEdit::Normal) {
        forward(event);
        return;
    }
    switch (event->type()) {
    case QAccessible::TextInserted: {
        const auto *insert = static_cast<const QAccessibleTextInsertEvent *>(event);
        QAccessibleTextInsertEvent copy(
            object, insert->changePosition(), masked(field, insert->textInserted()));
        forward(&copy);
        break;
    }
    case QAccessible::TextRemoved: {
        const auto *remove = static_cast<const QAccessibleTextRemoveEvent *>(event);
        QAccessibleTextRemoveEvent copy(
            object, remove->changePosition(), masked(field, remove->textRemoved()));
        forward(&copy);
        break;
    }
    case QAccessible::TextUpdated: {
        const auto *update = static_cast<const QAccessibleTextUpdateEvent *>(event);
        QAccessibleTextUpdateEvent copy(object, update->changePosition(),
            masked(field, update->textRemoved()), masked(field, update->textInserted()));
        forward(&copy);
        break;
    }
    default:
        forward(event); // caret and selection moves carry positions only
    }
}

} // namespace

PasswordTypingHidden::PasswordTypingHidden()
    : m_previous(QAccessible::installUpdateHandler(maskPasswordText))
{ }

PasswordTypingHidden::~PasswordTypingHidden()
{
    QAccessible::installUpdateHandler(m_previous);
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    // Every event of the program passes here: the cheap tests come first.
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (!key || !event->spontaneous())
        return QApplication::notify(receiver, event);
    const auto *field = qobject_cast<const QLineEdit *>(focusWidget());
    if (!field || field->echoMode() == QLineEdit::Normal)
        return QApplication::notify(receiver, event);
    const auto *typed = static_cast<const QKeyEvent *>(event);
    QKeyEvent own(typed->type(), typed->key(), typed->modifiers(), typed->nativeScanCode(),
        typed->nativeVirtualKey(), typed->nativeModifiers(), typed->text(), typed->isAutoRepeat(),
        typed->count(), typed->device());
    const bool handled = QApplication::notify(receiver, &own);
    event->setAccepted(own.isAccepted());
    return handled;
}
