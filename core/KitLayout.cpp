#include "core/KitLayout.h"

#include "host/Text.h"

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

std::string DemoFile(const std::string &demoDir, std::string_view name) {
    std::string path = demoDir;
    path += host::PathDelim;
    path += name;
    return path;
}

} // namespace kit
