// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

// Answers the modal dialogs a test expects, in the order it expects them.
//
// A timer watches QApplication::activeModalWidget() from inside the dialogs'
// own event loops. Each expected step checks the dialog's kind and texts, then
// answers it as a person would: types into the field and clicks OK, cancels,
// or clicks a button. A dialog that was not expected, or that does not match,
// is recorded and closed, and a dialog that stays open after its answer is
// closed too, so a test fails within seconds instead of hanging. Steps that
// never came are reported by verify().
class DialogDriver : public QObject
{
public:
    explicit DialogDriver(QObject *parent = nullptr);
    ~DialogDriver() override;

    // A QInputDialog::getText prompt. `preset` is the text the field must
    // show when it opens; `reply` is put into the field (as a paste would)
    // before OK is clicked, or std::nullopt to cancel.
    DialogDriver &input(const QString &title, const QString &label, const QString &preset,
        const std::optional<QString> &reply, QLineEdit::EchoMode echo = QLineEdit::Normal);

    // A QMessageBox with the given icon, title, text, standard buttons and
    // default button (NoButton: the one the box picks itself). A null `text` accepts any text (read
    // it from seen()). `click` is the button to press; QMessageBox::NoButton presses Escape.
    DialogDriver &message(QMessageBox::Icon icon, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton click = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // A QMessageBox with buttons of its own: `buttons` names each button's
    // text and role, `click` the text of the one to press (empty: Escape),
    // and `defaultButton` the default's text.
    DialogDriver &choice(QMessageBox::Icon icon, const QString &title, const QString &text,
        const QList<QPair<QString, QMessageBox::ButtonRole>> &buttons, const QString &click,
        const QString &defaultButton);

    // A QFileDialog for opening or saving. `path` is chosen and accepted, or
    // std::nullopt cancels. A non-null `start` is the file it must offer first,
    // or the folder it must show.
    DialogDriver &fileDialog(QFileDialog::AcceptMode mode, const QString &caption,
        const QString &filter, const std::optional<QString> &path,
        const QString &start = QString());

    // The step added last is a message box whose informative text is `text`.
    DialogDriver &informativeText(const QString &text);
    // The step added last is a message box whose detailed text ("Show
    // Details…") is `text`.
    DialogDriver &detailedText(const QString &text);

    // The step added last holds only where `check`, called while its dialog
    // is open, returns nothing; otherwise what it returns is the reason.
    DialogDriver &whileOpen(const std::function<QString()> &check);
    // The step added last is an input dialog whose field carries exactly
    // these input-method hints.
    DialogDriver &inputHints(Qt::InputMethodHints hints);

    // The step added last is a dialog of its own, without the main window as
    // its parent; every other dialog must belong to the main window.
    DialogDriver &topLevel();

    // True when every expected dialog came, matched and was answered, and no
    // other dialog appeared. Otherwise false, with the reasons in report().
    bool verify();
    QString report() const;

    // The label or text of every dialog that was answered, in order.
    const QStringList &seen() const { return m_seen; }
    // Where each answered dialog stood on the screen, in order.
    const QList<QRect> &placed() const { return m_placed; }

private:
    struct Step
    {
        QString description;
        std::function<QString(QWidget *)> check; // empty string when it matches
        std::function<void(QWidget *)> answer;
        bool topLevel = false;
    };

    // Adds to the last step's check that the box's `text` is `expected`.
    DialogDriver &boxText(
        const char *what, QString (QMessageBox::*text)() const, const QString &expected);
    void poll();
    void fail(const QString &why);
    static QString textOf(QWidget *dialog);
    static QString describe(QWidget *dialog);
    static void forceClose(QWidget *dialog);

    std::vector<Step> m_steps;
    size_t m_next = 0;
    QStringList m_errors;
    QStringList m_seen;
    QList<QRect> m_placed;
    QTimer m_timer;
    QList<QPointer<QWidget>> m_answered;
    QPointer<QWidget> m_lastActive;
    int m_answeredTicks = 0;
};
