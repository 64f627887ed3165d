// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/titlefit.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>

namespace {

// The width the title of `dialog` needs: the title in the bold font that
// title bars use, with room for an icon and three buttons.
int widthFor(const QWidget *dialog)
{
    QFont titleFont = dialog->font();
    titleFont.setBold(true);
    return QFontMetrics(titleFont).horizontalAdvance(dialog->windowTitle()) + 150;
}

} // namespace

TitleFit::TitleFit(QObject *parent)
    : QObject(parent)
{
    qApp->installEventFilter(this);
}

// A dialog is polished once, as it is first shown, before it takes its size
// and place.
bool TitleFit::eventFilter(QObject *watched, QEvent *event)
{
    // The filter sees every event of the program: the cheap test comes first.
    if (event->type() != QEvent::Polish)
        return false;
    auto *dialog = qobject_cast<QDialog *>(watched);
    if (!dialog || qobject_cast<QFileDialog *>(dialog))
        return false;
    // Message boxes and input dialogs set their own size from their
    // layout's: their text is given the room.
    const int width = widthFor(dialog);
    auto *text = dialog->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    if (!text && qobject_cast<QInputDialog *>(dialog))
        text = dialog->findChild<QLabel *>();
    if (text)
        text->setMinimumWidth(std::max(text->minimumWidth(), width));
    else
        dialog->setMinimumWidth(std::max(dialog->minimumWidth(), width));
    return false;
}
