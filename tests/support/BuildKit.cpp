#include "tests/support/BuildKit.h"

#include "tests/support/ListingWalk.h"

#include "runtime/NativeText.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#endif

// On POSIX, paths are made from their bytes, not through Qt: a kit's folder
// may be named by bytes that are not text.  On Windows they are UTF-8 and go
// through Qt, whose file names are Unicode there.
namespace {

#ifdef _WIN32
void write(const std::string &path, const std::string &contents) {
    QFile f(fromNative(path));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(contents.data(), qint64(contents.size())), qint64(contents.size()));
}

std::string read(const std::string &path, bool &ok) {
    QFile f(fromNative(path));
    ok = f.open(QIODevice::ReadOnly);
    return ok ? f.readAll().toStdString() : std::string();
}

void makeFolders(const std::string &path) {
    QVERIFY(QDir().mkpath(fromNative(path)));
}

void makeFile(const std::string &path) {
    makeFolders(path.substr(0, path.rfind(host::PathDelim)));
    QFile f(fromNative(path));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
}

bool present(const std::string &path) {
    return QFileInfo::exists(fromNative(path)) || QFileInfo(fromNative(path)).isSymLink();
}
#else
void write(const std::string &path, const std::string &contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

std::string read(const std::string &path, bool &ok) {
    std::ifstream in(path, std::ios::binary);
    ok = bool(in);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Makes the folder and those above it that are missing.
void makeFolders(const std::string &path) {
    for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
    QVERIFY(mkdir(path.c_str(), 0755) == 0 || errno == EEXIST);
}

void makeFile(const std::string &path) {
    makeFolders(path.substr(0, path.rfind('/')));
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    close(fd);
}

bool present(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}
#endif

} // namespace

BuildKit::BuildKit(const std::string &kitRel, const std::string &compilerRel)
    : kitRel_(kitRel), compilerRel_(compilerRel) {
    for (const char *folder : {"Demo", "Delphi-3", "Delphi-4"})
        makeFolders(path(folder));
    if (!compilerRel_.empty())
        makeFile(compiler());
}

QString BuildKit::shownCommand(const std::string &file, const std::string &compiler) const {
    return "> " + fromNative(compiler.empty() ? this->compiler() : compiler) + ' ' +
           fromNative(demo(file)) + " -U" + fromNative(unitDir(1));
}

bool BuildKit::exists(const std::string &relToKit) const {
    return present(path(relToKit));
}

void BuildKit::writeSources() const {
    for (const std::string &unit : DemoUnitNames)
        write(demo(unit + ".Pas"), "unit " + unit + ";\ninterface\nimplementation\nend.\n");
    write(demo("Lumio.DPR"), "program Lumio;\nuses Cove, Fable;\nbegin\nend.\n");
    write(path("Delphi-3/KitEdition.Pas"), "unit KitEdition; { 3 }\nend.\n");
    write(path("Delphi-4/KitEdition.Pas"), "unit KitEdition; { 4 }\nend.\n");
}

void BuildKit::copySourcesFrom(const std::string &kitDir) const {
    const QRegularExpression source(QStringLiteral("\\.(pas|dpr|pp|inc)$"),
                                    QRegularExpression::CaseInsensitiveOption);
    for (const std::string folder : {"Demo", "Delphi-3", "Delphi-4"}) {
        QDirIterator it(fromNative(kitDir + Sep + folder), QDir::Files);
        while (it.hasNext()) {
            it.next();
            if (source.match(it.fileName()).hasMatch())
                QFile::copy(it.filePath(),
                            fromNative(path(folder + Sep) + it.fileName().toStdString()));
        }
    }
}

bool BuildKit::breakUnit(const std::string &unit) const {
    bool read_ok = false;
    std::string text = read(demo(unit + ".Pas"), read_ok);
    if (!read_ok)
        return false;
    const std::string keyword = "implementation";
    const std::size_t at = text.find(keyword);
    if (at == std::string::npos)
        return false;
    text.insert(at + keyword.size(), "\n  this is not Pascal at all;\n");
    write(demo(unit + ".Pas"), text);
    bool written = false;
    return read(demo(unit + ".Pas"), written) == text && written;
}

std::vector<std::string> BuildKit::compiledUnits() const {
    std::vector<std::string> present;
    for (const std::string &unit : DemoUnitNames)
        if (exists("Demo/" + unit + ".DCU"))
            present.push_back(unit);
    return present;
}

void BuildKit::unit(const std::string &name) const {
    makeFile(compiled(name));
}

void BuildKit::lumio() const {
    makeFile(output());
}

void BuildKit::removeFolder(const std::string &relToKit) const {
    walk::removeTree(path(relToKit));
}
