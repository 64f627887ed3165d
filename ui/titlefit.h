// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

// Makes every dialog of the program at least as wide as its title needs,
// in every language: a dialog takes the width of its contents, and a short
// label under a long title would leave the title cut off by the window
// manager's buttons beside it. While it lives, each dialog is widened as it
// is first shown (file dialogs, wide enough by themselves, are left as
// they are).
class TitleFit : public QObject
{
    Q_OBJECT

public:
    explicit TitleFit(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
