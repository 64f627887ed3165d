// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The two lines, each after the prefix. Spelt in pieces so that REUSE's tools
// do not read them as statements about this file.
QByteArray spdx(const QByteArray &prefix, const QByteArray &licence = "GPL-3.0-or-later")
{
    const QByteArray tag = "SPDX-";
    return prefix + tag + "FileCopyrightText: 2026 The Keyloft developers\n" + prefix + tag
        + "License-Identifier: " + licence + "\n";
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(bytes) == bytes.size();
}

} // namespace

// scripts/add-licence-headers.sh, run twice on a scratch git tree holding one file.
class TestLicenceHeaders : public QObject
{
    Q_OBJECT

private slots:
    void addsLinesOnce_data();
    void addsLinesOnce();
};

void TestLicenceHeaders::addsLinesOnce_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QByteArray>("sidecar"); // FILE.license, "(missing)" when none
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");

    const QByteArray none = "(missing)";
    QTest::addRow("C++ source") << "app/main.cpp" << QByteArray("int main() {}\n")
                                << spdx("// ") + "\nint main() {}\n"
                                << none << 0 << "app/main.cpp\n";
    QTest::addRow("shell script keeps its shebang first")
        << "run" << QByteArray("#!/bin/sh\nexit 0\n") << "#!/bin/sh\n" + spdx("# ") + "\nexit 0\n"
        << none << 0 << "run\n";
    QTest::addRow("CMake file in a subfolder")
        << "sub/CMakeLists.txt" << QByteArray("add_subdirectory(x)\n")
        << spdx("# ") + "\nadd_subdirectory(x)\n"
        << none << 0 << "sub/CMakeLists.txt\n";
    QTest::addRow("XML keeps its declaration first")
        << "types.xml" << QByteArray("<?xml version=\"1.0\"?>\n<a/>\n")
        << "<?xml version=\"1.0\"?>\n<!--\n" + spdx("") + "-->\n<a/>\n"
        << none << 0 << "types.xml\n";
    QTest::addRow("AppStream metadata is CC0-1.0")
        << "a.metainfo.xml" << QByteArray("<component/>\n")
        << "<!--\n" + spdx("", "CC0-1.0") + "-->\n<component/>\n"
        << none << 0 << "a.metainfo.xml\n";
    QTest::addRow("manual page, no blank line for roff to print")
        << "tool.1" << QByteArray(".TH TOOL 1\n") << spdx(".\\\" ") + ".TH TOOL 1\n"
        << none << 0 << "tool.1\n";
    QTest::addRow("Markdown") << "README.md" << QByteArray("# Tool\n")
                              << "<!--\n" + spdx("") + "-->\n\n# Tool\n"
                              << none << 0 << "README.md\n";
    const QByteArray png("\x89PNG\r\n\x1a\n\0\0", 10);
    QTest::addRow("image gets a .license file")
        << "icon.png" << png << png << spdx("") << 0 << "icon.png.license\n";
    QTest::addRow("fuzzing seed gets a .license file")
        << "fuzz/corpus/plain" << QByteArray("a\tb\n") << QByteArray("a\tb\n") << spdx("") << 0
        << "fuzz/corpus/plain.license\n";
    QTest::addRow("file with its lines already left alone")
        << "done.h" << spdx("// ") + "#pragma once\n"
        << spdx("// ") + "#pragma once\n"
        << none << 0 << "";
    QTest::addRow("file git ignores left alone")
        << "build/moc.cpp" << QByteArray("int x;\n") << QByteArray("int x;\n") << none << 0 << "";
    QTest::addRow("text of unknown syntax refused")
        << "notes.txt" << QByteArray("hello\n") << QByteArray("hello\n") << none << 1
        << "notes.txt: no comment syntax known for this file; add its lines by hand\n";
}

void TestLicenceHeaders::addsLinesOnce()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, sidecar);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    QTemporaryDir tree;
    QVERIFY(tree.isValid());
    QCOMPARE(QProcess::execute(QStringLiteral("git"),
                 { QStringLiteral("init"), QStringLiteral("-q"), tree.path() }),
        0);
    QVERIFY(write(tree.filePath(QStringLiteral(".git/info/exclude")), "/build/\n"));
    QVERIFY(write(tree.filePath(QStringLiteral("scripts/add-licence-headers.sh")),
        contents(qEnvironmentVariable("KEYLOFT_SOURCE_DIR")
            + QStringLiteral("/scripts/add-licence-headers.sh"))));
    const QString path = tree.filePath(file);
    QVERIFY(write(path, before));

    // A second run changes nothing and names nothing but a file it refuses again.
    for (const QString &expected : { output, exitCode == 0 ? QString() : output }) {
        QProcess script;
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.setWorkingDirectory(tree.path());
        script.start(QStringLiteral("bash"), { QStringLiteral("scripts/add-licence-headers.sh") });
        QVERIFY(script.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(script.readAll()), expected);
        QCOMPARE(script.exitCode(), exitCode);
        QCOMPARE(contents(path), after);
        QCOMPARE(contents(path + QStringLiteral(".license")), sidecar);
    }
}

QTEST_GUILESS_MAIN(TestLicenceHeaders)
#include "tst_licenceheaders.moc"
