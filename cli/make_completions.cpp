// Writes the shells' completions of plimbrook-convert into a folder: cli/completion/ through the
// build's update_completions target, or a test's own folder to compare them with.
#include <fstream>
#include <iostream>

#include "cli/completion.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_completions FOLDER\n";
        return 2;
    }
    namespace cli = plimbrook::cli;
    const std::string folder = argv[1];
    const std::pair<const char*, std::string> files[] = {
        {"plimbrook-convert.bash", cli::bashCompletion()},
        {"_plimbrook-convert", cli::zshCompletion()},
        {"plimbrook-convert.fish", cli::fishCompletion()},
    };
    for (const auto& [name, text] : files) {
        std::ofstream file(folder + "/" + name, std::ios::binary);
        if (!(file << text) || !file.flush()) {
            std::cerr << "make_completions: cannot write " << folder << "/" << name << '\n';
            return 1;
        }
    }
    return 0;
}
