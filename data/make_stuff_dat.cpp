// Writes the header template "Stuff.dat": the 512-byte header that the Super Wild Card itself
// puts on a battery-save file, so the copier accepts the files we make. All zero but the
// copier's two identification bytes and the file-type byte for SRAM data.
#include <array>
#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    std::array<char, 512> header{};
    header[8] = static_cast<char>(0xAA);
    header[9] = static_cast<char>(0xBB);
    header[10] = 0x05;  // SRAM data
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(header.data(), header.size());
    out.close();
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
