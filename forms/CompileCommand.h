// The command that compiles one file of the demo.
#pragma once

#include <string>
#include <vector>

struct CompileCommandLine {
    // As a user would type it: the compiler, a blank, DemoDir + the literal,
    // and UnitDir right after the literal's closing "-U".
    std::string text;
    // What is started: the compiler as given, the source's path, and "-U"
    // followed by UnitDir, each argument whole even when it holds blanks.
    std::string program;
    std::vector<std::string> args;
};

// literal is a source literal of the kit layout, such as "/Cove.Pas -U".
CompileCommandLine CompileCommand(const std::string &compiler, const std::string &demoDir,
                                  const std::string &literal, const std::string &unitDir);
