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
        // Both windows' widgets, places and texts, as designed.
        QFile designed(QStringLiteral(":/tests/data/WindowTrees.txt"));
        QVERIFY(designed.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE((widgetTree(Form1) + widgetTree(Form2)).split(QLatin1Char('\n')),
                 QString::fromUtf8(designed.readAll()).split(QLatin1Char('\n')));
        QCOMPARE(Form1->minimumSize(), Form1->maximumSize()); // fixed frame
        QVERIFY(!(Form1->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(Form1->windowFlags() & Qt::WindowMaximizeButtonHint));
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
        QVERIFY(!Form1->Timer1->Enabled());
        QCOMPARE(Form1->Timer1->Interval(), 500);
        QCOMPARE(Form1->Timer1->Tag, 0);
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
    // of the answer to a browse: the path in the box, the version from its
    // size, the main button enabled; a cancelled browse changes nothing.
    void browsingOnce_data() {
        QTest::addColumn<qint64>("size"); // -1: no file at all; -2: the browse cancelled
        QTest::addColumn<int>("startIndex");
        QTest::addColumn<int>("expected");
        QTest::newRow("430080 picks Delphi 3") << qint64(430080) << 1 << 0;
        QTest::newRow("543232 picks Delphi 4") << qint64(543232) << 0 << 1;
        QTest::newRow("one byte less keeps 1") << qint64(543231) << 1 << 1;
        QTest::newRow("empty file keeps 0") << qint64(0) << 0 << 0;
        QTest::newRow("no such file keeps 0") << qint64(-1) << 0 << 0;
        QTest::newRow("no such file keeps 1") << qint64(-1) << 1 << 1;
        QTest::newRow("cancelled keeps 0") << qint64(-2) << 0 << 0;
        QTest::newRow("cancelled keeps 1") << qint64(-2) << 1 << 1;
    }
    void browsingOnce() {
        QFETCH(qint64, size);
        QFETCH(int, startIndex);
        QFETCH(int, expected);
        AppFixture f;
        TempTree tree;
        if (size >= 0)
            tree.file("Bin/DCC32.EXE", size);
        Form1->RG->SetItemIndex(startIndex);
        const QString before = Form1->Edit1->text(), path = fromNative(tree.path("Bin/DCC32.EXE"));
        const bool cancelled = size == -2;
        f.seam.openAnswers = {cancelled ? std::nullopt : std::optional(path)};
        Form1->SpeedButton1->click();
        QCOMPARE(f.seam.openCalls, 1);
        QCOMPARE(Form1->RG->ItemIndex(), expected);
        QCOMPARE(Form1->Edit1->text(), cancelled ? before : path);
        QCOMPARE(Form1->BitBtn1->isEnabled(), !cancelled);
    }

    void browsingPicksTheFileAndTheVersion() {
        AppFixture f;
        TempTree tree;
        tree.file("D3/Bin/DCC32.EXE", 430080);
        tree.file("D4/Bin/DCC32.EXE", 543232);
        const QString d3 = QString::fromStdString(tree.path("D3/Bin/DCC32.EXE"));
        const QString d4 = QString::fromStdString(tree.path("D4/Bin/DCC32.EXE"));
        f.seam.openAnswers = {d3, d4};
        Form1->SpeedButton1->click();
        QCOMPARE(Form1->Edit1->text(), d3);
        QCOMPARE(Form1->RG->ItemIndex(), 0);
        QVERIFY(Form1->BitBtn1->isEnabled());
        // Again while the button is already enabled: only the path and version change.
        Form1->SpeedButton1->click();
        QCOMPARE(Form1->Edit1->text(), d4);
        QCOMPARE(Form1->RG->ItemIndex(), 1);
        QVERIFY(Form1->BitBtn1->isEnabled());
        QCOMPARE(f.seam.openCalls, 2);
        QCOMPARE(Form1->OD->FileName, d4);
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
