// Text operations and the tick counter, the same on every host.
#include "tests/host/Check.h"

#include "runtime/host/Clock.h"
#include "runtime/host/Text.h"

using namespace host;

TEST_CASE("CompareText folds ASCII letters only") {
    CHECK(CompareText("dcc32.exe", "DCC32.EXE") == 0);
    CHECK(CompareText("DcC32.ExE", "DCC32.EXE") == 0);
    CHECK(CompareText("DCC32.EXE", "DCC32.EXE ") != 0); // length counts
    CHECK(CompareText("DCC32.EX", "DCC32.EXE") < 0);
    CHECK(CompareText("\xE9", "\xC9") != 0);       // no letters beyond ASCII
    CHECK(CompareText("[", "{") != 0);             // no folding of neighbours
    CHECK(CompareText("*.EXE", "DCC32.EXE") != 0); // no wildcards
    CHECK(CompareText("", "") == 0);
}

TEST_CASE("MatchesMask: star, question mark and literal characters") {
    CHECK(MatchesMask("Lumio.EXE", "*", false));
    CHECK(MatchesMask("Lumio.EXE", "L?mio.*", false));
    CHECK(MatchesMask("Lumio.EXE", "*.EXE", false));
    CHECK(!MatchesMask("Lumio.EXE", "*.exe", false));
    CHECK(MatchesMask("Lumio.EXE", "*.exe", true));
    CHECK(MatchesMask("a*b", "*b", false));
    CHECK(MatchesMask("aXbXc", "a*b*c", false));
    CHECK(!MatchesMask("abc", "a?", false));
    CHECK(MatchesMask("", "*", false));
    CHECK(!MatchesMask("", "?", false));
}

#ifdef _WIN32
TEST_CASE("ExtractFilePath keeps the drive and the final backslash") {
    CHECK_EQ(ExtractFilePath("C:\\Kit\\Forgeway.exe"), std::string("C:\\Kit\\"));
    CHECK_EQ(ExtractFilePath("D:\\Forgeway.exe"), std::string("D:\\"));
    CHECK_EQ(ExtractFilePath("D:Forgeway.exe"), std::string("D:"));
    CHECK_EQ(ExtractFilePath("Forgeway.exe"), std::string(""));
}
#else
TEST_CASE("ExtractFilePath keeps the final separator") {
    CHECK_EQ(ExtractFilePath("/opt/kit/Forgeway"), std::string("/opt/kit/"));
    CHECK_EQ(ExtractFilePath("/Forgeway"), std::string("/"));
    CHECK_EQ(ExtractFilePath("Forgeway"), std::string(""));
    CHECK_EQ(ExtractFilePath("/a b/c\\d"), std::string("/a b/")); // a backslash is a name byte
}
#endif

TEST_CASE("TicksSince is right across a wrap of the counter") {
    CHECK_EQ(TicksSince(100u, 10100u), 10000u);
    CHECK_EQ(TicksSince(0xFFFFFF00u, 0x00002610u), 10000u);
    CHECK_EQ(TicksSince(0xFFFFFFFFu, 0u), 1u);
    const std::uint32_t a = GetTickCount();
    const std::uint32_t b = GetTickCount();
    CHECK(TicksSince(a, b) < 1000u);
}
