#pragma once

namespace plimbrook {

// Opens /dev/null on each of descriptors 0 to 2 that is closed, reading on 0 and writing on 1
// and 2. Called first thing in main: a program started with one of them closed would otherwise
// hand that number to the next file it opens, and whatever is written to standard output or
// standard error (a message, a library's diagnostic) would go into that file or connection.
void openClosedStandardDescriptors() noexcept;

}  // namespace plimbrook
