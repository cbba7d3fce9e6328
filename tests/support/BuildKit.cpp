#include "tests/support/BuildKit.h"

#include "tests/support/ListingWalk.h"

#include "runtime/NativeText.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

// Paths are made from their bytes (on Windows UTF-8), not through Qt: a kit's
// folder may be named by bytes that are not text.
namespace {

// Makes the folder and those above it that are missing.
void makeFolders(const std::string &path) {
    for (std::size_t at = path.find(host::PathDelim, 1); at != std::string::npos;
         at = path.find(host::PathDelim, at + 1))
        walk::makeFolder(path.substr(0, at));
    QVERIFY(walk::makeFolder(path) || walk::exists(path));
}

// An empty file, unless there is one.
void makeFile(const std::string &path) {
    makeFolders(path.substr(0, path.rfind(host::PathDelim)));
    QVERIFY(walk::exists(path) || walk::makeFile(path));
}

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
    return walk::exists(path(relToKit));
}

void BuildKit::writeSources() const {
    for (const std::string &unit : DemoUnitNames)
        QVERIFY(walk::writeFile(demo(unit + ".Pas"),
                                "unit " + unit + ";\ninterface\nimplementation\nend.\n"));
    QVERIFY(walk::writeFile(demo("Lumio.DPR"), "program Lumio;\nuses Cove, Fable;\nbegin\nend.\n"));
    for (const std::string edition : {"3", "4"})
        QVERIFY(walk::writeFile(path("Delphi-" + edition + "/KitEdition.Pas"),
                                "unit KitEdition; { " + edition + " }\nend.\n"));
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
    std::string text, written;
    if (!walk::readFile(demo(unit + ".Pas"), text))
        return false;
    const std::string keyword = "implementation";
    const std::size_t at = text.find(keyword);
    if (at == std::string::npos)
        return false;
    text.insert(at + keyword.size(), "\n  this is not Pascal at all;\n");
    return walk::writeFile(demo(unit + ".Pas"), text) &&
           walk::readFile(demo(unit + ".Pas"), written) && written == text;
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
