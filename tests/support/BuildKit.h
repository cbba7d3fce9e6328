// What the build tests share: a kit in a temporary folder (the program's
// folder with Demo, Delphi-3 and Delphi-4, and a compiler file elsewhere), and
// a watch that counts the showings of a window.
#pragma once

#include "tests/support/TempTree.h"

#include <QDir>
#include <QEvent>
#include <QObject>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

// The six units of the demo, in the order they are compiled.
inline const std::vector<std::string> DemoUnitNames{"Cove", "Fable",    "Mint",
                                                    "Orb",  "Quillset", "Brook"};

class BuildKit {
public:
    // kitRel: the program's folder below the temporary root; compilerRel: the
    // compiler file below the root.  Either may hold blanks.
    explicit BuildKit(const std::string &kitRel = "Kit",
                      const std::string &compilerRel = "Bin/DCC32.EXE")
        : kitRel_(kitRel), compilerRel_(compilerRel) {
        tree.folder(kitRel_ + "/Demo");
        tree.folder(kitRel_ + "/Delphi-3");
        tree.folder(kitRel_ + "/Delphi-4");
        tree.file(compilerRel_);
    }

    TempTree tree;

    std::string exe() const { return tree.path(kitRel_ + "/Forgeway"); }
    std::string demoDir() const { return tree.path(kitRel_ + "/Demo"); }
    std::string unitDir(int versionIndex) const {
        return tree.path(kitRel_ + (versionIndex == 0 ? "/Delphi-3" : "/Delphi-4"));
    }
    std::string compiler() const { return tree.path(compilerRel_); }
    std::string output() const { return demoDir() + "/Lumio.EXE"; }
    std::string compiled(const std::string &unit) const { return demoDir() + "/" + unit + ".DCU"; }

    void removeFolder(const std::string &relToKit) const {
        QDir(QString::fromStdString(tree.path(kitRel_ + "/" + relToKit))).removeRecursively();
    }
    void unit(const std::string &name) const { tree.file(kitRel_ + "/Demo/" + name + ".DCU"); }
    void allUnits() const {
        for (const std::string &name : DemoUnitNames)
            unit(name);
    }
    void lumio() const { tree.file(kitRel_ + "/Demo/Lumio.EXE"); }

private:
    std::string kitRel_;
    std::string compilerRel_;
};

// Counts the showings of a window and runs onShow at each.
class ShowWatch : public QObject {
public:
    explicit ShowWatch(QWidget *w) { w->installEventFilter(this); }
    int shows = 0;
    std::function<void()> onShow;

protected:
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Show) {
            ++shows;
            if (onShow)
                onShow();
        }
        return false;
    }
};
