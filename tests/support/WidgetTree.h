// A window's widgets as text, to compare with the description kept in
// tests/data/WindowTrees.txt: a line a widget, indented by its depth, with its
// class, its name, where it lies and the text it shows.  A window gives its
// size only, a widget placed by a layout no place at all.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

inline QString widgetTree(const QWidget *w, int depth = 0) {
    const auto *label = qobject_cast<const QLabel *>(w);
    const auto *button = qobject_cast<const QAbstractButton *>(w);
    const auto *edit = qobject_cast<const QLineEdit *>(w);
    const QString text = w->isWindow() ? w->windowTitle()
                         : label       ? label->text()
                         : button      ? button->text()
                         : edit        ? edit->text()
                                       : QString();
    const QRect g = w->geometry();
    QString line =
        QString(2 * depth, QLatin1Char(' ')) + w->metaObject()->className() + ' ' + w->objectName();
    if (w->isWindow())
        line += QStringLiteral(" %1x%2").arg(g.width()).arg(g.height());
    else if (!w->parentWidget()->layout())
        line += QStringLiteral(" %1,%2 %3x%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
    if (!text.isEmpty())
        line += QStringLiteral(" \"%1\"").arg(text);
    line += '\n';
    for (const QObject *child : w->children()) {
        const auto *widget = qobject_cast<const QWidget *>(child);
        if (widget && !widget->objectName().startsWith(QLatin1String("qt_")))
            line += widgetTree(widget, depth + 1);
    }
    return line;
}
