// Where the kit's files are expected, relative to the program.
#include "KitLayout.h"

#include <QTest>

using namespace kit;

class KitLayoutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pathsFollowTheProgramsFolder() {
        const std::string exe = "/opt/Lumio kit/Forgeway";
        QCOMPARE(ProgramDir(exe), std::string("/opt/Lumio kit/"));
        QCOMPARE(DemoDir(exe), std::string("/opt/Lumio kit/Demo"));
        QCOMPARE(UnitDir(exe, 0), std::string("/opt/Lumio kit/Delphi-3"));
        QCOMPARE(UnitDir(exe, 1), std::string("/opt/Lumio kit/Delphi-4"));
        QCOMPARE(UnitDir(exe, -1), std::string("/opt/Lumio kit/Delphi-4")); // any other choice
        QCOMPARE(ProjectFile(exe), std::string("/opt/Lumio kit/Demo/Lumio.DPR"));
        QCOMPARE(OutputProgram(exe), std::string("/opt/Lumio kit/Demo/Lumio.EXE"));
    }

    void programAtTheRootOfTheFileSystem() {
        QCOMPARE(ProgramDir("/Forgeway"), std::string("/"));
        QCOMPARE(DemoDir("/Forgeway"), std::string("/Demo"));
        QCOMPARE(UnitDir("/Forgeway", 0), std::string("/Delphi-3"));
    }
};

QTEST_GUILESS_MAIN(KitLayoutTest)
#include "KitLayoutTest.moc"
