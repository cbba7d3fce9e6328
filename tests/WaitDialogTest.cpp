// The wait dialog: its window, its tick count in the caption, when it closes
// itself, and what its timer does after the user has closed it.
#include "runtime/Timer.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Events.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <map>
#include <optional>

namespace {

QStringList waitCaptions(int from, int to) {
    QStringList list;
    for (int k = from; k <= to; ++k)
        list << QStringLiteral("Wait [%1]").arg(k);
    return list;
}

struct ShowingLog {
    bool armedAtStart = false;
    bool centredAtStart = false;
    QString captionAtStart;
    QStringList captions; // after each tick
    int closedOnTick = 0;
    int closeBoxAtTick = 0;
};

// Shows Form2 modally and, while it is up, ticks its timer directly: before
// tick k it calls beforeTick(k), which may close the dialog as the close box
// does.  Stops when the dialog has closed or after maxTicks ticks.
ShowingLog showAndTick(const std::function<void(int)> &beforeTick = {}, int maxTicks = 40) {
    ShowingLog log;
    QTimer::singleShot(20, Form2, [&] {
        log.armedAtStart = Form2->TUj->Enabled() && Form2->TUj->Tag == 0;
        log.captionAtStart = Form2->Caption();
        log.centredAtStart =
            Form2->frameGeometry().center() == Form2->screen()->availableGeometry().center();
        for (int k = 1; k <= maxTicks; ++k) {
            if (beforeTick)
                beforeTick(k);
            if (!Form2->isVisible()) {
                log.closeBoxAtTick = k;
                return;
            }
            QVERIFY(events::tick(Form2->TUj));
            log.captions << Form2->Caption();
            if (!Form2->isVisible()) {
                log.closedOnTick = k;
                return;
            }
        }
        Form2->close(); // never leave the modal loop running
    });
    Form2->ShowModal();
    return log;
}

// The dialog after its count stopped on tick: hidden, its timer stopped, the
// tick in its caption.
void expectStoppedOn(int tick) {
    QCOMPARE(Form2->Caption(), QStringLiteral("Wait [%1]").arg(tick));
    QCOMPARE(Form2->TUj->Tag, tick);
    QVERIFY(!Form2->TUj->Enabled());
    QVERIFY(!Form2->isVisible());
}

// Swallows the platform's activations of a window.
class NoActivation : public QObject {
protected:
    bool eventFilter(QObject *, QEvent *e) override { return e->type() == QEvent::WindowActivate; }
};

} // namespace

class WaitDialogTest : public QObject {
    Q_OBJECT

    // Each test's program, started from a kit of its own with no units made.
    std::optional<BuildKit> kit;
    std::optional<AppFixture> f;

private Q_SLOTS:
    void init() {
        kit.emplace();
        f.emplace(*kit);
    }
    void cleanup() {
        f.reset();
        kit.reset();
    }

    // The dialog's timer counts only with a handler; one set while the timer
    // is already enabled starts it, and taking it away stops it.
    void aHandlerSetLaterArmsTheTimer() {
        TTimer timer;
        timer.SetInterval(5);
        timer.SetEnabled(true);
        QVERIFY(!events::tick(&timer));
        int ticks = 0;
        timer.SetOnTimer([&ticks](QObject *) { ++ticks; });
        QTRY_VERIFY(ticks > 1);
        timer.SetOnTimer({});
        QVERIFY(!events::tick(&timer));
    }

    // Which units appear before which tick (0: before the dialog is shown),
    // and the tick on which the dialog closes.
    void closesWhenAllSixExistOrOnTick31_data() {
        QTest::addColumn<QStringList>("schedule");
        QTest::addColumn<int>("closingTick");
        const QStringList firstFive{"0:Cove", "0:Fable", "0:Mint", "0:Orb", "0:Quillset"};
        QTest::newRow("all six there at once") << (firstFive + QStringList{"0:Brook"}) << 1;
        QTest::newRow("none ever") << QStringList{} << 31;
        QTest::newRow("out of order, the first row last")
            << QStringList{"2:Brook", "3:Orb", "4:Quillset", "5:Fable", "5:Mint", "8:Cove"} << 8;
        QTest::newRow("the last row last") << (firstFive + QStringList{"12:Brook"}) << 12;
        QTest::newRow("the last unit just before tick 31")
            << QStringList{"0:Cove", "0:Fable", "0:Orb", "0:Quillset", "0:Brook", "31:Mint"} << 31;
        QTest::newRow("a unit that comes too late")
            << QStringList{"0:Cove", "0:Fable", "0:Orb", "0:Quillset", "0:Brook", "32:Mint"} << 31;
    }
    void closesWhenAllSixExistOrOnTick31() {
        QFETCH(QStringList, schedule);
        QFETCH(int, closingTick);
        std::multimap<int, std::string> plan;
        for (const QString &entry : schedule)
            plan.emplace(entry.section(':', 0, 0).toInt(), entry.section(':', 1).toStdString());
        auto createFor = [&](int tick) {
            auto [first, last] = plan.equal_range(tick);
            for (auto it = first; it != last; ++it)
                kit->unit(it->second);
        };
        createFor(0);

        const ShowingLog log = showAndTick(createFor);

        QVERIFY(log.armedAtStart);
        QCOMPARE(log.captionAtStart, QStringLiteral("Wait..."));
        QCOMPARE(log.closedOnTick, closingTick);
        QCOMPARE(log.captions, waitCaptions(1, closingTick));
        expectStoppedOn(closingTick);
    }

    void activationRestartsTheCount() {
        const ShowingLog log = showAndTick([](int tick) {
            if (tick == 5) { // another window took the focus and gave it back
                QEvent deactivate(QEvent::WindowDeactivate);
                QCoreApplication::sendEvent(Form2, &deactivate);
                events::activate(Form2);
            }
        });
        QCOMPARE(log.closedOnTick, 4 + 31);
        QCOMPARE(log.captions, waitCaptions(1, 4) + waitCaptions(1, 31));
    }

    // A second showing starts where the first ran out; any kind of entry
    // counts as a unit.
    void aSecondShowingStartsWithTheLastCaption() {
        const ShowingLog first = showAndTick();
        QCOMPARE(first.closedOnTick, 31);
        const auto q = [](const std::string &path) { return QString::fromStdString(path); };
        kit->tree.folder("Kit/Demo/Cove.DCU");
        kit->unit("Fable");
        QFile::setPermissions(q(kit->compiled("Fable")), {});
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/target"), q(kit->compiled("Mint"))));
        kit->tree.folder("Kit/Elsewhere");
        QVERIFY(QFile::link(q(kit->tree.path("Kit/Elsewhere")), q(kit->compiled("Orb"))));
        kit->unit("Quillset");
        kit->unit("Brook");
        Form2->move(0, 0);
        const ShowingLog second = showAndTick();
        QVERIFY(first.centredAtStart && second.centredAtStart); // at every showing
        QVERIFY(second.armedAtStart);
        QCOMPARE(second.captionAtStart, QStringLiteral("Wait [31]"));
        QCOMPARE(second.closedOnTick, 1);
        QCOMPARE(second.captions, waitCaptions(1, 1));
    }

    // The close box before the count runs out; before tick 31, after tick 30,
    // is the last moment.
    void theCloseBoxEndsTheShowingButNotTheTimer_data() {
        QTest::addColumn<int>("closeAt");
        QTest::newRow("before tick 4") << 4;
        QTest::newRow("before tick 31") << 31;
    }
    void theCloseBoxEndsTheShowingButNotTheTimer() {
        QFETCH(int, closeAt);
        ShowWatch watch(Form2);
        // No real tick comes during the test: a showing that waited for one
        // to end would take a minute.
        Form2->TUj->SetInterval(60000);
        QElapsedTimer sinceClose;
        const ShowingLog log = showAndTick([&](int tick) {
            if (tick == closeAt) {
                Form2->close(); // what the close box does
                sinceClose.start();
            }
        });
        // At once, not at the timer's next real tick.
        QVERIFY(sinceClose.isValid() && sinceClose.elapsed() < 10000);
        QCOMPARE(log.closeBoxAtTick, closeAt);
        QCOMPARE(log.captions, waitCaptions(1, closeAt - 1));
        QVERIFY(!Form2->RanOut());

        // The hidden dialog goes on counting until the count runs out; its
        // own Close then shows nothing.
        QStringList captions;
        for (int tick = closeAt; tick <= 31; ++tick) {
            QVERIFY(Form2->TUj->Enabled());
            QVERIFY(events::tick(Form2->TUj));
            captions << Form2->Caption();
            QVERIFY(!Form2->isVisible());
        }
        QCOMPARE(captions, waitCaptions(closeAt, 31));
        QVERIFY(!Form2->TUj->Enabled());
        QCOMPARE(watch.shows, 1);
    }

    void afterTheCloseBoxTheRealTimerStopsOnceTheUnitsExist() {
        ShowWatch watch(Form2);
        Form2->TUj->SetInterval(10);
        const ShowingLog log = showAndTick([](int tick) {
            if (tick == 1)
                Form2->close();
        });
        QCOMPARE(log.closeBoxAtTick, 1);
        QTRY_VERIFY_WITH_TIMEOUT(Form2->TUj->Tag >= 3, 2000); // ticking while hidden
        QVERIFY(Form2->TUj->Enabled());
        kit->allUnits();
        QTRY_VERIFY_WITH_TIMEOUT(!Form2->TUj->Enabled(), 2000);
        const int stoppedAt = Form2->TUj->Tag;
        QVERIFY(stoppedAt < 31);
        QTest::qWait(50);
        expectStoppedOn(stoppedAt);
        QCOMPARE(watch.shows, 1);
    }

    // With every unit there the dialog closes on its first tick: also on a
    // platform that never activates it; when the build starts again while it
    // is up (the automatic search finishing during it), its one close ends
    // both showings; and, the one case in real time (the real modal loop and
    // the real timer), after about a second.
    void allUnitsThereCloseItOnTheFirstTick_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("never activated") << "never activated";
        QTest::newRow("a showing inside a showing") << "nested";
        QTest::newRow("in real time") << "real time";
    }
    void allUnitsThereCloseItOnTheFirstTick() {
        QFETCH(QString, how);
        kit->allUnits();
        NoActivation filter;
        if (how == "never activated")
            Form2->installEventFilter(&filter);
        if (how != "real time")
            Form2->TUj->SetInterval(10);
        bool innerReturned = false;
        if (how == "nested")
            QTimer::singleShot(5, Form2, [&] {
                Form2->ShowModal();
                innerReturned = true;
            });
        // Ends a loop left waiting on the hidden dialog, so that the test fails
        // instead of hanging.
        bool rescued = false;
        QTimer::singleShot(6000, Form2, [&] {
            rescued = true;
            Form2->show();
            Form2->close();
        });
        QElapsedTimer clock;
        clock.start();
        Form2->ShowModal();
        const qint64 ms = clock.elapsed();
        QVERIFY(!rescued);
        QCOMPARE(innerReturned, how == "nested");
        QVERIFY(!Form2->isModal());
        if (how == "real time")
            QVERIFY2(ms >= 900 && ms < 5000, qPrintable(QString::number(ms)));
        expectStoppedOn(1);
    }
};

QTEST_MAIN(WaitDialogTest)
#include "WaitDialogTest.moc"
