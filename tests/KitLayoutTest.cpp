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

    void unitTableInCompileOrder() {
        const char *sources[] = {"/Cove.Pas -U", "/Fable.Pas -U",    "/Mint.Pas -U",
                                 "/Orb.Pas -U",  "/Quillset.Pas -U", "/Brook.Pas -U"};
        const char *compiled[] = {"/Cove.DCU", "/Fable.DCU",    "/Mint.DCU",
                                  "/Orb.DCU",  "/Quillset.DCU", "/Brook.DCU"};
        QCOMPARE(DemoUnitTable.size(), std::size_t(6));
        for (std::size_t i = 0; i < DemoUnitTable.size(); ++i) {
            QCOMPARE(std::string(DemoUnitTable[i].source), std::string(sources[i]));
            QCOMPARE(std::string(DemoUnitTable[i].compiled), std::string(compiled[i]));
        }
        QCOMPARE(std::string(ProjectLiteral), std::string("/Lumio.DPR -U"));
    }
};

QTEST_GUILESS_MAIN(KitLayoutTest)
#include "KitLayoutTest.moc"
