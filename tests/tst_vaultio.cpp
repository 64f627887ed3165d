// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "vault/vaultio.h"
#include "vault/vaultsnapshot.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

const char saveStarts[] = "/keyloft-save-starts";
const QByteArray oldVault = xorBytes("mail\talice\tpw\nbank\tbob\t1234\n", "key");
// Shorter than the old: a write in place cut short leaves a tail of the old.
const QByteArray newVault = xorBytes("bank\tbob\t4321\n", "key");
const QByteArray otherVault = xorBytes("written\tby\tanother program\n", "key");

// The exit status of the save in a child process when it would ask the
// user about a changed file, and when it could not look at the file.
constexpr int asksAboutChange = 10;
constexpr int cannotLook = 11;

// What another program renames over the vault when the save in the child
// receives SIGUSR1.
char otherProgramsFile[4096];
char vaultFile[4096];

void renameOverTheVault(int)
{
    ::rename(otherProgramsFile, vaultFile);
}

// Run in a process of its own under strace: the save of a window that last
// saw the old vault. A stale stamp makes the comparison read the file. The
// exit status is the outcome: asksAboutChange or cannotLook, otherwise the
// WriteOutcome.
int saveInChild(const char *vault)
{
    const QString path = QFile::decodeName(vault);
    qstrncpy(vaultFile, vault, sizeof vaultFile);
    qstrncpy(otherProgramsFile,
        QFile::encodeName(QFileInfo(path).dir().filePath(QStringLiteral("other"))).constData(),
        sizeof otherProgramsFile);
    std::signal(SIGUSR1, renameOverTheVault);
    VaultSnapshot seen = VaultSnapshot::of(oldVault, FileStamp());
    ::access(saveStarts, F_OK); // marks where the save starts in the trace
    VaultLocation location(path);
    const std::lock_guard lock(location);
    FoundFile found;
    switch (checkVault(location, seen, nullptr, &found).outcome) {
    case VaultCheck::Changed:
        return asksAboutChange;
    case VaultCheck::Unreadable:
        return cannotLook;
    case VaultCheck::Unchanged:
        break;
    }
    return int(location.write(newVault, &found).outcome);
}

// Run in a process of its own under strace: what the next load of the
// vault first finishes of an interrupted save. The exit status is the
// Recovery outcome.
int recoverInChild(const char *vault)
{
    ::access(saveStarts, F_OK);
    VaultLocation location(QFile::decodeName(vault));
    const std::lock_guard lock(location);
    return int(location.finishInterruptedSave().outcome);
}

// The file and descriptor calls of the save in a trace, each named as
// strace counts it: the call and its occurrence since the process started.
QList<QPair<QByteArray, int>> callsOfTheSave(const QByteArray &trace)
{
    QHash<QByteArray, int> counts;
    QList<QPair<QByteArray, int>> calls;
    bool started = false;
    for (const QByteArray &line : trace.split('\n')) {
        const QByteArray name = line.left(std::max<qsizetype>(line.indexOf('('), 0));
        if (name.isEmpty())
            continue;
        const int occurrence = ++counts[name];
        if (started && name != "exit_group")
            calls.append({ name, occurrence });
        started = started || line.contains(saveStarts);
    }
    return calls;
}

// The first call of the save in a trace that renames over, or removes, a
// name whose file it still holds a descriptor of: FUSE file systems then
// hide the open file under a name of their own first, in a step of its own,
// and a power cut between the two leaves that name for good, or no file at
// the vault's name. An exchange of two names hides nothing. Empty when there
// is none.
QByteArray callOnAnOpenFile(const QByteArray &trace)
{
    QHash<QByteArray, QByteArrayList> open; // the descriptors of each name
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]*)\""));
    bool started = false;
    for (const QByteArray &line : trace.split('\n')) {
        started = started || line.contains(saveStarts);
        QByteArrayList names;
        for (const auto &match : quoted.globalMatch(QString::fromLatin1(line)))
            names << match.captured(1).toLatin1();
        const QByteArray result = line.mid(line.lastIndexOf("= ") + 2);
        const QByteArray call = line.left(std::max<qsizetype>(line.indexOf('('), 0));
        // A descriptor is closed even where close(2) reports an error.
        if (!started || (result.startsWith('-') && call != "close"))
            continue;
        if (call == "openat" && !names.isEmpty()) {
            open[names.first()] << result.trimmed();
        } else if (call == "linkat" && names.value(0).startsWith("/proc/self/fd/")) {
            open[names.last()] << names.first().mid(14);
        } else if (call == "close") {
            for (QByteArrayList &fds : open)
                fds.removeAll(line.mid(6, line.indexOf(')') - 6));
        } else if ((call.startsWith("renameat") || call == "unlinkat") && !names.isEmpty()) {
            if (line.contains("RENAME_EXCHANGE")) {
                std::swap(open[names.first()], open[names.last()]);
                continue;
            }
            if (!open.value(names.last()).isEmpty())
                return line;
            if (call != "unlinkat")
                open[names.last()] = open.take(names.first());
        }
    }
    return {};
}

} // namespace

class TestVaultIo : public QObject
{
    Q_OBJECT

private slots:
    void stampIsTrustedOnlyWhenBothTimesAreOld_data();
    void stampIsTrustedOnlyWhenBothTimesAreOld();
    void crashMidSaveKeepsTheOldVault();
    void renameJustBeforeTheSaveIsKept_data();
    void renameJustBeforeTheSaveIsKept();
    void anyFailingCallKeepsTheOldVault_data();
    void anyFailingCallKeepsTheOldVault();
    void trashTakesOnlyWhatWasApproved_data();
    void trashTakesOnlyWhatWasApproved();
};

void TestVaultIo::stampIsTrustedOnlyWhenBothTimesAreOld_data()
{
    QTest::addColumn<bool>("setBack"); // the modification time set back a day
    QTest::addRow("modification time set back, change time recent") << true;
    QTest::addRow("seen just after both times") << false;
}

// A program may set the modification time back (cp -p, touch -r); the change
// time it cannot. Where timestamps are coarse, a rewrite of the same size
// within one tick keeps the stamp, so a stamp is trusted only once both its
// times are older than the coarsest tick before the window looked: until
// then, the file is read.
void TestVaultIo::stampIsTrustedOnlyWhenBothTimesAreOld()
{
    QFETCH(bool, setBack);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString vault = dir.filePath(QStringLiteral("vault.pwdb"));
    QVERIFY(writeBytes(vault, oldVault));
    QVERIFY(!setBack || setModified(vault, QDateTime::currentDateTime().addDays(-1)));

    // What a window saw just before a rewrite of the same size in the same
    // tick: the stamp the file still has, with the bytes it had before.
    const std::optional<FileStamp> stamp = VaultLocation(vault).stamp().stamp;
    QVERIFY(stamp);
    QByteArray before = oldVault;
    before[0] = char(before[0] ^ 1);
    VaultSnapshot seen = VaultSnapshot::of(before, *stamp);
    if (!setBack) // seen a nanosecond after the file's last change
        seen.takenAt = std::max(stamp->modified, stamp->changed) + 1;
    QCOMPARE(checkVault(VaultLocation(vault), seen).outcome, VaultCheck::Changed);
}

// A process killed while writing (here by the file-size signal, as abrupt as
// a power cut for the file) leaves the old vault whole: the new bytes only
// ever went to the temporary file beside it.
void TestVaultIo::crashMidSaveKeepsTheOldVault()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString vault = dir.filePath(QStringLiteral("vault.pwdb"));
    const QByteArray old = xorBytes("mail\talice\tpw\n", "key");
    QVERIFY(writeBytes(vault, old));

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit { 4096, RLIM_INFINITY };
        setrlimit(RLIMIT_FSIZE, &limit);
        VaultLocation(vault).write(QByteArray(1 << 20, 'x'));
        _exit(0); // not reached: the write past the limit kills the process
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ, "the save was not cut short");
    QCOMPARE(readBytes(vault), old);
}

void TestVaultIo::renameJustBeforeTheSaveIsKept_data()
{
    QTest::addColumn<bool>("existed"); // a vault was there when the save looked
    QTest::addColumn<bool>("exchange"); // the file system knows renameat2's flags
    QTest::addRow("replaced by exchange") << true << true;
    QTest::addRow("replaced on a file system without exchange") << true << false;
    QTest::addRow("created where there was none") << false << true;
    QTest::addRow("created on a file system without exchange") << false << false;
}

// Another program (a sync tool, an editor) renames its file over the vault
// after the save's last look at it, just before the new file takes the
// vault's name: the save puts nothing in place, and the name keeps that
// program's file.
void TestVaultIo::renameJustBeforeTheSaveIsKept()
{
    QFETCH(bool, existed);
    QFETCH(bool, exchange);
    if (const char *reason = noFaultInjection())
        QSKIP(reason);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString vault = dir.filePath(QStringLiteral("vault.pwdb"));
    QVERIFY(!existed || writeBytes(vault, oldVault));
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("other")), otherVault));

    // The new file is complete and linked into the folder just before it
    // takes the vault's name: the signal lands there.
    QStringList options { QStringLiteral("-e"), QStringLiteral("inject=linkat:signal=SIGUSR1") };
    if (!exchange)
        options << QStringLiteral("-e") << QStringLiteral("inject=renameat2:error=EINVAL");
    QCOMPARE(ChildRun({ QStringLiteral("--save-child"), vault }, options).exitStatus(),
        int(WriteOutcome::Changed));
    QCOMPARE(readBytes(vault), otherVault);
    QCOMPARE(filesIn(dir.path()), QStringList { "vault.pwdb" });
}

void TestVaultIo::anyFailingCallKeepsTheOldVault_data()
{
    QTest::addColumn<QString>("vault");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("exchange"); // the file system knows renameat2's flags
    // Calls the save without a fault makes in this order, others between:
    // the new bytes synced before they take the vault's place, the folder
    // synced after that, or, in place, a journal synced with its folder
    // before the vault is written, and removed once it is synced.
    QTest::addColumn<QByteArrayList>("order");

    const QByteArrayList replace = { "fdatasync", "renameat2", "fsync" };
    const QByteArrayList inPlace
        = { "pwrite64", "fdatasync", "fsync", "pwrite64", "ftruncate", "fdatasync", "unlinkat" };
    for (const char *fault : { "error=EIO", "signal=SIGKILL" }) {
        QTest::addRow("replaced, %s", fault) << "replaced" << fault << true << replace;
        QTest::addRow("replaced without exchange, %s", fault)
            << "replaced" << fault << false
            << QByteArrayList { "fdatasync", "renameat2", "renameat", "fsync" };
        QTest::addRow("new vault, %s", fault)
            << "new" << fault << true
            << QByteArrayList { "fdatasync", "linkat", "renameat2", "fsync" };
        QTest::addRow("owner kept, %s", fault) << "owner kept" << fault << true << replace;
        QTest::addRow("extended attribute kept, %s", fault)
            << "attribute kept" << fault << true << replace;
        QTest::addRow("hard link, in place, %s", fault) << "hard link" << fault << true << inPlace;
        QTest::addRow("hard link in another folder, loaded through it, %s", fault)
            << "hard link elsewhere" << fault << true << inPlace;
        QTest::addRow("locked folder, in place, journal in the data folder, %s", fault)
            << "locked folder" << fault << true << inPlace;
    }
}

// Every file or descriptor call the save makes (the lock, the comparison's
// read, the temporary file, keeping the owner and the attributes, the
// exchange, the syncs, the journal and the write in place) fails in turn,
// or the process is killed there. After it, and what the next load or save
// finishes of an interrupted one, the vault holds the old or the new bytes,
// "Saved" comes only with the new ones, the old ones stay only with a
// message (or a killed process), a failure is never taken for a change made
// elsewhere, and nothing is left behind.
void TestVaultIo::anyFailingCallKeepsTheOldVault()
{
    QFETCH(QString, vault);
    QFETCH(QString, fault);
    QFETCH(bool, exchange);
    QFETCH(QByteArrayList, order);
    if (const char *reason = noFaultInjection())
        QSKIP(reason);
    const bool locked = vault == QLatin1String("locked folder");
    if ((vault == QLatin1String("owner kept") || locked) && geteuid() != 0)
        QSKIP("another user's files need root");

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString folder = locked ? dir.filePath(QStringLiteral("locked")) : dir.path();
    const QString path = QDir(folder).filePath(QStringLiteral("vault.pwdb"));
    const bool elsewhere = vault == QLatin1String("hard link elsewhere");
    const bool linked = elsewhere || vault == QLatin1String("hard link");
    const QString link = dir.filePath(
        elsewhere ? QStringLiteral("other/vault.pwdb") : QStringLiteral("link.pwdb"));
    const QString trace = dir.filePath(QStringLiteral("trace"));
    const auto prepare = [&] {
        QFile::remove(link);
        QFile::remove(path);
        if (vault == QLatin1String("new"))
            return;
        QVERIFY(QDir().mkpath(folder)
            && QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
        QVERIFY(writeBytes(path, oldVault));
        if (vault == QLatin1String("owner kept"))
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        if (vault == QLatin1String("attribute kept"))
            QCOMPARE(::setxattr(QFile::encodeName(path).constData(), "user.note", "kept", 4, 0), 0);
        // A vault shared by a group: its journal is the group's too.
        if (linked)
            QVERIFY(QDir().mkpath(QFileInfo(link).path())
                && ::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData())
                    == 0
                && ::chmod(QFile::encodeName(path).constData(), 0660) == 0
                && (geteuid() != 0
                    || ::chown(QFile::encodeName(path).constData(), -1, 65534) == 0));
        if (locked)
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x6666))
                && QFile::setPermissions(folder, QFileDevice::Permissions(0x5555)));
    };
    // The save in the locked folder runs as a user who may not create files
    // there, with a data folder of its own for the journal, from a copy of
    // this program that user can reach wherever the build lies.
    QStringList options;
    QString program;
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    const auto restoreData = qScopeGuard([&] { qputenv("XDG_DATA_HOME", data); });
    if (locked) {
        const QString ownData = dir.filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(ownData)
            && QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777))
            && QFile::setPermissions(ownData, QFileDevice::Permissions(0x7777)));
        qputenv("XDG_DATA_HOME", QFile::encodeName(ownData));
        options << QStringLiteral("-u") << QStringLiteral("nobody");
        program = dir.filePath(QStringLiteral("tst_vaultio"));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
    }
    if (!exchange)
        options << QStringLiteral("-e") << QStringLiteral("inject=renameat2:error=EINVAL");
    options << QStringLiteral("-s") << QStringLiteral("4096") << QStringLiteral("-o") << trace
            << QStringLiteral("-e");
    const auto run = [&](const QString &option) {
        return ChildRun(
            { QStringLiteral("--save-child"), path }, options + QStringList { option }, program)
            .exitStatus();
    };

    if (vault == QLatin1String("attribute kept")
        && ::setxattr(QFile::encodeName(dir.path()).constData(), "user.probe", "", 0, 0) != 0)
        QSKIP("the temporary folder's file system keeps no extended attributes");
    prepare();
    QCOMPARE(run(QStringLiteral("trace=%file,%desc")), int(WriteOutcome::Written));
    const auto calls = callsOfTheSave(readBytes(trace));
    QVERIFY2(calls.size() > 5, "the trace shows no save");
    qsizetype next = 0;
    for (const auto &call : calls)
        next += next < order.size() && call.first == order.at(next) ? 1 : 0;
    QVERIFY2(next == order.size(), order.value(next).constData()); // the first call missing
    QVERIFY2(
        callOnAnOpenFile(readBytes(trace)).isEmpty(), callOnAnOpenFile(readBytes(trace)).data());

    for (const auto &[name, occurrence] : calls) {
        if (!exchange && name == "renameat2")
            continue; // failing already
        prepare();
        const int status = run(QStringLiteral("inject=%1:%2:when=%3")
                                   .arg(QString::fromLatin1(name), fault)
                                   .arg(occurrence));
        const QByteArray where
            = name + " #" + QByteArray::number(occurrence) + " gave " + QByteArray::number(status);
        QVERIFY2(callOnAnOpenFile(readBytes(trace)).isEmpty(),
            QByteArray(where + ": " + callOnAnOpenFile(readBytes(trace))).constData());
        QFile::remove(trace);
        QVERIFY2(status != asksAboutChange, where.constData());
        for (const QString &journal : filesIn(folder).filter(QStringLiteral(".keyloft-journal-"))) {
            const struct stat status = statusOf(QDir(folder).filePath(journal));
            QVERIFY2(!linked || name == "fchown" || name == "fchmod"
                    || (status.st_gid == statusOf(path).st_gid && (status.st_mode & 07777) == 0660),
                where.constData());
        }
        // What the next load finishes first; where a journal is left, in a
        // process of its own, whose trace is checked as the save's.
        const QString loadPath = elsewhere ? link : path;
        const bool journalLeft
            = !filesIn(folder).filter(QStringLiteral(".keyloft-journal-")).isEmpty()
            || !filesIn(keyloftDataFolder() + QStringLiteral("/journals")).isEmpty();
        const int recovered = journalLeft
            ? ChildRun({ QStringLiteral("--recover-child"), loadPath },
                options + QStringList { QStringLiteral("trace=%file,%desc") }, program)
                  .exitStatus()
            : recoverInChild(QFile::encodeName(loadPath).constData());
        QVERIFY2(recovered >= 0 && recovered != int(Recovery::Failed), where.constData());
        QVERIFY2(callOnAnOpenFile(readBytes(trace)).isEmpty(),
            QByteArray(where + ", then the load: " + callOnAnOpenFile(readBytes(trace)))
                .constData());
        QFile::remove(trace);
        const QByteArray after = readBytes(path);
        QVERIFY2(
            after == (vault == QLatin1String("new") ? QByteArray() : oldVault) || after == newVault,
            QByteArray(where + ": other bytes").constData());
        QVERIFY2(after == newVault || status != int(WriteOutcome::Written),
            QByteArray(where + ": old bytes").constData());
        if (after == newVault && vault == QLatin1String("owner kept"))
            QVERIFY2(QFileInfo(path).ownerId() == 65534 && QFileInfo(path).groupId() == 65534,
                where.constData());
        char note[8] = {};
        if (after == newVault && vault == QLatin1String("attribute kept"))
            QVERIFY2(::getxattr(QFile::encodeName(path).constData(), "user.note", note, 8) == 4,
                where.constData());
        const qsizetype files = vault == QLatin1String("new") && after.isEmpty() ? 0
            : linked                                                             ? 2
                                                                                 : 1;
        QVERIFY2(
            filesIn(folder).size() == files, qPrintable(where + ": " + filesIn(folder).join(u',')));
        QVERIFY2(filesIn(keyloftDataFolder() + QStringLiteral("/journals")).isEmpty(),
            where.constData());
    }
}

void TestVaultIo::trashTakesOnlyWhatWasApproved_data()
{
    // What another program does to the file while its bytes are approved.
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<bool>("trashed");
    QTest::addRow("nothing") << "nothing" << true;
    QTest::addRow("rewrites it in place") << "rewrite" << false;
    QTest::addRow("puts another file in its place") << "replace" << false;
    QTest::addRow("removes it") << "remove" << false;
}

// A file approved and then changed before it moves goes back to its name,
// whatever the change; one left alone goes to the trash, which would
// restore it to its name.
void TestVaultIo::trashTakesOnlyWhatWasApproved()
{
    QFETCH(QString, meanwhile);
    QFETCH(bool, trashed);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
    QVERIFY(QDir(trash).removeRecursively());
    const QString copy = dir.filePath(QStringLiteral("v (Bob's conflicted copy 2026-12-07).pwdb"));
    const QString name = QFileInfo(copy).fileName();
    QVERIFY(writeBytes(copy, oldVault));
    const auto approve = [&](const QByteArray &bytes) {
        const QString other = dir.filePath(QStringLiteral("other"));
        if (meanwhile == QLatin1String("rewrite")) {
            QFile file(copy);
            return file.open(QIODevice::ReadWrite) && file.write(otherVault.left(4)) == 4;
        }
        if (meanwhile == QLatin1String("replace"))
            return writeBytes(other, otherVault)
                && ::rename(
                       QFile::encodeName(other).constData(), QFile::encodeName(copy).constData())
                == 0;
        if (meanwhile == QLatin1String("remove"))
            return QFile::remove(copy);
        return bytes == oldVault;
    };
    QCOMPARE(moveToTrashIf(copy, maxVaultSize, approve), trashed);
    const bool gone = trashed || meanwhile == QLatin1String("remove");
    QCOMPARE(filesIn(dir.path()), gone ? QStringList() : QStringList { name });
    QCOMPARE(
        filesIn(trash + QStringLiteral("/files")), trashed ? QStringList { name } : QStringList());
    if (!trashed) {
        QVERIFY(gone || readBytes(copy) != oldVault);
        return;
    }
    QCOMPARE(readBytes(trash + QStringLiteral("/files/") + name), oldVault);
    const QByteArray note = readBytes(trash + QStringLiteral("/info/") + name + ".trashinfo");
    // Restored to its own name, however the note spells it.
    const bool restores = note.contains("\nPath=" + QFile::encodeName(copy) + '\n')
        || note.contains("\nPath=" + QUrl::toPercentEncoding(copy, "/") + '\n');
    QVERIFY2(restores, note.constData());
}

int main(int argc, char *argv[])
{
    TestSupport::startLibraries();
    if (argc == 3 && qstrcmp(argv[1], "--save-child") == 0)
        return saveInChild(argv[2]);
    if (argc == 3 && qstrcmp(argv[1], "--recover-child") == 0)
        return recoverInChild(argv[2]);
    QCoreApplication app(argc, argv);
    TestVaultIo test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_vaultio.moc"
