#include "KitLayout.h"

#include "host/Text.h"

#include <string_view>

namespace kit {

std::string ProgramDir(const std::string &exeName) {
    return host::ExtractFilePath(exeName);
}

std::string DemoDir(const std::string &exeName) {
    return ProgramDir(exeName) + "Demo";
}

std::string UnitDir(const std::string &exeName, int versionIndex) {
    return ProgramDir(exeName) + (versionIndex == 0 ? "Delphi-3" : "Delphi-4");
}

std::string ProjectFile(const std::string &exeName) {
    std::string_view literal(ProjectLiteral);
    return DemoDir(exeName) + std::string(literal.substr(0, literal.rfind(" -U")));
}

std::string OutputProgram(const std::string &exeName) {
    return DemoDir(exeName) + OutputLiteral;
}

} // namespace kit
