// Text operations and the tick counter, the same on every host.
#include "tests/host/Check.h"

#include "host/Clock.h"
#include "host/Text.h"

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
    CHECK(MatchesMask("Lumio.EXE", "*"));
    CHECK(MatchesMask("Lumio.EXE", "L?mio.*"));
    CHECK(MatchesMask("Lumio.EXE", "*.EXE"));
    CHECK(!MatchesMask("Lumio.EXE", "*.exe"));
    CHECK(MatchesMask("a*b", "*b"));
    CHECK(MatchesMask("aXbXc", "a*b*c"));
    CHECK(!MatchesMask("abc", "a?"));
    CHECK(MatchesMask("", "*"));
    CHECK(!MatchesMask("", "?"));
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

TEST_CASE("UTF-16 names to UTF-8 and back: every name whole, an unpaired surrogate too") {
    struct Row {
        std::u16string utf16;
        std::string utf8;
    };
    const Row rows[] = {
        {u"DCC32.EXE", "DCC32.EXE"},
        {u"Caf\u00e9 \u00c4", "Caf\xC3\xA9 \xC3\x84"},
        {u"\u5f00\u53d1 \u5de5\u5177", "\xE5\xBC\x80\xE5\x8F\x91 \xE5\xB7\xA5\xE5\x85\xB7"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"}, // a pair is one character of four bytes
        {u"a\xD800"
         u"b",
         "a\xED\xA0\x80"
         "b"}, // unpaired, as Windows allows in names
        {u"\xDC80", "\xED\xB2\x80"},
        {u"\xDBFF", "\xED\xAF\xBF"},
        {u"", ""},
    };
    for (const Row &row : rows) {
        CHECK_EQ(Utf8FromUtf16(row.utf16), row.utf8);
        CHECK(Utf16FromUtf8(row.utf8) == row.utf16);
    }
    // What is not such a sequence reads as U+FFFD, a byte at a time.
    CHECK(Utf16FromUtf8("\xFF") == u"\uFFFD");
    CHECK(Utf16FromUtf8("a\xE4\xB8") == u"a\uFFFD\uFFFD");                   // cut short
    CHECK(Utf16FromUtf8("\xC0\x80") == u"\uFFFD\uFFFD");                     // overlong
    CHECK(Utf16FromUtf8("\xF4\x90\x80\x80") == u"\uFFFD\uFFFD\uFFFD\uFFFD"); // beyond U+10FFFF
}

TEST_CASE("TicksSince is right across a wrap of the counter") {
    CHECK_EQ(TicksSince(100u, 10100u), 10000u);
    CHECK_EQ(TicksSince(0xFFFFFF00u, 0x00002610u), 10000u);
    CHECK_EQ(TicksSince(0xFFFFFFFFu, 0u), 1u);
    const std::uint32_t a = GetTickCount();
    const std::uint32_t b = GetTickCount();
    CHECK(TicksSince(a, b) < 1000u);
}
