// Text in the compiler's path box that tries to break out: nothing, blanks,
// far too much, shell syntax, bytes that are not text, and paths that name
// something that is not a program.  Only the named program may ever run, and
// nothing may crash; each case ends in the workflow's own messages.
#include "host/Process.h"
#include "runtime/NativeText.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Boxes.h"
#include "tests/support/Events.h"
#include "tests/support/Hostile.h"
#include "tests/support/StandInScript.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A kit, a folder for stand-ins, a folder for their logs and a working folder
// in which a shell, had one run, would leave "pwned".
struct Bench {
    BuildKit kit;
    const TempTree &tree = kit.tree;
    std::string logs = tree.path("logs"), cwd = tree.path("cwd");
    QString oldCwd = QDir::currentPath();

    explicit Bench(const std::string &kitFolder = "kit") : kit(kitFolder, "") {
        mkdir(logs.c_str(), 0755);
        mkdir(cwd.c_str(), 0755);
        kit.writeSources();
        QDir::setCurrent(fromNative(cwd));
    }
    ~Bench() { QDir::setCurrent(oldCwd); }

    // Any entry named pwned anywhere in the tree.
    bool pwned() const {
        for (const auto &[rel, hash] : hostile::snapshot(tree.root()))
            if (rel == "pwned" || rel.ends_with("/pwned"))
                return true;
        return false;
    }

    // No shell ran, and the tree is as it was before (outputs: the kit, but
    // for what the compiler writes).
    void expectTreeUnchanged(const hostile::Snapshot &before, bool outputs = false) const {
        QVERIFY(!pwned());
        const auto after = hostile::snapshot(outputs ? kit.dir() : tree.root());
        QCOMPARE(hostile::changes(before, after, outputs), QByteArray());
    }
};

} // namespace

class HostileInputTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // %T stands for the tree's root, which holds a file DCC32.EXE.
    void textThatNamesNothing_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("no such file") << QStringLiteral("%T/DCC32.EX");
        QTest::newRow("trailing blank, never trimmed") << QStringLiteral("%T/DCC32.EXE ");
        QTest::newRow("leading blank, never trimmed") << QStringLiteral(" %T/DCC32.EXE");
        QTest::newRow("blanks only") << QStringLiteral("   \t ");
        QTest::newRow("64 KiB") << QString(65536, QLatin1Char('A'));
        QTest::newRow("64 KiB of folders") << QStringLiteral("/x").repeated(32768);
        QTest::newRow("semicolon") << QStringLiteral("/bin/true; touch pwned");
        QTest::newRow("pipe") << QStringLiteral("/bin/true | touch pwned");
        QTest::newRow("ampersand") << QStringLiteral("/bin/true & touch pwned");
        QTest::newRow("substitution") << QStringLiteral("$(touch pwned)");
        QTest::newRow("backticks") << QStringLiteral("`touch pwned`");
        QTest::newRow("quotes") << QStringLiteral("'\"'\"; touch pwned; echo \"'");
        QTest::newRow("newline") << QStringLiteral("/bin/true\ntouch pwned");
        QTest::newRow("option") << QStringLiteral("-c touch pwned");
        QTest::newRow("not UTF-8") << fromNative("\xff\xfe\x80; touch pwned");
    }
    void textThatNamesNothing() {
        QFETCH(QString, text);
        Bench b;
        hostile::writeFile(b.tree.path("DCC32.EXE"), "");
        text.replace(QStringLiteral("%T"), fromNative(b.tree.root()));
        const auto before = hostile::snapshot(b.tree.root());
        AppFixture f{b.kit};
        f.seam.reallyStart = true;
        ShowWatch form2(Form2);
        Form1->Edit1->setText(text);
        const QString shown = Form1->Edit1->text(); // the box may hold less than 64 KiB
        int beepsWhileBoxUp = -1;
        QString panelWhileBoxUp = QStringLiteral("unset");
        f.seam.whileBoxUp = [&](const QString &) {
            beepsWhileBoxUp = f.seam.beeps;
            panelWhileBoxUp = Form1->SB->Panels(1).Text();
        };
        Form1->BitBtn1->click();

        QCOMPARE(f.seam.boxes, QStringList{boxes::NotFound + shown});
        QCOMPARE(beepsWhileBoxUp, 1); // the beep comes first
        QCOMPARE(f.seam.beeps, 1);
        QVERIFY(f.seam.starts.empty());
        QCOMPARE(form2.shows, 0);
        QCOMPARE(panelWhileBoxUp, QString()); // "Please wait..." not yet
        f.expectIdle();
        QCOMPARE(Form1->Edit1->text(), shown);
        b.expectTreeUnchanged(before);
    }

    // The compiler lies in a folder whose name is shell syntax, and the kit
    // in another: the stand-in runs, gets every argument whole, and nothing
    // else runs.  The whole build, from the main button to the Lumio.EXE it
    // makes, started with no arguments and the program told to end.
    void onlyTheNamedProgramRuns_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("semicolon") << QByteArray("a; touch pwned;");
        QTest::newRow("substitution") << QByteArray("$(touch pwned)");
        QTest::newRow("backticks") << QByteArray("`touch pwned`");
        QTest::newRow("pipe and ampersand") << QByteArray("b | touch pwned &");
        QTest::newRow("quotes") << QByteArray("q'\"x");
        QTest::newRow("newline") << QByteArray("new\ntouch pwned");
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe\x80");
        QTest::newRow("leading dash") << QByteArray("-U");
        QTest::newRow("blanks and wildcards") << QByteArray(" sp ace *?[x] ");
        QTest::newRow("blanks, two folders down") << QByteArray("Tools Dir/Bin");
        QTest::newRow("a single quote") << QByteArray("O'Brien tools");
    }
    void onlyTheNamedProgramRuns() {
        QFETCH(QByteArray, name);
        Bench b(name.toStdString() + " kit");
        const std::string folder = b.tree.path(name.toStdString());
        QVERIFY(mkdir(folder.c_str(), 0755) == 0);
        const std::string compiler = folder + "/DCC32.EXE", lumio = folder + "/Lumio stand-in";
        const std::string ran = folder + "/Lumio ran"; // its argument count
        hostile::writeExecutable(lumio, "#!/bin/sh\necho $# > " + standin::shellQuoted(ran) + "\n");
        hostile::writeExecutable(compiler,
                                 standin::script({.logDir = b.logs, .lumioTemplate = lumio}));
        const auto kitBefore = hostile::snapshot(b.kit.dir());

        AppFixture f{b.kit};
        f.startForReal(compiler, 10);
        ShowWatch form2(Form2);
        hostile::WaitDialogDriver driver;
        QCOMPARE(toNative(Form1->Edit1->text()), compiler); // the box keeps every byte
        Form1->BitBtn1->click();

        QCOMPARE(f.seam.boxes, (QStringList{boxes::PasCompile, boxes::SuccessQuestion}));
        QCOMPARE(form2.shows, 1);
        QVERIFY(Form2->TUj->Tag < 31 && !Form2->TUj->Enabled()); // closed on the units
        QCOMPARE(b.kit.compiledUnits(), DemoUnitNames);
        QCOMPARE(f.seam.starts.size(), std::size_t(8));
        for (std::size_t i = 0; i < 7; ++i)
            QCOMPARE(QByteArray::fromStdString(f.seam.starts[i].program),
                     QByteArray::fromStdString(compiler));
        QTRY_VERIFY2(standin::runs(b.logs) == standin::buildRuns(b.kit, 1),
                     hostile::joined(standin::runs(b.logs)).constData());
        b.expectTreeUnchanged(kitBefore, true);
        QCOMPARE(f.seam.starts[7].program, b.kit.output());
        QVERIFY(f.seam.starts[7].args.empty());
        QTRY_COMPARE(QByteArray::fromStdString(hostile::readFile(ran)), QByteArray("0\n"));
        QCOMPARE(Form1->Tag, 1);
        QCOMPARE(f.seam.terminateCalls, 1);
        QCOMPARE(Form1->SB->Panels(1).Text(), QString());
        QVERIFY(hostile::noChildren());
    }

    // Entries that pass the existence check but are no program: every start
    // fails, nothing runs in their place (no shell reads a script without
    // "#!"), and the run ends in "Could not compile...".
    void pathsThatAreNoProgram_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("not executable") << QStringLiteral("noexec");
        QTest::newRow("script without #!") << QStringLiteral("noshebang");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("empty file") << QStringLiteral("empty");
        QTest::newRow("link that leads nowhere") << QStringLiteral("dangling"); // as a scan finds
    }
    void pathsThatAreNoProgram() {
        QFETCH(QString, kind);
        Bench b;
        const std::string path = b.tree.path("DCC32.EXE");
        const std::string marker = b.tree.path("pwned");
        const std::string payload = "touch '" + marker + "'\n";
        if (kind == QLatin1String("folder"))
            QVERIFY(mkdir(path.c_str(), 0755) == 0);
        else if (kind == QLatin1String("noexec"))
            hostile::writeFile(path, "#!/bin/sh\n" + payload, 0644);
        else if (kind == QLatin1String("noshebang"))
            hostile::writeExecutable(path, payload);
        else if (kind == QLatin1String("fifo"))
            QVERIFY(mkfifo(path.c_str(), 0755) == 0);
        else if (kind == QLatin1String("dangling"))
            QVERIFY(symlink("nowhere", path.c_str()) == 0);
        else
            hostile::writeExecutable(path, "");
        const auto before = hostile::snapshot(b.tree.root());

        const host::StartResult direct = host::StartProcess(path, {"x"});
        QVERIFY(!direct.started);
        QVERIFY(!direct.error.empty());

        AppFixture f{b.kit};
        f.startForReal(path, 500);
        hostile::WaitDialogDriver driver;
        QElapsedTimer clock;
        clock.start();
        Form1->BitBtn1->click();

        // Any existing entry passes the compiler check, a folder included.
        QCOMPARE(f.seam.beeps, 0);
        QCOMPARE(f.seam.boxes, (QStringList{boxes::PasCompile, boxes::CouldNotCompile}));
        QCOMPARE(f.seam.starts.size(), std::size_t(7));
        for (const RecordedStart &s : f.seam.starts)
            QCOMPARE(QByteArray::fromStdString(s.program), QByteArray::fromStdString(path));
        QVERIFY(clock.elapsed() < 10000);
        QTest::qWait(200); // a start that had gone wrong would have acted by now
        b.expectTreeUnchanged(before);
        f.expectIdle();
        QVERIFY(hostile::noChildren());
    }
};

QTEST_MAIN(HostileInputTest)
#include "HostileInputTest.moc"
