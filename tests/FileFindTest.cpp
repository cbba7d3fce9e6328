// TFileFind on temporary trees given as drives, without a window: the pump
// is a lambda that lets Qt's posted events run.  Trees built to trip the scan
// (links, unreadable folders, names that are not text, paths beyond PATH_MAX)
// are in reliability/HostileTreeTest.
#include "components/FileFind.h"
#include "runtime/NativeText.h"
#include "tests/support/HangingFolder.h"
#include "tests/support/ListingWalk.h"
#include "tests/support/TempTree.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <stdexcept>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

// A standalone finder over the given drives that records every visit.
struct Finder {
    std::vector<std::string> drives;
    int pumps = 0;
    int driveTableReads = 0;
    bool senderWasFinder = true;
    std::vector<std::string> visits;
    // Called after each visit has been recorded, from inside OnSearch.
    std::function<void(const std::string &)> onVisit;
    std::function<void()> onPump;
    TFileFind find{nullptr,
                   [this] {
                       ++pumps;
                       QCoreApplication::processEvents();
                       if (onPump)
                           onPump();
                   },
                   [this] {
                       ++driveTableReads;
                       return drives;
                   }};

    explicit Finder(std::vector<std::string> roots, const QString &search = QString())
        : drives(std::move(roots)) {
        find.SetSearch(search);
        find.OnSearch = [this](QObject *sender) {
            senderWasFinder = senderWasFinder && sender == &find;
            visits.push_back(find.CurrentPath().bytes);
            if (onVisit)
                onVisit(visits.back());
        };
    }
    std::string found() const { return toNative(find.Found()); }
};

// Index of the first entry of w, at or after from, that satisfies pred.
template <class Pred>
std::size_t indexWhere(const std::vector<std::string> &w, Pred pred, std::size_t from = 0) {
    for (std::size_t i = from; i < w.size(); ++i)
        if (pred(w[i]))
            return i;
    return w.size();
}

bool isDot(const std::string &p) {
    return p.ends_with(Sep + ".") || p.ends_with(Sep + "..");
}

bool isFolder(const std::string &p) {
    const QFileInfo info(fromNative(p));
    return !isDot(p) && info.isDir() && !info.isSymLink();
}

void someTree(const TempTree &t) {
    t.file("a.txt");
    t.file("b/c.txt");
    t.file("b/d/e.txt");
    t.folder("b/empty");
    t.file("f/g.txt");
    t.file("f/h/i/j.txt");
}

} // namespace

class FileFindTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void visitsPreOrderInTheHostsListingOrder() {
        TempTree first, second;
        someTree(first);
        second.file("x/y.txt");
        second.file("z.txt");
        // The table's order, not the paths' order, decides.
        const std::vector<std::string> roots = {second.drive(), first.drive()};
        Finder f(roots, QStringLiteral("NOTHERE.EXE"));
        f.find.SetEnabled(true);

        const walk::Result expected = walk::drives(roots, "");
        QCOMPARE(f.visits, expected.visits);
        // Every folder, the roots included, reports its "." and "..".
        for (const std::string &dots : {Sep + ".", Sep + ".."})
            QCOMPARE(std::count_if(f.visits.begin(), f.visits.end(),
                                   [&](const std::string &p) { return p.ends_with(dots); }),
                     std::ptrdiff_t(2 + 7));
        QVERIFY(f.pumps >= int(f.visits.size())); // one before every entry, more while it waits
        QVERIFY(f.senderWasFinder);
        QCOMPARE(f.find.CurrentPath().bytes, f.visits.back());
        QVERIFY(f.find.Enabled()); // exhausted
        QVERIFY(f.find.Found().isEmpty());
    }

    void matching_data() {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("files"); // "!": a match the owner refuses
        QTest::addColumn<QString>("expected");  // relative; empty for no match
        QTest::newRow("case ignored, host's spelling kept")
            << "DCC32.EXE" << QStringList{"TOOLS/BIN/dcc32.exe"} << "TOOLS/BIN/dcc32.exe";
        QTest::newRow("folder named like Search is entered")
            << "DCC32.EXE" << QStringList{"DCC32.EXE/", "DCC32.EXE/Dcc32.Exe"}
            << "DCC32.EXE/Dcc32.Exe";
        QTest::newRow("folder alone never matches")
            << "DCC32.EXE" << QStringList{"a/DCC32.EXE/", "DCC32.EXEX"} << "";
        QTest::newRow("hidden folder and file")
            << ".DCC32.EXE" << QStringList{".hide/.dcc32.exe", ".other"} << ".hide/.dcc32.exe";
        QTest::newRow("* is literal") << "DCC32.*" << QStringList{"DCC32.EXE"} << "";
        QTest::newRow("? is literal") << "DCC3?.EXE" << QStringList{"DCC32.EXE"} << "";
        QTest::newRow("wildcards as names")
            << "A*B?.X" << QStringList{"DCC32.EXE", "q/a*b?.x"} << "q/a*b?.x";
        QTest::newRow("a separator never matches")
            << "Bin/DCC32.EXE" << QStringList{"Bin/DCC32.EXE"} << "";
        QTest::newRow("a backslash is just a character")
            << "Bin\\DCC32.EXE" << QStringList{"Bin/DCC32.EXE"} << "";
        QTest::newRow("non-ASCII letters keep their case")
            << "\xc3\x89.EXE" << QStringList{"\xc3\xa9.exe"} << "";
        QTest::newRow("a refused match is passed over")
            << "DCC32.EXE" << QStringList{"!a/DCC32.EXE", "b/dcc32.exe", "!c/Dcc32.exe"}
            << "b/dcc32.exe";
        QTest::newRow("every match refused")
            << "DCC32.EXE" << QStringList{"!a/DCC32.EXE", "!b/dcc32.exe"} << "";
    }
    void matching() {
        QFETCH(QString, search);
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
#ifdef _WIN32
        if (files.join(QString()).contains(QRegularExpression(QStringLiteral("[*?]"))))
            QSKIP("Windows allows no * or ? in a name");
#endif
        TempTree t;
        std::vector<std::string> refused;
        for (QString rel : files) {
            if (rel.startsWith('!'))
                refused.push_back(t.path(rel.remove(0, 1).toStdString()));
            rel.endsWith('/') ? t.folder(rel.toStdString()) : t.file(rel.toStdString());
        }
        Finder f({t.drive()}, search);
        if (!refused.empty())
            f.find.AcceptMatch = [&](const std::string &path) {
                return std::find(refused.begin(), refused.end(), path) == refused.end();
            };
        f.find.SetEnabled(true);
        const std::string want = expected.isEmpty() ? "" : t.path(expected.toStdString());
        QCOMPARE(f.found(), want);
        QCOMPARE(f.find.Enabled(), want.empty());
        // Nothing is visited after the match.
        if (!want.empty())
            QCOMPARE(f.visits.back(), want);
        // The hidden entries are visited too.
        for (QString rel : files)
            if (!rel.endsWith('/') && want.empty())
                QVERIFY(std::find(f.visits.begin(), f.visits.end(),
                                  t.path(rel.remove('!').toStdString())) != f.visits.end());
    }

    void theMatchReportsItselfBeforeItIsCompared() {
        TempTree t;
        someTree(t);
        t.file("b/d/DCC32.EXE");
        Finder f({t.drive()}, QStringLiteral("DCC32.EXE"));
        QString foundDuringItsVisit = QStringLiteral("unset");
        f.onVisit = [&](const std::string &p) {
            if (p.ends_with(nativePath("/DCC32.EXE")))
                foundDuringItsVisit = f.find.Found();
        };
        f.find.SetEnabled(true);
        const walk::Result expected = walk::drives({t.drive()}, "DCC32.EXE");
        QCOMPARE(f.visits, expected.visits);
        QCOMPARE(f.found(), t.path("b/d/DCC32.EXE"));
        QCOMPARE(foundDuringItsVisit, QString());
        QCOMPARE(f.find.CurrentPath().bytes, t.path("b/d/DCC32.EXE"));
    }

    void stateTable() {
        TempTree t;
        someTree(t);
        t.file("b/DCC32.EXE");

        // An empty Search scans nothing, yet leaves the flag set.
        Finder empty({t.drive()});
        empty.find.SetEnabled(true);
        QVERIFY(empty.find.Enabled());
        QVERIFY(empty.find.Found().isEmpty());
        QVERIFY(empty.visits.empty());
        QCOMPARE(empty.pumps, 0);

        Finder f({t.drive()}, QStringLiteral("DCC32.EXE"));
        QVERIFY(!f.find.Enabled());
        f.find.SetEnabled(true);
        QVERIFY(!f.find.Enabled());
        QCOMPARE(f.found(), t.path("b/DCC32.EXE"));
        // Found cannot be written, neither directly nor as a property.
        f.find.SetFound(QStringLiteral("x"));
        QVERIFY(f.find.setProperty("Found", QStringLiteral("y")));
        QCOMPARE(f.found(), t.path("b/DCC32.EXE"));
        // Enabled := False after a match loses the path.
        f.find.SetEnabled(false);
        QVERIFY(f.find.Found().isEmpty());
        // A write of Search disables, also with the value it has.
        f.find.SetEnabled(true);
        QCOMPARE(f.found(), t.path("b/DCC32.EXE"));
        f.find.SetSearch(QStringLiteral("DCC32.EXE"));
        QVERIFY(!f.find.Enabled());
        QVERIFY(f.find.Found().isEmpty());
        QCOMPARE(f.find.Search(), QStringLiteral("DCC32.EXE"));

        // No match: Enabled stays True; a write of True while True scans
        // again from the first drive.
        Finder g({t.drive()}, QStringLiteral("NOTHERE"));
        g.find.SetEnabled(true);
        QVERIFY(g.find.Enabled());
        QVERIFY(g.find.Found().isEmpty());
        const auto once = g.visits;
        g.find.SetEnabled(true);
        QCOMPARE(g.visits.size(), 2 * once.size());
        QVERIFY(std::equal(once.begin(), once.end(), g.visits.begin() + long(once.size())));
        QVERIFY(g.find.setProperty("Search", QStringLiteral("z")));
        QVERIFY(!g.find.Enabled());
    }

    void loadingNeverScans() {
        TempTree t;
        t.file("DCC32.EXE");
        // The published properties, in their order.
        const QMetaObject *mo = TFileFind(nullptr, {}, {}).metaObject();
        const int enabled = mo->indexOfProperty("Enabled");
        QVERIFY(enabled >= 0);
        // Tag, after the name (objectName) that every component has.
        QCOMPARE(mo->indexOfProperty("Tag"), enabled - 1);
        QCOMPARE(mo->indexOfProperty("objectName"), enabled - 2);
        QCOMPARE(mo->indexOfProperty("Search"), enabled + 1);
        QCOMPARE(mo->indexOfProperty("Found"), enabled + 2);

        for (const bool storedEnabled : {false, true}) {
            Finder f({t.drive()});
            QVERIFY(mo->property(enabled).write(&f.find, storedEnabled));
            QVERIFY(mo->property(enabled + 1).write(&f.find, QStringLiteral("DCC32.EXE")));
            QVERIFY(f.visits.empty());
            QCOMPARE(f.driveTableReads, 0);
            QCOMPARE(f.find.property("Tag"), QVariant(0));
            QVERIFY(f.find.setProperty("Tag", 7));
            QCOMPARE(f.find.Tag, 7);
            QVERIFY(!f.find.Enabled());
            QVERIFY(f.find.Found().isEmpty());
            QCOMPARE(f.find.Search(), QStringLiteral("DCC32.EXE"));
        }
    }

    // A stop written by the handler itself: the entry in hand is completed.
    // The helpers that read ahead have ended when the write returns.
    void stopFromTheHandler_data() {
        QTest::addColumn<QString>("at");        // the entry in hand
        QTest::addColumn<QString>("newSearch"); // empty: Enabled := False instead
        QTest::addColumn<QString>("expected");  // relative; empty for no match
        // At a folder: it still gets its search, which visits nothing.
        QTest::newRow("disabled at a folder") << "b" << QString() << QString();
        // At the match: it is still compared and sets Found.
        QTest::newRow("disabled at the match") << "b/d/DCC32.EXE" << QString() << "b/d/DCC32.EXE";
        // A write of Search: the entry in hand is compared with the new value.
        QTest::newRow("Search written, the entry in hand matches") << "b/c.txt"
                                                                   << "C.TXT"
                                                                   << "b/c.txt";
        QTest::newRow("Search written, nothing matches") << "b/c.txt"
                                                         << "nothing" << QString();
    }
    void stopFromTheHandler() {
        QFETCH(QString, at);
        QFETCH(QString, newSearch);
        QFETCH(QString, expected);
        TempTree t;
        someTree(t);
        t.file("b/d/DCC32.EXE");
        const walk::Result all = walk::drives({t.drive()}, "");
        const std::string inHand = t.path(at.toStdString());
        Finder f({t.drive()}, QStringLiteral("DCC32.EXE"));
        QVERIFY(HangingFolder::HelpersEnd()); // those of the scans before
        const int before = walk::threads();
        int during = 0;
        f.onVisit = [&](const std::string &p) {
            if (p != inHand)
                return;
            during = walk::threads();
            newSearch.isEmpty() ? f.find.SetEnabled(false) : f.find.SetSearch(newSearch);
        };
        f.find.SetEnabled(true);
        QVERIFY(during > before);
        QVERIFY(walk::threadsSettled(before) <= before);
        QCOMPARE(f.visits.back(), inHand);
        const std::size_t n = indexWhere(all.visits, [&](auto &p) { return p == inHand; }) + 1;
        QCOMPARE(f.visits, std::vector(all.visits.begin(), all.visits.begin() + long(n)));
        QVERIFY(!f.find.Enabled());
        QCOMPARE(f.found(), expected.isEmpty() ? std::string() : t.path(expected.toStdString()));
    }

    // A stop from an event that the pump dispatches before the next entry:
    // that next entry is still reported and completed.
    void stopFromADispatchedEvent_data() {
        QTest::addColumn<bool>("useTimer");
        QTest::addColumn<bool>("inHandIsTheMatch");
        QTest::newRow("queued call, folder in hand") << false << false;
        QTest::newRow("zero timer, folder in hand") << true << false;
        QTest::newRow("queued call, match in hand") << false << true;
        QTest::newRow("zero timer, match in hand") << true << true;
    }
    void stopFromADispatchedEvent() {
        QFETCH(bool, useTimer);
        QFETCH(bool, inHandIsTheMatch);
        TempTree t;
        someTree(t);
        t.file("f/h/DCC32.EXE");
        const std::vector<std::string> roots = {t.drive()};
        const walk::Result w = walk::drives(roots, "DCC32.EXE");
        QCOMPARE(w.found, t.path("f/h/DCC32.EXE"));

        // The entry that will be in hand when the stop arrives.
        const std::size_t firstFolder = indexWhere(w.visits, isFolder, 1);
        const std::size_t inHand = inHandIsTheMatch ? w.visits.size() - 1 : firstFolder;
        QVERIFY(inHand > 0 && inHand < w.visits.size());
        const std::string trigger = w.visits[inHand - 1];

        Finder f(roots, QStringLiteral("DCC32.EXE"));
        QObject context;
        f.onVisit = [&](const std::string &p) {
            if (p != trigger)
                return;
            auto stop = [&f] { f.find.SetEnabled(false); };
            if (useTimer)
                QTimer::singleShot(0, &context, stop);
            else
                QMetaObject::invokeMethod(&context, stop, Qt::QueuedConnection);
        };
        f.find.SetEnabled(true);
        QCOMPARE(f.visits, std::vector(w.visits.begin(), w.visits.begin() + long(inHand) + 1));
        QVERIFY(!f.find.Enabled());
        QCOMPARE(f.found(), inHandIsTheMatch ? w.found : std::string());
    }

    // A scan started again from the handler.  Nothing found inside: the
    // outer scan goes on where it was.  Found inside: the outer scan unwinds
    // and the path stays.
    void nestedScans_data() {
        QTest::addColumn<bool>("foundInside");
        QTest::newRow("nothing found inside") << false;
        QTest::newRow("found inside") << true;
    }
    void nestedScans() {
        QFETCH(bool, foundInside);
        TempTree first, second;
        someTree(first);
        second.file("s/DCC32.EXE");
        std::vector<std::string> roots = {first.drive()};
        if (foundInside)
            roots.push_back(second.drive());
        const std::string trigger = first.path("b");
        const walk::Result all = walk::drives(roots, "DCC32.EXE");
        Finder f(roots, QStringLiteral("DCC32.EXE"));
        std::size_t before = 0; // the visits up to the trigger, itself included
        f.onVisit = [&](const std::string &p) {
            if (p == trigger && !before) {
                before = f.visits.size();
                f.find.SetEnabled(true);
                QCOMPARE(f.find.Enabled(), !foundInside);
            }
        };
        f.find.SetEnabled(true);
        std::vector<std::string> expected(all.visits.begin(), all.visits.begin() + long(before));
        expected.insert(expected.end(), all.visits.begin(), all.visits.end()); // the inner scan
        if (!foundInside)
            expected.insert(expected.end(), all.visits.begin() + long(before), all.visits.end());
        QCOMPARE(f.visits, expected);
        QCOMPARE(f.found(), foundInside ? second.path("s/DCC32.EXE") : std::string());
        QCOMPARE(f.find.Enabled(), !foundInside);
    }

    // Folders read ahead: the visits are the plain walk's, whatever the
    // lookahead's bounds, and no helper outlives the scan.
    void lookaheadKeepsTheWalksOrder_data() {
        QTest::addColumn<unsigned>("seed");
        QTest::addColumn<int>("helpers"); // -1: no lookahead
        QTest::addColumn<int>("folders");
        QTest::newRow("default bounds") << 1u << 4 << 1024;
        QTest::newRow("default bounds, found") << 2u << 4 << 1024;
        QTest::newRow("one folder ahead, one byte") << 3u << 3 << 1;
        QTest::newRow("sixteen helpers") << 4u << 16 << 8;
        QTest::newRow("walk alone") << 5u << 0 << 0;
        QTest::newRow("no lookahead") << 6u << -1 << 0;
    }
    void lookaheadKeepsTheWalksOrder() {
        QFETCH(unsigned, seed);
        QFETCH(int, helpers);
        QFETCH(int, folders);
        TempTree t(true), second;
        // Links of every kind, FIFOs and hidden entries; a folder read in
        // several parts; a chain 80 deep; a compiler in the second half.
        walk::randomTree(t.root(), seed,
                         {.steps = 1200,
                          .specials = true,
                          .compilerAt = seed % 2 ? -1 : 900,
                          .bigEntries = 3000,
                          .bigEvery = 150,
                          .chainDepth = 80});
        second.file("DCC32.EXE");
        const std::vector<std::string> roots = {t.drive(), second.drive()};
        const walk::Result expected = walk::drives(roots, "DCC32.EXE");

        Finder f(roots, QStringLiteral("DCC32.EXE"));
        host::LookaheadLimits limits{.helpers = helpers, .folders = std::size_t(folders)};
        if (folders == 1)
            limits.bytes = 1;
        f.find.SetLookahead(helpers < 0 ? std::nullopt : std::optional(limits));
        QVERIFY(HangingFolder::HelpersEnd()); // those of the rows before
        const int before = walk::threads();
        const int descriptors = walk::openDescriptors();
        int most = before;
        f.onVisit = [&](const std::string &) {
            if (f.visits.size() % 64 == 1)
                most = std::max(most, walk::threads());
        };
        f.find.SetEnabled(true);
        QCOMPARE(f.visits, expected.visits);
        QCOMPARE(f.found(), expected.found);
        // Beside the helpers, at most two that serve the walk's asks when
        // every helper is busy, and one that reads a root's volume.
        QVERIFY(most - before >= std::max(helpers, 0) && most - before <= std::max(helpers, 0) + 3);
        QVERIFY(walk::threadsSettled(before) <= before);
        QCOMPARE(walk::openDescriptors(), descriptors);
    }

    // The descriptor limit binds 1,500 folders deep: the same entries as the
    // plain walk, no deeper.
    void lookaheadAtTheDescriptorLimit() {
#ifdef _WIN32
        QSKIP("descriptors are a POSIX limit");
#else
        TempTree t;
        t.folder(QByteArray("d/").repeated(1500).toStdString());
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &old), 0);
        rlimit low = old;
        low.rlim_cur = std::min<rlim_t>(old.rlim_cur, 1024);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
        Finder plain({t.drive()}), ahead({t.drive()});
        plain.find.SetLookahead(std::nullopt);
        plain.find.SetEnabled(true);
        ahead.find.SetEnabled(true);
        setrlimit(RLIMIT_NOFILE, &old);
        QVERIFY(plain.visits.size() < 3 * 1500);
        QCOMPARE(ahead.visits, plain.visits);
#endif
    }

    // A folder whose opening hangs (a hung network mount): a stop never
    // waits for the helper held in it, and a walk that reaches it waits with
    // its events running, then goes on in order.
    void aFolderThatHangs_data() {
        QTest::addColumn<int>("stop");
        QTest::newRow("the walk reaches it") << 0;
        QTest::newRow("stopped before it") << 1;
        QTest::newRow("a match before it") << 2;
        QTest::newRow("stopped while the walk waits for it") << 3;
    }
    void aFolderThatHangs() {
        QFETCH(int, stop);
        TempTree t;
        someTree(t);
        const walk::Result all = walk::drives({t.drive()}, "");
        std::size_t last = 0; // the last folder the walk enters
        for (std::size_t i = 0; i < all.visits.size(); ++i)
            if (isFolder(all.visits[i]))
                last = i;
        const std::size_t file =
            indexWhere(all.visits, [](auto &p) { return !isDot(p) && !isFolder(p); });
        QVERIFY(file + 1 < last);
        const std::string name = all.visits[file].substr(all.visits[file].rfind(Sep) + 1);
        HangingFolder hang(all.visits[last] + Sep);
        Finder f({t.drive()}, stop == 2 ? fromNative(name) : QStringLiteral("DCC32.EXE"));
        int pumpsWithoutVisit = 0; // while a helper is held: the walk waits
        f.onPump = [&] {
            if (hang.Holding() && ++pumpsWithoutVisit == 5 && stop != 3)
                hang.Release();
            if (pumpsWithoutVisit == 5 && stop == 3)
                f.find.SetEnabled(false);
        };
        f.onVisit = [&](const std::string &) {
            pumpsWithoutVisit = 0;
            if (f.visits.size() == 1)
                QVERIFY(hang.WaitHeld()); // read ahead: a helper is held there
            if (stop == 1 && f.visits.size() == 2)
                f.find.SetEnabled(false);
        };
        f.find.SetEnabled(true);
        const std::size_t seen[] = {all.visits.size(), 2, file + 1, last + 1};
        QCOMPARE(f.visits, std::vector(all.visits.begin(), all.visits.begin() + long(seen[stop])));
        QCOMPARE(f.found(), stop == 2 ? all.visits[file] : std::string());
        QCOMPARE(hang.Holding(), stop != 0); // back without waiting for it
        hang.Release();
        QVERIFY(HangingFolder::HelpersEnd()); // which then ends on its own
    }

    void anExceptionFromTheHandlerLeavesTheScan_data() {
        QTest::addColumn<int>("variant");
        QTest::newRow("flag kept") << 0;
        QTest::newRow("handler stopped first") << 1;
        QTest::newRow("after a nested find") << 2;
    }
    void anExceptionFromTheHandlerLeavesTheScan() {
        QFETCH(int, variant);
        TempTree t, other;
        someTree(t);
        other.file("DCC32.EXE");
        Finder f({t.drive(), other.drive()}, QStringLiteral("DCC32.EXE"));
        QVERIFY(HangingFolder::HelpersEnd()); // those of the rows before
        const int descriptors = walk::openDescriptors();
        bool thrown = false;
        f.onVisit = [&](const std::string &p) {
            if (thrown || !p.ends_with(nativePath("/i/j.txt"))) // four folders deep
                return;
            thrown = true;
            if (variant == 1)
                f.find.SetEnabled(false);
            if (variant == 2)
                f.find.SetEnabled(true);
            throw std::runtime_error("from the handler");
        };
        const int before = walk::threads();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.find.SetEnabled(true));
        QCOMPARE(walk::openDescriptors(), descriptors);
        QVERIFY(walk::threadsSettled(before) <= before); // the helpers were stopped on the way out
        QCOMPARE(f.find.Enabled(), variant == 0);
        QCOMPARE(f.found(), variant == 2 ? other.path("DCC32.EXE") : std::string());
        // The component is whole again afterwards.
        f.onVisit = nullptr;
        f.find.SetEnabled(true);
        QCOMPARE(f.found(), other.path("DCC32.EXE"));
        QCOMPARE(walk::openDescriptors(), descriptors);
    }
};

QTEST_GUILESS_MAIN(FileFindTest)
#include "FileFindTest.moc"
