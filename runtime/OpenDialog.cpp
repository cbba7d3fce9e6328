#include "runtime/OpenDialog.h"

#include "runtime/Application.h"
#include "runtime/Seam.h"

#include <QStringList>
#include <QWidget>

TOpenDialog::TOpenDialog(QWidget *owner) : QObject(owner), owner_(owner) {}

bool TOpenDialog::Execute() {
    const auto picked = Application->seam().openFile(owner_, FileName, qtFilter(Filter));
    if (!picked)
        return false;
    FileName = *picked;
    return true;
}

QString TOpenDialog::qtFilter(const QString &filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
    return filters.join(QLatin1String(";;"));
}
