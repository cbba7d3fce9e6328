// The command that compiles one file of the demo.
#pragma once

#include <string>
#include <vector>

struct CompileCommandLine {
    // As a user would type it: the compiler, a blank, the source, a blank, and
    // the compiler's unit-path option "-U" with UnitDir right after it.
    std::string text;
    // What is started: the compiler as given, the source's path, and "-U"
    // followed by UnitDir, each argument whole even when it holds blanks.
    std::string program;
    std::vector<std::string> args;
};

// source: the full path of the file to compile; unitDir: the folder the
// compiler searches for units.
CompileCommandLine CompileCommand(const std::string &compiler, const std::string &source,
                                  const std::string &unitDir);
