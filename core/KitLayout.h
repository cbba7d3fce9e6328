// Where the kit's files lie, relative to the program's own executable, and the
// names of the demo's files.
//
// Nothing here is cached: each path is computed afresh from the executable's
// full name whenever it is needed.  All paths are native byte strings.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kit {

// One unit of the demo project: the source file that is compiled and the
// compiled file that the compiler writes beside it, both in DemoDir.
struct DemoUnit {
    std::string_view source;
    std::string_view compiled;
};

// In the order the units are compiled and their compiled files looked for.
inline constexpr std::array<DemoUnit, 6> DemoUnitTable{{
    {"Cove.Pas", "Cove.DCU"},
    {"Fable.Pas", "Fable.DCU"},
    {"Mint.Pas", "Mint.DCU"},
    {"Orb.Pas", "Orb.DCU"},
    {"Quillset.Pas", "Quillset.DCU"},
    {"Brook.Pas", "Brook.DCU"},
}};

// The project, compiled last, and the program it gives.
inline constexpr std::string_view ProjectSource = "Lumio.DPR";
inline constexpr std::string_view OutputProgram = "Lumio.EXE";

// The folder that holds the executable, with its final separator.
std::string ProgramDir(const std::string &exeName);
// ProgramDir + "Demo", without a final separator.
std::string DemoDir(const std::string &exeName);
// ProgramDir + "Delphi-3" for version choice 0, otherwise ProgramDir + "Delphi-4".
std::string UnitDir(const std::string &exeName, int versionIndex);
// A file of the demo folder: demoDir, a separator and name.
std::string DemoFile(const std::string &demoDir, std::string_view name);

} // namespace kit
