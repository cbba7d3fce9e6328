// Compilers that misbehave: hang, crash, say nothing, do half the work,
// finish too late, flood their output or leave children behind.  Forgeway
// keeps handling events, reports as the workflow says, leaves the kit as it
// was (but for the compiler's outputs), writes nothing itself and leaves no
// zombie and no process of its own.  The stand-ins themselves are ended by
// the test: the program never ends what it starts.
#include "runtime/NativeText.h"
#include "runtime/StatusBar.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Boxes.h"
#include "tests/support/BuildKit.h"
#include "tests/support/Hostile.h"
#include "tests/support/StandInScript.h"

#include <QElapsedTimer>
#include <QTest>
#include <sys/stat.h>

class FaultyCompilerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void misbehavingCompiler_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("builds");
        QTest::addColumn<int>("outputs"); // compiler outputs in Demo afterwards
        QTest::addColumn<bool>("leavesProcesses");
        QTest::newRow("hangs") << QStringLiteral("while :; do sleep 1; done") << false << 0 << true;
        QTest::newRow("crashes") << QStringLiteral("kill -SEGV $$") << false << 0 << false;
        QTest::newRow("exits at once") << QStringLiteral("exit 0") << false << 0 << false;
        QTest::newRow("writes some units")
            << QStringLiteral(
                   "case \"$1\" in *Orb.Pas|*Quillset.Pas|*Brook.Pas|*.DPR) exit 1;; esac")
            << false << 3 << false;
        QTest::newRow("floods its output")
            << QStringLiteral("head -c 4000000 /dev/zero; head -c 4000000 /dev/zero >&2\n"
                              "fds=$(readlink /proc/$$/fd/1 /proc/$$/fd/2)\n"
                              "printf '%s\\n' \"$fds\" > \"$log/fds.$$\"")
            << true << 7 << false;
        QTest::newRow("forks children")
            << QStringLiteral("sleep 300 & (sleep 300 &)") << true << 7 << true;
    }
    void misbehavingCompiler() {
        QFETCH(QString, before);
        QFETCH(bool, builds);
        QFETCH(int, outputs);
        QFETCH(bool, leavesProcesses);
        hostile::ProcessMarker marker;
        BuildKit kit("kit", "");
        kit.writeSources();
        const std::string logs = kit.tree.path("logs"), bin = kit.tree.path("bin");
        QVERIFY(mkdir(logs.c_str(), 0755) == 0 && mkdir(bin.c_str(), 0755) == 0);
        const std::string compiler = bin + "/DCC32.EXE";
        hostile::writeExecutable(compiler,
                                 standin::script({.logDir = logs, .before = before.toStdString()}));
        const auto kitBefore = hostile::snapshot(kit.dir()), binBefore = hostile::snapshot(bin);

        AppFixture f;
        f.seam.reallyStart = true;
        f.seam.exe = kit.exe();
        // Failures wait out the 10 s in a fifth of a second; builds get real time.
        f.seam.tickStep = builds ? 10 : 500;
        f.seam.confirmAnswers = {false};
        bool handledDuringWait = false;
        f.seam.whileBoxUp = [&](const QString &text) {
            if (text.startsWith(QStringLiteral("*.Pas")))
                QTimer::singleShot(0, [&] { handledDuringWait = true; });
        };
        hostile::WaitDialogDriver driver;
        Form1->Edit1->setText(fromNative(compiler));
        QElapsedTimer clock;
        clock.start();
        Form1->BitBtn1->click();
        const qint64 ms = clock.elapsed();

        QCOMPARE(f.seam.boxes, (QStringList{boxes::PasCompile, builds ? boxes::SuccessQuestion
                                                                      : boxes::CouldNotCompile}));
        QCOMPARE(f.seam.starts.size(), std::size_t(7));
        QVERIFY2(ms < 15000, qPrintable(QString::number(ms)));
        QVERIFY(driver.ticks > 0);
        if (!builds)
            QVERIFY(handledDuringWait); // events ran during the 10 s wait
        QCOMPARE(Form1->SB->Panels(1).Text(), QString());
        QCOMPARE(Form1->Tag, 0);
        QCOMPARE(f.seam.terminateCalls, 0);
        QVERIFY(hostile::noChildren());
        QTRY_COMPARE(standin::runs(logs).size(), std::size_t(7)); // every start ran

        if (QTest::currentDataTag() == QByteArray("floods its output")) {
            int streams = 0; // each run saw its output go to /dev/null
            for (const auto &[rel, hash] : hostile::snapshot(logs)) {
                if (rel.rfind("fds.", 0) != 0)
                    continue;
                ++streams;
                QCOMPARE(QByteArray::fromStdString(hostile::readFile(logs + "/" + rel)),
                         QByteArray("/dev/null\n/dev/null\n"));
            }
            QCOMPARE(streams, 7);
        }

        const auto kitAfter = hostile::snapshot(kit.dir());
        const auto changed = hostile::changesBesidesOutputs(kitBefore, kitAfter);
        QVERIFY2(changed.empty(), hostile::joined(changed).constData());
        int made = 0;
        for (const auto &[rel, hash] : kitAfter)
            made += hostile::isCompilerOutput(rel);
        QCOMPARE(made, outputs);
        const auto binChanged = hostile::changes(binBefore, hostile::snapshot(bin));
        QVERIFY2(binChanged.empty(), hostile::joined(binChanged).constData());

        const int leftOver = marker.kill();
        QCOMPARE(leftOver > 0, leavesProcesses);
        QVERIFY(marker.alive().empty());
        QVERIFY(hostile::noChildren());
    }

    // Lumio.EXE comes a second after the wait has given up: the run reports
    // failure, the file stays, and the next run offers it without compiling.
    void outputThatComesTooLate() {
        hostile::ProcessMarker marker;
        BuildKit kit("kit", "");
        kit.writeSources();
        const std::string logs = kit.tree.path("logs");
        QVERIFY(mkdir(logs.c_str(), 0755) == 0);
        const std::string compiler = kit.tree.path("DCC32.EXE");
        hostile::writeExecutable(
            compiler,
            standin::script({.logDir = logs, .before = "case \"$1\" in *.DPR) sleep 1;; esac"}));

        AppFixture f;
        f.seam.reallyStart = true;
        f.seam.exe = kit.exe();
        f.seam.tickStep = 500;
        f.seam.confirmAnswers = {false};
        hostile::WaitDialogDriver driver;
        Form1->Edit1->setText(fromNative(compiler));
        Form1->BitBtn1->click();
        QCOMPARE(f.seam.boxes, (QStringList{boxes::PasCompile, boxes::CouldNotCompile}));
        QVERIFY(!kit.exists("Demo/Lumio.EXE"));

        QTRY_VERIFY_WITH_TIMEOUT(kit.exists("Demo/Lumio.EXE"), 10000);
        f.seam.boxes.clear();
        Form1->BitBtn1->click();
        QCOMPARE(f.seam.boxes, QStringList{boxes::SuccessQuestion});
        QCOMPARE(f.seam.starts.size(), std::size_t(7)); // nothing compiled the second time
        QVERIFY(hostile::noChildren());
    }
};

QTEST_MAIN(FaultyCompilerTest)
#include "FaultyCompilerTest.moc"
