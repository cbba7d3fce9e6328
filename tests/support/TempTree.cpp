#include "TempTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

TempTree::TempTree() {
    QVERIFY(dir_.isValid());
}

std::string TempTree::root() const {
    return QFile::encodeName(dir_.path()).toStdString();
}

void TempTree::folder(const std::string &rel) const {
    QVERIFY(QDir().mkpath(QFile::decodeName(path(rel).c_str())));
}

void TempTree::file(const std::string &rel, qint64 size) const {
    const QString name = QFile::decodeName(path(rel).c_str());
    QDir().mkpath(QFileInfo(name).path());
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    if (size > 0)
        QVERIFY(f.resize(size));
}

void TempTree::kit() const {
    folder("Demo");
    folder("Delphi-3");
    folder("Delphi-4");
}
