// The seam the real program runs on: Qt's own message boxes, answered here as
// a user would, and the end of the event loop.  CTest runs this test with
// the fonts of a fresh machine: only fonts-liberation.
#include "runtime/SystemSeam.h"
#include "runtime/Application.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// From timer, runs act once on the first modal window of type T that comes up.
template <typename T> void atFirstModal(QTimer &timer, std::function<void(T *)> act) {
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, &timer, [&timer, act] {
        if (auto *window = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer.stop();
            act(window);
        }
    });
    timer.start();
}

// Runs act on the first modal box that comes up, from a timer, as the user
// would; records its text and how it is set, and the face it is set in.
struct BoxUser {
    std::function<void(QMessageBox *)> act;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QString face;
    bool fixedPitch = true;
    QString details;
    bool detailsButton = false;
    QTimer timer;

    explicit BoxUser(std::function<void(QMessageBox *)> a) : act(std::move(a)) {
        atFirstModal<QMessageBox>(timer, [this](QMessageBox *box) {
            text = box->text();
            format = box->textFormat();
            const QFontInfo shown(box->font());
            face = shown.family();
            fixedPitch = shown.fixedPitch();
            details = box->detailedText();
            for (QAbstractButton *b : box->buttons())
                detailsButton = detailsButton || b->text().contains(QStringLiteral("Details"));
            act(box);
        });
    }
    // The box showed shown as plain text, in the dialog face.
    void expectPlain(const QString &shown) const {
        QCOMPARE(text, shown);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(face, QStringLiteral("Liberation Sans"));
        QVERIFY(!fixedPitch);
    }
};

const QString Markup = QStringLiteral("DCC32.EXE not found this path: <b>x</b> &amp; <img src=y>");

// The user's configuration folder, made before the application exists so
// that whatever Qt would keep for the user lands where this test looks.
const QTemporaryDir ConfigHome;
const bool ConfigHomeSet = qputenv("XDG_CONFIG_HOME", QFile::encodeName(ConfigHome.path()));

// Plays the user at the first file dialog that comes up: notes where it
// opened and the filters it offers, goes to the folder goTo and picks pick
// there, as typed into its name box.
struct FileDialogUser {
    QString goTo, pick, openedIn;
    QStringList filters;
    QTimer timer;

    FileDialogUser(QString folder, QString name) : goTo(std::move(folder)), pick(std::move(name)) {
        atFirstModal<QFileDialog>(timer, [this](QFileDialog *dialog) {
            openedIn = dialog->directory().absolutePath();
            const auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
            for (int i = 0; types && i < types->count(); ++i)
                filters << types->itemText(i);
            dialog->setDirectory(goTo);
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            name->setText(pick);
            QTest::keyClick(name, Qt::Key_Return);
        });
    }
};

} // namespace

class SystemSeamTest : public QObject {
    Q_OBJECT
    SystemSeam seam_;
    // The runtime as the program readies it: its faces for every box.
    TApplication app_{seam_, RuntimeGeneration::Delphi4};

private Q_SLOTS:
    void initTestCase() { app_.Initialize(); }

    // The faces the windows name come out as their Liberation stand-ins, and
    // a box without a face of its own in the windows' dialog face, never in
    // the typewriter face fontconfig offers for sans-serif.
    void facesResolveToTheirStandIns_data() {
        QTest::addColumn<int>("points"); // of the face the row is named after
        QTest::addColumn<QString>("face");
        QTest::newRow("MS Sans Serif") << 8 << QStringLiteral("Liberation Sans");
        QTest::newRow("Arial") << 10 << QStringLiteral("Liberation Sans");
        QTest::newRow("Times New Roman") << 14 << QStringLiteral("Liberation Serif");
    }
    void facesResolveToTheirStandIns() {
        QFETCH(int, points);
        QFETCH(QString, face);
        const QFontInfo shown(QFont(QString::fromLatin1(QTest::currentDataTag()), points));
        QCOMPARE(shown.family(), face);
        QVERIFY(!shown.fixedPitch());
    }

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
        user.expectPlain(shown);
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
        const std::function<void(QMessageBox *)> answers[] = {
            [](QMessageBox *box) { box->button(QMessageBox::Ok)->click(); },
            [](QMessageBox *box) { box->button(QMessageBox::Cancel)->click(); },
            [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); },
            [](QMessageBox *box) { box->close(); }};
        BoxUser user(answers[how]);
        QCOMPARE(seam.confirm(nullptr, Markup), ok);
        user.expectPlain(Markup);
    }

    // One filter, shown as "DCC32"; it opens in the current folder, not
    // where it was left; and it keeps nothing in the configuration folder.
    void theOpenDialog() {
        QVERIFY(ConfigHomeSet && ConfigHome.isValid());
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        QTemporaryDir here, there;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(here.path()));
        SystemSeam seam;
        for (int showing = 1; showing <= 2; ++showing) { // the first leaves it elsewhere
            FileDialogUser user(there.path(), QStringLiteral("DCC32.EXE"));
            const auto picked =
                seam.openFile(nullptr, QStringLiteral("DCC32.EXE"), "DCC32 (DCC32.EXE)");
            QCOMPARE(user.openedIn, QDir(here.path()).canonicalPath());
            QCOMPARE(user.filters, QStringList{"DCC32"});
            // In the host's own separators ("\\" on Windows).
            QCOMPARE(picked, std::optional(QDir::toNativeSeparators(
                                 QDir(there.path()).filePath("DCC32.EXE"))));
        }
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(
            QDir(ConfigHome.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList());
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
