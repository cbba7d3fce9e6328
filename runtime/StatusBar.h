// A status bar made of text panels side by side, each a label that assistive
// technology can read.  The panels are the bar's QLabel children, in order.
#pragma once

#include <QFrame>
#include <QString>

class QLabel;

class TStatusPanel {
public:
    explicit TStatusPanel(QLabel *label) : label_(label) {}
    QString Text() const;
    void SetText(const QString &text);

private:
    QLabel *label_;
};

class TStatusBar : public QFrame {
    Q_OBJECT

public:
    explicit TStatusBar(QWidget *parent = nullptr);
    int PanelCount() const;
    TStatusPanel Panels(int index) const;
};
