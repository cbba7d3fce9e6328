// The main window at start, and choosing the compiler by hand.
#include "components/FileFind.h"
#include "runtime/NativeText.h"
#include "runtime/OpenDialog.h"
#include "runtime/Timer.h"
#include "tests/support/AppFixture.h"
#include "tests/support/TempTree.h"
#include "tests/support/WidgetTree.h"

#include <QFile>
#include <QScreen>
#include <QTest>

class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initialStateOfBothVariants_data() {
        QTest::addColumn<int>("generation");
        QTest::addColumn<int>("versionIndex");
        QTest::newRow("Forgeway") << int(RuntimeGeneration::Delphi4) << 1;
        QTest::newRow("Forgeway3") << int(RuntimeGeneration::Delphi3) << 0;
    }
    void initialStateOfBothVariants() {
        QFETCH(int, generation);
        QFETCH(int, versionIndex);
        AppFixture f{static_cast<RuntimeGeneration>(generation)};
        QCOMPARE(f.app->MainForm(), Form1);
        // Both windows' widgets, places, texts, frames and fonts, as designed.
        QFile designed(QStringLiteral(":/tests/data/WindowTrees.txt"));
        QVERIFY(designed.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE((widgetTree(Form1) + widgetTree(Form2)).split(QLatin1Char('\n')),
                 QString::fromUtf8(designed.readAll()).split(QLatin1Char('\n')));
        QCOMPARE(Form1->Tag, 0);
        QVERIFY(!Form1->BitBtn1->isEnabled());
        QCOMPARE(Form1->SpeedButton1->focusPolicy(), Qt::NoFocus);
        QCOMPARE(Form1->RG->Count(), 2);
        QCOMPARE(Form1->RG->ItemIndex(), versionIndex);
        QCOMPARE(Form1->SB->PanelCount(), 2);
        QCOMPARE(Form1->SB->Panels(0).Text(), QStringLiteral("Searching:"));
        QCOMPARE(Form1->SB->Panels(1).Text(), QString());
        QCOMPARE(Form1->OD->FileName, QStringLiteral("DCC32.EXE"));
        QCOMPARE(TOpenDialog::qtFilter(Form1->OD->Filter), QStringLiteral("DCC32 (DCC32.EXE)"));
        QVERIFY(!Form1->FFind->Enabled());
        QCOMPARE(Form1->FFind->Search(), QStringLiteral("DCC32.EXE"));
        QVERIFY(Form1->FFind->Found().isEmpty());
        for (const auto &[timer, interval] : {std::pair{Form1->Timer1, 500}, {Form2->TUj, 1000}}) {
            QVERIFY(!timer->Enabled());
            QCOMPARE(timer->Interval(), interval);
            QCOMPARE(timer->Tag, 0);
        }
        QVERIFY(!Form2->isVisible());
        // Centred on the screen's free area whenever shown, wherever it was.
        for (const QPoint elsewhere : {QPoint(0, 0), QPoint(300, 400)}) {
            Form1->move(elsewhere);
            Form1->show();
            QCOMPARE(Form1->frameGeometry().center(),
                     Form1->screen()->availableGeometry().center());
            Form1->hide();
        }
    }

    // Which sizes tell which version is KitLayoutTest's; here the window's use
    // of the answer to a browse: the path in the box and the dialog, the
    // version from its size, the main button enabled, also when it was
    // already (a path typed); a cancelled browse changes nothing.
    void browsingOnce_data() {
        QTest::addColumn<qint64>("size"); // -1: no file at all; -2: the browse cancelled
        QTest::addColumn<int>("startIndex");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("typed"); // a path typed before the browse
        QTest::newRow("430080 picks Delphi 3") << qint64(430080) << 1 << 0 << false;
        QTest::newRow("543232 picks Delphi 4") << qint64(543232) << 0 << 1 << false;
        QTest::newRow("543232 after a typed path") << qint64(543232) << 0 << 1 << true;
        QTest::newRow("one byte less keeps 1") << qint64(543231) << 1 << 1 << false;
        QTest::newRow("empty file keeps 0") << qint64(0) << 0 << 0 << false;
        QTest::newRow("no such file keeps 0") << qint64(-1) << 0 << 0 << false;
        QTest::newRow("no such file keeps 1") << qint64(-1) << 1 << 1 << false;
        QTest::newRow("cancelled keeps 0") << qint64(-2) << 0 << 0 << false;
        QTest::newRow("cancelled keeps 1") << qint64(-2) << 1 << 1 << false;
        QTest::newRow("cancelled after a typed path") << qint64(-2) << 1 << 1 << true;
    }
    void browsingOnce() {
        QFETCH(qint64, size);
        QFETCH(int, startIndex);
        QFETCH(int, expected);
        QFETCH(bool, typed);
        AppFixture f;
        TempTree tree;
        if (size >= 0)
            tree.file("Bin/DCC32.EXE", size);
        Form1->RG->SetItemIndex(startIndex);
        if (typed)
            Form1->Edit1->setText(QStringLiteral("/typed/DCC32.EXE"));
        const QString before = Form1->Edit1->text(), path = fromNative(tree.path("Bin/DCC32.EXE"));
        const bool cancelled = size == -2;
        f.seam.openAnswers = {cancelled ? std::nullopt : std::optional(path)};
        Form1->SpeedButton1->click();
        QCOMPARE(f.seam.openCalls, 1);
        QCOMPARE(Form1->RG->ItemIndex(), expected);
        QCOMPARE(Form1->Edit1->text(), cancelled ? before : path);
        QCOMPARE(Form1->OD->FileName, cancelled ? QStringLiteral("DCC32.EXE") : path);
        QCOMPARE(Form1->BitBtn1->isEnabled(), typed || !cancelled);
    }

    void anyChangeOfThePathEnablesTheButtonForGood() {
        AppFixture f;
        Form1->show();
        Form1->Edit1->setFocus();
        Form1->Edit1->selectAll();
        QTest::keyClick(Form1->Edit1, Qt::Key_X);
        QVERIFY(Form1->BitBtn1->isEnabled());
        Form1->Edit1->clear();
        QVERIFY(Form1->BitBtn1->isEnabled());
        Form1->Edit1->setText(QStringLiteral("/typed/DCC32.EXE"));
        QVERIFY(Form1->BitBtn1->isEnabled());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
