// A group of radio buttons read and set by index.  The items are the group's
// QRadioButton children, in order.
#pragma once

#include <QGroupBox>

class QRadioButton;

class TRadioGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit TRadioGroup(QWidget *parent = nullptr);
    // The checked item's index, or -1 when none is checked.
    int ItemIndex() const;
    void SetItemIndex(int index);
    int Count() const;

private:
    QList<QRadioButton *> items() const;
};
