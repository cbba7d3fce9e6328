#include "runtime/SystemSeam.h"

#include "host/Clock.h"
#include "host/Drives.h"
#include "runtime/NativeText.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QTextEdit>

namespace {

// Qt's own file dialog keeps its history and last folder in the user's
// configuration folder (QtProject.conf) and reads them back at its next
// start.  The program keeps no settings: the settings folders are made to
// point where no file can be made, so nothing is read from them and nothing
// lands there.  (On Windows the dialog's settings go to the registry, which
// this does not reach.)
void keepNoSettings() {
    static const bool pointed = [] {
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
            for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
                QSettings::setPath(format, scope, QProcess::nullDevice());
        return true;
    }();
    (void)pointed;
}

// Message texts break lines with a lone carriage return; a label wants "\n".
QString forDisplay(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

std::string SystemSeam::exeName() {
    // Qt writes "/" on every host; Windows paths want "\".
    return toNative(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()));
}

std::uint32_t SystemSeam::tickCount() {
    return host::GetTickCount();
}

host::StartResult SystemSeam::startProcess(const std::string &program,
                                           const std::vector<std::string> &args,
                                           const host::OutputCapture *output) {
    return host::StartProcess(program, args, output);
}

std::vector<std::string> SystemSeam::driveRoots() {
    return host::DriveRoots();
}

void SystemSeam::showMessage(QWidget *parent, const QString &text, const QString &details) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), forDisplay(text),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText); // a path is shown as typed, never as markup
    if (!details.isEmpty()) {
        box.setDetailedText(details); // plain text too
        // Room for a compiler's messages: about 20 lines.
        if (auto *area = box.findChild<QTextEdit *>())
            area->setFixedHeight(area->fontMetrics().lineSpacing() * 20);
    }
    box.exec();
}

bool SystemSeam::confirm(QWidget *parent, const QString &text) {
    QMessageBox box(QMessageBox::Information, QMessageBox::tr("Information"), forDisplay(text),
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Ok;
}

void SystemSeam::beep() {
    QApplication::beep();
}

std::optional<QString> SystemSeam::openFile(QWidget *parent, const QString &initialName,
                                            const QString &filter) {
    keepNoSettings();
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::AnyFile); // a typed name need not exist
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::HideNameFilterDetails); // the filter reads "DCC32"
    dialog.setNameFilter(filter);
    // In the program's current folder, not in the one the dialog saw last;
    // an initial name with a folder of its own opens there.
    dialog.setDirectory(QDir::currentPath());
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

void SystemSeam::terminate() {
    QCoreApplication::exit(0);
}
