// Starts each real executable and reads what its main window offers first:
// Forgeway "Delphi 4", Forgeway3 "Delphi 3".  A style plugin loaded through
// Qt's own plugin path reports the window and ends the program.
//
// FORGEWAY_SMOKE_DIR names another folder to start them from, such as an
// unpacked package (tools/test-packages.sh).  They are then started with
// nothing of the build on their search path, so that they run on what lies
// beside them (on Windows: Qt's DLLs) and what the system has.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

// The built program, or the one of its file name in FORGEWAY_SMOKE_DIR.
QString program(const char *built) {
    const QString path = QString::fromUtf8(built), dir = qEnvironmentVariable("FORGEWAY_SMOKE_DIR");
    return dir.isEmpty() ? path : QDir(dir).filePath(QFileInfo(path).fileName());
}

} // namespace

class SmokeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachExecutableOffersItsVersion_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("version");
        QTest::newRow("Forgeway") << program(FORGEWAY_4) << QStringLiteral("1 Delphi 4");
        QTest::newRow("Forgeway3") << program(FORGEWAY_3) << QStringLiteral("0 Delphi 3");
    }
    void eachExecutableOffersItsVersion() {
        QFETCH(QString, program);
        QFETCH(QString, version);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(PROBE_PLUGIN_PATH));
        env.insert(QStringLiteral("QT_STYLE_OVERRIDE"), QStringLiteral("forgewayprobe"));
        if (env.contains(QStringLiteral("FORGEWAY_SMOKE_DIR"))) {
            env.remove(QStringLiteral("LD_LIBRARY_PATH"));
#ifdef _WIN32
            const QString system =
                env.value(QStringLiteral("SystemRoot"), QStringLiteral("C:\\windows"));
            env.insert(QStringLiteral("PATH"), system + QStringLiteral("\\system32;") + system);
#endif
        }
        p.setProcessEnvironment(env);
        p.start(program, {});
        QVERIFY2(p.waitForFinished(20000), "the program did not end after the probe's report");
        // Lines end as the host ends text lines: "\r\n" on Windows.
        const QString out = QString::fromUtf8(p.readAllStandardOutput()).replace("\r\n", "\n");
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(out, QStringLiteral("caption=This application create the Lumio.EXE file\n"
                                     "version=%1\n")
                          .arg(version));
    }
};

QTEST_GUILESS_MAIN(SmokeTest)
#include "SmokeTest.moc"
