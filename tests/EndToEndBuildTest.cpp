// The whole build from the main button to the started Lumio.EXE, with real
// processes: a stand-in compiler that logs its arguments and writes what the
// real one would, and a stand-in Lumio.EXE that leaves a marker.
#include "runtime/NativeText.h"
#include "runtime/Timer.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Boxes.h"
#include "tests/support/Events.h"
#include "tests/support/Hostile.h"
#include "tests/support/StandInScript.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using standin::shellQuoted;

class EndToEndBuildTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The stand-ins' own files lie in the kit's folder, so its name is in
    // every path the scripts are given.
    void buildsAndRunsLumio_data() {
        QTest::addColumn<QString>("kitFolder");
        QTest::addColumn<QString>("compilerFile");
        QTest::newRow("blanks") << QString("Kit With Blank") << "Tools Dir/Bin/DCC32.EXE";
        QTest::newRow("single quotes") << QString("O'Brien kit") << "O'Brien tools/DCC32.EXE";
    }
    void buildsAndRunsLumio() {
        QFETCH(QString, kitFolder);
        QFETCH(QString, compilerFile);
        BuildKit kit(kitFolder.toStdString(), compilerFile.toStdString());
        kit.tree.folder(kitFolder.toStdString() + "/logs");
        const std::string logs = kit.path("logs");
        const std::string lumioTemplate = kit.path("LumioStandIn");
        const std::string marker = kit.path("Lumio ran");
        hostile::writeExecutable(
            kit.compiler(),
            standin::script({.logDir = logs, .delaySeconds = 0.2, .lumioTemplate = lumioTemplate}));
        hostile::writeExecutable(lumioTemplate, "#!/bin/sh\nprintf '%s\\n' \"$#\" > " +
                                                    shellQuoted(marker + ".part") + " && mv " +
                                                    shellQuoted(marker + ".part") + " " +
                                                    shellQuoted(marker) + "\n");

        AppFixture f{kit};
        f.startForReal(kit.compiler(), 10); // the output wait ends after at most 1000 cycles
        ShowWatch watch(Form2);
        Form1->show();
        // The automatic search, over no drives, is over before the build.
        QTRY_VERIFY(Form1->Timer1->Enabled());
        QVERIFY(events::tick(Form1->Timer1));

        QElapsedTimer clock;
        clock.start();
        Form1->BitBtn1->click();
        qInfo("the build took %lld ms; the wait dialog closed on tick %d", clock.elapsed(),
              Form2->TUj->Tag);

        QCOMPARE(f.seam.boxes, (QStringList{boxes::PasCompile, boxes::SuccessQuestion}));
        QCOMPARE(watch.shows, 1);
        QVERIFY2(Form2->TUj->Tag < 31, "the wait dialog should close on the units, not run out");
        QVERIFY(!Form2->TUj->Enabled());

        // What each compiler really received, argument by argument, as the
        // stand-in logged it (their order is BuildWorkflowTest's).
        QCOMPARE(f.seam.starts.size(), std::size_t(8));
        QVERIFY2(standin::runs(logs) == standin::buildRuns(kit, 1),
                 hostile::joined(standin::runs(logs)).constData());
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
