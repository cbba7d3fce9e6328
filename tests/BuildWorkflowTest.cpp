// The build-and-run workflow behind the main button, driven through the seam:
// the command lines, the checks and their messages, the waits, the question
// at the end and what each answer does.
#include "runtime/NativeText.h"
#include "runtime/Timer.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Boxes.h"
#include "tests/support/Events.h"

#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>

namespace {

const QString PleaseWait = QStringLiteral("Please wait...");

QString panel() {
    return Form1->SB->Panels(1).Text();
}

QStringList describe(const std::vector<RecordedStart> &starts) {
    QStringList list;
    for (const RecordedStart &s : starts) {
        QStringList parts{fromNative(s.program)};
        for (const std::string &a : s.args)
            parts << fromNative(a);
        list << parts.join(QStringLiteral(" | "));
    }
    return list;
}

// The seven compiles of a run, in the order they must start.
QStringList expectedCompiles(const BuildKit &kit, int versionIndex) {
    std::vector<RecordedStart> starts;
    const std::string option = "-U" + kit.unitDir(versionIndex);
    for (const std::string &name : DemoUnitNames)
        starts.push_back({kit.compiler(), {kit.demo(name + ".Pas"), option}});
    starts.push_back({kit.compiler(), {kit.demo("Lumio.DPR"), option}});
    return describe(starts);
}

struct KitOwner {
    BuildKit kit;
};

// The application over a seam, with its own kit as the program's folder, the
// compiler typed into Edit1, and the wait dialog ticking every millisecond.
// Records the status text and the number of starts while each box is up, and
// the status text while the wait dialog is; runs onPasBox while the "*.Pas
// compile" box is up.
class Bench : public KitOwner, public AppFixture {
public:
    explicit Bench(int versionIndex = 1, const std::string &kitRel = "Kit",
                   const std::string &compilerRel = "Bin/DCC32.EXE")
        : KitOwner{BuildKit(kitRel, compilerRel)}, AppFixture(kit) {
        form2.onShow = [this] { panelWhileForm2Up << panel(); };
        seam.tickStep = 1000;
        seam.whileBoxUp = [this](const QString &text) {
            panelWhileBoxUp << panel();
            startsWhileBoxUp << int(seam.starts.size());
            if (onPasBox && text.startsWith(QStringLiteral("*.Pas")))
                onPasBox();
        };
        Form2->TUj->SetInterval(1);
        Form1->RG->SetItemIndex(versionIndex);
        Form1->Edit1->setText(fromNative(kit.compiler()));
    }

    // Shows the main window and lets its automatic search run, over no
    // drives, so that it is over before the build.
    void showMainWindow() {
        Form1->show();
        QTRY_VERIFY(Form1->Timer1->Enabled());
        QVERIFY(events::tick(Form1->Timer1));
        QVERIFY(Form1->isVisible());
        QVERIFY(!Form1->isMinimized());
    }
    void press() { Form1->BitBtn1->click(); }
    // How often the tick counter was read since it stood at from.
    std::uint32_t readingsSince(std::uint32_t from) const {
        return (seam.ticks - from) / seam.tickStep;
    }

    ShowWatch form2{Form2};
    std::function<void()> onPasBox;
    QStringList panelWhileBoxUp;
    QList<int> startsWhileBoxUp;
    QStringList panelWhileForm2Up;
};

} // namespace

class BuildWorkflowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sevenCompilesInOrder_data() {
        QTest::addColumn<int>("versionIndex");
        QTest::addColumn<bool>("blanks"); // in the kit's folder and in the compiler's path
        QTest::newRow("Delphi 3") << 0 << false;
        QTest::newRow("Delphi 4") << 1 << false;
        QTest::newRow("Delphi 4, blanks in both paths") << 1 << true;
        QTest::newRow("Delphi 3, blanks in both paths") << 0 << true;
    }
    void sevenCompilesInOrder() {
        QFETCH(int, versionIndex);
        QFETCH(bool, blanks);
        Bench b(versionIndex, blanks ? "My Kit" : "Kit",
                blanks ? "Program Files/Bin/DCC32.EXE" : "Bin/DCC32.EXE");
        b.press();

        QCOMPARE(describe(b.seam.starts), expectedCompiles(b.kit, versionIndex));
        QCOMPARE(b.form2.shows, 1);
        QCOMPARE(b.seam.boxes, (QStringList{boxes::PasCompile, boxes::CouldNotCompile}));
        QCOMPARE(b.panelWhileForm2Up, QStringList{PleaseWait});
        QCOMPARE(b.panelWhileBoxUp, (QStringList{PleaseWait, PleaseWait}));
        QCOMPARE(b.startsWhileBoxUp, (QList<int>{7, 7})); // the project started before its box
        b.expectIdle();
        QCOMPARE(b.seam.beeps, 0);
        QCOMPARE(Form1->RG->ItemIndex(), versionIndex);
    }

    // The version is read once, at the start of a run; a press during the
    // output wait runs a second build inside the first, which then resumes.
    void theUnitFolderIsReadOnceARun() {
        Bench b(1);
        b.seam.tickStep = 10; // the outer wait could last 1000 cycles
        b.seam.confirmAnswers = {false, false};
        // While the first run's wait dialog is up: switch to "Delphi 3".
        QTimer::singleShot(0, Form1, [] { Form1->RG->SetItemIndex(0); });
        int pasMessages = 0;
        b.onPasBox = [&] {
            if (++pasMessages == 1)
                QTimer::singleShot(30, Form1, [] { Form1->BitBtn1->click(); });
            else
                b.kit.lumio(); // the nested build succeeds at once
        };
        const std::uint32_t before = b.seam.ticks;
        b.press();

        QCOMPARE(describe(b.seam.starts), expectedCompiles(b.kit, 1) + expectedCompiles(b.kit, 0));
        QCOMPARE(b.seam.boxes, (QStringList{boxes::PasCompile, boxes::PasCompile,
                                            boxes::SuccessQuestion, boxes::SuccessQuestion}));
        QVERIFY(b.readingsSince(before) < 500); // the outer wait ended on the output, not the clock
        QCOMPARE(b.form2.shows, 2);
        QCOMPARE(b.panelWhileForm2Up, (QStringList{PleaseWait, PleaseWait}));
        // The nested run's end clears the status while the outer run waits.
        QCOMPARE(b.panelWhileBoxUp, (QStringList{PleaseWait, PleaseWait, PleaseWait, QString()}));
        QCOMPARE(Form1->RG->ItemIndex(), 0);
        b.expectIdle();
    }

    // Without both the unit folder and Demo nothing starts, and the box names
    // the two; with one of them there the build goes on.
    void missingKitFolders_data() {
        QTest::addColumn<int>("versionIndex");
        QTest::addColumn<QStringList>("missing");
        QTest::newRow("Delphi 3, only Delphi-4 there") << 0 << QStringList{"Demo", "Delphi-3"};
        QTest::newRow("Delphi 4, only Delphi-3 there") << 1 << QStringList{"Demo", "Delphi-4"};
        QTest::newRow("Demo missing") << 1 << QStringList{"Demo"};
        QTest::newRow("Delphi-4 missing") << 1 << QStringList{"Delphi-4"};
        QTest::newRow("Delphi-3 missing") << 0 << QStringList{"Delphi-3"};
    }
    void missingKitFolders() {
        QFETCH(int, versionIndex);
        QFETCH(QStringList, missing);
        Bench b(versionIndex);
        for (const QString &folder : missing)
            b.kit.removeFolder(folder.toStdString());
        b.press();
        b.expectIdle();
        if (missing.size() == 1) {
            QCOMPARE(describe(b.seam.starts), expectedCompiles(b.kit, versionIndex));
            QCOMPARE(b.form2.shows, 1);
            QCOMPARE(b.seam.boxes, (QStringList{boxes::PasCompile, boxes::CouldNotCompile}));
            return;
        }
        const QString expected = QStringLiteral("message: Directory not found: \r") +
                                 fromNative(b.kit.unitDir(versionIndex)) +
                                 QStringLiteral("\r\rOR\r\r") + fromNative(b.kit.demoDir());
        QCOMPARE(b.seam.boxes, QStringList{expected});
        QVERIFY(b.seam.starts.empty());
        QCOMPARE(b.form2.shows, 0);
        QCOMPARE(b.panelWhileBoxUp, QStringList{QString()}); // "Please wait..." not yet
        QCOMPARE(b.seam.beeps, 0);
    }

    // A Lumio.EXE from an earlier build: nothing is compiled, the dialog is
    // still shown, and the question comes straight after it.
    void lumioAlreadyThere() {
        Bench b;
        b.kit.lumio();
        b.seam.confirmAnswers = {false};
        const std::uint32_t before = b.seam.ticks;
        b.press();
        QVERIFY(b.seam.starts.empty());
        QCOMPARE(b.form2.shows, 1);
        QCOMPARE(Form2->Caption(), QStringLiteral("Wait [31]")); // no units: it ran out
        QCOMPARE(b.seam.boxes, QStringList{boxes::SuccessQuestion});
        QCOMPARE(b.readingsSince(before), 1u); // the wait ended at its first probe
        QCOMPARE(b.panelWhileBoxUp, QStringList{PleaseWait});
        b.expectIdle();
    }

    void lumioAppearsDuringTheWait() {
        Bench b;
        b.seam.tickStep = 10; // 1000 cycles before the time-out
        b.seam.confirmAnswers = {false};
        b.onPasBox = [&] { QTimer::singleShot(50, Form1, [&] { b.kit.lumio(); }); };
        const std::uint32_t before = b.seam.ticks;
        b.press();
        const std::uint32_t readings = b.readingsSince(before);
        QCOMPARE(b.seam.starts.size(), std::size_t(7));
        QCOMPARE(b.seam.boxes, (QStringList{boxes::PasCompile, boxes::SuccessQuestion}));
        QVERIFY2(readings > 1 && readings < 900, qPrintable(QString::number(readings)));
        b.expectIdle();
    }

    // The 10 000 ms count from the moment the "*.Pas compile" box is
    // dismissed, across a wrap of the counter too.
    void theWaitLasts10000Ticks_data() {
        QTest::addColumn<quint32>("startReading");
        QTest::newRow("no wrap") << quint32(123456);
        QTest::newRow("wraps during the wait") << quint32(0xFFFFFFFFu - 2500u);
        QTest::newRow("wraps at the first cycle") << quint32(0xFFFFFFFFu);
        QTest::newRow("wraps to zero at the last reading") << quint32(0xFFFFFFFFu - 9999u);
        QTest::newRow("start at zero") << quint32(0);
    }
    void theWaitLasts10000Ticks() {
        QFETCH(quint32, startReading);
        Bench b;
        b.seam.ticks = startReading - 60000u; // the clock before the box
        // The user took a minute to read the "*.Pas compile" box.
        b.onPasBox = [&] { b.seam.ticks = startReading; };
        // A wait that never ends on the clock must still end the test.
        QTimer::singleShot(8000, Form1, [&] { b.kit.lumio(); });
        b.press();
        // Readings 0, 1000, ..., 10000: the last one ends the wait.
        QCOMPARE(b.readingsSince(startReading), 11u);
        QCOMPARE(b.seam.boxes, (QStringList{boxes::PasCompile, boxes::CouldNotCompile}));
        QCOMPARE(b.panelWhileBoxUp, (QStringList{PleaseWait, PleaseWait}));
        b.expectIdle();
    }

    void theSuccessQuestion_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("Cancel keeps the program open") << false;
        QTest::newRow("OK starts Lumio and ends the program") << true;
    }
    void theSuccessQuestion() {
        QFETCH(bool, ok);
        Bench b;
        b.kit.allUnits();
        b.seam.confirmAnswers = {ok};
        b.showMainWindow();
        // Lumio.EXE is written by the project compile.
        b.onPasBox = [&] { b.kit.lumio(); };
        b.press();

        QCOMPARE(b.seam.boxes, (QStringList{boxes::PasCompile, boxes::SuccessQuestion}));
        QCOMPARE(b.panelWhileBoxUp, (QStringList{PleaseWait, PleaseWait}));
        QCOMPARE(Form2->Caption(), QStringLiteral("Wait [1]"));
        QCOMPARE(panel(), QString());
        QStringList starts = expectedCompiles(b.kit, 1);
        if (ok)
            starts << fromNative(b.kit.output());
        QCOMPARE(describe(b.seam.starts), starts);
        QCOMPARE(b.app->Terminated(), ok);
        QCOMPARE(Form1->isMinimized(), ok);
        if (ok) {
            QVERIFY(b.seam.starts.back().args.empty());
            QCOMPARE(Form1->Tag, 1);
            QCOMPARE(b.seam.terminateCalls, 1);
        } else {
            b.expectIdle();
            QVERIFY(Form1->isVisible());
        }
    }

    // A failed build's box offers what each compile that made nothing wrote:
    // the project first, then the units in the order they compile, each as its
    // command line as typed and then why it did not start, or the tail of its
    // output.  The "*.Pas compile" box offers the units' part only when the
    // wait dialog ran out of time, on its 31st tick.
    void theDetailsOfAFailedBuild_data() {
        QTest::addColumn<QStringList>("made"); // units compiled before the press
        QTest::addColumn<int>("closedAfter");  // the user's close after this tick; -1: none
        QTest::addColumn<QStringList>("pasDetails");
        QTest::addColumn<QStringList>("failDetails");
        const QStringList rest{"Mint", "Orb", "Quillset", "Brook"};
        QTest::newRow("two units made, the dialog ran out")
            << QStringList{"Cove", "Fable"} << -1 << rest << QStringList{"Lumio"} + rest;
        QTest::newRow("two units made, the dialog closed by the user")
            << QStringList{"Cove", "Fable"} << 0 << QStringList{} << QStringList{"Lumio"} + rest;
        QTest::newRow("two units made, the dialog closed by the user after tick 30")
            << QStringList{"Cove", "Fable"} << 30 << QStringList{} << QStringList{"Lumio"} + rest;
        QTest::newRow("every unit made")
            << QStringList{"Cove", "Fable", "Mint", "Orb", "Quillset", "Brook"} << -1
            << QStringList{} << QStringList{"Lumio"};
    }
    void theDetailsOfAFailedBuild() {
        QFETCH(QStringList, made);
        QFETCH(int, closedAfter);
        QFETCH(QStringList, pasDetails);
        QFETCH(QStringList, failDetails);
        Bench b;
        for (const QString &unit : made)
            b.kit.unit(unit.toStdString());
        // By start: Cove, Fable, Mint, Orb, Quillset, Brook, Lumio.DPR.
        b.seam.fakeOutput = {{0, "Cove ok\n"},
                             {2, "caf\xE9 \xFF \x80\r\nnext\tline\x1B[0m\x7F\n10%\r20%\n"},
                             {5, std::string(70000, 'x') + "\nkept line\n"},
                             {6, "Lumio.DPR(9) Fatal: Can't find unit Orb\n"}};
        b.seam.fakeStartResults = {{3, {false, "Permission denied"}}};
        if (closedAfter >= 0) {
            Form2->TUj->SetInterval(60000); // only the ticks given here
            QTimer::singleShot(0, Form2, [closedAfter] {
                QTRY_VERIFY(closedAfter == 0 || Form2->TUj->Enabled()); // the count has begun
                for (int tick = 1; tick <= closedAfter; ++tick)
                    QVERIFY(events::tick(Form2->TUj));
                Form2->close();
            });
        }
        b.press();

        const auto command = [&](const char *file) { return b.kit.shownCommand(file) + '\n'; };
#ifdef _WIN32
        // A Windows console program writes in the ANSI code page.
        const QString accents = QString::fromLocal8Bit("caf\xE9 \xFF \x80");
#else
        const QString accents = QStringLiteral("caf\\xE9 \\xFF \\x80"); // not UTF-8
#endif
        const QMap<QString, QString> part{
            {"Lumio", command("Lumio.DPR") + "Lumio.DPR(9) Fatal: Can't find unit Orb"},
            {"Mint", command("Mint.Pas") + accents + "\nnext\tline\\x1B[0m\\x7F\n10%\n20%"},
            {"Orb", command("Orb.Pas") + "Not started: Permission denied"},
            {"Quillset", command("Quillset.Pas") + "(no output)"},
            {"Brook", command("Brook.Pas") + "(the first 70001 bytes are left out)\nkept line"}};
        const auto details = [&](const QStringList &names) {
            QStringList parts;
            for (const QString &name : names)
                parts << part[name];
            return parts.join(QStringLiteral("\n\n"));
        };
        QCOMPARE(b.seam.boxes, (QStringList{boxes::PasCompile, boxes::CouldNotCompile}));
        QCOMPARE(b.seam.details.at(0), details(pasDetails));
        QCOMPARE(b.seam.details.at(1), details(failDetails));
        QCOMPARE(Form2->RanOut(), made.size() < 6 && closedAfter < 0);
        QCOMPARE(b.seam.starts.size(), std::size_t(7));
        for (const RecordedStart &start : b.seam.starts)
            QVERIFY(start.captured);
    }

    // A start of Lumio.EXE that fails is told, and the program stays.
    void aFailedStartOfLumioIsTold_data() {
        QTest::addColumn<bool>("real");
        QTest::newRow("reported by the seam") << false;
        QTest::newRow("a Lumio.EXE that cannot run") << true;
    }
    void aFailedStartOfLumioIsTold() {
        QFETCH(bool, real);
        Bench b;
        b.kit.lumio(); // an empty file without the execute bit
        QString reason = QStringLiteral("No such file or directory");
        if (real) {
            b.seam.reallyStart = true;
            reason = QString::fromLocal8Bit(std::strerror(EACCES)); // POSIX; Windows below
        } else {
            b.seam.fakeStartResults = {{0, {false, toNative(reason)}}}; // Lumio's, the only one
        }
        b.showMainWindow();
        b.press();

        QCOMPARE(describe(b.seam.starts), QStringList{fromNative(b.kit.output())});
        const QString told = "message: Could not start " + fromNative(b.kit.output()) + ": ";
#ifdef _WIN32
        // The system's own words, which differ from one Windows to another, and
        // name the program where they have a place for it.
        if (real) {
            QCOMPARE(b.seam.boxes.size(), 2);
            QVERIFY2(b.seam.boxes.at(1).startsWith(told), qPrintable(b.seam.boxes.at(1)));
            reason = b.seam.boxes.at(1).mid(told.size());
            QVERIFY(!reason.isEmpty() && !reason.contains(QStringLiteral("%1")));
        }
#endif
        QCOMPARE(b.seam.boxes, (QStringList{boxes::SuccessQuestion, told + reason}));
        QVERIFY(!Form1->isMinimized());
        b.expectIdle();
        QVERIFY(!b.app->Terminated());
    }
};

QTEST_MAIN(BuildWorkflowTest)
#include "BuildWorkflowTest.moc"
