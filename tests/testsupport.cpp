// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "dialogdriver.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolBar>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace TestSupport {

namespace {

    constexpr uid_t nobody = 65534;

    // What the program keeps for the user between runs (the record of the
    // keys vaults were saved with) goes to a data folder of each test
    // process's own, removed with the application object.
    class PrivateDataFolder : public QObject
    {
        Q_OBJECT

    public:
        using QObject::QObject;
        QTemporaryDir folder;
    };

    void usePrivateDataFolder()
    {
        useFreshDataFolder();
    }

    QString titleOf(VaultSession::Question question)
    {
        switch (question) {
        case VaultSession::Question::VaultChanged:
            return QStringLiteral("Vault Changed");
        case VaultSession::Question::NotFullyRead:
            return QStringLiteral("Vault Not Fully Read");
        case VaultSession::Question::ReplaceVault:
            return QStringLiteral("Replace Vault");
        case VaultSession::Question::ReplaceOtherKeyVault:
            return QStringLiteral("Replace Vault of another key");
        case VaultSession::Question::ReplaceFile:
            return QStringLiteral("Replace File");
        }
        return QString();
    }

} // namespace

Q_COREAPP_STARTUP_FUNCTION(usePrivateDataFolder)

void startLibraries()
{
    if (!startSecretMemory())
        qFatal("libsodium cannot start");
}

void expectVaultChanged(DialogDriver &driver, const QString &click)
{
    driver.choice(QMessageBox::Warning, QStringLiteral("Vault Changed"),
        QStringLiteral("The vault file has been changed by another program since Keyloft last "
                       "loaded or saved it. Merge its changes with the entries in this window, "
                       "or replace it with the entries in this window?"),
        { { QStringLiteral("Merge"), QMessageBox::AcceptRole },
            { QStringLiteral("Replace"), QMessageBox::DestructiveRole },
            { QStringLiteral("Cancel"), QMessageBox::RejectRole } },
        click, QStringLiteral("Merge"));
}

QString ScriptedQuestions::chooseFile(const QString &)
{
    asked << QStringLiteral("Save Passwords");
    return file;
}

VaultSession::Answer ScriptedQuestions::ask(VaultSession::Question question)
{
    asked << titleOf(question);
    if (meanwhile)
        std::exchange(meanwhile, nullptr)();
    return replies.isEmpty() ? VaultSession::Answer::No : replies.takeFirst();
}

std::optional<QString> ScriptedQuestions::confirmMasterPassword()
{
    asked << QStringLiteral("Confirm Master Password");
    return typed;
}

VaultSession::SaveOutcome saveAsKeyloft(
    const QString &path, const QByteArray &key, const QList<Entry> &entries)
{
    ScriptedQuestions questions;
    questions.typed = QString::fromUtf8(key);
    return VaultSession(path, key).save(entries, questions).outcome;
}

std::unique_ptr<VaultSession> loadedSession(
    const QString &path, const QByteArray &bytes, QByteArrayView key, QList<Entry> *entries)
{
    if (!bytes.isNull() && !writeBytes(path, bytes))
        return nullptr;
    auto session = std::make_unique<VaultSession>(path, key);
    QList<Entry> loaded;
    if (session->load(entries ? *entries : loaded).outcome != VaultSession::LoadOutcome::Loaded)
        return nullptr;
    return session;
}

void expectConfirmation(DialogDriver &driver, const std::optional<QString> &reply)
{
    driver
        .input(QStringLiteral("Confirm Master Password"),
            QStringLiteral("Type the master password again:"), QString(), reply,
            QLineEdit::Password)
        .inputHints(passwordHints);
}

QList<Entry> entriesOf(const QStringList &texts)
{
    QList<Entry> entries;
    for (const QString &text : texts) {
        const QString name = text.section(u':', 0, 0);
        entries.append({ name.section(u'/', 0, 0),
            text.isEmpty()            ? QString()
                : name.contains(u'/') ? name.section(u'/', 1)
                                      : QStringLiteral("user"),
            text.section(u':', 1) });
    }
    return entries;
}

QByteArray vaultTextOf(const QStringList &texts)
{
    QByteArray text;
    for (const Entry &entry : entriesOf(texts))
        text += entry.service.isEmpty() ? "\n"
                                        : entry.service.toUtf8() + '\t' + entry.username.toUtf8()
                + '\t' + entry.password.toUtf8() + '\n';
    return text;
}

bool triggerAction(QMainWindow &window, const QString &text)
{
    const auto toolBars = window.findChildren<QToolBar *>();
    for (const QToolBar *toolBar : toolBars) {
        const auto actions = toolBar->actions();
        for (QAction *action : actions) {
            if (action->text() == text) {
                action->trigger();
                return true;
            }
        }
    }
    return false;
}

QTableWidget *entryTable(QMainWindow &window)
{
    return window.findChild<QTableWidget *>();
}

QList<int> selectedRows(const QTableWidget *table)
{
    QList<int> rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->selectionModel()->isRowSelected(row, QModelIndex()))
            rows << row;
    }
    return rows;
}

QList<QStringList> tableRows(const QTableWidget *table)
{
    QList<QStringList> rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        rows.append({ table->item(row, 0)->text(), table->item(row, 1)->text(),
            table->item(row, 2)->text() });
    }
    return rows;
}

void setTableRows(QTableWidget *table, const QList<QStringList> &rows)
{
    table->setRowCount(0);
    for (const QStringList &texts : rows) {
        const int row = table->rowCount();
        table->insertRow(row);
        for (int column = 0; column < 3; ++column)
            table->setItem(row, column, new QTableWidgetItem(texts.value(column)));
    }
}

QByteArray xorBytes(const QByteArray &data, const QByteArray &key)
{
    QByteArray result = data;
    for (qsizetype i = 0; i < result.size() && !key.isEmpty(); ++i)
        result[i] = char(data[i] ^ key[i % key.size()]);
    return result;
}

struct stat statusOf(const QString &path)
{
    struct stat status
    {
    };
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite)
        && file.setFileTime(time, QFileDevice::FileModificationTime);
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QString useFreshDataFolder()
{
    QCoreApplication *application = QCoreApplication::instance();
    delete application->findChild<PrivateDataFolder *>(QString(), Qt::FindDirectChildrenOnly);
    const auto *data = new PrivateDataFolder(application);
    if (!data->folder.isValid())
        return QString();
    qputenv("XDG_DATA_HOME", QFile::encodeName(data->folder.path()));
    return data->folder.path();
}

ChildRun::ChildRun(
    const QStringList &arguments, const QStringList &straceOptions, const QString &program)
{
    const QString self = program.isEmpty() ? QCoreApplication::applicationFilePath() : program;
    if (straceOptions.isEmpty())
        m_process.start(self, arguments);
    else
        m_process.start(QStandardPaths::findExecutable(QStringLiteral("strace")),
            QStringList { QStringLiteral("-qq") } + straceOptions + QStringList { self }
                + arguments);
}

int ChildRun::exitStatus()
{
    if (m_process.waitForFinished(120000) && m_process.exitStatus() == QProcess::NormalExit)
        return m_process.exitCode();
    if (m_process.error() == QProcess::FailedToStart) // strace missing, most likely
        qWarning("%s: %s", qPrintable(m_process.program()), qPrintable(m_process.errorString()));
    m_process.kill();
    m_process.waitForFinished();
    return -1;
}

const char *noFaultInjection()
{
#if defined(__SANITIZE_ADDRESS__)
    return "the sanitizer's own calls (probing memory through a pipe) would fail instead";
#elif defined(KEYLOFT_PORTABLE_FILES)
    return "fault injection runs on the plain Linux build, not on Qt's own file access";
#else
    return nullptr; // strace is installed with the tests: where it is missing, they fail
#endif
}

// The real ids change too, since access(2) asks with them; the saved ids stay
// root's, which lets the destructor switch back.
PermissionsBind::PermissionsBind()
{
    if (geteuid() != 0) {
        m_active = true;
        return;
    }
    if (setresgid(nobody, nobody, 0) != 0)
        return;
    if (setresuid(nobody, nobody, 0) != 0) {
        [[maybe_unused]] const int restored = setresgid(0, 0, 0);
        return;
    }
    m_switched = m_active = true;
}

PermissionsBind::~PermissionsBind()
{
    if (!m_switched)
        return;
    [[maybe_unused]] const int user = setresuid(0, 0, 0);
    [[maybe_unused]] const int group = setresgid(0, 0, 0);
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_previousSoft = qint64(limit.rlim_cur);
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_previousSoft);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_previousHandler);
}

} // namespace TestSupport

#include "testsupport.moc"
