#include "tests/support/TempTree.h"

#include "runtime/NativeText.h"
#include "tests/support/ListingWalk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <algorithm>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

QTemporaryDir makeDir(bool inMemory) {
#ifndef _WIN32
    if (inMemory && access("/dev/shm", W_OK) == 0)
        return QTemporaryDir(
            QStringLiteral("/dev/shm/%1-XXXXXX").arg(QCoreApplication::applicationName()));
#else
    (void)inMemory;
#endif
    return QTemporaryDir();
}

} // namespace

std::string nativePath(std::string rel) {
    std::replace(rel.begin(), rel.end(), '/', host::PathDelim);
    return rel;
}

TempTree::TempTree(bool inMemory) : dir_(makeDir(inMemory)) {
    QVERIFY(dir_.isValid());
}

TempTree::~TempTree() {
    if (dir_.isValid())
        walk::removeTree(root());
}

std::string TempTree::root() const {
    return toNative(QDir::toNativeSeparators(dir_.path()));
}

void TempTree::folder(const std::string &rel) const {
    QVERIFY(QDir().mkpath(fromNative(path(rel))));
}

void TempTree::file(const std::string &rel, qint64 size) const {
    const QString name = fromNative(path(rel));
    QDir().mkpath(QFileInfo(name).path());
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    if (size > 0)
        QVERIFY(f.resize(size));
}
