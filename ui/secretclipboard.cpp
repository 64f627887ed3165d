// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/secretclipboard.h"
#include "generator/passwordgenerator.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>

#include <memory>

namespace {

// The texts QLineEdit gives its menu's Cut and Copy, translated in Qt's own
// catalogue, not Keyloft's.
const char cutText[] = "Cu&t";
const char copyText[] = "&Copy";

} // namespace

SecretClipboard::SecretClipboard(QObject *parent)
    : QObject(parent)
{
    qApp->installEventFilter(this);
    connect(QGuiApplication::clipboard(), &QClipboard::selectionChanged, this,
        &SecretClipboard::markSelection);
}

// The field's own copy and cut would put the text on the clipboard plain:
// they are done here instead, the same way.
bool SecretClipboard::eventFilter(QObject *watched, QEvent *event)
{
    // The filter sees every event of the program: the cheap test comes first.
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ContextMenu)
        return false;
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (!field)
        return false;
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<const QKeyEvent *>(event);
        const bool cut = key->matches(QKeySequence::Cut);
        if (!cut && !key->matches(QKeySequence::Copy))
            return false;
        copy(field, cut);
        return true;
    }
    // The field's own menu, its Cut and Copy (found by the texts the field
    // gives them, in the user's language) swapped for ones of ours.
    const std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        const bool cut = action->text().startsWith(QLineEdit::tr(cutText));
        if (!cut && !action->text().startsWith(QLineEdit::tr(copyText)))
            continue;
        auto *own = new QAction(action->icon(), action->text(), menu.get());
        own->setEnabled(action->isEnabled());
        connect(own, &QAction::triggered, field, [field, cut] { copy(field, cut); });
        menu->insertAction(action, own);
        menu->removeAction(action);
    }
    menu->exec(static_cast<const QContextMenuEvent *>(event)->globalPos());
    return true;
}

// As the field itself would: only a selection, never a masked text.
void SecretClipboard::copy(QLineEdit *field, bool cut)
{
    if (field->echoMode() != QLineEdit::Normal || !field->hasSelectedText())
        return;
    QGuiApplication::clipboard()->setMimeData(secretMimeData(field->selectedText()));
    if (cut && !field->isReadOnly())
        field->del();
}

// A field puts its selection on the X selection itself. This runs while it
// does, before any other program can ask for the text.
void SecretClipboard::markSelection()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QMimeData *selection = clipboard->mimeData(QClipboard::Selection);
    if (!clipboard->ownsSelection() || !selection || !selection->hasText()
        || isSecretMimeData(selection))
        return;
    clipboard->setMimeData(secretMimeData(selection->text()), QClipboard::Selection);
}
