// Writes the header template "Stuff.dat" that is installed beside the programs: the header the
// core knows as the copier's own.
#include <cstdio>
#include <fstream>

#include "core/default_template.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    const auto header = plimbrook::defaultHeaderTemplate();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<long>(header.size()));
    out.close();
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
