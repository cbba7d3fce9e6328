// The whole build from the main button to the started Lumio.EXE, with real
// processes: a stand-in compiler that logs its arguments and writes what the
// real one would, and a stand-in Lumio.EXE that leaves a marker.
#include "AppFixture.h"
#include "BuildKit.h"
#include "NativeText.h"
#include "Timer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <cerrno>
#include <sys/wait.h>

namespace {

void writeScript(const std::string &path, const QString &text) {
    QFile f(QString::fromStdString(path));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
    f.close();
    QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                             QFile::ReadGroup | QFile::ExeGroup));
}

QString quoted(const std::string &path) {
    return QStringLiteral("'") + QString::fromStdString(path) + QStringLiteral("'");
}

QByteArray contents(const std::string &path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The stand-in compiler: it logs its argument count and arguments, one a
// line, to <logs>/<source name>.args, waits a little, and writes the unit's
// .DCU, or for the project a runnable Lumio.EXE made from lumioTemplate.
// Lumio.EXE is put in place whole by a rename, as it must be runnable the
// moment it exists.
QString compilerScript(const std::string &logs, const std::string &lumioTemplate,
                       bool writesOutput) {
    QString s = QStringLiteral("#!/bin/sh\n"
                               "src=$1\n"
                               "{ printf '%s\\n' \"$#\"; for a in \"$@\"; do printf '%s\\n' "
                               "\"$a\"; done; } > %1/\"$(basename \"$src\")\".args\n")
                    .arg(quoted(logs));
    if (!writesOutput)
        return s + QStringLiteral("exit 1\n");
    return s + QStringLiteral("sleep 0.2\n"
                              "case $src in\n"
                              "  *.Pas) : > \"${src%.Pas}.DCU\" ;;\n"
                              "  *.DPR) out=\"$(dirname \"$src\")/Lumio.EXE\"\n"
                              "         cp %1 \"$out.part\" && chmod 755 \"$out.part\" && "
                              "mv \"$out.part\" \"$out\" ;;\n"
                              "esac\n")
                   .arg(quoted(lumioTemplate));
}

bool noChildLeft() {
    int status = 0;
    errno = 0;
    return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
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
        writeScript(kit.compiler(), compilerScript(logs, lumioTemplate, true));
        writeScript(lumioTemplate,
                    QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$#\" > %1.part && mv %1.part %1\n")
                        .arg(quoted(marker)));

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

        QCOMPARE(f.seam.boxes,
                 (QStringList{
                     QStringLiteral(
                         "message: *.Pas compile. Click OK to continue and compile Lumio.DPR!"),
                     QStringLiteral(
                         "confirm: OK. Compile successfully completed! Now run the Lumio.EXE")}));
        QCOMPARE(watch.shows, 1);
        QVERIFY2(Form2->TUj->Tag <= 3, "all six units should exist by the first ticks");
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
            QCOMPARE(contents(logs + "/" + sources[i].toStdString() + ".args"),
                     QByteArray::fromStdString("2\n" + source + "\n" + option + "\n"));
        }
        for (const std::string &name : DemoUnitNames)
            QVERIFY(QFile::exists(QString::fromStdString(kit.compiled(name))));

        // Lumio.EXE started, with no arguments, and the program told to end.
        QCOMPARE(f.seam.starts[7].program, kit.output());
        QVERIFY(f.seam.starts[7].args.empty());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(marker)), 5000);
        QCOMPARE(contents(marker), QByteArray("0\n"));
        QCOMPARE(Form1->Tag, 1);
        QCOMPARE(f.seam.terminateCalls, 1);
        QVERIFY(Form1->isMinimized());
        QCOMPARE(Form1->SB->Panels(1).Text(), QString());
        QVERIFY(noChildLeft());
    }

    // A compiler that writes nothing: the build fails and says so.
    void aCompilerThatWritesNothing() {
        BuildKit kit("Kit With Blank", "Tools Dir/Bin/DCC32.EXE");
        kit.tree.folder("logs");
        const std::string logs = kit.tree.path("logs");
        writeScript(kit.compiler(), compilerScript(logs, {}, false));

        AppFixture f;
        f.seam.reallyStart = true;
        f.seam.exe = kit.exe();
        f.seam.tickStep = 1000;
        Form2->TUj->SetInterval(5); // no unit will come: let the count run out quickly
        Form1->RG->SetItemIndex(0);
        Form1->Edit1->setText(fromNative(kit.compiler()));
        Form1->BitBtn1->click();

        QCOMPARE(f.seam.boxes.size(), 2);
        QVERIFY(
            f.seam.boxes[1].startsWith(QStringLiteral("message: Could not compile Lumio.DPR!")));
        QCOMPARE(Form2->Caption(), QStringLiteral("Wait [31]"));
        QCOMPARE(f.seam.starts.size(), std::size_t(7));
        // Every compiler ran, with the "Delphi 3" unit folder.
        const std::string option = "-U" + kit.unitDir(0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(logs + "/Lumio.DPR.args")),
                                 5000);
        QTRY_COMPARE_WITH_TIMEOUT(
            contents(logs + "/Mint.Pas.args"),
            QByteArray::fromStdString("2\n" + kit.demoDir() + "/Mint.Pas\n" + option + "\n"), 5000);
        QCOMPARE(Form1->Tag, 0);
        QCOMPARE(f.seam.terminateCalls, 0);
        QVERIFY(noChildLeft());
    }
};

QTEST_MAIN(EndToEndBuildTest)
#include "EndToEndBuildTest.moc"
