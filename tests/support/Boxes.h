// The program's message boxes as FakeSeam records them: "message: " for a box
// with one OK button, "confirm: " for the OK/Cancel question.
#pragma once

#include <QStringList>

namespace boxes {

inline const QString NotFound = QStringLiteral("message: DCC32.EXE not found this path: ");
inline const QString PasCompile =
    QStringLiteral("message: *.Pas compile. Click OK to continue and compile Lumio.DPR!");
inline const QString CouldNotCompile =
    QStringLiteral("message: Could not compile Lumio.DPR! Try to run this application again, or "
                   "install Tessaline into the Delphi, and try compile with Delphi...");
inline const QString SuccessQuestion =
    QStringLiteral("confirm: OK. Compile successfully completed! Now run the Lumio.EXE");

// The command lines ("> ...") that a box's details name, in order.
inline QStringList commandsIn(const QString &details) {
    QStringList lines = details.split(QLatin1Char('\n'));
    lines.removeIf([](const QString &line) { return !line.startsWith(QStringLiteral("> ")); });
    return lines;
}

} // namespace boxes
