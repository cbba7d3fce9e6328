// A window's widgets as text, to compare with the description kept in
// tests/data/WindowTrees.txt: a line a widget, indented by its depth, with its
// class, its name, where it lies and the text it shows.  A window gives its
// size only, whether it is fixed, and the buttons of its title bar; a widget
// placed by a layout no place at all.  The font where it is not the parent's,
// and a label's centring, follow.
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
    if (w->isWindow()) {
        line += QStringLiteral(" %1x%2").arg(g.width()).arg(g.height());
        line += w->minimumSize() == w->maximumSize() ? " fixed" : "";
        for (const auto &[hint, name] : {std::pair{Qt::WindowMinimizeButtonHint, " min"},
                                         {Qt::WindowMaximizeButtonHint, " max"},
                                         {Qt::WindowCloseButtonHint, " close"}})
            line += w->windowFlags() & hint ? name : "";
    } else if (!w->parentWidget()->layout())
        line += QStringLiteral(" %1,%2 %3x%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
    if (!text.isEmpty())
        line += QStringLiteral(" \"%1\"").arg(text);
    if (const QFont f = w->font(); w->isWindow() || f != w->parentWidget()->font())
        line += QStringLiteral(" [%1 %2%3%4]")
                    .arg(f.family())
                    .arg(f.pointSize())
                    .arg(f.bold() ? " bold" : "", f.italic() ? " italic" : "");
    if (label && (label->alignment() & Qt::AlignHCenter))
        line += QStringLiteral(" centred");
    line += '\n';
    for (const QObject *child : w->children()) {
        const auto *widget = qobject_cast<const QWidget *>(child);
        if (widget && !widget->objectName().startsWith(QLatin1String("qt_")))
            line += widgetTree(widget, depth + 1);
    }
    return line;
}
