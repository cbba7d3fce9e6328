// The main window's automatic search for the compiler, over temporary trees
// given as the machine's drives.
#include "components/FileFind.h"
#include "runtime/NativeText.h"
#include "runtime/Timer.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Events.h"
#include "tests/support/ListingWalk.h"
#include "tests/support/TempTree.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QString Prompt = QStringLiteral("Type here the path or wait for the searching...");

// The application over one temporary drive, with every visit of FFind
// recorded after the window has shown it.
struct Scene {
    AppFixture f;
    TempTree drive;
    std::vector<std::string> visits;
    bool panelFollowed = true;
    std::function<void(const std::string &)> onVisit;
    QObject context;

    Scene() {
        f.seam.drives = {drive.drive()};
        f.seam.exe = drive.path("no-kit/Forgeway"); // no kit folders beside it
        const TNotifyEvent shown = Form1->FFind->OnSearch;
        Form1->FFind->OnSearch = [this, shown](QObject *sender) {
            shown(sender);
            const QString current = Form1->FFind->CurrentPath();
            panelFollowed = panelFollowed && Form1->SB->Panels(1).Text() == current;
            visits.push_back(toNative(current));
            if (onVisit)
                onVisit(visits.back());
        };
    }
    // Runs fn from the event queue at the first visit of the scan; the
    // pause makes sure that the window's pump is due before the next entry.
    // visitsWhenRun tells how far the scan had come when fn ran.
    std::size_t visitsWhenRun = 0;
    void atFirstVisit(std::function<void()> fn) {
        onVisit = [this, fn](const std::string &) {
            if (visits.size() != 1)
                return;
            QTimer::singleShot(0, &context, [this, fn] {
                visitsWhenRun = visits.size();
                fn();
            });
            QTest::qSleep(3);
        };
    }
    walk::Result expected(const std::string &search) const {
        return walk::drives(f.seam.drives, search);
    }
    static bool directoryNotFound(const QStringList &boxes) {
        return boxes.size() == 1 && boxes[0].startsWith("message: Directory not found: \r");
    }
};

} // namespace

class AutoSearchTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QApplication::setQuitOnLastWindowClosed(true); }

    void aFindFillsThePathPicksTheVersionAndBuilds_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("startIndex");
        QTest::addColumn<int>("expected");
        QTest::newRow("430080: Delphi 3") << qint64(430080) << 1 << 0;
        QTest::newRow("543232: Delphi 4") << qint64(543232) << 0 << 1;
        QTest::newRow("other size keeps Delphi 3") << qint64(4096) << 0 << 0;
        QTest::newRow("other size keeps Delphi 4") << qint64(4096) << 1 << 1;
    }
    void aFindFillsThePathPicksTheVersionAndBuilds() {
        QFETCH(qint64, size);
        QFETCH(int, startIndex);
        QFETCH(int, expected);
        Scene s;
        s.drive.file("a/b.txt");
        s.drive.file("Tools/Bin/dcc32.exe", size);
        Form1->RG->SetItemIndex(startIndex);
        QString boxDuringWorkflow;
        s.f.seam.whileBoxUp = [&](const QString &) { boxDuringWorkflow = Form1->Edit1->text(); };
        // Text typed during the scan gives way to the found path.
        s.atFirstVisit([] { Form1->Edit1->setText(QStringLiteral("typed")); });

        events::activate(Form1);
        QVERIFY(Form1->Timer1->Enabled());
        QVERIFY(events::tick(Form1->Timer1));

        const std::string compiler = s.drive.path("Tools/Bin/dcc32.exe");
        QCOMPARE(s.visits, s.expected("DCC32.EXE").visits);
        QVERIFY(s.panelFollowed);
        QCOMPARE(toNative(Form1->Edit1->text()), compiler);
        QCOMPARE(Form1->RG->ItemIndex(), expected);
        QVERIFY(Form1->BitBtn1->isEnabled());
        // The workflow ran by itself, with the found path and the version from
        // its size in place.
        const QString kitDir = fromNative(s.drive.path("no-kit/"));
        QCOMPARE(s.f.seam.boxes, QStringList{"message: Directory not found: \r" + kitDir +
                                             (expected == 0 ? "Delphi-3" : "Delphi-4") +
                                             "\r\rOR\r\r" + kitDir + "Demo"});
        QCOMPARE(toNative(boxDuringWorkflow), compiler);
        QVERIFY(!Form1->Timer1->Enabled());
        QCOMPARE(Form1->Timer1->Tag, 1);
    }

    // The search starts what it finds, so it passes over a compiler that
    // someone else could have planted, each kind on a drive met before the
    // one with a compiler only root or the user could have put there.
    void aPlantedCompilerIsPassedOver() {
#ifdef _WIN32
        QSKIP("owners and mode bits are POSIX's; on Windows the search takes the first "
              "DCC32.EXE it meets");
#else
        Scene s;
        bool made = true;
        const auto plant = [&](const std::string &folder, mode_t folderMode, mode_t fileMode) {
            const std::string file = s.drive.path(folder + "/DCC32.EXE");
            s.drive.file(folder + "/DCC32.EXE", 543232);
            made = made && chmod(file.c_str(), fileMode) == 0 &&
                   chmod(s.drive.path(folder).c_str(), folderMode) == 0;
            return file;
        };
        std::vector<std::string> planted = {plant("writable/file", 0755, 0757),
                                            plant("writable/folder", 0777, 0755)};
        if (geteuid() == 0) {
            planted.push_back(plant("other/file", 0755, 0755));
            QVERIFY(chown(planted.back().c_str(), 65534, 65534) == 0);
            planted.push_back(plant("other/folder", 0755, 0755));
            QVERIFY(chown(s.drive.path("other/folder").c_str(), 65534, 65534) == 0);
        } else {
            qInfo("no file or folder of another user planted: that needs root");
        }
        // A sticky folder that others may write to is fine (group write only
        // by the user's own group, which HostTest checks: it sets the accounts).
        const std::string trusted = plant("trusted/tmp/mine", 0755, 0755);
        QVERIFY(made && chmod(s.drive.path("trusted/tmp").c_str(), 01777) == 0);
        s.f.seam.drives.clear();
        for (const std::string &file : planted)
            s.f.seam.drives.push_back(file.substr(0, file.rfind('/') + 1));
        s.f.seam.drives.push_back(s.drive.path("trusted/"));
        Form1->RG->SetItemIndex(0);

        events::activate(Form1);
        QVERIFY(events::tick(Form1->Timer1));
        QCOMPARE(toNative(Form1->Edit1->text()), trusted);
        QCOMPARE(Form1->RG->ItemIndex(), 1); // from the size of the one taken
        for (const std::string &file : planted)
            QVERIFY2(std::find(s.visits.begin(), s.visits.end(), file) != s.visits.end(),
                     file.c_str());
        QVERIFY(Scene::directoryNotFound(s.f.seam.boxes)); // one build, with the one taken
#endif
    }

    void nothingFoundAndOnlyOneScan() {
        Scene s;
        s.drive.file("a/b/c.txt");
        s.drive.file("d.txt");
        // Activations and a cancelled browse before the tick do not prevent it.
        events::activate(Form1);
        Form1->SpeedButton1->click();
        events::activate(Form1);
        QVERIFY(Form1->Timer1->Enabled());
        // An activation during the scan does not arm the timer again.
        s.atFirstVisit([] { events::activate(Form1); });
        QVERIFY(events::tick(Form1->Timer1));

        const walk::Result all = s.expected("");
        QCOMPARE(s.visits, all.visits);
        QVERIFY(s.panelFollowed);
        QCOMPARE(toNative(Form1->SB->Panels(1).Text()), all.visits.back());
        // The panel's label, behind by up to a frame, shows it too.
        const auto labels =
            Form1->SB->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
        QTRY_COMPARE(toNative(labels.at(1)->text()), all.visits.back());
        QVERIFY(s.f.seam.boxes.isEmpty());
        QCOMPARE(Form1->Edit1->text(), Prompt);
        QVERIFY(!Form1->BitBtn1->isEnabled());
        QVERIFY(!Form1->Timer1->Enabled());
        events::activate(Form1);
        QVERIFY(!Form1->Timer1->Enabled());
        QVERIFY(Form1->FFind->Enabled()); // exhausted, not stopped
    }

    // The one real-time case: shown, activated (once: not once more for the
    // show itself), ticking after half a second.
    void theShownWindowSearchesOnceByItself() {
        Scene s;
        s.drive.file("x/DCC32.EXE", 543232);
        Form1->RG->SetItemIndex(0);
        int activations = 0;
        Form1->OnActivate = [&, own = Form1->OnActivate](QObject *sender) {
            ++activations;
            own(sender);
        };
        Form1->show();
        QTRY_VERIFY(Form1->Timer1->Enabled());
        QCOMPARE(Form1->Timer1->Tag, 0);
        QTRY_COMPARE_WITH_TIMEOUT(s.f.seam.boxes.size(), 1, 5000);
        QCOMPARE(activations, 1);
        QVERIFY(Scene::directoryNotFound(s.f.seam.boxes));
        QCOMPARE(Form1->RG->ItemIndex(), 1);
        QCOMPARE(toNative(Form1->Edit1->text()), s.drive.path("x/DCC32.EXE"));
        const std::size_t once = s.visits.size();
        Form1->hide();
        Form1->show(); // a later activation
        QTest::qWait(700);
        QCOMPARE(s.visits.size(), once);
        QCOMPARE(s.f.seam.boxes.size(), 1);
        QVERIFY(!Form1->Timer1->Enabled());
    }

    void aBuildByHandDuringTheScanLetsItGoOn() {
        Scene s;
        s.drive.file("a/x.txt");
        s.drive.file("z/DCC32.EXE");
        s.atFirstVisit([&s] {
            Form1->Edit1->setText(QString::fromStdString(s.drive.path("a/x.txt")));
            Form1->BitBtn1->click();
        });
        events::activate(Form1);
        QVERIFY(events::tick(Form1->Timer1));
        QCOMPARE(s.visits, s.expected("DCC32.EXE").visits);
        // Once by hand, once after the find.
        QCOMPARE(s.f.seam.boxes.size(), 2);
        QCOMPARE(toNative(Form1->Edit1->text()), s.drive.path("z/DCC32.EXE"));
    }

    // Browsing, closing the window, or a program asked to end, stops the scan
    // for good at its next entry.  A close leaves no window, and with the
    // event loop running (not so under Qt Test) that ends the program.
    void somethingDuringTheScanStopsItForGood_data() {
        QTest::addColumn<QString>("what");
        QTest::newRow("browse, dialog cancelled") << "browse";
        QTest::newRow("browse, file picked") << "pick";
        QTest::newRow("close") << "close";
        QTest::newRow("close after Lumio was started") << "close after Lumio";
        QTest::newRow("terminate") << "terminate";
    }
    void somethingDuringTheScanStopsItForGood() {
        QFETCH(QString, what);
        Scene s;
        // Compilers to find, and enough entries that a scan that goes on would be seen.
        s.drive.file("a/b/DCC32.EXE", 430080);
        s.drive.file("c/d/DCC32.EXE", 430080);
        for (int i = 0; i < 200; ++i)
            s.drive.file("many/f" + std::to_string(i));
        s.drive.file("other/EDIT.EXE", 1);
        const QString picked = QString::fromStdString(s.drive.path("other/EDIT.EXE"));
        const bool pick = what == QLatin1String("pick"), browse = pick || what == "browse",
                   closes = what.startsWith(QLatin1String("close"));
        if (pick)
            s.f.seam.openAnswers.push_back(picked);
        Form1->Tag = what == QLatin1String("close after Lumio") ? 1 : 0;
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        QTRY_VERIFY(Form1->Timer1->Enabled()); // armed by the first activation
        s.atFirstVisit([what, closes] {
            if (what == QLatin1String("terminate"))
                Application->Terminate();
            else if (closes)
                Form1->close();
            else
                Form1->SpeedButton1->click();
        });
        QVERIFY(events::tick(Form1->Timer1));

        // Only the entry in hand when the stop was handled follows.
        QCOMPARE(s.visitsWhenRun, std::size_t(1));
        QCOMPARE(s.visits.size(), std::size_t(2));
        QCOMPARE(s.f.seam.openCalls, int(browse));
        QCOMPARE(Form1->Edit1->text(), pick ? picked : Prompt);
        QCOMPARE(Form1->BitBtn1->isEnabled(), pick);
        QCOMPARE(s.f.seam.terminateCalls, int(what == QLatin1String("terminate")));
        QCOMPARE(Form1->isVisible(), !closes);
        QVERIFY(!Form2->isVisible());
        QVERIFY(s.f.seam.starts.empty());
        QVERIFY(!Form1->FFind->Enabled());
        QVERIFY(!Form1->Timer1->Enabled());
        QTest::qWait(700); // no tick, no resumption
        QCOMPARE(s.visits.size(), std::size_t(2));
        QVERIFY(s.f.seam.boxes.isEmpty());
        Form1->hide();
    }
};

QTEST_MAIN(AutoSearchTest)
#include "AutoSearchTest.moc"
