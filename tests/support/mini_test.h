#pragma once

// A test runner in a few lines, for the tests that run on Windows. Every other test here is a
// QtTest, but Qt is not to be had for the MinGW cross build, and a framework fetched from
// elsewhere is not either; these tests need only named cases, checks that say where they
// failed, and a count at the end.
#include <cstdio>
#include <exception>
#include <sstream>
#include <string>
#include <string_view>
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

// Thrown by a failed check: the case ends there, the others still run.
struct Failure {
    std::string what;
};

[[noreturn]] inline void fail(const char* file, int line, const std::string& what) {
    std::ostringstream out;
    out << file << ':' << line << ": " << what;
    throw Failure{out.str()};
}

// Runs every case, or those named on the command line, and prints one line per case and the
// count, as "N passed, N failed".
inline int runAll(int argc, char** argv) {
    int passed = 0;
    int failed = 0;
    for (const Case& c : cases()) {
        bool chosen = argc < 2;
        for (int i = 1; i < argc; ++i) {
            chosen = chosen || std::string_view(argv[i]) == c.name;
        }
        if (!chosen) {
            continue;
        }
        try {
            c.run();
            std::printf("PASS   : %s\n", c.name);
            ++passed;
        } catch (const Failure& failure) {
            std::printf("FAIL!  : %s\n   %s\n", c.name, failure.what.c_str());
            ++failed;
        } catch (const std::exception& error) {
            std::printf("FAIL!  : %s\n   threw: %s\n", c.name, error.what());
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

#define MINI_CHECK(condition, detail)                                                \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::ostringstream mini_detail;                                          \
            mini_detail << #condition << " (" << detail << ")";                      \
            ::plimbrook::testing::mini::fail(__FILE__, __LINE__, mini_detail.str()); \
        }                                                                            \
    } while (false)
