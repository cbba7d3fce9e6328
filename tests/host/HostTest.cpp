// The cases that read the same on every host, and the runner of them all.
#include "tests/host/Scratch.h"

#include "host/Text.h"

using namespace host;
using hosttest::Scratch;

TEST_CASE("PathExists: wildcards answer for the first fit; mask 16 admits files and folders") {
    Scratch s;
    s.file("DCC32.EXE", 543232);
    s.file("other.txt", 3);
    s.folder("Demo");
    const bool ignoresCase = PathDelim == '\\'; // Windows names do, POSIX names do not
    std::int64_t size = 0;
    CHECK(PathExists(s.path("DCC3?.EXE"), faAnyFile, &size));
    CHECK_EQ(size, std::int64_t(543232));
    CHECK(PathExists(s.path("*.EXE"), faAnyFile));
    CHECK_EQ(PathExists(s.path("*.exe"), faAnyFile), ignoresCase);
    size = 0;
    CHECK_EQ(PathExists(s.path("dcc32.exe"), faAnyFile, &size), ignoresCase);
    CHECK_EQ(size, std::int64_t(ignoresCase ? 543232 : 0));
    CHECK(PathExists(s.path("*.*"), faAnyFile));
    CHECK(!PathExists(s.path("*.DPR"), faAnyFile));
    CHECK(!PathExists(s.path("none") + PathDelim + "*.*", faAnyFile));

    CHECK(PathExists(s.path("DCC32.EXE"), faDirectory)); // a plain file passes mask 16
    CHECK(PathExists(s.path("Demo"), faDirectory));
    CHECK(PathExists(s.path("Demo"), faAnyFile));
    CHECK(!PathExists(s.path("Demo"), 0)); // a folder needs the directory bit
    CHECK(!PathExists(s.path("missing"), faAnyFile));
    CHECK(!PathExists("", faAnyFile));
    CHECK(!PathExists(s.path("other.txt") + PathDelim + "below", faAnyFile));
}

int main() {
    return check::runAll();
}
