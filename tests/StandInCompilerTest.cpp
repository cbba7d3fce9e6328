// Runs the kit's stand-in compiler (Bin/DCC32.EXE) the way Forgeway does, on a private copy of the
// kit, and checks what it leaves behind.

#include "tests/support/BuildKit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr int compileTimeoutMs = 120000;

QStringList listing(const QString &dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                               QDir::Name);
}

// A copy of the kit's sources, and a TMPDIR for the compiler, so that its
// work folders can be checked for.
class Kit : public BuildKit {
public:
    Kit() : BuildKit("Kit", "") {
        copySourcesFrom(KIT_SOURCE_DIR);
        tree.folder("tmp");
    }
    // An entry below the kit's folder, and the compiler's TMPDIR, as Qt names them.
    QString at(const std::string &relToKit) const {
        return QFile::decodeName(path(relToKit).c_str());
    }
    QString tmp() const { return QFile::decodeName(tree.path("tmp").c_str()); }

    std::unique_ptr<QProcess> start(const QString &source, const QString &unitFolder) const {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmp());
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QStringLiteral(STANDIN_COMPILER),
                       {source, "-U" + at(unitFolder.toStdString())});
        return process;
    }

    // Exit code of one compile; -1 if it crashed or hung.
    int compile(const QString &source, const QString &unitFolder, QByteArray *output = nullptr) {
        auto process = start(source, unitFolder);
        const bool finished = process->waitForFinished(compileTimeoutMs);
        if (output)
            *output = process->readAll();
        if (!finished || process->exitStatus() != QProcess::NormalExit)
            return -1;
        return process->exitCode();
    }
};

} // namespace

class StandInCompilerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(QFileInfo(QStringLiteral(STANDIN_COMPILER)).isExecutable(), STANDIN_COMPILER);
    }
    // Every case but the usage runs Free Pascal.
    void init() {
        if (QTest::currentTestFunction() != QByteArray("usageForOtherCommandLines") &&
            QStandardPaths::findExecutable("fpc").isEmpty() &&
            !QFileInfo(QStringLiteral("/usr/bin/fpc")).isExecutable())
            QSKIP("Free Pascal (fpc) is not installed");
    }

    // Anything but a source and a unit folder is refused with the usage on
    // standard error; --help gives it on standard output.
    void usageForOtherCommandLines_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("nothing") << QStringList{} << 2;
        QTest::newRow("source only") << QStringList{"Demo/Cove.Pas"} << 2;
        QTest::newRow("unit folder only") << QStringList{"-UDelphi-3"} << 2;
        QTest::newRow("empty unit folder") << QStringList{"Demo/Cove.Pas", "-U"} << 2;
        QTest::newRow("not Pascal") << QStringList{"Demo/Cove.txt", "-UDelphi-3"} << 2;
        QTest::newRow("extra argument")
            << QStringList{"Demo/Cove.Pas", "-UDelphi-3", "-UDelphi-4"} << 2;
        QTest::newRow("two sources") << QStringList{"Demo/Cove.Pas", "Demo/Mint.Pas"} << 2;
        QTest::newRow("help") << QStringList{"--help"} << 0;
    }
    void usageForOtherCommandLines() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QProcess process;
        process.start(QStringLiteral(STANDIN_COMPILER), args);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), exitCode);
        const QByteArray usage =
            exitCode == 0 ? process.readAllStandardOutput() : process.readAllStandardError();
        QVERIFY2(usage.contains("Forgeway's stand-in") && usage.contains("Free Pascal"),
                 usage.constData());
    }

    // Quillset uses Fable and Mint, so this also covers finding mixed-case unit files.
    void unitCompileWritesOnlyTheDcu() {
        Kit kit;
        const QStringList demoBefore = listing(kit.at("Demo"));
        const QStringList unitsBefore = listing(kit.at("Delphi-3"));

        QByteArray output;
        QCOMPARE(kit.compile(kit.at("Demo/Quillset.Pas"), "Delphi-3", &output), 0);

        QFile dcu(kit.at("Demo/Quillset.DCU"));
        QVERIFY2(dcu.open(QIODevice::ReadOnly), output.constData());
        QVERIFY(dcu.read(3) == "PPU"); // FPC's compiled unit, copied whole
        QStringList expected = demoBefore + QStringList{"Quillset.DCU"};
        expected.sort();
        QCOMPARE(listing(kit.at("Demo")), expected);
        QCOMPARE(listing(kit.at("Delphi-3")), unitsBefore);
        QCOMPARE(listing(kit.tmp()), QStringList{});
    }

    // The six units are compiled all at once, as Forgeway does, then the project.
    void buildsLumioForEachUnitFolder_data() {
        QTest::addColumn<QString>("unitFolder");
        QTest::newRow("Delphi-3") << "Delphi-3";
        QTest::newRow("Delphi-4") << "Delphi-4";
    }
    void buildsLumioForEachUnitFolder() {
        QFETCH(QString, unitFolder);
        Kit kit;

        std::vector<std::unique_ptr<QProcess>> compiles;
        for (const std::string &unit : DemoUnitNames)
            compiles.push_back(kit.start(kit.at("Demo/" + unit + ".Pas"), unitFolder));
        for (std::size_t i = 0; i < compiles.size(); ++i) {
            QProcess &process = *compiles[i];
            QVERIFY(process.waitForFinished(compileTimeoutMs));
            QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                     process.readAll().constData());
            QVERIFY(QFileInfo(kit.at("Demo/" + DemoUnitNames[i] + ".DCU")).size() > 0);
        }

        QByteArray output;
        QCOMPARE(kit.compile(kit.at("Demo/Lumio.DPR"), unitFolder, &output), 0);
        const QFileInfo exe(kit.at("Demo/Lumio.EXE"));
        QVERIFY2(exe.isFile() && exe.isExecutable(), output.constData());
        QCOMPARE(listing(kit.tmp()), QStringList{});

        // Without a display Lumio only prints and leaves its trace.
        QProcess lumio;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("LUMIO_TRACE", kit.at("trace.txt"));
        lumio.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        lumio.start(exe.filePath(), {});
        QVERIFY(lumio.waitForFinished(15000));
        QVERIFY2(clock.elapsed() < 8000, "Lumio lingers without a display"); // a window stays 10 s
        QCOMPARE(lumio.exitStatus(), QProcess::NormalExit);
        QCOMPARE(lumio.exitCode(), 0);
        QVERIFY(lumio.readAllStandardOutput().contains(unitFolder.toUtf8()));

        QFile trace(kit.at("trace.txt"));
        QVERIFY(trace.open(QIODevice::ReadOnly));
        QCOMPARE(trace.readAll(), unitFolder.toUtf8() + '\n');
    }

    void brokenUnitFailsAndWritesNothing() {
        Kit kit;
        QVERIFY(kit.breakUnit("Mint"));
        // Left over from an earlier, good build: must not pass for this one's result.
        QVERIFY(QFile(kit.at("Demo/Mint.DCU")).open(QIODevice::WriteOnly));
        const QStringList demoBefore = listing(kit.at("Demo"));

        QByteArray output;
        const int unitExit = kit.compile(kit.at("Demo/Mint.Pas"), "Delphi-4", &output);
        QVERIFY2(unitExit > 0, output.constData());
        QVERIFY2(output.contains("Mint.Pas"), output.constData()); // FPC's message comes through

        // Lumio uses Mint, so the project fails as well.
        const int projectExit = kit.compile(kit.at("Demo/Lumio.DPR"), "Delphi-4", &output);
        QVERIFY2(projectExit > 0, output.constData());

        QStringList expected = demoBefore;
        expected.removeAll("Mint.DCU");
        QCOMPARE(listing(kit.at("Demo")), expected);
        QCOMPARE(listing(kit.tmp()), QStringList{});
    }
};

QTEST_GUILESS_MAIN(StandInCompilerTest)
#include "StandInCompilerTest.moc"
