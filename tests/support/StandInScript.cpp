#include "tests/support/StandInScript.h"

#include "tests/support/BuildKit.h"

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <sstream>

namespace standin {

std::string shellQuoted(const std::string &text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string script(const Options &o) {
    std::ostringstream s;
    s << "#!/bin/sh\n"
      << "log=" << shellQuoted(o.logDir) << "\n"
      << "{ printf '%s|' \"$#\"; for a in \"$@\"; do printf '%s|' \"$a\"; done; } "
         "> \"$log/run.$$\"\n"
      << o.before << "\n";
    s << "case \"$1\" in\n"
         "  *.Pas) out=\"${1%.Pas}.DCU\" ;;\n"
         "  *.DPR) out=\"${1%.DPR}.EXE\" ;;\n"
         "  *) exit 2 ;;\n"
         "esac\n";
    if (o.lumioTemplate.empty())
        s << "echo compiled > \"$out.part\"\n";
    else
        s << "case \"$1\" in\n"
             "  *.DPR) cp -- "
          << shellQuoted(o.lumioTemplate)
          << " \"$out.part\" && chmod 755 \"$out.part\" ;;\n"
             "  *) echo compiled > \"$out.part\" ;;\n"
             "esac\n";
    s << "mv -f -- \"$out.part\" \"$out\"\n";
    return s.str();
}

std::vector<std::string> runs(const std::string &logDir) {
    std::vector<std::string> out;
    if (DIR *dir = opendir(logDir.c_str())) {
        while (const dirent *e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name.rfind("run.", 0) != 0)
                continue;
            std::ifstream in(logDir + "/" + name, std::ios::binary);
            out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        closedir(dir);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> buildRuns(const BuildKit &kit, int versionIndex) {
    const std::string rest = "|-U" + kit.unitDir(versionIndex) + "|";
    std::vector<std::string> out{"2|" + kit.demo("Lumio.DPR") + rest};
    for (const std::string &unit : DemoUnitNames)
        out.push_back("2|" + kit.demo(unit + ".Pas") + rest);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace standin
