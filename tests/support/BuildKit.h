// A kit in a temporary folder, laid out as the program finds it: its own
// folder with Demo, Delphi-3 and Delphi-4, and a compiler file elsewhere.  The
// folders start empty; writeSources() or copySourcesFrom() fill them with
// Pascal sources for the tests that run a compiler.
#pragma once

#include "tests/support/TempTree.h"

#include <string>
#include <vector>

// The six units of the demo, in the order they are compiled.  Written out
// here rather than taken from the program, so that a wrong table there shows.
inline const std::vector<std::string> DemoUnitNames{"Cove", "Fable",    "Mint",
                                                    "Orb",  "Quillset", "Brook"};

class BuildKit {
public:
    // kitRel: the program's folder below the temporary root; compilerRel: an
    // empty compiler file below the root, or "" for none.  Either may hold
    // blanks, quotes or bytes that are not text.
    explicit BuildKit(const std::string &kitRel = "Kit",
                      const std::string &compilerRel = "Bin/DCC32.EXE");

    TempTree tree;

    // The program's folder, and an entry below it.
    std::string dir() const { return tree.path(kitRel_); }
    std::string path(const std::string &relToKit) const {
        return dir() + Sep + nativePath(relToKit);
    }
    bool exists(const std::string &relToKit) const;

    std::string exe() const { return path("Forgeway"); }
    std::string demoDir() const { return path("Demo"); }
    std::string demo(const std::string &name) const { return demoDir() + Sep + name; }
    std::string unitDir(int versionIndex) const {
        return path(versionIndex == 0 ? "Delphi-3" : "Delphi-4");
    }
    std::string compiler() const { return tree.path(compilerRel_); }
    std::string output() const { return demo("Lumio.EXE"); }
    std::string compiled(const std::string &unit) const { return demo(unit + ".DCU"); }
    // A compile of a Demo file with Delphi-4's units as a failed build's details
    // show it; the kit's own compiler unless another is named.
    QString shownCommand(const std::string &file, const std::string &compiler = {}) const;

    // Small sources of our own: the six units and the project in Demo, and a
    // KitEdition.Pas in each unit folder.
    void writeSources() const;
    // The Pascal sources (.pas, .dpr, .pp, .inc) of another kit's Demo,
    // Delphi-3 and Delphi-4.
    void copySourcesFrom(const std::string &kitDir) const;
    // Puts a line that is not Pascal right after the unit's "implementation".
    bool breakUnit(const std::string &unit) const;
    // The units whose .DCU is in Demo, in compile order.
    std::vector<std::string> compiledUnits() const;

    void removeFolder(const std::string &relToKit) const;
    // Empty files where the compiler's outputs go.
    void unit(const std::string &name) const;
    void allUnits() const {
        for (const std::string &name : DemoUnitNames)
            unit(name);
    }
    void lumio() const;

private:
    std::string kitRel_;
    std::string compilerRel_;
};
