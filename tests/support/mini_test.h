#pragma once

// A test runner in a few lines, for the tests that run on Windows. Every other test here is a
// QtTest, but Qt is not to be had for the MinGW cross build, nor is any other framework; these
// tests need only named cases, checks that say where they failed, and a count at the end.
#include <cstdio>
#include <exception>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace plimbrook::testing::mini {

struct Case {
    const char* name;
    void (*run)();
};

inline std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

struct Registrar {
    Registrar(const char* name, void (*run)()) { cases().push_back({name, run}); }
};

// Runs every case; a failed check ends its case. The count is "N passed, N failed".
inline int runAll() {
    int passed = 0;
    int failed = 0;
    for (const Case& c : cases()) {
        try {
            c.run();
            std::printf("PASS   : %s\n", c.name);
            ++passed;
        } catch (const std::exception& failure) {
            std::printf("FAIL!  : %s\n   %s\n", c.name, failure.what());
            ++failed;
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace plimbrook::testing::mini

#define MINI_TEST(name)                                                              \
    static void name();                                                              \
    static const ::plimbrook::testing::mini::Registrar name##Registrar(#name, name); \
    static void name()

#define MINI_CHECK(condition, detail)                                                           \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::ostringstream mini;                                                            \
            mini << __FILE__ << ':' << __LINE__ << ": " << #condition << " (" << detail << ")"; \
            throw std::runtime_error(mini.str());                                               \
        }                                                                                       \
    } while (false)
