// The whole journey with a real compiler behind the stand-in Bin/DCC32.EXE:
// a copy of the sample kit, the main button, the real wait dialog, the two
// questions answered OK, and a Lumio.EXE that starts and says which unit
// folder it was built with.  Also a kit with a unit that does not compile.
#include "runtime/Timer.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Boxes.h"
#include "tests/support/Events.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

// One reading of the tick counter per cycle of the ten-second wait for
// Lumio.EXE, and each cycle sleeps at most 10 ms: so the wait lasts about as
// long as it would on the clock.
constexpr std::uint32_t TicksPerReading = 10;

// A copy of the sample kit's sources, and the application over it with the
// built stand-in typed in as the compiler; Lumio leaves its trace in trace.
struct Journey {
    BuildKit kit{"Kit", ""};
    const QString trace = QFile::decodeName(kit.tree.path("lumio-trace.txt").c_str());
    AppFixture f;
    explicit Journey(RuntimeGeneration generation = RuntimeGeneration::Delphi4)
        : f(kit, generation) {
        kit.copySourcesFrom(KIT_SOURCE_DIR);
        qputenv("LUMIO_TRACE", QFile::encodeName(trace));
        f.startForReal(STANDIN_COMPILER, TicksPerReading);
    }
};

QString ReadAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class RealCompilerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (!QFileInfo(QStringLiteral(STANDIN_COMPILER)).isExecutable())
            QSKIP("the stand-in compiler Bin/DCC32.EXE is not built");
        if (QStandardPaths::findExecutable(QStringLiteral("fpc")).isEmpty())
            QSKIP("Free Pascal (fpc) is not installed");
    }

    void buildsAndStartsLumio_data() {
        QTest::addColumn<int>("generation");
        QTest::addColumn<QString>("unitFolder");
        QTest::newRow("Forgeway") << int(RuntimeGeneration::Delphi4) << QStringLiteral("Delphi-4");
        QTest::newRow("Forgeway3") << int(RuntimeGeneration::Delphi3) << QStringLiteral("Delphi-3");
    }
    void buildsAndStartsLumio() {
        QFETCH(int, generation);
        QFETCH(QString, unitFolder);
        Journey j(static_cast<RuntimeGeneration>(generation));
        int captionAtClose = 0;
        QObject::connect(Form2, &QWidget::windowTitleChanged, Form2, [&] {
            if (!Form2->TUj->Enabled())
                captionAtClose = Form2->TUj->Tag;
        });
        // The stand-in's size is its own, so the window's first choice stays.
        QCOMPARE(Form1->RG->ItemIndex(), unitFolder == QLatin1String("Delphi-3") ? 0 : 1);
        QVERIFY(Form1->BitBtn1->isEnabled());
        Form1->BitBtn1->click(); // runs the whole build, wait dialog included

        QCOMPARE(j.f.seam.boxes, QStringList({boxes::PasCompile, boxes::SuccessQuestion}));
        QCOMPARE(j.kit.compiledUnits(), DemoUnitNames);
        QVERIFY(j.kit.exists("Demo/Lumio.EXE"));
        // The wait dialog closed by itself on the tick that found all six
        // units, well before its time-out.
        QVERIFY(!Form2->isVisible());
        QVERIFY2(captionAtClose >= 1 && captionAtClose < 31, qPrintable(Form2->Caption()));
        QCOMPARE(Form2->Caption(), QStringLiteral("Wait [%1]").arg(captionAtClose));

        // Six unit compiles, the project, and Lumio itself.
        QCOMPARE(j.f.seam.starts.size(), std::size_t(8));
        QCOMPARE(j.f.seam.starts.back().program, j.kit.output());
        QCOMPARE(Form1->Tag, 1);
        QCOMPARE(j.f.seam.terminateCalls, 1);
        QCOMPARE(Form1->SB->Panels(1).Text(), QString());

        // Lumio ran, built against the unit folder the window had chosen.
        QTRY_VERIFY_WITH_TIMEOUT(ReadAll(j.trace).contains(unitFolder), 15000);
        const bool three = unitFolder == QLatin1String("Delphi-3");
        QVERIFY(!ReadAll(j.trace).contains(three ? QStringLiteral("Delphi-4") : "Delphi-3"));
    }

    // Orb.Pas does not compile: no Orb.DCU, and Lumio.DPR (which needs Orb
    // through Brook) fails too, so the build ends with the failure message.
    void brokenUnitEndsInTheFailureMessage() {
        Journey j;
        QVERIFY(j.kit.breakUnit("Orb"));

        // The dialog would wait out its 31 seconds for Orb.DCU. Once the
        // units that do compile are there, play the remaining ticks at once.
        bool ranOut = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
            if (!Form2->isVisible() || j.kit.compiledUnits().size() < 4)
                return;
            for (int i = 0; i < 40 && Form2->isVisible(); ++i)
                QVERIFY(events::tick(Form2->TUj));
            ranOut = !Form2->isVisible();
        });
        poll.start(50);

        Form1->BitBtn1->click();
        poll.stop();

        QVERIFY(ranOut);
        QCOMPARE(Form2->Caption(), QStringLiteral("Wait [31]"));
        QCOMPARE(j.f.seam.boxes, QStringList({boxes::PasCompile, boxes::CouldNotCompile}));
        // Seven compiles, and nothing started afterwards.
        QCOMPARE(j.f.seam.starts.size(), std::size_t(7));
        std::vector<std::string> compiled = DemoUnitNames;
        std::erase(compiled, "Orb");
        std::erase(compiled, "Brook"); // it uses Orb
        QCOMPARE(j.kit.compiledUnits(), compiled);
        QVERIFY(!j.kit.exists("Demo/Lumio.EXE"));
        QVERIFY(!QFileInfo::exists(j.trace));

        // Both boxes offer what the compiles that made nothing said: the
        // project's first, then Orb's and Brook's; Free Pascal's own error
        // line among them.
        const auto command = [&](const char *file) {
            return j.kit.shownCommand(file, STANDIN_COMPILER);
        };
        QCOMPARE(boxes::commandsIn(j.f.seam.details.at(0)),
                 (QStringList{command("Orb.Pas"), command("Brook.Pas")}));
        const QString details = j.f.seam.details.at(1);
        QCOMPARE(boxes::commandsIn(details),
                 (QStringList{command("Lumio.DPR"), command("Orb.Pas"), command("Brook.Pas")}));
        const QRegularExpression error(
            QStringLiteral("^Orb\\.Pas\\(\\d+,\\d+\\) Fatal: Syntax error, .*$"),
            QRegularExpression::MultilineOption);
        const QRegularExpressionMatch line = error.match(details);
        QVERIFY2(line.hasMatch(), qPrintable(details));
        QVERIFY(details.indexOf(command("Orb.Pas")) < line.capturedStart());
        QVERIFY(line.capturedStart() < details.indexOf(command("Brook.Pas")));
        qInfo("Free Pascal's error line in the details: %s", qPrintable(line.captured()));
        // Free Pascal's own outputs stay out of the j.kit.
        const QStringList leftovers =
            QDir(QFile::decodeName(j.kit.demoDir().c_str())).entryList({"*.o", "*.ppu", "*.res"});
        QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(' ')));
        // The window is ready for another try.
        j.f.expectIdle();
        QVERIFY(Form1->BitBtn1->isEnabled());
    }
};

QTEST_MAIN(RealCompilerTest)
#include "RealCompilerTest.moc"
