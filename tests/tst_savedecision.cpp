// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "vault/savedecision.h"

#include <QTest>

namespace {

using A = SaveAction;
using F = FileState;
using Q = SaveQuestion;
using O = SaveOutcome;

// A situation written as the README's table says it: the file, what it
// holds now, and what else the window knows and the save was answered.
struct Given : SaveSituation
{
    Given(SaveTarget saveTarget, FileState state)
    {
        target = saveTarget;
        file = state;
        keyRecorded = true;
    }
    Given &dropped()
    {
        droppedLines = true;
        return *this;
    }
    Given &unrecorded()
    {
        keyRecorded = false;
        return *this;
    }
    Given &confirmed()
    {
        keyConfirmed = true;
        return *this;
    }
    Given &took(FileState state)
    {
        takenOn = state;
        return *this;
    }
};

const SaveTarget own = SaveTarget::Own;
const SaveTarget chosen = SaveTarget::Chosen;

const char *actionName(SaveAction action)
{
    const char *names[] = { "ChooseFile", "Ask", "TakeOn", "Merge", "ConfirmKey", "Write", "End" };
    return names[int(action)];
}

} // namespace

namespace QTest {
template<> char *toString(const SaveStep &step)
{
    const QByteArray text = QByteArray(actionName(step.action)) + " question "
        + QByteArray::number(int(step.question)) + " outcome "
        + QByteArray::number(int(step.outcome));
    return qstrdup(text.constData());
}
} // namespace QTest

class TestSaveDecision : public QObject
{
    Q_OBJECT

private slots:
    void decide_data();
    void decide();
};

void TestSaveDecision::decide_data()
{
    QTest::addColumn<SaveSituation>("given");
    QTest::addColumn<SaveStep>("step");
    // After a question, the step each answer leads to: No, Yes, then Merge
    // where it is offered; after the confirmation: cancelled, another text,
    // the same text.
    QTest::addColumn<QList<SaveStep>>("after");

    const SaveStep write = SaveStep::to(A::Write);
    const SaveStep takeOn = SaveStep::to(A::TakeOn);
    const SaveStep declined = SaveStep::end(O::Declined);
    using L = QList<SaveStep>;

    // One row per row of the README's table "What Save asks", in its order.
    QTest::addRow("1 no file yet") << SaveSituation() << SaveStep::to(A::ChooseFile) << L();
    QTest::addRow("2 own file, as the window saw it")
        << SaveSituation(Given(own, F::AsKnown)) << write << L();
    QTest::addRow("3 own file, deleted since")
        << SaveSituation(Given(own, F::Missing).confirmed()) << write << L();
    QTest::addRow("4 own file, changed to a vault this key opens")
        << SaveSituation(Given(own, F::VaultWithOthers)) << SaveStep::ask(Q::VaultChanged)
        << L { declined, takeOn, SaveStep::to(A::Merge) };
    QTest::addRow("5 own file, changed to anything else")
        << SaveSituation(Given(own, F::Unopened)) << SaveStep::ask(Q::VaultChanged)
        << L { declined, takeOn, SaveStep::end(O::NotMergeable) };
    QTest::addRow("6 own file, its load skipped lines")
        << SaveSituation(Given(own, F::AsKnown).dropped()) << SaveStep::ask(Q::NotFullyRead)
        << L { declined, write };
    QTest::addRow("7 own file, its load skipped lines, a change taken on since")
        << SaveSituation(Given(own, F::AsKnown).dropped().took(F::Vault)) << write << L();
    QTest::addRow("8 chosen, no file there")
        << SaveSituation(Given(chosen, F::Missing)) << SaveStep::to(A::ConfirmKey)
        << L { declined, SaveStep::end(O::NotConfirmed), write };
    QTest::addRow("9 chosen, a vault of this key, every entry in the window")
        << SaveSituation(Given(chosen, F::Vault)) << takeOn << L();
    QTest::addRow("10 chosen, a vault of this key with entries the window lacks")
        << SaveSituation(Given(chosen, F::VaultWithOthers)) << SaveStep::ask(Q::ReplaceVault)
        << L { declined, takeOn, SaveStep::to(A::Merge) };
    QTest::addRow("11 chosen, a vault Keyloft saved with another master password")
        << SaveSituation(Given(chosen, F::OtherKeyVault)) << SaveStep::ask(Q::ReplaceOtherKeyVault)
        << L { declined, takeOn };
    QTest::addRow("12 chosen, a file this key does not open")
        << SaveSituation(Given(chosen, F::Unopened)) << SaveStep::ask(Q::ReplaceFile)
        << L { declined, takeOn };
    QTest::addRow("13 chosen, a file too large to be a vault")
        << SaveSituation(Given(chosen, F::TooLarge)) << takeOn << L();
    QTest::addRow("14 chosen, what was taken on is still there")
        << SaveSituation(Given(chosen, F::AsKnown).took(F::Vault)) << write << L();
    QTest::addRow("15 a file that cannot be looked at or read")
        << SaveSituation(Given(own, F::Unreadable)) << SaveStep::end(O::OpenFailed) << L();
    QTest::addRow("16 a file of no record of this key")
        << SaveSituation(Given(own, F::AsKnown).unrecorded()) << SaveStep::to(A::ConfirmKey)
        << L { declined, SaveStep::end(O::NotConfirmed), write };
    QTest::addRow("17 replacing a file this key does not open")
        << SaveSituation(Given(chosen, F::AsKnown).took(F::OtherKeyVault))
        << SaveStep::to(A::ConfirmKey) << L { declined, SaveStep::end(O::NotConfirmed), write };
    QTest::addRow("18 the key confirmed for the file in this run")
        << SaveSituation(Given(chosen, F::AsKnown).took(F::Unopened).unrecorded().confirmed())
        << write << L();
    QTest::addRow("19 own file, changed again while a question was open")
        << SaveSituation(Given(own, F::Vault).took(F::Vault)) << SaveStep::ask(Q::VaultChanged)
        << L { declined, takeOn, SaveStep::to(A::Merge) };
    QTest::addRow("20 chosen, changed while a question was open")
        << SaveSituation(Given(chosen, F::Unopened).took(F::Vault)) << SaveStep::ask(Q::ReplaceFile)
        << L { declined, takeOn };
}

void TestSaveDecision::decide()
{
    QFETCH(SaveSituation, given);
    QFETCH(SaveStep, step);
    QFETCH(QList<SaveStep>, after);

    QCOMPARE(decideSave(given), step);
    const SaveAnswer answers[] = { SaveAnswer::No, SaveAnswer::Yes, SaveAnswer::Merge };
    const Confirmation typed[]
        = { Confirmation::Cancelled, Confirmation::Mismatched, Confirmation::Matched };
    for (int i = 0; i < after.size(); ++i) {
        SaveSituation answered = given;
        if (step.action == A::ConfirmKey)
            answered.confirmation = typed[i];
        else if (step.question == Q::NotFullyRead)
            answered.linesAnswer = answers[i];
        else
            answered.answer = answers[i];
        QCOMPARE(decideSave(answered), after.at(i));
    }
}

KEYLOFT_GUILESS_TEST_MAIN(TestSaveDecision)
#include "tst_savedecision.moc"
