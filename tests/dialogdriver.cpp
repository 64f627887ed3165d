// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogdriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QPushButton>
#include <QTest>

namespace {

// A dialog still showing this many polls after its answer is stuck.
constexpr int stuckAfterPolls = 200;
constexpr int pollIntervalMs = 10;

template<typename T> QString mismatch(const char *what, const T &actual, const T &expected)
{
    if (actual == expected)
        return {};
    return QStringLiteral("%1 is \"%2\", expected \"%3\"")
        .arg(QLatin1String(what), QVariant::fromValue(actual).toString(),
            QVariant::fromValue(expected).toString());
}

QString firstMismatch(std::initializer_list<QString> checks)
{
    for (const QString &check : checks) {
        if (!check.isEmpty())
            return check;
    }
    return {};
}

void clickDialogButton(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    if (auto *box = dialog->findChild<QDialogButtonBox *>()) {
        if (QPushButton *button = box->button(which)) {
            button->click();
            return;
        }
    }
}

// The offscreen platform warns about every dialog it sizes; that line says
// nothing about the program and would bury the test's own output.
QtMessageHandler handlerBeforeDrivers = nullptr;

void dropPlatformNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    if (handlerBeforeDrivers)
        handlerBeforeDrivers(type, context, message);
}

} // namespace

DialogDriver::DialogDriver(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(pollIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &DialogDriver::poll);
    m_timer.start();
    const QtMessageHandler previous = qInstallMessageHandler(dropPlatformNoise);
    if (previous != dropPlatformNoise)
        handlerBeforeDrivers = previous;
}

DialogDriver::~DialogDriver()
{
    qInstallMessageHandler(handlerBeforeDrivers);
}

DialogDriver &DialogDriver::input(const QString &title, const QString &label, const QString &preset,
    const std::optional<QString> &reply, QLineEdit::EchoMode echo)
{
    Step step;
    step.description = QStringLiteral("input \"%1\" / \"%2\"").arg(title, label);
    step.check = [=](QWidget *widget) -> QString {
        auto *dialog = qobject_cast<QInputDialog *>(widget);
        if (!dialog)
            return QStringLiteral("not an input dialog");
        return firstMismatch({
            mismatch("title", dialog->windowTitle(), title),
            mismatch("label", dialog->labelText(), label),
            mismatch("preset", dialog->textValue(), preset),
            mismatch("echo mode", int(dialog->textEchoMode()), int(echo)),
        });
    };
    step.answer = [reply](QWidget *widget) {
        if (!reply) {
            clickDialogButton(widget, QDialogButtonBox::Cancel);
            return;
        }
        if (auto *edit = widget->findChild<QLineEdit *>())
            edit->setText(*reply);
        clickDialogButton(widget, QDialogButtonBox::Ok);
    };
    m_steps.push_back(std::move(step));
    return *this;
}

DialogDriver &DialogDriver::message(QMessageBox::Icon icon, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton click,
    QMessageBox::StandardButton defaultButton)
{
    Step step;
    step.description = QStringLiteral("message \"%1\" / \"%2\"").arg(title, text);
    step.check = [=](QWidget *widget) -> QString {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box)
            return QStringLiteral("not a message box");
        return firstMismatch({
            mismatch("icon", int(box->icon()), int(icon)),
            mismatch("title", box->windowTitle(), title),
            text.isNull() ? QString() : mismatch("text", box->text(), text),
            mismatch("buttons", int(box->standardButtons()), int(buttons)),
            // With none given, the box picks one itself when shown.
            defaultButton == QMessageBox::NoButton
                ? QString()
                : mismatch("default button", int(box->standardButton(box->defaultButton())),
                    int(defaultButton)),
        });
    };
    step.answer = [click](QWidget *widget) {
        auto *box = static_cast<QMessageBox *>(widget);
        if (click == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else if (QAbstractButton *button = box->button(click))
            button->click();
    };
    m_steps.push_back(std::move(step));
    return *this;
}

DialogDriver &DialogDriver::choice(QMessageBox::Icon icon, const QString &title,
    const QString &text, const QList<QPair<QString, QMessageBox::ButtonRole>> &buttons,
    const QString &click, const QString &defaultButton)
{
    const auto textOf = [](const QAbstractButton *button) {
        return button ? button->text().remove(u'&') : QString();
    };
    Step step;
    step.description = QStringLiteral("choice \"%1\" / \"%2\"").arg(title, text);
    step.check = [=](QWidget *widget) -> QString {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box)
            return QStringLiteral("not a message box");
        QStringList expected;
        for (const auto &[name, role] : buttons)
            expected << QStringLiteral("%1 (%2)").arg(name).arg(int(role));
        QStringList actual;
        for (QAbstractButton *button : box->buttons())
            actual
                << QStringLiteral("%1 (%2)").arg(textOf(button)).arg(int(box->buttonRole(button)));
        expected.sort();
        actual.sort();
        return firstMismatch({
            mismatch("icon", int(box->icon()), int(icon)),
            mismatch("title", box->windowTitle(), title),
            mismatch("text", box->text(), text),
            mismatch("buttons", actual.join(u','), expected.join(u',')),
            mismatch("default button", textOf(box->defaultButton()), defaultButton),
        });
    };
    step.answer = [=](QWidget *widget) {
        auto *box = static_cast<QMessageBox *>(widget);
        if (click.isEmpty())
            QTest::keyClick(box, Qt::Key_Escape);
        for (QAbstractButton *button : box->buttons()) {
            if (!click.isEmpty() && textOf(button) == click)
                button->click();
        }
    };
    m_steps.push_back(std::move(step));
    return *this;
}

DialogDriver &DialogDriver::fileDialog(QFileDialog::AcceptMode mode, const QString &caption,
    const QString &filter, const std::optional<QString> &path, const QString &start)
{
    Step step;
    step.description = QStringLiteral("file dialog \"%1\"").arg(caption);
    step.check = [=](QWidget *widget) -> QString {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog)
            return QStringLiteral("not a file dialog");
        return firstMismatch({
            mismatch("accept mode", int(dialog->acceptMode()), int(mode)),
            mismatch("caption", dialog->windowTitle(), caption),
            mismatch("filter", dialog->nameFilters().join(QStringLiteral(";;")), filter),
            start.isNull() ? QString()
                : QFileInfo(start).isDir()
                ? mismatch("folder", dialog->directory().path(), start)
                : mismatch("first offer", dialog->selectedFiles().value(0), start),
        });
    };
    step.answer = [path](QWidget *widget) {
        auto *dialog = static_cast<QFileDialog *>(widget);
        if (!path) {
            dialog->reject();
            return;
        }
        // Typed into the name field, as a person would: selectFile() leaves a
        // focused field alone and selects in a view still being filled.
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (name)
            name->setText(QFileInfo(*path).absoluteFilePath());
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept checks the choice
    };
    m_steps.push_back(std::move(step));
    return *this;
}

DialogDriver &DialogDriver::informativeText(const QString &text)
{
    return boxText("informative text", &QMessageBox::informativeText, text);
}

DialogDriver &DialogDriver::detailedText(const QString &text)
{
    return boxText("detailed text", &QMessageBox::detailedText, text);
}

DialogDriver &DialogDriver::whileOpen(const std::function<QString()> &check)
{
    Step &step = m_steps.back();
    step.check = [first = step.check, check](QWidget *widget) {
        const QString why = first(widget);
        return why.isEmpty() ? check() : why;
    };
    return *this;
}

DialogDriver &DialogDriver::boxText(
    const char *what, QString (QMessageBox::*text)() const, const QString &expected)
{
    Step &step = m_steps.back();
    step.check = [check = step.check, what, text, expected](QWidget *widget) {
        const QString why = check(widget);
        return why.isEmpty()
            ? mismatch(what, (static_cast<QMessageBox *>(widget)->*text)(), expected)
            : why;
    };
    return *this;
}

DialogDriver &DialogDriver::inputHints(Qt::InputMethodHints hints)
{
    Step &step = m_steps.back();
    step.check = [check = step.check, hints](QWidget *widget) {
        const QString why = check(widget);
        const auto *field = widget->findChild<QLineEdit *>();
        return why.isEmpty() && field
            ? mismatch("input method hints", int(field->inputMethodHints()), int(hints))
            : why;
    };
    return *this;
}

DialogDriver &DialogDriver::topLevel()
{
    if (!m_steps.empty())
        m_steps.back().topLevel = true;
    return *this;
}

void DialogDriver::poll()
{
    QWidget *dialog = QApplication::activeModalWidget();
    if (!dialog || !dialog->isVisible())
        return;
    // A dialog answered already may stay active a little longer (a file
    // dialog while its answer closes the question it asked); one that stays
    // too long is stuck.
    m_answered.removeAll(nullptr);
    if (m_answered.contains(dialog)) {
        m_answeredTicks = dialog == m_lastActive ? m_answeredTicks + 1 : 0;
        m_lastActive = dialog;
        if (m_answeredTicks > stuckAfterPolls) {
            fail(QStringLiteral("stayed open after its answer: ") + describe(dialog));
            forceClose(dialog);
        }
        return;
    }
    m_answered.append(dialog);
    m_lastActive = dialog;
    m_answeredTicks = 0;

    if (m_next >= m_steps.size()) {
        fail(QStringLiteral("unexpected dialog: ") + describe(dialog));
        forceClose(dialog);
        return;
    }
    const Step &step = m_steps[m_next++];
    QString why = step.check(dialog);
    const QWidget *parent = dialog->parentWidget();
    if (why.isEmpty() && (parent && parent->inherits("MainWindow")) == step.topLevel)
        why = step.topLevel ? QStringLiteral("has a parent")
                            : QStringLiteral("not parented to the window");
    // Every dialog shows its whole title: in the bold font of title bars,
    // beside an icon and three buttons.
    QFont titleFont = dialog->font();
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(dialog->windowTitle()) + 150;
    if (why.isEmpty() && !qobject_cast<QFileDialog *>(dialog) && dialog->width() < titleWidth)
        why = QStringLiteral("%1 pixels wide, narrower than its title's %2")
                  .arg(dialog->width())
                  .arg(titleWidth);
    if (!why.isEmpty()) {
        fail(step.description + QStringLiteral(": ") + why + QStringLiteral(" (came: ")
            + describe(dialog) + u')');
        forceClose(dialog);
        return;
    }
    m_seen << textOf(dialog);
    m_placed << dialog->geometry();
    // Answered from the event loop rather than from this poll, so that a
    // dialog the answer opens in turn (a file dialog's question whether to
    // replace a file) is polled for and answered too.
    QMetaObject::invokeMethod(
        this,
        [answer = step.answer, target = QPointer<QWidget>(dialog)] {
            if (target)
                answer(target);
        },
        Qt::QueuedConnection);
}

bool DialogDriver::verify()
{
    for (size_t i = m_next; i < m_steps.size(); ++i)
        fail(QStringLiteral("never came: ") + m_steps[i].description);
    m_next = m_steps.size();
    return m_errors.isEmpty();
}

QString DialogDriver::report() const
{
    return m_errors.join(QLatin1Char('\n'));
}

void DialogDriver::fail(const QString &why)
{
    m_errors << why;
}

QString DialogDriver::textOf(QWidget *dialog)
{
    if (auto *input = qobject_cast<QInputDialog *>(dialog))
        return input->labelText();
    if (auto *box = qobject_cast<QMessageBox *>(dialog))
        return box->text();
    return {};
}

QString DialogDriver::describe(QWidget *dialog)
{
    return QStringLiteral("%1 \"%2\" | \"%3\"")
        .arg(QLatin1String(dialog->metaObject()->className()), dialog->windowTitle(),
            textOf(dialog));
}

void DialogDriver::forceClose(QWidget *dialog)
{
    if (auto *modal = qobject_cast<QDialog *>(dialog))
        modal->done(QDialog::Rejected);
    else
        dialog->close();
}
