#include "StatusBar.h"

#include <QLabel>

QString TStatusPanel::Text() const {
    return label_->text();
}

void TStatusPanel::SetText(const QString &text) {
    label_->setText(text);
}

TStatusBar::TStatusBar(QWidget *parent) : QFrame(parent) {}

int TStatusBar::PanelCount() const {
    return int(findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).size());
}

TStatusPanel TStatusBar::Panels(int index) const {
    return TStatusPanel(findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).at(index));
}
