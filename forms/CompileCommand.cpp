#include "CompileCommand.h"

CompileCommandLine CompileCommand(const std::string &compiler, const std::string &demoDir,
                                  const std::string &literal, const std::string &unitDir) {
    static const std::string option = " -U";
    const std::size_t cut = literal.rfind(option);
    const std::string source =
        demoDir + (cut == std::string::npos ? literal : literal.substr(0, cut));
    CompileCommandLine line;
    line.text = compiler + " " + demoDir + literal + unitDir;
    line.program = compiler;
    line.args = {source, "-U" + unitDir};
    return line;
}
