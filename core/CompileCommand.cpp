#include "core/CompileCommand.h"

namespace {

// The compiler's unit-path option; the folder follows it with no blank.
constexpr const char *UnitPathOption = "-U";

} // namespace

CompileCommandLine CompileCommand(const std::string &compiler, const std::string &source,
                                  const std::string &unitDir) {
    CompileCommandLine line;
    line.program = compiler;
    line.args = {source, UnitPathOption + unitDir};
    line.text = compiler + " " + source + " " + line.args[1];
    return line;
}
