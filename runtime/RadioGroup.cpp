#include "runtime/RadioGroup.h"

#include <QRadioButton>

TRadioGroup::TRadioGroup(QWidget *parent) : QGroupBox(parent) {}

QList<QRadioButton *> TRadioGroup::items() const {
    return findChildren<QRadioButton *>(QString(), Qt::FindDirectChildrenOnly);
}

int TRadioGroup::Count() const {
    return int(items().size());
}

int TRadioGroup::ItemIndex() const {
    const auto list = items();
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list[i]->isChecked())
            return int(i);
    return -1;
}

void TRadioGroup::SetItemIndex(int index) {
    const auto list = items();
    if (index >= 0 && index < list.size())
        list[index]->setChecked(true);
}
