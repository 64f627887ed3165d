// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "ui/mainwindow.h"
#include "waylandsession.h"
#include "xsession.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

// Where a control's centre sits in the 700 × 400 window: read off a window
// of the same kind laid out here, with the style and fonts that keyloft gets
// on the same server, but never put on the screen.
class Layout
{
public:
    Layout()
        : m_window(QString(), QStringLiteral("unused"))
    {
        m_window.setAttribute(Qt::WA_DontShowOnScreen);
        m_window.resize(700, 400);
        m_window.show();
    }

    QPoint toolButton(const QString &text) const
    {
        const auto *toolBar = m_window.findChild<QToolBar *>();
        for (QAction *action : toolBar->actions()) {
            if (action->text() == text)
                return centreOf(toolBar->widgetForAction(action));
        }
        return {};
    }
    QPoint generateButton() const { return centreOf(m_window.findChild<QPushButton *>()); }
    QPoint resultField() const { return centreOf(resultEdit()); }
    // Just inside the left and the right end of the result field.
    std::pair<QPoint, QPoint> resultFieldEnds() const
    {
        const QRect area(resultEdit()->mapTo(&m_window, QPoint()), resultEdit()->size());
        return { QPoint(area.left() + 4, area.center().y()),
            QPoint(area.right() - 4, area.center().y()) };
    }

private:
    const QLineEdit *resultEdit() const
    {
        return m_window.findChild<QLineEdit *>(QStringLiteral("generatedPasswordEdit"));
    }
    QPoint centreOf(const QWidget *widget) const
    {
        return widget ? widget->mapTo(&m_window, widget->rect().center()) : QPoint();
    }

    MainWindow m_window;
};

ino_t inodeOf(const QString &path)
{
    struct stat status
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

// A command run as this user without the privilege to look into other
// processes: as root (which CI runs the tests as), with every capability
// dropped.
QStringList withoutPrivilege(const QStringList &command)
{
    if (geteuid() != 0)
        return command;
    return QStringList { QStringLiteral("setpriv"), QStringLiteral("--bounding-set=-all"),
        QStringLiteral("--inh-caps=-all") }
    + command;
}

// Whether such a command can read what process `pid` keeps of itself.
bool readableByTheSameUser(qint64 pid)
{
    const QStringList command
        = withoutPrivilege({ QStringLiteral("cat"), QStringLiteral("/proc/%1/environ").arg(pid) });
    return QProcess::execute(command.first(), command.mid(1)) == 0;
}

} // namespace

// Runs the real keyloft executable on a private X server and uses it as a
// person would: typed keys and mouse clicks only. Every scenario checks the
// exit status and the vault's bytes against an encoding made here.
class TestEndToEnd : public QObject
{
    Q_OBJECT

public:
    explicit TestEndToEnd(XSession &x)
        : x(x)
        , m_session(&x)
    { }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void promptEndsTheRun_data();
    void promptEndsTheRun();
    void vaultLoadsBeforeTheWindowShows_data();
    void vaultLoadsBeforeTheWindowShows();
    void commandLine_data();
    void commandLine();
    void informationOptions_data();
    void informationOptions();
    void wholeRunByKeyboardAndMouse();
    void wholeRunByKeyboardOnly_data();
    void wholeRunByKeyboardOnly();
    void refusedVaultIsNeverOverwritten_data();
    void refusedVaultIsNeverOverwritten();
    void secondWindowIsAskedBeforeReplacing();
    void generatedPasswordReachesTheClipboard();
    void keyloftCannotBeReadOrDumped();
    void renderScreenshot();

private:
    // Starts keyloft with these arguments, or `program` (a shell, say) with them.
    void start(const QStringList &arguments, const QString &program = QString());
    // Types the master password at the prompt titled `title` and confirms it.
    bool enterPassword(
        const QString &password, const QString &title = QStringLiteral("Master Password"));
    // Dismisses the message box titled `title` with Return.
    bool acknowledge(const QString &title);
    QString mainWindow();
    bool addEntry(const QString &window, const QStringList &texts);
    // Closes the window as a person does (Alt+F4) and answers the exit question.
    bool closeAndAnswer(const QString &window, const QString &answerKey);
    // Waits for keyloft to end; its exit code, or -1 when it crashed or hung.
    int exitCode();
    // Starts keyloft on the vault and closes it with Yes, so that the vault is
    // written again from what the load put into the table.
    bool reopenAndSaveOnExit(const QString &vault, const QString &password);
    QString file(const QString &name) const { return m_dir->filePath(name); }
    void shoot(const QString &window, const QString &name);

    void click(const QString &window, QPoint position)
    {
        x.click(window, position.x(), position.y());
    }

    // The display the test runs Keyloft on: the X server, unless the test
    // asks for the Wayland compositor, started the first time it is asked for.
    DisplaySession &session() { return *m_session; }
    WaylandSession *wayland();

    XSession &x;
    DisplaySession *m_session;
    std::unique_ptr<WaylandSession> m_wayland;
    std::unique_ptr<Layout> m_layout;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_keyloft;
    std::unique_ptr<QProcess> m_other; // a second keyloft, set aside while the first runs
};

void TestEndToEnd::initTestCase()
{
    QVERIFY2(QFileInfo(qEnvironmentVariable("KEYLOFT_BINARY")).isExecutable(),
        "KEYLOFT_BINARY must name the keyloft executable");
    m_layout = std::make_unique<Layout>();
    QVERIFY(!m_layout->toolButton(QStringLiteral("Add")).isNull());
}

void TestEndToEnd::init()
{
    m_session = &x;
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
}

void TestEndToEnd::cleanup()
{
    for (std::unique_ptr<QProcess> *process : { &m_keyloft, &m_other }) {
        if (*process && (*process)->state() != QProcess::NotRunning) {
            (*process)->kill();
            (*process)->waitForFinished();
        }
        process->reset();
    }
}

WaylandSession *TestEndToEnd::wayland()
{
    if (!m_wayland) {
        m_wayland = std::make_unique<WaylandSession>();
        if (!m_wayland->start())
            qWarning("cannot start the Wayland session: %s", qPrintable(m_wayland->errorString()));
    }
    return m_wayland.get();
}

void TestEndToEnd::start(const QStringList &arguments, const QString &program)
{
    m_keyloft = std::make_unique<QProcess>();
    QProcessEnvironment environment = session().environment();
    environment.insert(QStringLiteral("HOME"), m_dir->path());
    m_keyloft->setProcessEnvironment(environment);
    m_keyloft->setProcessChannelMode(QProcess::ForwardedChannels);
    m_keyloft->setWorkingDirectory(m_dir->path());
    if (m_session == m_wayland.get())
        QVERIFY(m_wayland->hand(m_dir->path()));
    session().run(*m_keyloft, program.isEmpty() ? qEnvironmentVariable("KEYLOFT_BINARY") : program,
        arguments);
    QVERIFY2(m_keyloft->waitForStarted(), qPrintable(m_keyloft->errorString()));
}

bool TestEndToEnd::enterPassword(const QString &password, const QString &title)
{
    const QString prompt = session().waitForWindow(title);
    if (prompt.isEmpty())
        return false;
    session().activate(prompt);
    session().type(password);
    session().key(QStringLiteral("Return"));
    return session().waitUntilGone(prompt);
}

bool TestEndToEnd::acknowledge(const QString &title)
{
    const QString box = session().waitForWindow(title);
    if (box.isEmpty())
        return false;
    session().activate(box);
    session().key(QStringLiteral("Return"));
    return session().waitUntilGone(box);
}

QString TestEndToEnd::mainWindow()
{
    return session().waitForWindow(QStringLiteral("Keyloft"));
}

bool TestEndToEnd::addEntry(const QString &window, const QStringList &texts)
{
    x.activate(window);
    click(window, m_layout->toolButton(QStringLiteral("Add")));
    QString prompt;
    for (const QString &text : texts) {
        prompt = x.waitForWindow(QStringLiteral("Add Entry"), prompt);
        if (prompt.isEmpty())
            return false;
        x.type(text);
        x.key(QStringLiteral("Return"));
    }
    return x.waitUntilGone(prompt);
}

bool TestEndToEnd::closeAndAnswer(const QString &window, const QString &answerKey)
{
    session().close(window);
    const QString question = session().waitForWindow(QStringLiteral("Exit"));
    if (question.isEmpty())
        return false;
    session().key(answerKey);
    return session().waitUntilGone(question);
}

int TestEndToEnd::exitCode()
{
    const bool running = m_keyloft->state() != QProcess::NotRunning;
    if ((running && !m_keyloft->waitForFinished(15000))
        || m_keyloft->exitStatus() != QProcess::NormalExit)
        return -1;
    return m_keyloft->exitCode();
}

bool TestEndToEnd::reopenAndSaveOnExit(const QString &vault, const QString &password)
{
    start({ vault });
    if (!enterPassword(password) || !acknowledge(QStringLiteral("Loaded")))
        return false;
    const QString window = mainWindow();
    return !window.isEmpty() && closeAndAnswer(window, QStringLiteral("y"))
        && acknowledge(QStringLiteral("Saved")) && exitCode() == 0;
}

void TestEndToEnd::shoot(const QString &window, const QString &name)
{
    QVERIFY(x.screenshot(window, file(name + QStringLiteral(".png"))));
    QVERIFY(QFileInfo(file(name + QStringLiteral(".png"))).size() > 0);
}

void TestEndToEnd::promptEndsTheRun_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addRow("cancelled") << "Escape";
    QTest::addRow("confirmed empty") << "Return";
}

// Nothing is opened, shown or written when no master password is given.
void TestEndToEnd::promptEndsTheRun()
{
    QFETCH(QString, keys);
    const QString vault = file(QStringLiteral("vault.pwdb"));
    const QByteArray content = xorBytes("a\tb\tc\n", "pw");
    QVERIFY(writeBytes(vault, content));

    start({ vault });
    const QString prompt = x.waitForWindow(QStringLiteral("Master Password"));
    QVERIFY(!prompt.isEmpty());
    shoot(prompt, QStringLiteral("prompt"));
    x.activate(prompt);
    x.key(keys);
    while (m_keyloft->state() == QProcess::Running && !m_keyloft->waitForFinished(50)) {
        for (const char *title : { "Keyloft", "Loaded", "Error" })
            QVERIFY2(x.visibleWindows(QLatin1String(title)).isEmpty(), title);
    }
    QCOMPARE(exitCode(), 0);
    QCOMPARE(readBytes(vault), content);
}

// The running program, from its first prompt on, cannot be read or traced
// by other programs of its user (run as one of them itself), and writes no
// core file.
void TestEndToEnd::keyloftCannotBeReadOrDumped()
{
    if (geteuid() == 0 && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("setpriv is needed");
    const QStringList sleeping
        = withoutPrivilege({ QStringLiteral("sleep"), QStringLiteral("60") });
    QProcess control;
    control.start(sleeping.first(), sleeping.mid(1));
    QVERIFY(control.waitForStarted());
    // Until setpriv has become sleep, it still holds its privileges.
    QTRY_COMPARE(
        readBytes(QStringLiteral("/proc/%1/comm").arg(control.processId())), QByteArray("sleep\n"));
    const bool telling = readableByTheSameUser(control.processId());
    control.kill();
    control.waitForFinished();
    QVERIFY2(telling, "the check cannot tell: another process cannot be read either");

    const QStringList keyloft = withoutPrivilege({ qEnvironmentVariable("KEYLOFT_BINARY") });
    start(keyloft.mid(1), keyloft.first());
    QVERIFY(!x.waitForWindow(QStringLiteral("Master Password")).isEmpty());
    QVERIFY(!readableByTheSameUser(m_keyloft->processId()));
    const QByteArray limits
        = readBytes(QStringLiteral("/proc/%1/limits").arg(m_keyloft->processId()));
    QVERIFY2(limits.simplified().contains("Max core file size 0 0 bytes"), limits.constData());
    x.key(QStringLiteral("Escape"));
    QCOMPARE(exitCode(), 0);
}

void TestEndToEnd::vaultLoadsBeforeTheWindowShows_data()
{
    QTest::addColumn<QByteArray>("scale");
    QTest::addColumn<QSize>("size"); // in the screen's pixels, the frame left out

    QTest::addRow("700 x 400") << QByteArray() << QSize(700, 400);
    // The 1280 x 800 screen is 640 x 400 at twice the scale: the window fits.
    QTest::addRow("twice the scale, bounded by the screen") << QByteArray("2") << QSize(1280, 800);
}

void TestEndToEnd::vaultLoadsBeforeTheWindowShows()
{
    QFETCH(QByteArray, scale);
    QFETCH(QSize, size);
    const QString vault = file(QStringLiteral("vault.pwdb"));
    QVERIFY(writeBytes(vault, xorBytes("mail\talice\tpw1\nbank\tbob\tpw2\n", "sésame")));

    if (!scale.isEmpty())
        qputenv("QT_SCALE_FACTOR", scale);
    start({ vault });
    qunsetenv("QT_SCALE_FACTOR");
    QVERIFY(enterPassword(QStringLiteral("sésame")));
    QVERIFY(!x.waitForWindow(QStringLiteral("Loaded")).isEmpty());
    QVERIFY(x.visibleWindows(QStringLiteral("Keyloft")).isEmpty());
    QVERIFY(acknowledge(QStringLiteral("Loaded")));
    const QString window = mainWindow();
    QVERIFY(!window.isEmpty());
    QCOMPARE(x.windowSize(window), size);
    shoot(window, QStringLiteral("loaded"));
    QVERIFY(closeAndAnswer(window, QStringLiteral("n")));
    QCOMPARE(exitCode(), 0);
}

void TestEndToEnd::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments"); // "VAULT" stands for the vault's path
    QTest::addColumn<bool>("loads");
    QTest::addRow("toolkit option before the path")
        << QStringList { "-style", "Fusion", "VAULT" } << true;
    QTest::addRow("later arguments ignored") << QStringList { "VAULT", "other.pwdb" } << true;
    QTest::addRow("empty first argument, as if none") << QStringList { "", "VAULT" } << false;
    QTest::addRow("-- ends the options") << QStringList { "--", "VAULT" } << true;
}

// The vault is the first argument the toolkit leaves, and only that one.
void TestEndToEnd::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, loads);
    const QString vault = file(QStringLiteral("vault.pwdb"));
    const QByteArray content = xorBytes("a\tb\tc\n", "pw");
    QVERIFY(writeBytes(vault, content));
    arguments.replaceInStrings(QStringLiteral("VAULT"), vault);

    start(arguments);
    QVERIFY(enterPassword(QStringLiteral("pw")));
    if (loads)
        QVERIFY(acknowledge(QStringLiteral("Loaded")));
    const QString window = mainWindow();
    QVERIFY(!window.isEmpty());
    QVERIFY(x.visibleWindows(QStringLiteral("Loaded")).isEmpty());
    QVERIFY(closeAndAnswer(window, QStringLiteral("n")));
    QCOMPARE(exitCode(), 0);
    QCOMPARE(readBytes(vault), content);
    QCOMPARE(filesIn(m_dir->path()), QStringList { "vault.pwdb" });
}

void TestEndToEnd::informationOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("errors");
    QTest::addColumn<QString>("languages"); // LANGUAGE: the user's, in order

    const QByteArray usage = "Usage: keyloft [VAULT]\n"
                             "VAULT is the vault file to open at start; Save creates it when it "
                             "is missing.\n"
                             "-- ends the options: what follows is the vault, even if it starts "
                             "with -.\n"
                             "More in the manual page: man keyloft\n";
    QTest::addRow("--help") << QStringList { "--help" } << 0 << usage << QByteArray() << QString();
    QTest::addRow("-h") << QStringList { "-h" } << 0 << usage << QByteArray() << QString();
    QTest::addRow("after toolkit options")
        << QStringList { "-style", "Fusion", "--help" } << 0 << usage << QByteArray() << QString();
    QTest::addRow("--version") << QStringList { "--version" } << 0
                               << QByteArray("keyloft " KEYLOFT_VERSION "\n") << QByteArray()
                               << QString();
    // Never a vault named after a mistyped option.
    QTest::addRow("unknown option") << QStringList { "-v" } << 2 << QByteArray()
                                    << QByteArray("keyloft: unknown option -v\n"
                                                  "Usage: keyloft [VAULT]\n")
                                    << QString();
    QTest::addRow("unknown option after the vault")
        << QStringList { "vault.pwdb", "--verbose" } << 2 << QByteArray()
        << QByteArray("keyloft: unknown option --verbose\nUsage: keyloft [VAULT]\n") << QString();
    QTest::addRow("--help in German")
        << QStringList { "--help" } << 0
        << QByteArray("Aufruf: keyloft [TRESOR]\n"
                      "TRESOR ist die Tresordatei, die beim Start geöffnet wird; Speichern legt "
                      "sie an, wenn sie fehlt.\n"
                      "-- beendet die Optionen: Was folgt, ist der Tresor, auch wenn es mit - "
                      "beginnt.\n"
                      "Mehr in der Handbuchseite: man keyloft\n")
        << QByteArray() << "de";
    QTest::addRow("unknown option in French")
        << QStringList { "-v" } << 2 << QByteArray()
        << QByteArray("keyloft\u00a0: option inconnue -v\nUsage\u00a0: keyloft [COFFRE]\n")
        << "es:fr";
}

// Answered before the master password is asked for: the information on
// standard output, an unknown option on standard error with status 2.
void TestEndToEnd::informationOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, errors);
    QFETCH(QString, languages);

    QProcess keyloft;
    QProcessEnvironment environment = x.environment();
    environment.insert(QStringLiteral("LANGUAGE"), languages);
    keyloft.setProcessEnvironment(environment);
    keyloft.start(qEnvironmentVariable("KEYLOFT_BINARY"), arguments);
    QVERIFY(keyloft.waitForFinished(10000));
    QCOMPARE(keyloft.exitStatus(), QProcess::NormalExit);
    QCOMPARE(keyloft.exitCode(), status);
    QCOMPARE(keyloft.readAllStandardOutput(), output);
    // Qt may warn there too, before the program's own lines.
    const QByteArray errorOutput = keyloft.readAllStandardError();
    QVERIFY2(errors.isEmpty() ? !errorOutput.contains("keyloft:") : errorOutput.endsWith(errors),
        errorOutput.constData());
    QVERIFY(x.visibleWindows(QStringLiteral("Master Password")).isEmpty());
    QCOMPARE(filesIn(m_dir->path()), QStringList());
}

// Add two entries, save to the path from the command line without a dialog,
// quit without saving again; the next run finds them, and Yes on exit
// rewrites the same bytes.
void TestEndToEnd::wholeRunByKeyboardAndMouse()
{
    const QString vault = file(QStringLiteral("new.pwdb"));
    const QByteArray expected
        = xorBytes("github\talice\ts3cret!\nmail\tbob@example.org\tpa ss\n", "correct horse");

    start({ vault });
    QVERIFY(enterPassword(QStringLiteral("correct horse")));
    QVERIFY(acknowledge(QStringLiteral("Error"))); // the file does not exist yet
    const QString window = mainWindow();
    QVERIFY(!window.isEmpty());
    QVERIFY(addEntry(window, { "github", "alice", "s3cret!" }));
    QVERIFY(addEntry(window, { "mail", "bob@example.org", "pa ss" }));
    shoot(window, QStringLiteral("two-entries"));
    click(window, m_layout->toolButton(QStringLiteral("Save")));
    QVERIFY(
        enterPassword(QStringLiteral("correct horse"), QStringLiteral("Confirm Master Password")));
    QVERIFY(acknowledge(QStringLiteral("Saved")));
    QCOMPARE(readBytes(vault), expected);
    QVERIFY(closeAndAnswer(window, QStringLiteral("n")));
    QCOMPARE(exitCode(), 0);

    const ino_t firstInode = inodeOf(vault);
    QVERIFY(reopenAndSaveOnExit(vault, QStringLiteral("correct horse")));
    QCOMPARE(readBytes(vault), expected);
    QVERIFY(inodeOf(vault) != firstInode); // written anew, not left alone
}

// Without a mouse: Tab from the table to the toolbar, Space to press a
// button, the prompts and the file dialog typed into.
void TestEndToEnd::wholeRunByKeyboardOnly_data()
{
    QTest::addColumn<bool>("onWayland");
    QTest::addRow("X11") << false;
    QTest::addRow("Wayland, sway") << true;
}

// The master password, an entry added, a password generated and selected,
// the vault saved, and its entry back at the next start, all from the
// keyboard, on X11 and natively on Wayland. The generated password reaches
// the clipboard marked as a secret, and selecting it puts it on the primary
// selection marked too: on Wayland, where every offer is seen at once by
// clipboard managers, in exactly one offer, never first unmarked.
void TestEndToEnd::wholeRunByKeyboardOnly()
{
    QFETCH(bool, onWayland);
    if (onWayland) {
        m_session = wayland();
        QVERIFY2(m_wayland->errorString().isEmpty(), qPrintable(m_wayland->errorString()));
    }
    const QString vault = file(QStringLiteral("keys.pwdb"));
    const QByteArray expected = xorBytes("github\talice\ts3cret!\n", "pw");
    DisplaySession &display = session();

    start({});
    QVERIFY(enterPassword(QStringLiteral("pw")));
    const QString window = mainWindow();
    QVERIFY(!window.isEmpty());
    display.activate(window);
    display.key(QStringLiteral("Tab")); // from the table to Add
    display.key(QStringLiteral("space"));
    QString prompt;
    for (const char *text : { "github", "alice", "s3cret!" }) {
        prompt = display.waitForWindow(QStringLiteral("Add Entry"), prompt);
        QVERIFY(!prompt.isEmpty());
        display.type(QString::fromLatin1(text));
        display.key(QStringLiteral("Return"));
    }
    QVERIFY(display.waitUntilGone(prompt));
    for (int i = 0; i < 3; ++i) // Add, Edit, Delete, Save
        display.key(QStringLiteral("Tab"));
    display.key(QStringLiteral("space"));
    const QString dialog = display.waitForWindow(QStringLiteral("Save Passwords"));
    QVERIFY(!dialog.isEmpty());
    display.type(vault);
    display.key(QStringLiteral("Return"));
    QVERIFY(enterPassword(QStringLiteral("pw"), QStringLiteral("Confirm Master Password")));
    QVERIFY(acknowledge(QStringLiteral("Saved")));
    QCOMPARE(readBytes(vault), expected);

    const int offersBefore = onWayland ? m_wayland->primaryOffers() : 0;
    for (int i = 0; i < 2; ++i) // from Save to Load, then Generate Password
        display.key(QStringLiteral("Tab"));
    display.key(QStringLiteral("space"));
    QVERIFY(acknowledge(QStringLiteral("Generated Password")));
    const QString text
        = onWayland ? QStringLiteral("text/plain;charset=utf-8") : QStringLiteral("UTF8_STRING");
    const QByteArray password = display.clipboard(text);
    QCOMPARE(password.size(), 16);
    for (int i = 0; i < 2; ++i) // the length, the generated password
        display.key(QStringLiteral("Tab"));
    display.key(QStringLiteral("ctrl+a"));
    for (const QString &selection : { QStringLiteral("clipboard"), QStringLiteral("primary") }) {
        QTRY_COMPARE(display.clipboard(text, selection), password);
        QCOMPARE(display.clipboard(QStringLiteral("x-kde-passwordManagerHint"), selection),
            QByteArray("secret"));
        QCOMPARE(display.clipboard(QStringLiteral("application/x-copyq-hidden"), selection),
            QByteArray("1"));
    }
    if (onWayland) {
        QTRY_COMPARE(m_wayland->primaryOffers(), offersBefore + 1);
        QTRY_COMPARE(m_wayland->primaryMarks(QStringLiteral("x-kde-passwordManagerHint")).size(),
            offersBefore + 1);
        QTRY_COMPARE(m_wayland->primaryMarks(QStringLiteral("application/x-copyq-hidden")).size(),
            offersBefore + 1);
    }
    QVERIFY(closeAndAnswer(window, QStringLiteral("n")));
    QCOMPARE(exitCode(), 0);

    QVERIFY(reopenAndSaveOnExit(vault, QStringLiteral("pw"))); // the entry is back
    QCOMPARE(readBytes(vault), expected);
}

void TestEndToEnd::refusedVaultIsNeverOverwritten_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("password"); // the vault's is "right"

    QTest::addRow("wrong master password") << QByteArray("vault.pwdb") << "wrong";
    // Decoded under UTF-8, the name would be another one, which a save creates.
    QTest::addRow("name not valid in the locale's encoding")
        << QByteArray("caf\xe9.pwdb") << "right";
}

// Keyloft refuses the vault and forgets it: Yes on exit asks for a file
// instead of writing the vault or a file of another name.
void TestEndToEnd::refusedVaultIsNeverOverwritten()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, password);

    const QByteArray vault = QFile::encodeName(m_dir->path()) + '/' + name;
    const QByteArray content = xorBytes("mail\talice\tpw1\nbank\tbob\tpw2\n", "right");
    QVERIFY(writeBytes(file(QStringLiteral("new")), content));
    QCOMPARE(
        ::rename(QFile::encodeName(file(QStringLiteral("new"))).constData(), vault.constData()), 0);

    // The shell hands keyloft the name's bytes as they are.
    start({ QStringLiteral("-c"), QStringLiteral("exec \"$0\" *.pwdb"),
              qEnvironmentVariable("KEYLOFT_BINARY") },
        QStringLiteral("/bin/sh"));
    QVERIFY(enterPassword(password));
    QVERIFY(acknowledge(QStringLiteral("Error"))); // before the window
    const QString window = mainWindow();
    QVERIFY(!window.isEmpty());
    QVERIFY(closeAndAnswer(window, QStringLiteral("y")));
    const QString dialog = x.waitForWindow(QStringLiteral("Save Passwords"));
    QVERIFY2(!dialog.isEmpty(), "the save must ask for a file instead of overwriting the vault");
    shoot(dialog, QStringLiteral("save-dialog"));
    x.key(QStringLiteral("Escape"));
    QVERIFY(x.waitUntilGone(dialog));
    QTRY_COMPARE(x.activeWindow(), window); // back at its window, which stays open
    QCOMPARE(m_keyloft->state(), QProcess::Running);
    QCOMPARE(x.visibleWindows(QStringLiteral("Keyloft")), QStringList { window });
    QVERIFY(closeAndAnswer(window, QStringLiteral("n")));
    QCOMPARE(exitCode(), 0);
    // Renamed back to a name that Qt can list, open and remove.
    QCOMPARE(
        ::rename(vault.constData(), QFile::encodeName(file(QStringLiteral("new"))).constData()), 0);
    QCOMPARE(readBytes(file(QStringLiteral("new"))), content);
    QCOMPARE(filesIn(m_dir->path()).filter(QRegularExpression(QStringLiteral("^[^.]"))),
        QStringList({ "new", "save-dialog.png" })); // no file of another name
}

// Two keyloft processes on one vault: the second save is asked before it
// replaces what the first one saved, and Return, the default, merges: each
// one's new entry is kept.
void TestEndToEnd::secondWindowIsAskedBeforeReplacing()
{
    const QString vault = file(QStringLiteral("vault.pwdb"));
    QVERIFY(writeBytes(vault, xorBytes("old\tu\tp\n", "pw")));
    QString windows[2];
    for (QString &window : windows) {
        std::swap(m_keyloft, m_other);
        start({ vault });
        QVERIFY(enterPassword(QStringLiteral("pw")));
        QVERIFY(acknowledge(QStringLiteral("Loaded")));
        window = x.waitForWindow(QStringLiteral("Keyloft"), windows[0]);
        QVERIFY(!window.isEmpty());
    }

    QVERIFY(addEntry(windows[0], { "first", "window", "entry" }));
    click(windows[0], m_layout->toolButton(QStringLiteral("Save")));
    QVERIFY(enterPassword(QStringLiteral("pw"), QStringLiteral("Confirm Master Password")));
    QVERIFY(acknowledge(QStringLiteral("Saved")));
    const QByteArray first = xorBytes("old\tu\tp\nfirst\twindow\tentry\n", "pw");
    QCOMPARE(readBytes(vault), first);

    x.activate(windows[1]);
    QVERIFY(addEntry(windows[1], { "second", "window", "entry" }));
    click(windows[1], m_layout->toolButton(QStringLiteral("Save")));
    const QString question = x.waitForWindow(QStringLiteral("Vault Changed"));
    QVERIFY2(!question.isEmpty(), "the second save must ask before replacing the vault");
    shoot(question, QStringLiteral("vault-changed"));
    QVERIFY(acknowledge(QStringLiteral("Vault Changed"))); // Return answers the default, Merge
    QVERIFY(acknowledge(QStringLiteral("Saved")));
    const QByteArray both
        = xorBytes("old\tu\tp\nfirst\twindow\tentry\nsecond\twindow\tentry\n", "pw");
    QCOMPARE(readBytes(vault), both);

    for (const QString &window : { windows[1], windows[0] }) { // the one started last first
        QVERIFY(closeAndAnswer(window, QStringLiteral("n")));
        QCOMPARE(exitCode(), 0);
        std::swap(m_keyloft, m_other);
    }
    QCOMPARE(readBytes(vault), both);
}

void TestEndToEnd::generatedPasswordReachesTheClipboard()
{
    start({});
    QVERIFY(enterPassword(QStringLiteral("pw")));
    const QString window = mainWindow();
    QVERIFY(!window.isEmpty());
    click(window, m_layout->generateButton());
    const QString box = x.waitForWindow(QStringLiteral("Generated Password"));
    QVERIFY(!box.isEmpty());
    const QByteArray password = x.clipboard();
    QVERIFY(x.clipboard(QStringLiteral("TARGETS")).contains("x-kde-passwordManagerHint"));
    QVERIFY(acknowledge(QStringLiteral("Generated Password")));

    QCOMPARE(password.size(), 16);

    // The field shows the same password: copy it from there by hand. The
    // copy, and the X selection that selecting it makes, are marked secret.
    click(window, m_layout->resultField());
    x.key(QStringLiteral("ctrl+a ctrl+c"));
    QTRY_COMPARE(x.clipboard(), password);
    // A mouse drag across the field puts the text on the X selection.
    const auto [left, right] = m_layout->resultFieldEnds();
    x.drag(window, left.x(), left.y(), right.x(), right.y());
    QCOMPARE(x.clipboard(QStringLiteral("UTF8_STRING"), QStringLiteral("primary")), password);
    for (const QString &selection : { QStringLiteral("clipboard"), QStringLiteral("primary") }) {
        const QByteArray targets = x.clipboard(QStringLiteral("TARGETS"), selection);
        QVERIFY2(targets.contains("x-kde-passwordManagerHint")
                && targets.contains("application/x-copyq-hidden"),
            qPrintable(selection + QStringLiteral(": ") + QString::fromLatin1(targets)));
    }
    QVERIFY(closeAndAnswer(window, QStringLiteral("n")));
    QCOMPARE(exitCode(), 0);
}

// Not a test: renders the README's picture when KEYLOFT_SCREENSHOT names a file.
void TestEndToEnd::renderScreenshot()
{
    const QString target = qEnvironmentVariable("KEYLOFT_SCREENSHOT");
    if (target.isEmpty())
        QSKIP("set KEYLOFT_SCREENSHOT to render the screenshot");
    const QString vault = file(QStringLiteral("sample.pwdb"));
    QVERIFY(writeBytes(vault,
        xorBytes("mail.example.com\talice\tTr0ub4dor&3\n"
                 "bank\talice.smith\tcorrect horse battery staple\n"
                 "github.com\tasmith\tx9!Qz#w2$Lp7\n",
            "sample")));
    start({ vault });
    QVERIFY(enterPassword(QStringLiteral("sample")));
    QVERIFY(acknowledge(QStringLiteral("Loaded")));
    const QString window = mainWindow();
    QVERIFY(!window.isEmpty());
    QTRY_COMPARE(x.activeWindow(), window); // drawn with the focus, as a person sees it
    QVERIFY(x.screenshot(window, target));
    QVERIFY(closeAndAnswer(window, QStringLiteral("n")));
    QCOMPARE(exitCode(), 0);
}

int main(int argc, char *argv[])
{
    TestSupport::startLibraries();
    XSession x;
    if (!x.start()) {
        std::fprintf(stderr, "cannot start the X server: %s\n", qPrintable(x.errorString()));
        return 1;
    }
    qputenv("DISPLAY", x.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestEndToEnd test(x);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endtoend.moc"
