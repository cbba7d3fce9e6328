// Compilers that misbehave: hang, crash, say nothing, do half the work, write
// what is not UTF-8, finish too late, flood their output, leave children
// behind or outlive Forgeway.  Forgeway keeps handling events, reports what
// each failed compile wrote, leaves the kit (but for the compiler's outputs)
// and the temporary folder as they were, and leaves no zombie and no process
// of its own.  The test ends the stand-ins: the program never ends what it starts.
#include "runtime/NativeText.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Boxes.h"
#include "tests/support/Hostile.h"
#include "tests/support/StandInScript.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <sys/stat.h>

// A kit with sources of our own, beside it a stand-in compiler that runs the
// shell lines before and logs into logs, and a folder for TMPDIR (which is
// set back at the end, also when a check failed).  The marker, made first and
// gone last, ends whatever the test left running.
struct Rig {
    hostile::ProcessMarker marker;
    BuildKit kit{"kit", ""};
    const std::string logs = kit.tree.path("logs"), tmp = kit.tree.path("tmp");
    const std::string bin = kit.tree.path("bin"), compiler = bin + "/DCC32.EXE";
    const QByteArray tmpBefore = qgetenv("TMPDIR");
    explicit Rig(const std::string &before) {
        kit.writeSources();
        for (const char *folder : {"logs", "tmp", "bin"})
            kit.tree.folder(folder);
        hostile::writeExecutable(compiler, standin::script({.logDir = logs, .before = before}));
    }
    ~Rig() { qputenv("TMPDIR", tmpBefore); }
};

class FaultyCompilerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void misbehavingCompiler_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("builds");
        QTest::addColumn<int>("outputs"); // compiler outputs in Demo afterwards
        QTest::addColumn<bool>("leavesProcesses");
        // A failed build's details: the compiles that made nothing, in order,
        // and the tail of each (%1: the file it compiled).  Those that say
        // something touch "said.<pid>" once they have.
        QTest::addColumn<QStringList>("failed");
        QTest::addColumn<QString>("tail");
        QTest::addColumn<int>("talkers");
        const QStringList all{"Lumio.DPR", "Cove.Pas",     "Fable.Pas", "Mint.Pas",
                              "Orb.Pas",   "Quillset.Pas", "Brook.Pas"};
        const QString said = QStringLiteral("; touch \"$log/said.$$\""), none = "(no output)";
        const auto fails = [&](const char *lines) { return lines + said + "; exit 1"; };
        QTest::newRow("hangs while writing")
            << "printf 'working on %s...' \"${1##*/}\"" + said + "\nwhile :; do sleep 1; done"
            << false << 0 << true << all << QStringLiteral("working on %1...") << 7;
        QTest::newRow("crashes") << QStringLiteral("kill -SEGV $$") << false << 0 << false << all
                                 << none << 0;
        QTest::newRow("exits at once")
            << QStringLiteral("exit 0") << false << 0 << false << all << none << 0;
        QTest::newRow("writes some units")
            << "case \"$1\" in *Orb.Pas|*Quillset.Pas|*Brook.Pas|*.DPR)\n" +
                   fails("echo \"${1##*/}: cannot compile\" >&2") + ";; esac"
            << false << 3 << false
            << QStringList{"Lumio.DPR", "Orb.Pas", "Quillset.Pas", "Brook.Pas"}
            << QStringLiteral("%1: cannot compile") << 4;
        QTest::newRow("writes bytes that are not UTF-8")
            << fails("printf 'caf\\351 \\377 %s\\n' \"${1##*/}\"") << false << 0 << false << all
            << QStringLiteral("caf\\xE9 \\xFF %1") << 7;
        // A reopen of /dev/stderr would truncate a file and write at its start.
        QTest::newRow("reopens its standard error")
            << fails("echo \"line 1 of ${1##*/}\"; echo 'line 2' > /dev/stderr\necho 'line 3'")
            << false << 0 << false << all << QStringLiteral("line 1 of %1\nline 2\nline 3") << 7;
        // Exactly as much as the details show, and one byte more.
        const QString x = fails("head -c %1 /dev/zero | tr '\\0' x; echo"), xs(65535, 'x');
        QTest::newRow("writes the tail's size")
            << x.arg(65535) << false << 0 << false << all << xs << 7;
        QTest::newRow("writes a byte more") << x.arg(65536) << false << 0 << false << all
                                            << "(the first 1 bytes are left out)\n" + xs << 7;
        // 8 MB a compile, out and err in turn (into one pipe: HostPosixTest's capture case).
        QTest::newRow("floods its output")
            << QStringLiteral("yes out | head -c 4000000; yes err | head -c 4000000 >&2") << true
            << 7 << false << QStringList{} << QString() << 0;
        QTest::newRow("forks children") << QStringLiteral("sleep 300 & (sleep 300 &)") << true << 7
                                        << true << QStringList{} << QString() << 0;
    }
    void misbehavingCompiler() {
        QFETCH(QString, before);
        QFETCH(bool, builds);
        QFETCH(int, outputs);
        QFETCH(bool, leavesProcesses);
        QFETCH(QStringList, failed);
        QFETCH(QString, tail);
        QFETCH(int, talkers);
        Rig r(before.toStdString());
        qputenv("TMPDIR", QByteArray::fromStdString(r.tmp));
        const auto kitBefore = hostile::snapshot(r.kit.dir()), binBefore = hostile::snapshot(r.bin);

        AppFixture f{r.kit};
        // Failures wait out the 10 s in a fifth of a second; builds get real time.
        f.startForReal(r.compiler, builds ? 10 : 500);
        f.seam.confirmAnswers = {false};
        bool handledDuringWait = false;
        f.seam.whileBoxUp = [&](const QString &text) {
            if (!text.startsWith(QStringLiteral("*.Pas")))
                return;
            QTimer::singleShot(0, [&] { handledDuringWait = true; });
            // What each compile says is in place before the failure box.
            QTRY_COMPARE_WITH_TIMEOUT(hostile::countPrefixed(r.logs, "said."), talkers, 20000);
        };
        hostile::WaitDialogDriver driver;
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
        f.expectIdle();
        QVERIFY(hostile::noChildren());
        QTRY_COMPARE(standin::runs(r.logs).size(), std::size_t(7)); // every start ran

        // The failure box: the project, then the units that made nothing, each
        // as typed and with what it wrote.  The "*.Pas compile" box before it
        // named the same units, the dialog having run out of time.
        if (!builds) {
            QStringList parts, units;
            for (const QString &file : failed) {
                const QString command = r.kit.shownCommand(file.toStdString(), r.compiler);
                parts << command + '\n' + QString(tail).replace(QStringLiteral("%1"), file);
                if (file != QLatin1String("Lumio.DPR"))
                    units << command;
            }
            QCOMPARE(f.seam.details.at(1), parts.join(QStringLiteral("\n\n")));
            QCOMPARE(boxes::commandsIn(f.seam.details.at(0)), units);
        }

        const auto kitAfter = hostile::snapshot(r.kit.dir());
        QCOMPARE(hostile::changes(kitBefore, kitAfter, true), QByteArray());
        int made = 0;
        for (const auto &[rel, hash] : kitAfter)
            made += hostile::isCompilerOutput(rel);
        QCOMPARE(made, outputs);
        QCOMPARE(hostile::changes(binBefore, hostile::snapshot(r.bin)), QByteArray());

        // Every stand-in and drain that is to end by itself has ended (a
        // stand-in may still be exiting after its output is in place).
        if (!leavesProcesses)
            QTRY_VERIFY_WITH_TIMEOUT(r.marker.alive().empty(), 20000);
        const int leftOver = r.marker.kill();
        QCOMPARE(leftOver > 0, leavesProcesses);
        QVERIFY(r.marker.alive().empty());
        QVERIFY(hostile::noChildren());
        // Nothing in the temporary folder either.
        QVERIFY(hostile::snapshot(r.tmp).empty());
    }

    // Forgeway's process ends while its compilers still write: they write on,
    // with no error and no signal, and finish their outputs.  Nothing of the
    // build is left in the kit or the temporary folder.
    void compilersOutliveForgeway() {
        // Each compile writes until Forgeway has ended, and then some more,
        // noting any write that fails.
        Rig r("while [ ! -e \"$log/ended\" ]; do echo waiting; sleep 0.05; done\n"
              "i=0; while [ $i -lt 2000 ]; do i=$((i+1))\n"
              "echo \"line $i of ${1##*/}\" || touch \"$log/failed.$$\"\n"
              "echo \"line $i\" >&2 || touch \"$log/failed.$$\"; done\n"
              "fd=$(readlink /proc/$$/fd/1); echo \"$fd\" > \"$log/fd.$$\"");
        const auto kitBefore = hostile::snapshot(r.kit.dir());

        QProcess forgeway;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TMPDIR"), QString::fromStdString(r.tmp));
        // Qt's own runtime folder would otherwise go into TMPDIR.
        const std::string runtime = r.kit.tree.path("runtime");
        QVERIFY(mkdir(runtime.c_str(), 0700) == 0);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime));
        forgeway.setProcessEnvironment(env);
        forgeway.start(QStringLiteral(BUILD_PROBE),
                       {fromNative(r.kit.exe()), fromNative(r.compiler)});
        QVERIFY(forgeway.waitForFinished(60000));
        QCOMPARE(forgeway.exitStatus(), QProcess::NormalExit);
        QCOMPARE(forgeway.exitCode(), 0);
        QCOMPARE(
            QString::fromUtf8(forgeway.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
            (QStringList{boxes::PasCompile, boxes::CouldNotCompile}));
        QTRY_COMPARE(standin::runs(r.logs).size(), std::size_t(7)); // the last one starts late
        QVERIFY(!r.kit.exists("Demo/Cove.DCU"));

        hostile::writeFile(r.logs + "/ended", "");
        QTRY_COMPARE_WITH_TIMEOUT(r.kit.compiledUnits(), DemoUnitNames, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(r.kit.exists("Demo/Lumio.EXE"), 60000);
        QCOMPARE(hostile::countPrefixed(r.logs, "failed."), 0);
        QTRY_COMPARE(hostile::countPrefixed(r.logs, "fd."), 7);
        for (const auto &[rel, hash] : hostile::snapshot(r.logs))
            if (rel.rfind("fd.", 0) == 0)
                QVERIFY(hostile::readFile(r.logs + "/" + rel).rfind("pipe:[", 0) == 0);

        QCOMPARE(hostile::changes(kitBefore, hostile::snapshot(r.kit.dir()), true), QByteArray());
        QCOMPARE(hostile::changes({}, hostile::snapshot(r.tmp)), QByteArray());
        QTRY_VERIFY(r.marker.alive().empty()); // every compile ended by itself
    }

    // Lumio.EXE comes a second after the wait has given up: the run reports
    // failure, the file stays, and the next run offers it without compiling.
    void outputThatComesTooLate() {
        Rig r("case \"$1\" in *.DPR) sleep 1;; esac");

        AppFixture f{r.kit};
        f.startForReal(r.compiler, 500);
        f.seam.confirmAnswers = {false};
        hostile::WaitDialogDriver driver;
        Form1->BitBtn1->click();
        QCOMPARE(f.seam.boxes, (QStringList{boxes::PasCompile, boxes::CouldNotCompile}));
        QVERIFY(!r.kit.exists("Demo/Lumio.EXE"));

        QTRY_VERIFY_WITH_TIMEOUT(r.kit.exists("Demo/Lumio.EXE"), 10000);
        f.seam.boxes.clear();
        Form1->BitBtn1->click();
        QCOMPARE(f.seam.boxes, QStringList{boxes::SuccessQuestion});
        QCOMPARE(f.seam.starts.size(), std::size_t(7)); // nothing compiled the second time
        QVERIFY(hostile::noChildren());
    }
};

QTEST_MAIN(FaultyCompilerTest)
#include "FaultyCompilerTest.moc"
