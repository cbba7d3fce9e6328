// A status bar made of text panels side by side, each a label that assistive
// technology can read.  The panels are the bar's QLabel children, in order.
//
// A panel's text can be written far more often than a screen can show it (the
// drive search writes every path it visits).  The bar keeps the latest text
// of each panel at once, so Text() always reads it back, and hands it to the
// label at most twice per screen frame (60 Hz); the text that is last when a
// burst of writes ends reaches the label at the end of that frame, as soon as
// the event loop (or a running search's pump) handles the frame's timer.
#pragma once

#include "runtime/NativeText.h"

#include <QFrame>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class TStatusBar;

// A handle on one panel of a bar; cheap to copy.
class TStatusPanel {
public:
    TStatusPanel(TStatusBar *bar, int index) : bar_(bar), index_(index) {}
    QString Text() const;
    void SetText(const QString &text);
    // The same text, converted only when the label is handed it or it is read.
    void SetText(const NativeString &text);

private:
    TStatusBar *bar_;
    int index_;
};

class TStatusBar : public QFrame {
    Q_OBJECT

public:
    explicit TStatusBar(QWidget *parent = nullptr);
    int PanelCount() const;
    // index must be below PanelCount().
    TStatusPanel Panels(int index) const;

protected:
    void childEvent(QChildEvent *event) override;

private:
    friend class TStatusPanel;

    struct Panel {
        QPointer<QLabel> label;
        QString text;         // the latest text, while the label is behind
        std::string native;   // or these bytes, when it was written as such
        bool waiting = false; // the label does not show text yet
        bool isNative = false;
        QString latest() const { return isNative ? fromNative(native) : text; }
    };

    void gather() const;
    Panel &panel(int index) const;
    QString panelText(int index) const;
    void setPanelText(int index, const QString &text, std::string_view native = {},
                      bool isNative = false);
    // Hands every waiting text to its label; false when none was waiting.
    bool showWaiting();
    void endFrame();

    // The labels, gathered again after a child has come or gone.
    mutable std::vector<Panel> panels_;
    mutable bool stale_ = true;

    // Runs from the first write of a burst until a frame passes without one.
    QTimer frame_;
    int shownInFrame_ = 0;
};
