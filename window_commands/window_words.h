#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "core/conversion.h"

namespace plimbrook::window_words {

// The window's words for what it will not take, and for what it asks. Each says what to do
// instead, in the window's own terms, around the reason the core gives.

constexpr const char* kSramFilters = "All Files (*.*)|*.*|SRAM Save File (*.srm)|*.srm";
constexpr const char* kBbdFilters = "All Files (*.*)|*.*|BBD File (*.bbd)|*.bbd";
constexpr int kPreselectSecondFilter = 2;

// Why a file given to SRAM -> BBD, BBD -> SRAM or Open BBD Comment will not do.
std::string toBbdRefusal(const FileReading& reading, const Converted& converted);
std::string toSramRefusal(const FileReading& reading, const Converted& converted);
std::string commentRefusal(const FileReading& reading);

// The same, for the closing list of several given files.
std::string listedRefusal(const Converted& converted);

// Asked before bytes that the copier cannot hold are left out.
std::string droppedQuestion(std::size_t saveSize, const Converted& converted);

constexpr const char* kCopiesDifferText =
    "The four 8 KiB copies in this BBD file differ. It may hold one 32 KiB save, or an 8 KiB save "
    "beside leftovers of other games.\n\nWrite the whole 32 KiB, which loses nothing, or only the "
    "first 8 KiB?";

// The answers to kCopiesDifferText, the first the default.
struct SizeChoice {
    const char* caption;
    std::size_t size;
};
constexpr std::array<SizeChoice, 2> kSizeChoices = {{
    {"Whole 32 KiB", layout::kMaxSaveSize},
    {"First 8 KiB", layout::kCopySize},
}};
static_assert(layout::kCopySize == 8 * 1024 && layout::kMaxSaveSize == 32 * 1024);

constexpr const char* kOutputIsInputText =
    "The new file would be written over the file it is made from. Start again and choose "
    "another name, so that both are kept.";

}  // namespace plimbrook::window_words
