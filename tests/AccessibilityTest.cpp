// What a screen reader finds in both windows: a name for every control, the
// shown caption inside that name, the edit box named by its label, the status
// text readable as it changes, and the keyboard order.  Also that every
// caption fits its control in the fonts this machine substitutes for the
// Windows ones.
#include "tests/support/AppFixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QTest>

namespace {

QAccessibleInterface *A(QObject *object) {
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    if (!iface)
        qFatal("no accessible interface for %s", qPrintable(object->objectName()));
    return iface;
}

QString Name(QObject *object) {
    return A(object)->text(QAccessible::Name);
}

// The text a control shows, for the controls that show one.
QString ShownCaption(QWidget *w) {
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    return QString();
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mainWindowControlsAreNamedAsShown() {
        AppFixture f;
        TForm1 *w = Form1;
        struct Expect {
            QWidget *widget;
            QAccessible::Role role;
            QString name; // its caption (the texts are in tests/data/WindowTrees.txt)
        };
        const Expect expected[] = {
            {w->Label1, QAccessible::StaticText, w->Label1->text()},
            {w->Edit1, QAccessible::EditableText, w->Label1->text()},
            {w->SpeedButton1, QAccessible::Button, QStringLiteral("... Browse for DCC32.EXE")},
            {w->BitBtn1, QAccessible::Button, w->BitBtn1->text()},
            {w->RG, QAccessible::Grouping, QStringLiteral("Compiler version")},
            {w->RGItem0, QAccessible::RadioButton, w->RGItem0->text()},
            {w->RGItem1, QAccessible::RadioButton, w->RGItem1->text()},
            {w->SBPanel0, QAccessible::StaticText, w->SBPanel0->text()},
            {w->SBPanel1, QAccessible::StaticText, QString()},
            {Form2->Label1, QAccessible::StaticText, Form2->Label1->text()},
        };
        for (const Expect &e : expected) {
            QCOMPARE(A(e.widget)->role(), e.role);
            QCOMPARE(Name(e.widget), e.name);
        }
        QCOMPARE(Name(w), w->Caption());
        QCOMPARE(Name(Form2), Form2->Caption());
        QCOMPARE(Name(w->SB), QStringLiteral("Status"));

        // The edit box reads out its contents, and its label is its label.
        QCOMPARE(A(w->Edit1)->text(QAccessible::Value), w->Edit1->text());
        const auto labelled = A(w->Edit1)->relations(QAccessible::Label);
        QVERIFY(std::any_of(labelled.begin(), labelled.end(),
                            [&](const auto &rel) { return rel.first->object() == w->Label1; }));

        // States a reader announces.
        QVERIFY(A(w->BitBtn1)->state().disabled);
        QCOMPARE(bool(A(w->RGItem1)->state().checked), true);
        QCOMPARE(bool(A(w->RGItem0)->state().checked), false);
        w->RG->SetItemIndex(0);
        QCOMPARE(bool(A(w->RGItem0)->state().checked), true);
        w->Edit1->setText(QStringLiteral("x"));
        QVERIFY(!A(w->BitBtn1)->state().disabled);
    }

    // The status text is named as what it shows, whatever the workflow writes
    // there, and the wait dialog by its caption with the tick count.
    void namesFollowTheTextsShown() {
        AppFixture f;
        QLabel *panel = Form1->SBPanel1;
        QCOMPARE(A(panel)->text(QAccessible::Description), QStringLiteral("Status"));
        for (const QString text : {"Please wait...", "/usr/lib/x86_64-linux-gnu"}) {
            Form1->SB->Panels(1).SetText(text);
            QCOMPARE(Name(panel), text);
        }
        Form2->SetCaption(QStringLiteral("Wait [7]"));
        QCOMPARE(Name(Form2), QStringLiteral("Wait [7]"));
    }

    // Every control of both windows has a name, and a control that shows a
    // caption has that caption in its name.
    void everyControlHasAName() {
        AppFixture f;
        Form1->SB->Panels(1).SetText(QStringLiteral("Please wait..."));
        for (QWidget *window : {static_cast<QWidget *>(Form1), static_cast<QWidget *>(Form2)}) {
            const auto controls = window->findChildren<QWidget *>();
            QVERIFY(!controls.isEmpty());
            for (QWidget *control : controls) {
                if (control->objectName().startsWith(QLatin1String("qt_")))
                    continue; // Qt's own inner parts
                const QString name = Name(control);
                QVERIFY2(!name.isEmpty(), qPrintable(control->objectName()));
                const QString caption = ShownCaption(control);
                QVERIFY2(name.contains(caption), qPrintable(control->objectName() + ": " + name));
            }
        }
    }

    // Tab: the edit box, the main button, the version choice; the browse
    // button and the labels take no focus.
    void tabOrder() {
        AppFixture f;
        TForm1 *w = Form1;
        w->Edit1->setText(QStringLiteral("x")); // enables the main button
        QList<QWidget *> order;
        QWidget *next = w->Edit1;
        do {
            if (next->focusPolicy() & Qt::TabFocus)
                order << next;
            next = next->nextInFocusChain();
        } while (next != w->Edit1 && order.size() < 10);
        QCOMPARE(order, (QList<QWidget *>{w->Edit1, w->BitBtn1, w->RGItem0, w->RGItem1}));
    }

    // The captions fit their boxes in the fonts found here (Liberation Sans
    // and Serif for Arial and Times New Roman), so nothing is cut off.
    void captionsFit() {
        AppFixture f;
        QList<QWidget *> shown{Form1->Label1,   Form1->BitBtn1,      Form1->RGItem0, Form1->RGItem1,
                               Form1->SBPanel0, Form1->SpeedButton1, Form2->Label1};
        for (QWidget *w : shown) {
            const QString caption = ShownCaption(w);
            const int advance = w->fontMetrics().horizontalAdvance(caption);
            int room = w->width();
            if (qobject_cast<QRadioButton *>(w))
                room -= w->sizeHint().width() - advance; // the indicator and its gap
            else if (qobject_cast<QAbstractButton *>(w))
                room -= 2 * w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
            const QString what = w->objectName() + QStringLiteral(": %1 px of text in %2 px");
            QVERIFY2(advance <= room, qPrintable(what.arg(advance).arg(room)));
            QVERIFY2(w->fontMetrics().height() <= w->height(), qPrintable(w->objectName()));
        }
    }
};

QTEST_MAIN(AccessibilityTest)
#include "AccessibilityTest.moc"
