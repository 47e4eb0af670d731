#pragma once

#include <string_view>

#include "core/copier_formats.h"

namespace plimbrook::cli {

// How the command line names a copier format.
struct FormatWords {
    CopierFormat format;
    std::string_view option;     // the value of --format; empty: not one to choose
    std::string_view extension;  // of the files to-bbd writes in it
    std::string_view kind;       // what info calls a file of it
    std::string_view name;       // a file of it, in a reason given for one
};

// The formats --format takes, in the order the help names them; none for another value.
const FormatWords* formatNamed(std::string_view option);
const FormatWords& wordsOf(CopierFormat format);

}  // namespace plimbrook::cli
