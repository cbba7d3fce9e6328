// A minimal test harness for the host layer, which is built without Qt (and
// cross-built for Windows), so it cannot use Qt Test.
#pragma once

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace check {

struct Case {
    const char *name;
    std::function<void()> body;
};

inline std::vector<Case> &cases() {
    static std::vector<Case> all;
    return all;
}

inline int &failures() {
    static int n = 0;
    return n;
}

struct Register {
    Register(const char *name, std::function<void()> body) { cases().push_back({name, body}); }
};

inline void fail(const char *file, int line, const std::string &what) {
    ++failures();
    std::printf("    FAIL %s:%d: %s\n", file, line, what.c_str());
}

template <class A, class B> std::string describe(const A &a, const B &b) {
    std::ostringstream s;
    s << "got [" << a << "], expected [" << b << "]";
    return s.str();
}

inline int runAll() {
    int passed = 0, failed = 0;
    for (const Case &c : cases()) {
        const int before = failures();
        c.body();
        const bool ok = failures() == before;
        std::printf("%s %s\n", ok ? "PASS" : "FAIL", c.name);
        (ok ? passed : failed)++;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

} // namespace check

#define CHECK_CAT2(a, b) a##b
#define CHECK_CAT(a, b) CHECK_CAT2(a, b)
#define TEST_CASE(name)                                                                            \
    static void CHECK_CAT(test_, __LINE__)();                                                      \
    static check::Register CHECK_CAT(reg_, __LINE__)(name, CHECK_CAT(test_, __LINE__));            \
    static void CHECK_CAT(test_, __LINE__)()
#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond))                                                                               \
            check::fail(__FILE__, __LINE__, #cond);                                                \
    } while (0)
#define CHECK_EQ(a, b)                                                                             \
    do {                                                                                           \
        const auto &check_a = (a);                                                                 \
        const auto &check_b = (b);                                                                 \
        if (!(check_a == check_b))                                                                 \
            check::fail(__FILE__, __LINE__,                                                        \
                        std::string(#a " == " #b ": ") + check::describe(check_a, check_b));       \
    } while (0)
