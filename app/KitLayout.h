// Where the kit's files lie, relative to the program's own executable.
//
// Nothing here is cached: each path is computed afresh from the executable's
// full name whenever it is needed.  All paths are native byte strings.
#pragma once

#include <array>
#include <string>

namespace kit {

#ifdef _WIN32
#define KIT_SEP "\\"
#else
#define KIT_SEP "/"
#endif

// One unit of the demo project: the literal that names its source for the
// compiler (it ends with the compiler's unit-path option) and the literal that
// names its compiled file.  Both are appended to DemoDir.
struct DemoUnit {
    const char *source;
    const char *compiled;
};

// In the order the units are compiled and their compiled files looked for.
inline constexpr std::array<DemoUnit, 6> DemoUnitTable{{
    {KIT_SEP "Cove.Pas -U", KIT_SEP "Cove.DCU"},
    {KIT_SEP "Fable.Pas -U", KIT_SEP "Fable.DCU"},
    {KIT_SEP "Mint.Pas -U", KIT_SEP "Mint.DCU"},
    {KIT_SEP "Orb.Pas -U", KIT_SEP "Orb.DCU"},
    {KIT_SEP "Quillset.Pas -U", KIT_SEP "Quillset.DCU"},
    {KIT_SEP "Brook.Pas -U", KIT_SEP "Brook.DCU"},
}};

inline constexpr const char *ProjectLiteral = KIT_SEP "Lumio.DPR -U";
inline constexpr const char *OutputLiteral = KIT_SEP "Lumio.EXE";

// The folder that holds the executable, with its final separator.
std::string ProgramDir(const std::string &exeName);
// ProgramDir + "Demo", without a final separator.
std::string DemoDir(const std::string &exeName);
// ProgramDir + "Delphi-3" for version choice 0, otherwise ProgramDir + "Delphi-4".
std::string UnitDir(const std::string &exeName, int versionIndex);
// DemoDir + the project's source, without the compiler option.
std::string ProjectFile(const std::string &exeName);
// DemoDir + "Lumio.EXE": its appearance is the sign of a successful build.
std::string OutputProgram(const std::string &exeName);

} // namespace kit
