// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "testsupport.h"
#include "vault/vaultsession.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

using namespace TestSupport;
using Outcome = VaultSession::SaveOutcome;

namespace {

// What another program does to the vault after the load.
enum class Change { Touched, Rewritten, Copied, Deleted, Created };

// What a file chosen in the save dialog holds.
enum class Holds { ThisKey, WindowsEntries, OtherKey, UnrecordedOtherKey, NoVault, Empty, Nothing };

// What about a vault a save must keep: see savedVaultKeepsItsIdentity.
enum class Identity {
    Mode,
    LockedFolder,
    Owner,
    HardLink,
    SymbolicLink,
    StickyFolder,
    AccessControl,
};

const QList<Entry> newEntries = { { "new", "entry", "here" } };
const QByteArray newVault = xorBytes("new\tentry\there\n", "pw");

// Every extended attribute of `path`, its access control list included, with
// its value.
QByteArrayList attributesOf(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    QByteArray names(4096, '\0');
    names.resize(std::max<ssize_t>(::llistxattr(native.constData(), names.data(), 4096), 0));
    QByteArrayList attributes;
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value(4096, '\0');
        value.resize(std::max<ssize_t>(
            ::lgetxattr(native.constData(), name.constData(), value.data(), 4096), 0));
        attributes << name + '=' + value;
    }
    std::sort(attributes.begin(), attributes.end());
    return attributes;
}

} // namespace

class TestVaultSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void saveAsksOnlyWhenTheBytesChanged_data();
    void saveAsksOnlyWhenTheBytesChanged();
    void changeWhileAskingIsAskedAbout_data();
    void changeWhileAskingIsAskedAbout();
    void secondSaveWaitsForTheFirstAndIsAsked_data();
    void secondSaveWaitsForTheFirstAndIsAsked();
    void keyIsConfirmedBeforeItFirstLocksAVault_data();
    void keyIsConfirmedBeforeItFirstLocksAVault();
    void recordThatCannotBeKeptIsSaidAndAskedAgain();
    void chosenFileIsChecked_data();
    void chosenFileIsChecked();
    void sameFileAfterAFailedSaveIsChecked_data();
    void sameFileAfterAFailedSaveIsChecked();
    void nextSaveAfterAnUnconfirmedOneAsksNothing();
    void conflictCopiesAreFound_data();
    void conflictCopiesAreFound();
    void conflictCopiesAreReadOncePerRun();
    void mergeKeepsWhatEitherSideWrote_data();
    void mergeKeepsWhatEitherSideWrote();
    void writeFindsTheFileAsTheCheckDid_data();
    void writeFindsTheFileAsTheCheckDid();
    void savedVaultKeepsItsIdentity_data();
    void savedVaultKeepsItsIdentity();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestVaultSession::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
    // Open to the unprivileged user that PermissionsBind may switch to, and
    // so is the data folder, which is each test's own.
    const QString data = useFreshDataFolder();
    QVERIFY(!data.isEmpty());
    for (const QString &folder : { m_dir->path(), data })
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
}

void TestVaultSession::saveAsksOnlyWhenTheBytesChanged_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<bool>("asks");

    QTest::addRow("touched") << Change::Touched << false;
    QTest::addRow("rewritten with the same bytes") << Change::Rewritten << false;
    QTest::addRow("replaced by an identical copy") << Change::Copied << false;
    QTest::addRow("deleted: the save recreates it") << Change::Deleted << false;
    QTest::addRow("other bytes of the same size") << Change::Rewritten << true;
    QTest::addRow("created after the load found none") << Change::Created << true;
}

void TestVaultSession::saveAsksOnlyWhenTheBytesChanged()
{
    QFETCH(Change, change);
    QFETCH(bool, asks);

    const QString file = path(QStringLiteral("vault.pwdb"));
    const QString copy = path(QStringLiteral("copy"));
    const QByteArray loaded = xorBytes("svc\tuser\tpass\n", "pw");
    const QByteArray elsewhere = xorBytes("svc\tuser\tPASS\n", "pw");
    const bool created = change == Change::Created;
    if (!created)
        QVERIFY(writeBytes(file, loaded));
    VaultSession session(file, "pw");
    QList<Entry> entries;
    QCOMPARE(session.load(entries).outcome,
        created ? VaultSession::LoadOutcome::OpenFailed : VaultSession::LoadOutcome::Loaded);

    if (change == Change::Touched)
        QVERIFY(setModified(file, QDateTime::currentDateTime().addDays(1)));
    else if (change == Change::Deleted)
        QVERIFY(QFile::remove(file));
    else if (change == Change::Copied)
        QVERIFY(writeBytes(copy, loaded) && QFile::remove(file) && QFile::rename(copy, file));
    else
        QVERIFY(writeBytes(file, asks ? elsewhere : loaded));

    ScriptedQuestions answers;
    QCOMPARE(session.save(newEntries, answers).outcome, asks ? Outcome::Declined : Outcome::Saved);
    QCOMPARE(answers.asked,
        QStringList { asks ? "Vault Changed" : "Confirm Master Password" }); // no record of "pw"
    QCOMPARE(readBytes(file), asks ? elsewhere : newVault);
    QCOMPARE(filesIn(m_dir->path()), QStringList { "vault.pwdb" });
}

void TestVaultSession::changeWhileAskingIsAskedAbout_data()
{
    QTest::addColumn<QString>("first"); // the question open while the file changes
    QTest::addRow("while Vault Not Fully Read is open") << "Vault Not Fully Read";
    QTest::addRow("while Vault Changed is open") << "Vault Changed";
}

// Another program saves while a question is open: Yes to it does not replace
// what that program wrote without asking about it.
void TestVaultSession::changeWhileAskingIsAskedAbout()
{
    QFETCH(QString, first);

    const QString file = path(QStringLiteral("vault.pwdb"));
    // A blank line: not fully read.
    const auto session = loadedSession(file, xorBytes("old\tu\tp\n\n", "pw"));
    QVERIFY(session);
    if (first == QLatin1String("Vault Changed"))
        QVERIFY(writeBytes(file, xorBytes("first\tchange\there\n", "pw")));

    const QByteArray meanwhile = xorBytes("written\twhile\tasking\n", "pw");
    ScriptedQuestions answers;
    answers.replies = { VaultSession::Answer::Yes };
    answers.meanwhile = [&] {
        QVERIFY(writeBytes(file, meanwhile));
    };
    QCOMPARE(session->save(newEntries, answers).outcome, Outcome::Declined);
    QCOMPARE(answers.asked, QStringList({ first, "Vault Changed" }));
    QCOMPARE(readBytes(file), meanwhile);
}

void TestVaultSession::secondSaveWaitsForTheFirstAndIsAsked_data()
{
    QTest::addColumn<bool>("otherFolder"); // the first save's name is a hard link there
    QTest::addColumn<bool>("released"); // the first save ends within the wait
    QTest::addRow("one name") << false << true;
    QTest::addRow("hard links in two folders") << true << true;
    QTest::addRow("lock not released") << true << false;
}

// A second Keyloft saving the same vault, through any of its names, while a
// save is under way waits for it, and is then asked about what it wrote; a
// first save that does not end within the wait fails the second, which
// writes nothing. The first save is played by this test: it holds the lock,
// and writes only once the session waits.
void TestVaultSession::secondSaveWaitsForTheFirstAndIsAsked()
{
    QFETCH(bool, otherFolder);
    QFETCH(bool, released);
#ifdef KEYLOFT_PORTABLE_FILES
    QSKIP("Qt's own file access takes no lock");
#endif
    const QString file = path(QStringLiteral("vault.pwdb"));
    const auto session = loadedSession(file, xorBytes("old\tu\tp\n", "pw"));
    QVERIFY(session);
    const QByteArray first = xorBytes("saved\tby\tthe first\n", "pw");
    const QString link = path(QStringLiteral("other/vault.pwdb"));
    QVERIFY(!otherFolder
        || (QDir().mkpath(path(QStringLiteral("other")))
            && ::link(QFile::encodeName(file).constData(), QFile::encodeName(link).constData())
                == 0));

    VaultLocation firstSave(otherFolder ? link : file);
    firstSave.lock();
    // This thread shows in /proc as sleeping once it waits for the lock.
    const QString state = QStringLiteral("/proc/self/task/%1/syscall").arg(::gettid());
    bool waited = false;
    std::thread writer([&] {
        QDeadlineTimer deadline(10000);
        while (!waited && !deadline.hasExpired()) {
            const QByteArray call = readBytes(state);
            waited = call.startsWith(QByteArray::number(SYS_clock_nanosleep) + ' ')
                || call.startsWith(QByteArray::number(SYS_nanosleep) + ' ');
        }
        writeBytes(file, first);
        if (released)
            firstSave.unlock();
    });
    ScriptedQuestions answers;
    const VaultSession::SaveResult result = session->save(newEntries, answers);
    writer.join();
    QVERIFY(waited);
    QCOMPARE(result.outcome, released ? Outcome::Declined : Outcome::OpenFailed);
    QCOMPARE(answers.asked, released ? QStringList { "Vault Changed" } : QStringList());
    QCOMPARE(result.error.code, released ? 0 : lockNotReleased);
    QCOMPARE(readBytes(file), first);
}

void TestVaultSession::keyIsConfirmedBeforeItFirstLocksAVault_data()
{
    QTest::addColumn<bool>("recorded"); // this computer saved the vault with the key typed
    QTest::addColumn<std::optional<QString>>("typed"); // to confirm it
    QTest::addColumn<Outcome>("outcome");

    // Started with a typo, which deciphers the vault to an entry that looks
    // right ("github", "aljce", "secretsw").
    QTest::addRow("no record: the right password typed to confirm the typo")
        << false << std::optional<QString>("opensesame") << Outcome::NotConfirmed;
    QTest::addRow("no record: confirmation cancelled")
        << false << std::optional<QString>() << Outcome::Declined;
    QTest::addRow("no record: the same password again")
        << false << std::optional<QString>("opensesamf") << Outcome::Saved;
    QTest::addRow("a record of the key: nothing asked")
        << true << std::optional<QString>() << Outcome::Saved;
}

// A mistyped master password that opens a vault without a record, as a typo
// often does, would lock the vault under the typo with the next save: that
// save asks for the password once more, and writes only when it matches.
void TestVaultSession::keyIsConfirmedBeforeItFirstLocksAVault()
{
    QFETCH(bool, recorded);
    QFETCH(std::optional<QString>, typed);
    QFETCH(Outcome, outcome);

    const QString file = path(QStringLiteral("vault.pwdb"));
    const QByteArray before = xorBytes("github\talice\tsecretpw\n", "opensesame");
    if (recorded)
        QCOMPARE(saveAsKeyloft(file, "opensesamf", {}), Outcome::Saved);
    // The record, if any, keeps its verifier.
    QList<Entry> entries;
    const auto session = loadedSession(file, before, "opensesamf", &entries);
    QVERIFY(session);

    ScriptedQuestions answers;
    answers.typed = typed;
    QCOMPARE(session->save(entries + newEntries, answers).outcome, outcome);
    QCOMPARE(answers.asked, recorded ? QStringList() : QStringList { "Confirm Master Password" });
    QCOMPARE(readBytes(file) == before, outcome != Outcome::Saved);
}

// A vault is safe without its record, and the save says so on standard
// error; without the record, the next save asks for the confirmation again.
void TestVaultSession::recordThatCannotBeKeptIsSaidAndAskedAgain()
{
    const QString file = path(QStringLiteral("vault.pwdb"));
    VaultSession session(file, "pw");
    // A folder where the record's file would go.
    QVERIFY(QDir().mkpath(SavedKeys().recordFile(resolvedVaultPath(file)) + "/in the way"));
    for (int save = 0; save < 2; ++save) {
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression(QStringLiteral(
                "^keyloft: the record of the master password of .*vault.pwdb cannot be kept "
                "in .*: .+$")));
        ScriptedQuestions answers;
        QCOMPARE(session.save(newEntries, answers).outcome, Outcome::Saved);
        QCOMPARE(answers.asked, QStringList { "Confirm Master Password" });
    }
    QCOMPARE(readBytes(file), newVault);
}

void TestVaultSession::chosenFileIsChecked_data()
{
    QTest::addColumn<Holds>("holds"); // what the file chosen in the save dialog holds
    QTest::addColumn<VaultSession::Answer>("reply");
    QTest::addColumn<QStringList>("asked"); // after the file
    QTest::addColumn<QByteArray>("after"); // the vault text under "pw", or null: untouched

    const QString thisKey = QStringLiteral("Replace Vault");
    const QString otherKey = QStringLiteral("Replace Vault of another key");
    const QString unopened = QStringLiteral("Replace File");
    const QString confirm = QStringLiteral("Confirm Master Password");
    const QByteArray ours = "new\tentry\there\n";
    using Answer = VaultSession::Answer;
    QTest::addRow("a vault of this key: Merge")
        << Holds::ThisKey << Answer::Merge << QStringList { thisKey, confirm }
        << QByteArray("a\tu\t1\n" + ours);
    QTest::addRow("a vault of this key: Replace")
        << Holds::ThisKey << Answer::Yes << QStringList { thisKey, confirm } << ours;
    QTest::addRow("a vault of this key: Cancel")
        << Holds::ThisKey << Answer::No << QStringList { thisKey } << QByteArray();
    QTest::addRow("a vault of this key, its entries all in the window")
        << Holds::WindowsEntries << Answer::No << QStringList { confirm } << ours;
    QTest::addRow("the vault of a refused master password: No")
        << Holds::OtherKey << Answer::No << QStringList { otherKey } << QByteArray();
    QTest::addRow("the vault of a refused master password: Yes")
        << Holds::OtherKey << Answer::Yes << QStringList { otherKey, confirm } << ours;
    QTest::addRow("a vault of another master password, without a record: No")
        << Holds::UnrecordedOtherKey << Answer::No << QStringList { unopened } << QByteArray();
    QTest::addRow("a vault of another master password, without a record: Yes")
        << Holds::UnrecordedOtherKey << Answer::Yes << QStringList { unopened, confirm } << ours;
    QTest::addRow("a file that is no vault: No")
        << Holds::NoVault << Answer::No << QStringList { unopened } << QByteArray();
    QTest::addRow("a file that is no vault: Yes")
        << Holds::NoVault << Answer::Yes << QStringList { unopened, confirm } << ours;
    QTest::addRow("an empty file") << Holds::Empty << Answer::No << QStringList { confirm } << ours;
    QTest::addRow("no file yet") << Holds::Nothing << Answer::No << QStringList { confirm } << ours;
}

// A file chosen in the save dialog is replaced without a further question
// only when that loses no entries: a vault of this key with entries the
// window does not have, one that Keyloft saved with another key (the one the
// window's key was refused for), or any other file this key does not open, is
// asked about first. It becomes the window's file only once the save is
// done: after a refusal, the next Save asks for a file again.
void TestVaultSession::chosenFileIsChecked()
{
    QFETCH(Holds, holds);
    QFETCH(VaultSession::Answer, reply);
    QFETCH(QStringList, asked);
    QFETCH(QByteArray, after);

    const QString file = path(QStringLiteral("vault.pwdb"));
    QByteArray before;
    if (holds == Holds::OtherKey) {
        QCOMPARE(saveAsKeyloft(file, "pw0", { { "a", "u", "1" } }), Outcome::Saved);
        before = readBytes(file);
    } else if (holds == Holds::UnrecordedOtherKey) {
        before = xorBytes("a\tu\t1\n", "pw0");
    } else if (holds == Holds::NoVault) {
        before = QByteArray("\x01\x02 not a vault");
    } else if (holds != Holds::Nothing) {
        before = holds == Holds::Empty
            ? QByteArray("")
            : xorBytes(holds == Holds::ThisKey ? "a\tu\t1\n" : "new\tentry\there\n", "pw");
    }
    if (!before.isNull() && holds != Holds::OtherKey)
        QVERIFY(writeBytes(file, before));
    // Started on that vault, and refused, or started without one.
    VaultSession session(holds == Holds::OtherKey ? file : QString(), "pw");
    QList<Entry> entries;
    if (holds == Holds::OtherKey)
        QCOMPARE(session.load(entries).outcome, VaultSession::LoadOutcome::NotAVault);

    ScriptedQuestions answers;
    answers.file = file;
    answers.replies = { reply };
    const VaultSession::SaveResult result = session.save(newEntries, answers);
    QCOMPARE(answers.asked, QStringList { "Save Passwords" } + asked);
    QCOMPARE(result.outcome, after.isNull() ? Outcome::Declined : Outcome::Saved);
    QCOMPARE(readBytes(file), after.isNull() ? before : xorBytes(after, "pw"));
    if (reply == VaultSession::Answer::Merge)
        QCOMPARE(result.merged, QList<Entry>({ { "a", "u", "1" }, newEntries.first() }));

    ScriptedQuestions next; // cancels the dialog, if it comes
    QCOMPARE(session.save(newEntries, next).outcome,
        after.isNull() ? Outcome::Declined : Outcome::Saved);
    QCOMPARE(next.asked, after.isNull() ? QStringList { "Save Passwords" } : QStringList());
    QCOMPARE(session.currentFile().isEmpty(), after.isNull());
}

void TestVaultSession::sameFileAfterAFailedSaveIsChecked_data()
{
    QTest::addColumn<bool>("renamed"); // the other device's version is renamed into place
    QTest::addColumn<bool>("elsewhere"); // the dialog chooses another file
    QTest::addRow("rewritten in place") << false << false;
    QTest::addRow("renamed into place") << true << false;
    QTest::addRow("another file chosen") << false << true;
}

// After a failed save, Save asks for a file again; the same one chosen there
// is still the window's vault: what another device wrote there meanwhile is
// asked about, and merged with what the window last saw as the base, so an
// entry deleted there stays deleted. The conflict copies merged into the
// window go to the trash after a save of their vault, never of another file.
void TestVaultSession::sameFileAfterAFailedSaveIsChecked()
{
    QFETCH(bool, renamed);
    QFETCH(bool, elsewhere);

    const QString file = path(QStringLiteral("vault.pwdb"));
    const QString copy = path(QStringLiteral("vault_conflict-20261207-200852.pwdb"));
    const auto session = loadedSession(file, xorBytes(vaultTextOf({ "a:1", "b:1" }), "pw"));
    QVERIFY(session);
    QVERIFY(writeBytes(copy, xorBytes(vaultTextOf({ "c:1" }), "pw")));
    session->copiesMerged({ copy });
    const QList<Entry> window = entriesOf({ "a:1", "b:1", "c:1" });
    {
        const FileSizeLimit fullDisk(4);
        QVERIFY(fullDisk.isActive());
        ScriptedQuestions none;
        QCOMPARE(session->save(window, none).outcome, Outcome::WriteFailed);
    }
    const QString other = renamed ? path(QStringLiteral("other")) : file;
    QVERIFY(writeBytes(other, xorBytes(vaultTextOf({ "b:1" }), "pw")));
    QVERIFY(!renamed
        || ::rename(QFile::encodeName(other).constData(), QFile::encodeName(file).constData())
            == 0);

    ScriptedQuestions answers;
    answers.file = elsewhere ? path(QStringLiteral("elsewhere.pwdb")) : file;
    answers.replies = { VaultSession::Answer::Merge };
    QCOMPARE(session->save(window, answers).outcome, Outcome::Saved);
    QCOMPARE(QFileInfo::exists(copy), elsewhere);
    if (elsewhere)
        return;
    QCOMPARE(answers.asked, QStringList({ "Save Passwords", "Vault Changed" }));
    QCOMPARE(readBytes(file), xorBytes(vaultTextOf({ "b:1", "c:1" }), "pw"));
}

void TestVaultSession::nextSaveAfterAnUnconfirmedOneAsksNothing()
{
    if (const char *reason = noFaultInjection())
        QSKIP(reason);
    // A blank line: the load skipped it. The first fsync is the one of the
    // folder after the first save's rename.
    const QString file = path(QStringLiteral("vault.pwdb"));
    QVERIFY(writeBytes(file, xorBytes("a\tuser\t1\n\n", "pw")));
    QCOMPARE(ChildRun({ QStringLiteral("--save-twice"), file },
                 { QStringLiteral("-e"), QStringLiteral("inject=fsync:error=EIO:when=1") })
                 .exitStatus(),
        0);
    QCOMPARE(readBytes(file), newVault);
}

void TestVaultSession::conflictCopiesAreFound_data()
{
    QTest::addColumn<QString>("vault"); // the vault file's name
    QTest::addColumn<QString>("copy"); // a file beside it
    QTest::addColumn<QByteArray>("key"); // the copy's
    QTest::addColumn<QStringList>("entries"); // the copy's, beside the vault's "a:1"
    QTest::addColumn<bool>("found");

    const auto row
        = [](const char *name, const QString &copy, bool found,
              const QString &vault = QStringLiteral("vault.pwdb"), const QByteArray &key = "pw",
              const QStringList &entries = { "a:1", "b:1" }) {
              QTest::addRow("%s", name) << vault << copy << key << entries << found;
          };
    const QString syncthing = QStringLiteral("vault.sync-conflict-20261207-200852-BSADUBW");
    row("Syncthing", syncthing + ".pwdb", true);
    row("Nextcloud and ownCloud, conflicted copy", "vault (conflicted copy 2026-12-07 200852).pwdb",
        true);
    row("Nextcloud and ownCloud, _conflict", "vault_conflict-20261207-200852.pwdb", true);
    row("Dropbox", "vault (Alice's conflicted copy 2026-12-07).pwdb", true);
    row("a vault without an extension", syncthing, true, "vault");
    row("another vault's copy", "other.sync-conflict-20261207-200852-BSADUBW.pwdb", false);
    row("the wrong extension", syncthing + ".txt", false);
    row("a copy under another master password", syncthing + ".pwdb", false, "vault.pwdb", "other");
    row("a copy that would lose a blank line", syncthing + ".pwdb", false, "vault.pwdb", "pw",
        { "b:1", "" });
    row("a copy whose entries are all in the vault", syncthing + ".pwdb", false, "vault.pwdb", "pw",
        { "a:1" });
    // Copies of a vault whose name starts with this one's.
    row("Dropbox, of vault (old).pwdb", "vault (old) (Bob's conflicted copy 2026-12-07).pwdb",
        false);
    row("Syncthing, of vault (old).pwdb", "vault (old).sync-conflict-20261207-200852-BSADUBW.pwdb",
        false);
    row("Nextcloud, of vault2.pwdb", "vault2 (conflicted copy 2026-12-07 200852).pwdb", false);
    row("_conflict, of vault_2.pwdb", "vault_2_conflict-20261207-200852.pwdb", false);
    // A copy of a vault is about its size: one of a MiB more than four
    // times this one is not read.
    QStringList many;
    for (int i = 0; i < 80000; ++i)
        many << QStringLiteral("x%1:1").arg(i);
    row("a copy too large to be one", syncthing + ".pwdb", false, "vault.pwdb", "pw", many);
}

// The copies a sync tool leaves under its own names are found when they
// hold something the vault does not, under this master password.
void TestVaultSession::conflictCopiesAreFound()
{
    QFETCH(QString, vault);
    QFETCH(QString, copy);
    QFETCH(QByteArray, key);
    QFETCH(QStringList, entries);
    QFETCH(bool, found);

    QVERIFY(writeBytes(path(copy), xorBytes(vaultTextOf(entries), key)));
    QList<Entry> loaded;
    const auto session = loadedSession(path(vault), xorBytes("a\tuser\t1\n", "pw"), "pw", &loaded);
    QVERIFY(session);
    const QList<ConflictCopy> copies = session->conflictCopies(loaded);
    QCOMPARE(copies.size(), found ? 1 : 0);
    if (found) {
        QCOMPARE(copies.first().path, path(copy));
        QCOMPARE(copies.first().entries, entriesOf(entries));
    }
}

// What the scan learned of a file is kept for the run: unchanged, it is not
// read again; changed, it is.
void TestVaultSession::conflictCopiesAreReadOncePerRun()
{
    const QString vault = path(QStringLiteral("vault.pwdb"));
    const QString copy = path(QStringLiteral("vault_conflict-20261207-200852.pwdb"));
    QVERIFY(writeBytes(vault, xorBytes("a\tuser\t1\n", "pw")));
    QStringList many;
    for (int i = 0; i < 20000; ++i)
        many << QStringLiteral("x%1:1").arg(i);
    const QByteArray content = xorBytes(vaultTextOf(many), "pw");
    // A clock a minute ahead: every file is as settled as it will be.
    ConflictCopyScan scan([] { return nanosecondsNow() + qint64(60) * 1000000000; });
    const auto bytesRead = [] {
        QFile io(QStringLiteral("/proc/self/io"));
        return io.open(QIODevice::ReadOnly)
            ? io.readAll().split('\n').value(0).mid(qstrlen("rchar: ")).toLongLong()
            : -1;
    };
    for (const char *round : { "first", "unchanged", "changed" }) {
        if (qstrcmp(round, "unchanged") != 0)
            QVERIFY(writeBytes(copy, qstrcmp(round, "first") == 0 ? content : content + content));
        const qint64 before = bytesRead();
        QCOMPARE(scan.find(vault, 10, "pw", entriesOf({ "a:1" })).size(), 1);
        QCOMPARE(bytesRead() - before > content.size(), qstrcmp(round, "unchanged") != 0);
    }
}

void TestVaultSession::mergeKeepsWhatEitherSideWrote_data()
{
    // Entries as "service:password"; a null base: no file when the window
    // loaded. An empty merge: not mergeable.
    QTest::addColumn<QStringList>("base");
    QTest::addColumn<QStringList>("file"); // what another program wrote meanwhile
    QTest::addColumn<QStringList>("window");
    QTest::addColumn<QStringList>("merged");
    QTest::addColumn<int>("conflicts");
    QTest::addColumn<int>("firstConflict");
    using L = QStringList;

    // Without the loaded file as the base, "a" would count as added in the
    // window, and stay.
    QTest::addRow("deleted elsewhere, unchanged in the window")
        << L { "a:1", "b:1" } << L { "b:1" } << L { "a:1", "b:1" } << L { "b:1" } << 0 << -1;
    QTest::addRow("conflicting edits of one entry")
        << L { "a:1", "b:1", "c:1" } << L { "a:1", "b:2", "c:1" } << L { "a:1", "b:3", "c:1" }
        << L { "a:1", "b:2", "b:3", "c:1" } << 1 << 1;
    QTest::addRow("no base") << L() << L { "a:1" } << L { "b:1" } << L { "a:1", "b:1" } << 0 << -1;
    QTest::addRow("file of another master password")
        << L { "a:1" } << L { "other key" } << L { "b:1" } << L() << 0 << -1;
    QTest::addRow("file with a line that is not an entry")
        << L { "a:1" } << L { "a:1", "" } << L { "b:1" } << L() << 0 << -1;
}

// Merge, the answer to a vault changed elsewhere, merges what either side
// did since the window last saw the file (the rules are mergeEntries'), and
// writes the result, which the window then shows, with the conflicts it
// found. A file that is not a vault of this key is not merged.
void TestVaultSession::mergeKeepsWhatEitherSideWrote()
{
    QFETCH(QStringList, base);
    QFETCH(QStringList, file);
    QFETCH(QStringList, window);
    QFETCH(QStringList, merged);
    QFETCH(int, conflicts);
    QFETCH(int, firstConflict);

    const QString vault = path(QStringLiteral("vault.pwdb"));
    if (!base.isEmpty())
        QVERIFY(writeBytes(vault, xorBytes(vaultTextOf(base), "pw")));
    VaultSession session(vault, "pw");
    QList<Entry> read;
    session.load(read);
    const QByteArray theirs = file == QStringList { "other key" }
        ? xorBytes(vaultTextOf({ "a:1" }), "PW")
        : xorBytes(vaultTextOf(file), "pw");
    QVERIFY(writeBytes(vault, theirs));

    ScriptedQuestions answers;
    answers.replies = { VaultSession::Answer::Merge };
    const VaultSession::SaveResult result = session.save(entriesOf(window), answers);
    QCOMPARE(answers.asked,
        QStringList { "Vault Changed" }
            + (merged.isEmpty() ? QStringList() : QStringList { "Confirm Master Password" }));
    if (merged.isEmpty()) {
        QCOMPARE(result.outcome, Outcome::NotMergeable);
        QVERIFY(!result.merged);
        QCOMPARE(readBytes(vault), theirs);
        return;
    }
    QCOMPARE(result.outcome, Outcome::Saved);
    QCOMPARE(result.conflicts, conflicts);
    QCOMPARE(result.firstConflict, qsizetype(firstConflict));
    QCOMPARE(result.merged, entriesOf(merged));
    QCOMPARE(readBytes(vault), xorBytes(vaultTextOf(merged), "pw"));
}

void TestVaultSession::writeFindsTheFileAsTheCheckDid_data()
{
    QTest::addColumn<QString>("change");
    QTest::addRow("a link to another file") << "link";
    QTest::addRow("another file") << "file";
    QTest::addRow("a file where there was none") << "created";
}

// Between the last check and the write, another program puts something at
// the vault's name: the write finds it and writes nothing, neither there
// nor through a link.
void TestVaultSession::writeFindsTheFileAsTheCheckDid()
{
    QFETCH(QString, change);
#ifdef KEYLOFT_PORTABLE_FILES
    if (change == QLatin1String("link"))
        QSKIP("Qt's own file access follows links");
#endif
    const QString file = path(QStringLiteral("vault.pwdb"));
    const QString other = path(QStringLiteral("other"));
    const QByteArray theirs("someone else's file");
    QVERIFY(writeBytes(other, theirs));
    if (change != QLatin1String("created"))
        QVERIFY(writeBytes(file, xorBytes("old\tu\tp\n", "pw")));
    VaultLocation vault(file);
    const std::optional<FileStamp> checked = vault.stamp().stamp;
    const FoundFile found { checked.has_value(), checked.value_or(FileStamp()) };

    QFile::remove(file);
    QVERIFY(change == QLatin1String("link") ? QFile::link(other, file) : QFile::copy(other, file));
    QCOMPARE(vault.write(newVault, &found).outcome, WriteOutcome::Changed);
    QCOMPARE(readBytes(other), theirs);
    QCOMPARE(readBytes(file), theirs);
}

void TestVaultSession::savedVaultKeepsItsIdentity_data()
{
    QTest::addColumn<Identity>("kind");
    QTest::addRow("mode of an existing vault") << Identity::Mode;
    QTest::addRow("folder allows no new files: written in place") << Identity::LockedFolder;
    QTest::addRow("someone else's owner and group, saved by root") << Identity::Owner;
    QTest::addRow("hard link") << Identity::HardLink;
    QTest::addRow("symbolic link") << Identity::SymbolicLink;
    QTest::addRow("world-writable vault of another user in a sticky folder")
        << Identity::StickyFolder;
    QTest::addRow("access control list and extended attribute") << Identity::AccessControl;
}

// After a save the vault is the same file to everyone else: its owner, group,
// permissions, access control list, extended attributes and other names
// stay, so the group or the user that shares it, and a backup link to it,
// keep seeing the new entries, and nobody else gains access.
void TestVaultSession::savedVaultKeepsItsIdentity()
{
    QFETCH(Identity, kind);
#ifdef KEYLOFT_PORTABLE_FILES
    if (kind != Identity::Mode)
        QSKIP("Qt's own file access keeps the permissions only");
#endif

    const bool sticky = kind == Identity::StickyFolder;
    const bool locked = kind == Identity::LockedFolder;
    if ((sticky || kind == Identity::Owner) && geteuid() != 0)
        QSKIP("a vault of another user needs root to set up");
    const QString folder = sticky || locked ? path(QStringLiteral("folder")) : m_dir->path();
    QVERIFY(QDir().mkpath(folder));
    if (sticky)
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
    const QString file = QDir(folder).filePath(QStringLiteral("vault.pwdb"));
    const QString other = QDir(folder).filePath(QStringLiteral("other.pwdb"));
    const QByteArray native = QFile::encodeName(file);
    QVERIFY(writeBytes(file, xorBytes("a\tb\tc\n", "pw")));
    QCOMPARE(::chmod(native.constData(), sticky || locked ? 0666 : 0640), 0);
    if (kind == Identity::Owner)
        QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
    else if (kind == Identity::HardLink)
        QCOMPARE(::link(native.constData(), QFile::encodeName(other).constData()), 0);
    else if (kind == Identity::SymbolicLink)
        QVERIFY(QFile::link(file, other));
    else if (locked)
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x5555)));
    if (kind == Identity::AccessControl
        && (QProcess::execute(QStringLiteral("setfacl"),
                { QStringLiteral("-m"), QStringLiteral("u:nobody:rw,g::-"), file })
                != 0
            || ::setxattr(native.constData(), "user.note", "kept", 4, 0) != 0))
        QSKIP("the temporary folder's file system keeps no access control lists or extended "
              "attributes");
    const QByteArrayList attributes = attributesOf(file);
    const struct stat before = statusOf(file);

    std::optional<PermissionsBind> permissions;
    if ((sticky || locked) && !permissions.emplace().isActive())
        QSKIP("cannot run without the privilege to write every file");
    const auto session = loadedSession(kind == Identity::SymbolicLink ? other : file, QByteArray());
    QVERIFY(session);
    ScriptedQuestions none;
    QCOMPARE(session->save(newEntries, none).outcome, Outcome::Saved);
    permissions.reset();

    QCOMPARE(readBytes(file), newVault);
    const struct stat after = statusOf(file);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_nlink, before.st_nlink);
    if (kind == Identity::HardLink)
        QCOMPARE(readBytes(other), newVault);
    if (kind == Identity::SymbolicLink)
        QVERIFY(S_ISLNK(statusOf(other).st_mode));
    QCOMPARE(attributesOf(file), attributes);
}

// Run in a process of its own, under strace: the window loads the vault at
// `path`, agrees to lose the line its load skipped, and saves, with the sync
// of the folder failing; then saves again. The new bytes are in place after
// the first save, so the second asks nothing: neither for a file nor about
// lines the file no longer holds. 0 when so, else 1.
int saveTwiceInChild(const QString &path)
{
    VaultSession session(path, "pw");
    QList<Entry> entries;
    if (session.load(entries).outcome != VaultSession::LoadOutcome::Loaded)
        return 1;
    ScriptedQuestions first;
    first.replies = { VaultSession::Answer::Yes };
    ScriptedQuestions second;
    const bool unconfirmed = session.save(newEntries, first).outcome == Outcome::Unconfirmed;
    const bool saved = session.save(newEntries, second).outcome == Outcome::Saved;
    const bool asked
        = first.asked == QStringList({ "Vault Not Fully Read", "Confirm Master Password" });
    return unconfirmed && saved && asked && second.asked.isEmpty() ? 0 : 1;
}

int main(int argc, char *argv[])
{
    TestSupport::startLibraries();
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--save-twice") == 0)
        return saveTwiceInChild(QFile::decodeName(argv[2]));
    TestVaultSession test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_vaultsession.moc"
