// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "xsession.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

namespace {

struct Run
{
    int exitCode = -1;
    QString output; // standard output and error together
};

Run run(const QString &program, const QStringList &arguments, const QString &folder = QString())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit)
        return { -1, process.errorString() };
    return { process.exitCode(), QString::fromUtf8(process.readAll()) };
}

QString source(const QString &path)
{
    return qEnvironmentVariable("KEYLOFT_SOURCE_DIR") + QLatin1Char('/') + path;
}

QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

const QStringList installedFiles = {
    "bin/keyloft",
    "share/applications/org.keyloft.Keyloft.desktop",
    "share/doc/keyloft/changelog.gz",
    "share/doc/keyloft/copyright",
    "share/icons/hicolor/128x128/apps/keyloft.png",
    "share/icons/hicolor/16x16/apps/keyloft.png",
    "share/icons/hicolor/256x256/apps/keyloft.png",
    "share/icons/hicolor/32x32/apps/keyloft.png",
    "share/icons/hicolor/48x48/apps/keyloft.png",
    "share/icons/hicolor/scalable/apps/keyloft.svg",
    "share/man/man1/keyloft.1.gz",
    "share/metainfo/org.keyloft.Keyloft.metainfo.xml",
    "share/mime/packages/keyloft.xml",
};

} // namespace

// Keyloft as a desktop application: its desktop entry, metadata, vault type,
// icons, install rules, Debian package and Windows icon resource.
class TestPackaging : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void validators_data();
    void validators();
    void vaultTypeIsRegistered();
    void installPutsExactlyTheseFiles();
    void windowsIconHoldsThreeImages();
    void windowsResourceCompiles();
    void debianPackage();
    void licenceIsStatedAlike_data();
    void licenceIsStatedAlike();
    void installedPackageStarts();

private:
    QTemporaryDir m_dir;
    QString m_package;
};

void TestPackaging::initTestCase()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
    const Run cpack = run(QStringLiteral("cpack"),
        { QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"),
            m_dir.filePath(QStringLiteral("package")) },
        qEnvironmentVariable("KEYLOFT_BUILD_DIR"));
    QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
    const QStringList debs
        = QDir(m_dir.filePath(QStringLiteral("package"))).entryList({ QStringLiteral("*.deb") });
    QCOMPARE(debs.size(), 1);
    m_package = m_dir.filePath(QStringLiteral("package/") + debs.first());
}

void TestPackaging::validators_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addRow("desktop entry")
        << "desktop-file-validate"
        << QStringList { source("app/desktop/org.keyloft.Keyloft.desktop") };
    QTest::addRow("AppStream metadata")
        << "appstreamcli"
        << QStringList { "validate", "--no-net",
               source("app/desktop/org.keyloft.Keyloft.metainfo.xml") };
    QTest::addRow("vault type definition")
        << "xmllint" << QStringList { "--noout", source("app/desktop/keyloft-vault.xml") };
    QTest::addRow("scalable icon")
        << "xmllint" << QStringList { "--noout", source("app/icons/keyloft.svg") };
}

// Each validator passes, and says nothing worse than a hint.
void TestPackaging::validators()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    const Run check = run(program, arguments);
    QVERIFY2(check.exitCode == 0, qPrintable(check.output));
    QVERIFY2(!check.output.contains(QLatin1String("error"), Qt::CaseInsensitive),
        qPrintable(check.output));
    QVERIFY2(!check.output.contains(QLatin1String("warning"), Qt::CaseInsensitive),
        qPrintable(check.output));
}

void TestPackaging::vaultTypeIsRegistered()
{
    const QString mime = m_dir.filePath(QStringLiteral("mime"));
    QVERIFY(QDir().mkpath(mime + QStringLiteral("/packages")));
    QVERIFY(QFile::copy(source(QStringLiteral("app/desktop/keyloft-vault.xml")),
        mime + QStringLiteral("/packages/keyloft.xml")));
    const Run update = run(QStringLiteral("update-mime-database"), { mime });
    QVERIFY2(update.exitCode == 0, qPrintable(update.output));
    QFile globs(mime + QStringLiteral("/globs2"));
    QVERIFY(globs.open(QIODevice::ReadOnly));
    QVERIFY(globs.readAll().contains("application/x-keyloft-vault:*.pwdb"));
    // File managers name the type in the desktop's language.
    QFile type(mime + QStringLiteral("/application/x-keyloft-vault.xml"));
    QVERIFY(type.open(QIODevice::ReadOnly));
    const QByteArray names = type.readAll();
    for (const char *comment :
        { "<comment>Keyloft vault</comment>", "<comment xml:lang=\"de\">Keyloft-Tresor</comment>",
            "<comment xml:lang=\"fr\">Coffre Keyloft</comment>" })
        QVERIFY2(names.contains(comment), comment);
}

void TestPackaging::installPutsExactlyTheseFiles()
{
    const QString prefix = m_dir.filePath(QStringLiteral("prefix"));
    const Run install = run(QStringLiteral("cmake"),
        { QStringLiteral("--install"), qEnvironmentVariable("KEYLOFT_BUILD_DIR"),
            QStringLiteral("--prefix"), prefix });
    QVERIFY2(install.exitCode == 0, qPrintable(install.output));
    QCOMPARE(filesBelow(prefix), installedFiles);
}

// Read by Qt's ICO reader: three images, each the same picture, alpha
// included, as the PNG rendering of its size.
void TestPackaging::windowsIconHoldsThreeImages()
{
    QImageReader reader(source(QStringLiteral("app/keyloft.ico")), "ico");
    QCOMPARE(reader.imageCount(), 3);
    const int sizes[] = { 16, 32, 48 };
    for (int i = 0; i < 3; ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        const QImage png(source(QStringLiteral("app/icons/keyloft-%1.png").arg(sizes[i])));
        QCOMPARE(image.size(), QSize(sizes[i], sizes[i]));
        QCOMPARE(image.convertToFormat(QImage::Format_ARGB32_Premultiplied),
            png.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

void TestPackaging::windowsResourceCompiles()
{
    // The MinGW compiler that windres normally preprocesses with is not
    // needed for a file without directives; the host's cpp serves.
    const Run windres = run(QStringLiteral("x86_64-w64-mingw32-windres"),
        { QStringLiteral("--preprocessor=cpp"), QStringLiteral("keyloft.rc"), QStringLiteral("-O"),
            QStringLiteral("coff"), QStringLiteral("-o"),
            m_dir.filePath(QStringLiteral("keyloft.res")) },
        source(QStringLiteral("app")));
    QVERIFY2(windres.exitCode == 0, qPrintable(windres.output));
    const Run listing = run(QStringLiteral("x86_64-w64-mingw32-windres"),
        { QStringLiteral("-J"), QStringLiteral("coff"), QStringLiteral("-O"), QStringLiteral("rc"),
            m_dir.filePath(QStringLiteral("keyloft.res")) });
    QVERIFY2(
        listing.output.contains(QLatin1String("\"IDI_ICON1\" 14")), qPrintable(listing.output));
    QVERIFY2(listing.output.contains(QLatin1String("Has 3 elements")), qPrintable(listing.output));
}

void TestPackaging::debianPackage()
{
    const Run info = run(QStringLiteral("dpkg-deb"), { QStringLiteral("--info"), m_package });
    QVERIFY2(info.exitCode == 0, qPrintable(info.output));
    const QString architecture
        = run(QStringLiteral("dpkg"), { QStringLiteral("--print-architecture") }).output.trimmed();
    QVERIFY2(info.output.contains(QStringLiteral(" Architecture: %1\n").arg(architecture)),
        qPrintable(info.output));
    for (const char *field : { " Package: keyloft\n", " Section: utils\n",
             " Maintainer: Keyloft maintainers <maintainers@keyloft.invalid>\n",
             " Description: single-user desktop password manager\n",
             " Recommends: qt6-translations-l10n, qt6-wayland\n" })
        QVERIFY2(info.output.contains(QLatin1String(field)), field);
    QVERIFY2(info.output.contains(
                 QRegularExpression(QStringLiteral("Depends: .*libqt6widgets6 \\(>= 6"))),
        qPrintable(info.output));

    const Run contents
        = run(QStringLiteral("dpkg-deb"), { QStringLiteral("--contents"), m_package });
    QStringList files;
    for (const QString &line : contents.output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('-')))
            files << line.section(QLatin1String("./usr/"), 1);
    }
    files.sort();
    QCOMPARE(files, installedFiles);

    const Run lintian = run(QStringLiteral("lintian"), { m_package });
    const QStringList errors = lintian.output.split(QLatin1Char('\n'))
                                   .filter(QRegularExpression(QStringLiteral("^E: ")));
    QVERIFY2(errors.isEmpty(), qPrintable(lintian.output));
}

void TestPackaging::licenceIsStatedAlike_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("statement");
    QTest::addRow("Debian copyright file")
        << "usr/share/doc/keyloft/copyright"
        << "Files: *\nCopyright: 2026 The Keyloft developers\nLicense: GPL-3.0-or-later\n";
    QTest::addRow("AppStream metadata") << "usr/share/metainfo/org.keyloft.Keyloft.metainfo.xml"
                                        << "<project_license>GPL-3.0-or-later</project_license>";
    QTest::addRow("manual page") << "usr/share/man/man1/keyloft.1.gz"
                                 << "any later version (GPL-3.0-or-later).";
}

// The files of the package that state Keyloft's licence state the same one.
void TestPackaging::licenceIsStatedAlike()
{
    QFETCH(QString, file);
    QFETCH(QString, statement);
    const QString unpacked = m_dir.filePath(QStringLiteral("unpacked"));
    if (!QFile::exists(unpacked)) {
        const Run unpack
            = run(QStringLiteral("dpkg-deb"), { QStringLiteral("-x"), m_package, unpacked });
        QVERIFY2(unpack.exitCode == 0, qPrintable(unpack.output));
    }
    // zcat -f passes a file that is not compressed through as it is.
    const Run text
        = run(QStringLiteral("zcat"), { QStringLiteral("-f"), unpacked + QLatin1Char('/') + file });
    QCOMPARE(text.exitCode, 0);
    QVERIFY2(text.output.contains(statement), qPrintable(text.output));
}

// Installs the package on this machine, starts keyloft from where it was
// installed up to the master-password prompt, and removes the package again.
void TestPackaging::installedPackageStarts()
{
    if (geteuid() != 0)
        QSKIP("installing a package needs root");
    if (QFile::exists(QStringLiteral("/usr/bin/keyloft")))
        QSKIP("keyloft is installed on this machine already; leaving it alone");

    // Removed again whatever happens, a half-done install included.
    const auto removePackage = qScopeGuard([] {
        run(QStringLiteral("dpkg"), { QStringLiteral("--purge"), QStringLiteral("keyloft") });
    });
    const Run install = run(QStringLiteral("dpkg"), { QStringLiteral("-i"), m_package });
    QVERIFY2(install.exitCode == 0, qPrintable(install.output));

    XSession x;
    QVERIFY2(x.start(), qPrintable(x.errorString()));
    QProcess keyloft;
    QProcessEnvironment environment = x.environment();
    environment.insert(QStringLiteral("HOME"), m_dir.path());
    keyloft.setProcessEnvironment(environment);
    keyloft.start(QStringLiteral("/usr/bin/keyloft"), {});
    QVERIFY2(keyloft.waitForStarted(), qPrintable(keyloft.errorString()));
    const QString prompt = x.waitForWindow(QStringLiteral("Master Password"));
    QVERIFY(!prompt.isEmpty());
    // The class the desktop entry's StartupWMClass names.
    QVERIFY(x.windowClass(prompt).contains(QLatin1String("\"keyloft\"")));
    x.activate(prompt);
    x.key(QStringLiteral("Escape"));
    QVERIFY(keyloft.waitForFinished(10000));
    QCOMPARE(keyloft.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestPackaging)
#include "tst_packaging.moc"
