// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

class QKeyEvent;
class QLineEdit;

// Keeps every text copied out of a field of Keyloft's windows and prompts
// marked as a secret, as a generated password is, so that clipboard
// managers leave it out of their histories: a copy or cut by key (Ctrl+C,
// Ctrl+X, Ctrl+Insert, Shift+Delete) or from the field's context menu, and
// the text a selection puts on the X selection (PRIMARY).
class SecretClipboard : public QObject
{
    Q_OBJECT

public:
    explicit SecretClipboard(QObject *parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static void copy(QLineEdit *field, bool cut);
    static bool selectByKey(QLineEdit *field, const QKeyEvent *key);
    static void select(QLineEdit *field);
    void markSelection();
};
