#include "cli/copier_format_words.h"

#include <algorithm>
#include <array>

namespace plimbrook::cli {

namespace {

// Each format's own extension, so that one save written for several copiers into one folder
// gives a file for each, and none of them is an emulator's ".srm". A Game Doctor save is byte
// for byte a raw 32 KiB save: its name is all that tells it apart.
constexpr std::array<FormatWords, 5> kFormats = {{
    {CopierFormat::SuperWildCard, "swc", ".bbd", "Super Wild Card BBD file", "BBD file"},
    {CopierFormat::ProFighter, "fig", ".sav", "Pro Fighter save", "Pro Fighter save"},
    {CopierFormat::SuperUfo, "ufo", ".ufo", "Super UFO save", "Super UFO save"},
    {CopierFormat::GameDoctor, "gd3", ".gd3", "Game Doctor save", "Game Doctor save"},
    {CopierFormat::Other, "", "", "copier file with another 512-byte header", "copier file"},
}};

}  // namespace

const FormatWords* formatNamed(std::string_view option) {
    const auto found = std::find_if(kFormats.begin(), kFormats.end(), [&](const FormatWords& f) {
        return !f.option.empty() && f.option == option;
    });
    return found == kFormats.end() ? nullptr : &*found;
}

const FormatWords& wordsOf(CopierFormat format) {
    return *std::find_if(kFormats.begin(), kFormats.end(),
                         [&](const FormatWords& f) { return f.format == format; });
}

}  // namespace plimbrook::cli
