// The seam the real program runs on: Qt's own message boxes, answered here as
// a user would, and the end of the event loop.
#include "runtime/SystemSeam.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// Runs act on the first modal box that comes up, from a timer, as the user
// would; records its text and how it is set.
struct BoxUser {
    std::function<void(QMessageBox *)> act;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QString details;
    bool detailsButton = false;
    QTimer timer;

    explicit BoxUser(std::function<void(QMessageBox *)> a) : act(std::move(a)) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            timer.stop();
            text = box->text();
            format = box->textFormat();
            details = box->detailedText();
            for (QAbstractButton *b : box->buttons())
                detailsButton = detailsButton || b->text().contains(QStringLiteral("Details"));
            act(box);
        });
        timer.start();
    }
};

const QString Markup = QStringLiteral("DCC32.EXE not found this path: <b>x</b> &amp; <img src=y>");

} // namespace

class SystemSeamTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Lone carriage returns break lines; the text is shown as written, and
    // details, when there are any, behind "Show Details...".
    void aMessageShowsItsTextAsWritten_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("details");
        QTest::newRow("carriage returns")
            << QStringLiteral("Directory not found: \r/a\r\rOR\r\r/b")
            << QStringLiteral("Directory not found: \n/a\n\nOR\n\n/b") << QString();
        QTest::newRow("markup") << Markup << Markup << QString();
        QTest::newRow("details") << QStringLiteral("Could not compile Lumio.DPR!")
                                 << QStringLiteral("Could not compile Lumio.DPR!")
                                 << QStringLiteral("> /b/DCC32.EXE /k/Demo/Lumio.DPR -U/k/D4\n") +
                                        Markup;
    }
    void aMessageShowsItsTextAsWritten() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(QString, details);
        SystemSeam seam;
        BoxUser user([](QMessageBox *box) { box->button(QMessageBox::Ok)->click(); });
        seam.showMessage(nullptr, text, details);
        QCOMPARE(user.text, shown);
        QCOMPARE(user.format, Qt::PlainText);
        QCOMPARE(user.details, details);
        QCOMPARE(user.detailsButton, !details.isEmpty());
    }

    // OK is the only yes; Cancel, Escape and the close box are no.
    void theQuestionsAnswers_data() {
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK") << 0 << true;
        QTest::newRow("Cancel") << 1 << false;
        QTest::newRow("Escape") << 2 << false;
        QTest::newRow("closed") << 3 << false;
    }
    void theQuestionsAnswers() {
        QFETCH(int, how);
        QFETCH(bool, ok);
        SystemSeam seam;
        BoxUser user([how](QMessageBox *box) {
            switch (how) {
            case 0:
                box->button(QMessageBox::Ok)->click();
                break;
            case 1:
                box->button(QMessageBox::Cancel)->click();
                break;
            case 2:
                QTest::keyClick(box, Qt::Key_Escape);
                break;
            default:
                box->close();
            }
        });
        QCOMPARE(seam.confirm(nullptr, Markup), ok);
        QCOMPARE(user.text, Markup);
        QCOMPARE(user.format, Qt::PlainText);
    }

    // Last: once the application has been told to end, every later event
    // loop of this process returns at once.
    void terminateEndsTheRunningLoop() {
        SystemSeam seam;
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&seam] { seam.terminate(); });
        QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); }); // never hang
        QCOMPARE(loop.exec(), 0);
    }
};

QTEST_MAIN(SystemSeamTest)
#include "SystemSeamTest.moc"
