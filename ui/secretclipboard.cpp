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
#include <QMouseEvent>

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

// The field's own copy and cut would put the text on the clipboard plain,
// and so would its selection on the primary selection, which on Wayland is
// offered to other programs the moment it is set: they are done here
// instead, the text and its marks in one.
bool SecretClipboard::eventFilter(QObject *watched, QEvent *event)
{
    // The filter sees every event of the program: the cheap test comes first.
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ContextMenu
        && type != QEvent::MouseButtonRelease)
        return false;
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (!field)
        return false;
    if (type == QEvent::MouseButtonRelease) {
        // What the mouse selected, which the field would put on the primary
        // selection as it takes the release.
        if (static_cast<const QMouseEvent *>(event)->button() != Qt::LeftButton
            || field->echoMode() != QLineEdit::Normal || !field->hasSelectedText())
            return false;
        select(field);
        return true;
    }
    if (type == QEvent::KeyPress) {
        const auto *key = static_cast<const QKeyEvent *>(event);
        const bool cut = key->matches(QKeySequence::Cut);
        if (cut || key->matches(QKeySequence::Copy)) {
            copy(field, cut);
            return true;
        }
        return field->echoMode() == QLineEdit::Normal && selectByKey(field, key);
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

// The selection keys, done here as the field would do them: the field
// would put what they select on the primary selection plain.
bool SecretClipboard::selectByKey(QLineEdit *field, const QKeyEvent *key)
{
    const bool forward = field->layoutDirection() == Qt::LeftToRight;
    if (key->matches(QKeySequence::SelectAll))
        field->selectAll();
    else if (key->matches(QKeySequence::SelectNextChar))
        forward ? field->cursorForward(true) : field->cursorBackward(true);
    else if (key->matches(QKeySequence::SelectPreviousChar))
        forward ? field->cursorBackward(true) : field->cursorForward(true);
    else if (key->matches(QKeySequence::SelectNextWord))
        forward ? field->cursorWordForward(true) : field->cursorWordBackward(true);
    else if (key->matches(QKeySequence::SelectPreviousWord))
        forward ? field->cursorWordBackward(true) : field->cursorWordForward(true);
    else if (key->matches(QKeySequence::SelectStartOfLine)
        || key->matches(QKeySequence::SelectStartOfBlock)
        || key->matches(QKeySequence::SelectStartOfDocument))
        field->home(true);
    else if (key->matches(QKeySequence::SelectEndOfLine)
        || key->matches(QKeySequence::SelectEndOfBlock)
        || key->matches(QKeySequence::SelectEndOfDocument))
        field->end(true);
    else
        return false;
    select(field);
    return true;
}

// Puts the field's selection on the primary selection, marked, where the
// system has one.
void SecretClipboard::select(QLineEdit *field)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && field->hasSelectedText())
        clipboard->setMimeData(secretMimeData(field->selectedText()), QClipboard::Selection);
}

// A field that puts its selection on the X selection itself, in a way not
// taken above, has it marked here, before any other program can ask for it.
void SecretClipboard::markSelection()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QMimeData *selection = clipboard->mimeData(QClipboard::Selection);
    if (!clipboard->ownsSelection() || !selection || !selection->hasText()
        || isSecretMimeData(selection))
        return;
    clipboard->setMimeData(secretMimeData(selection->text()), QClipboard::Selection);
}
