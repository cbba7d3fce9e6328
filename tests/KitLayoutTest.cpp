// Where the kit's files are expected, relative to the program, and the command
// lines that compile them.
#include "core/KitLayout.h"
#include "core/CompileCommand.h"
#include "core/CompilerVersion.h"
#include "host/Text.h"

#include <QTest>

using namespace kit;

class KitLayoutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pathsFollowTheProgramsFolder_data() {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<int>("versionIndex");
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QString>("unitDir");
#ifdef _WIN32
        const QString kit = QStringLiteral("C:\\Lumio kit\\"),
                      cjk = QString::fromUtf8("E:\\\xE5\xBC\x80\xE5\x8F\x91\\");
        QTest::newRow("Delphi 3") << kit + "Forgeway.exe" << 0 << kit << kit + "Delphi-3";
        QTest::newRow("Delphi 4") << kit + "Forgeway.exe" << 1 << kit << kit + "Delphi-4";
        QTest::newRow("at the root") << QStringLiteral("D:\\Forgeway.exe") << 0
                                     << QStringLiteral("D:\\") << QStringLiteral("D:\\Delphi-3");
        QTest::newRow("beyond the code page")
            << cjk + "Forgeway.exe" << 1 << cjk << cjk + "Delphi-4";
#else
        const QString kit = QStringLiteral("/opt/Lumio kit/");
        QTest::newRow("Delphi 3") << kit + "Forgeway" << 0 << kit << kit + "Delphi-3";
        QTest::newRow("Delphi 4") << kit + "Forgeway" << 1 << kit << kit + "Delphi-4";
        QTest::newRow("any other choice") << kit + "Forgeway" << -1 << kit << kit + "Delphi-4";
        QTest::newRow("at the root") << QStringLiteral("/Forgeway") << 0 << QStringLiteral("/")
                                     << QStringLiteral("/Delphi-3");
#endif
    }
    void pathsFollowTheProgramsFolder() {
        QFETCH(QString, exe);
        QFETCH(int, versionIndex);
        QFETCH(QString, programDir);
        QFETCH(QString, unitDir);
        const std::string e = exe.toStdString(); // UTF-8, as the host layer's names
        const QString sep(QChar::fromLatin1(host::PathDelim));
        QCOMPARE(QString::fromStdString(ProgramDir(e)), programDir);
        QCOMPARE(QString::fromStdString(DemoDir(e)), programDir + "Demo");
        QCOMPARE(QString::fromStdString(UnitDir(e, versionIndex)), unitDir);
        QCOMPARE(QString::fromStdString(DemoFile(DemoDir(e), OutputProgram)),
                 programDir + "Demo" + sep + "Lumio.EXE");
    }

    // The two sizes that tell a compiler's version, and their neighbours.
    void versionBySize_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("versionIndex"); // -1: no version
        QTest::newRow("430080: Delphi 3") << qint64(430080) << 0;
        QTest::newRow("543232: Delphi 4") << qint64(543232) << 1;
        QTest::newRow("one byte less than Delphi 3") << qint64(430079) << -1;
        QTest::newRow("one byte more than Delphi 3") << qint64(430081) << -1;
        QTest::newRow("one byte less than Delphi 4") << qint64(543231) << -1;
        QTest::newRow("one byte more than Delphi 4") << qint64(543233) << -1;
        QTest::newRow("empty file") << qint64(0) << -1;
        QTest::newRow("4 GiB more than Delphi 3") << (qint64(1) << 32) + 430080 << -1;
    }
    void versionBySize() {
        QFETCH(qint64, size);
        QFETCH(int, versionIndex);
        QCOMPARE(VersionIndexBySize(size).value_or(-1), versionIndex);
    }

    // The line as a user reads it, and the parts that are really started.
    void compileCommand_data() {
        QTest::addColumn<QStringList>("parts"); // compiler, source, unit folder
        QTest::addColumn<QString>("text");
        QTest::newRow("Windows paths")
            << QStringList{"C:\\D4\\Bin\\DCC32.EXE", "C:\\Kit\\Demo\\Cove.Pas", "C:\\Kit\\Delphi-4"}
            << "C:\\D4\\Bin\\DCC32.EXE C:\\Kit\\Demo\\Cove.Pas -UC:\\Kit\\Delphi-4";
        QTest::newRow("the project")
            << QStringList{"/d4/DCC32.EXE", "/kit/Demo/Lumio.DPR", "/kit/Delphi-3"}
            << "/d4/DCC32.EXE /kit/Demo/Lumio.DPR -U/kit/Delphi-3";
        // Blanks: the text stays the plain concatenation; each part is whole.
        QTest::newRow("blanks")
            << QStringList{"/Program Files/DCC32.EXE", "/My Kit/Demo/Mint.Pas", "/My Kit/Delphi-4"}
            << "/Program Files/DCC32.EXE /My Kit/Demo/Mint.Pas -U/My Kit/Delphi-4";
        QTest::newRow("a source named like the option")
            << QStringList{"/c/DCC32.EXE", "/k/Demo/x -U.Pas", "/u"}
            << "/c/DCC32.EXE /k/Demo/x -U.Pas -U/u";
    }
    void compileCommand() {
        QFETCH(QStringList, parts);
        QFETCH(QString, text);
        const std::string compiler = parts[0].toStdString(), source = parts[1].toStdString();
        const CompileCommandLine line = CompileCommand(compiler, source, parts[2].toStdString());
        QCOMPARE(QString::fromStdString(line.text), text);
        QCOMPARE(line.program, compiler);
        QCOMPARE(line.args, (std::vector<std::string>{source, "-U" + parts[2].toStdString()}));
    }
};

QTEST_GUILESS_MAIN(KitLayoutTest)
#include "KitLayoutTest.moc"
