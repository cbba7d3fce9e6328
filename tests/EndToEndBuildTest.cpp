// The whole build from the main button to the started Lumio.EXE, with real
// processes: a stand-in compiler that logs its arguments and writes what the
// real one would, and a stand-in Lumio.EXE that leaves a marker.
#include "runtime/NativeText.h"
#include "runtime/Timer.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Boxes.h"
#include "tests/support/BuildKit.h"
#include "tests/support/Hostile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace {

std::string quoted(const std::string &path) {
    return "'" + path + "'";
}

// The stand-in compiler: it logs its argument count and arguments, one a
// line, to <logs>/<source name>.args, waits a little, and writes the unit's
// .DCU, or for the project a runnable Lumio.EXE made from lumioTemplate.
// Lumio.EXE is put in place whole by a rename, as it must be runnable the
// moment it exists.
std::string compilerScript(const std::string &logs, const std::string &lumioTemplate) {
    return "#!/bin/sh\n"
           "src=$1\n"
           "{ printf '%s\\n' \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > " +
           quoted(logs) +
           "/\"$(basename \"$src\")\".args\n"
           "sleep 0.2\n"
           "case $src in\n"
           "  *.Pas) : > \"${src%.Pas}.DCU\" ;;\n"
           "  *.DPR) out=\"$(dirname \"$src\")/Lumio.EXE\"\n"
           "         cp " +
           quoted(lumioTemplate) +
           " \"$out.part\" && chmod 755 \"$out.part\" && mv \"$out.part\" \"$out\" ;;\n"
           "esac\n";
}

} // namespace

class EndToEndBuildTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void buildsAndRunsLumio() {
        BuildKit kit("Kit With Blank", "Tools Dir/Bin/DCC32.EXE");
        kit.tree.folder("logs");
        const std::string logs = kit.tree.path("logs");
        const std::string lumioTemplate = kit.tree.path("LumioStandIn");
        const std::string marker = kit.tree.path("Lumio ran");
        hostile::writeExecutable(kit.compiler(), compilerScript(logs, lumioTemplate));
        hostile::writeExecutable(
            lumioTemplate, "#!/bin/sh\nprintf '%s\\n' \"$#\" > " + quoted(marker + ".part") +
                               " && mv " + quoted(marker + ".part") + " " + quoted(marker) + "\n");

        AppFixture f;
        f.seam.reallyStart = true;
        f.seam.exe = kit.exe();
        f.seam.tickStep = 10; // the output wait ends after at most 1000 cycles
        ShowWatch watch(Form2);
        Form1->Edit1->setText(fromNative(kit.compiler()));
        Form1->Timer1->Tag = 1; // no automatic search
        Form1->show();

        QElapsedTimer clock;
        clock.start();
        Form1->BitBtn1->click();
        qInfo("the build took %lld ms; the wait dialog closed on tick %d", clock.elapsed(),
              Form2->TUj->Tag);

        QCOMPARE(f.seam.boxes, (QStringList{boxes::PasCompile, boxes::SuccessQuestion}));
        QCOMPARE(watch.shows, 1);
        QVERIFY2(Form2->TUj->Tag < 31, "the wait dialog should close on the units, not run out");
        QVERIFY(!Form2->TUj->Enabled());

        // What each compiler was given, argument by argument.
        const std::string option = "-U" + kit.unitDir(1);
        QStringList sources;
        for (const std::string &name : DemoUnitNames)
            sources << QString::fromStdString(name + ".Pas");
        sources << QStringLiteral("Lumio.DPR");
        QCOMPARE(f.seam.starts.size(), std::size_t(8));
        for (int i = 0; i < sources.size(); ++i) {
            const std::string source = kit.demoDir() + "/" + sources[i].toStdString();
            QCOMPARE(f.seam.starts[i].program, kit.compiler());
            QCOMPARE(f.seam.starts[i].args, (std::vector<std::string>{source, option}));
            QCOMPARE(QByteArray::fromStdString(
                         hostile::readFile(logs + "/" + sources[i].toStdString() + ".args")),
                     QByteArray::fromStdString("2\n" + source + "\n" + option + "\n"));
        }
        for (const std::string &name : DemoUnitNames)
            QVERIFY(QFile::exists(QString::fromStdString(kit.compiled(name))));

        // Lumio.EXE started, with no arguments, and the program told to end.
        QCOMPARE(f.seam.starts[7].program, kit.output());
        QVERIFY(f.seam.starts[7].args.empty());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(marker)), 5000);
        QCOMPARE(QByteArray::fromStdString(hostile::readFile(marker)), QByteArray("0\n"));
        QCOMPARE(Form1->Tag, 1);
        QCOMPARE(f.seam.terminateCalls, 1);
        QVERIFY(Form1->isMinimized());
        QCOMPARE(Form1->SB->Panels(1).Text(), QString());
        QVERIFY(hostile::noChildren());
    }
};

QTEST_MAIN(EndToEndBuildTest)
#include "EndToEndBuildTest.moc"
