#include "tests/support/TempTree.h"

#include "tests/support/ListingWalk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <unistd.h>

namespace {

QTemporaryDir makeDir(bool inMemory) {
    if (inMemory && access("/dev/shm", W_OK) == 0)
        return QTemporaryDir(
            QStringLiteral("/dev/shm/%1-XXXXXX").arg(QCoreApplication::applicationName()));
    return QTemporaryDir();
}

} // namespace

TempTree::TempTree(bool inMemory) : dir_(makeDir(inMemory)) {
    QVERIFY(dir_.isValid());
}

TempTree::~TempTree() {
    if (dir_.isValid())
        walk::removeAt(AT_FDCWD, root().c_str());
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
