// The open-file dialog as a component: FileName in, Execute, FileName out.
#pragma once

#include <QObject>
#include <QString>

class QWidget;

class TOpenDialog : public QObject {
    Q_OBJECT

public:
    explicit TOpenDialog(QWidget *owner);

    QString FileName;
    // Pairs of description and name pattern separated by "|", e.g.
    // "DCC32|DCC32.EXE".
    QString Filter;

    // True when the user picked a file; FileName then holds its path.
    bool Execute();

    // The filter in the file dialog's own notation: "DCC32 (DCC32.EXE)".
    static QString qtFilter(const QString &filter);

private:
    QWidget *owner_;
};
