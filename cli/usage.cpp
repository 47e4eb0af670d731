#include "cli/usage.h"

#include <ostream>
#include <string_view>

#include "core/app_facts.h"
#include "core/bbd_layout.h"

namespace plimbrook::cli {

namespace {

// The help, in two parts around the options whose defaults the window shares.
constexpr std::string_view kUsageBeforeDefaults =
    "Usage: plimbrook-convert to-bbd [--format FORMAT] [--comment TEXT]\n"
    "           [--template FILE] [--size KIB] [--output-dir DIR | --output FILE]\n"
    "           [--force] SAVE...\n"
    "       plimbrook-convert to-srm [--format gd3] [--size KIB] [--save-format SAVE]\n"
    "           [--output-dir DIR | --output FILE] [--force] COPIER-FILE...\n"
    "       plimbrook-convert comment [--raw] BBD...\n"
    "       plimbrook-convert info [--format gd3] FILE...\n"
    "\n"
    "Converts emulator SRAM saves (.srm) to and from Super Wild Card Battery Backup\n"
    "Data files (.bbd) and the save files of other copiers, and prints the comments\n"
    "that BBD files carry.\n"
    "\n"
    "Commands:\n"
    "  to-bbd   write a BBD file for each SAVE, with \".bbd\" in place of its\n"
    "           extension (or another copier's file, see --format); saves of up to\n"
    "           32 KiB, raw, padded, RetroArch-compressed or from a Retron 5\n"
    "  to-srm   write an SRAM save for each BBD file or other copier's save, with\n"
    "           \".srm\" in place of its extension\n"
    "  comment  print the comment of each BBD file, one line each\n"
    "  info     tell what each file holds, the save image a conversion would use\n"
    "           and its CRC-32, or why no conversion takes the file\n"
    "\n"
    "Options:\n";
constexpr std::string_view kUsageAfterDefaults =
    "  --format FORMAT   the copier file to-bbd writes:\n"
    "                      swc    Super Wild Card BBD file (.bbd), the default\n"
    "                      fig    Pro Fighter save (.sav)\n"
    "                      ufo    Super UFO save (.ufo)\n"
    "                      ufosd  Super UFO Pro 8 SD save (.ufosd), 128 KiB\n"
    "                      gd3    Game Doctor save (.gd3), the 32 KiB alone\n"
    "                    Only swc files carry a comment and use the template.\n"
    "                    to-srm and info tell the others by what they hold, but a\n"
    "                    32 KiB file is a Game Doctor save only with --format gd3\n"
    "  --size KIB        to-bbd: keep the first 2, 8, 16 or 32 KiB of each save\n"
    "                    to-srm: the size of each save: 1, 2, 4, 8, 16 or 32, or\n"
    "                    auto (default): 8 when the four copies agree, 16 when the\n"
    "                    halves do, else 32\n"
    "  --save-format SAVE  what to-srm writes: srm (default), or retron5 for a\n"
    "                    Retron 5 save (.sav)\n"
    "  --output-dir DIR  write the new files into DIR instead of beside their inputs\n"
    "  --output FILE     write the new file to FILE (one input only)\n"
    "  --force           replace output files that already exist\n"
    "  --raw             print all 77 characters of each comment, trailing spaces\n"
    "                    included\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Exit status: 0 if every file was done, 1 if any failed, 2 if the command line\n"
    "is wrong.\n";

}  // namespace

void printUsage(std::ostream& out) {
    out << kUsageBeforeDefaults
        << "  --comment TEXT    the comment stored in each BBD file, cut or padded to "
        << layout::kCommentLength << "\n"
        << "                    characters (default: \"" << kDefaultComment << "\")\n"
        << "  --template FILE   the header template (default: " << kTemplateFileName
        << " beside the\n"
        << "                    program)\n"
        << kUsageAfterDefaults;
}

}  // namespace plimbrook::cli
