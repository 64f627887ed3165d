// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <QMessageBox>
#include <QProcess>

#include "vault/vaultsession.h"

#include <functional>
#include <memory>
#include <sys/stat.h>

class DialogDriver;
class QDateTime;
class QMainWindow;
class QTableWidget;

// Every test's main starts as the program's does: libsodium first.
#define KEYLOFT_TEST_MAIN(TestObject)                                                              \
    QTEST_MAIN_WRAPPER(TestObject, TestSupport::startLibraries(); QTEST_MAIN_SETUP())
#define KEYLOFT_GUILESS_TEST_MAIN(TestObject)                                                      \
    QTEST_MAIN_WRAPPER(TestObject, TestSupport::startLibraries();                                  \
                       QTEST_QAPP_SETUP(QCoreApplication))

// Small pieces the tests share.
namespace TestSupport {

// Starts what the program's main starts before anything else.
void startLibraries();

// What the field of a master password tells input methods: hidden,
// sensitive, not to be predicted or capitalised.
inline constexpr Qt::InputMethodHints passwordHints
    = Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase;

// The question a save asks before replacing a vault changed elsewhere,
// answered with the button of this text ("Merge", "Replace" or "Cancel");
// an empty one presses Escape.
void expectVaultChanged(DialogDriver &driver, const QString &click);

// Answers a save's questions without dialogs: chooses `file` when asked for
// one (cancels when it is empty), answers the questions with `replies` in
// turn (No once they run out), types `typed` when asked to confirm the
// master password, and notes what was asked, by the title of its box ("Save
// Passwords" for the file). `meanwhile` runs while the first question is
// open.
struct ScriptedQuestions : VaultSession::Questions
{
    QString file;
    QList<VaultSession::Answer> replies;
    std::optional<QString> typed = QStringLiteral("pw");
    std::function<void()> meanwhile;
    QStringList asked;

    QString chooseFile(const QString &start) override;
    VaultSession::Answer ask(VaultSession::Question question) override;
    std::optional<QString> confirmMasterPassword() override;
};

// Writes `bytes` to `path`, unless they are null, and loads the vault there
// in a session of `key`, its entries into `entries` when given: the session,
// or null when the write or the load failed.
std::unique_ptr<VaultSession> loadedSession(const QString &path, const QByteArray &bytes,
    QByteArrayView key = "pw", QList<Entry> *entries = nullptr);

// Saves `entries` to `path` as Keyloft does, under `key` confirmed when asked
// for: the vault then has its record on this computer.
VaultSession::SaveOutcome saveAsKeyloft(
    const QString &path, const QByteArray &key, const QList<Entry> &entries);

// The prompt that confirms the master password before it first locks a
// vault, answered with `reply` (std::nullopt cancels).
void expectConfirmation(
    DialogDriver &driver, const std::optional<QString> &reply = QStringLiteral("pw"));

// Entries written as "service:password" (user name "user"), or
// "service/user:password"; an empty text stands for an entry of nothing.
QList<Entry> entriesOf(const QStringList &texts);
// Those entries as vault text, joined here.
QByteArray vaultTextOf(const QStringList &texts);

// Triggers the toolbar action with this text; false when there is none.
bool triggerAction(QMainWindow &window, const QString &text);

QTableWidget *entryTable(QMainWindow &window);
QList<QStringList> tableRows(const QTableWidget *table);
// The rows the table has selected, in order.
QList<int> selectedRows(const QTableWidget *table);
void setTableRows(QTableWidget *table, const QList<QStringList> &rows);

// The vault cipher, computed here on its own: byte i XOR key byte (i mod n).
QByteArray xorBytes(const QByteArray &data, const QByteArray &key);

// The bytes of a literal, embedded zero bytes included, which a plain
// const char * would cut off.
template<qsizetype N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

QByteArray readBytes(const QString &path);
// The path's own status: a symbolic link is not followed.
struct stat statusOf(const QString &path);
bool writeBytes(const QString &path, const QByteArray &bytes);
bool setModified(const QString &path, const QDateTime &time);

// Names every file in `folder`, so a test can prove that nothing was left
// behind or created.
QStringList filesIn(const QString &folder);

// Gives this process a new, empty data folder (XDG_DATA_HOME) in place of
// the one it had, removed with the application object: its path, or an empty
// one when it could not be made.
QString useFreshDataFolder();

// Runs this test program (or `program`, a copy of it) again as a child with
// `arguments`, under `strace -qq` with `straceOptions` when given.
class ChildRun
{
public:
    explicit ChildRun(const QStringList &arguments, const QStringList &straceOptions = {},
        const QString &program = QString());
    // Waits for the child: its exit status, or -1 when it was killed or did
    // not end within two minutes.
    int exitStatus();

private:
    QProcess m_process;
};

// Why this build cannot inject faults into the calls it makes, under
// strace; null when it can.
const char *noFaultInjection();

// While alive, file permissions bind: when the tests run as root, the
// effective user and group become "nobody", since root may read and write
// whatever it likes. isActive() is false when the switch was not possible.
class PermissionsBind
{
public:
    PermissionsBind();
    ~PermissionsBind();
    PermissionsBind(const PermissionsBind &) = delete;
    PermissionsBind &operator=(const PermissionsBind &) = delete;
    bool isActive() const { return m_active; }

private:
    bool m_switched = false;
    bool m_active = false;
};

// While alive, no file of this process may grow beyond `bytes`: a write past
// it fails as on a full disk, without the signal that would end the process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool isActive() const { return m_active; }

private:
    qint64 m_previousSoft = 0;
    void (*m_previousHandler)(int) = nullptr;
    bool m_active = false;
};

} // namespace TestSupport
