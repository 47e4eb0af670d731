#pragma once

// The functions the page calls in the core's WebAssembly module (see binding.cpp). Texts come
// back as UTF-8 that the handle they came from owns; bytes as a pointer and a size.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>

struct PbReading;  // a file's reading, its report, and the comment it holds
struct PbOutput;   // a converted file, or why there is none

#define PB_EXPORT EMSCRIPTEN_KEEPALIVE

extern "C" {

// The file's first `held` bytes; `fileSize` is its real size, larger for a file past
// pb_max_read_size(), of which the page passes only pb_head_size() bytes.
PB_EXPORT PbReading* pb_read(const std::uint8_t* bytes, std::size_t held, double fileSize,
                             int asGameDoctor);
PB_EXPORT void pb_reading_free(PbReading* reading);
// The lines `plimbrook-convert info` prints for the file.
PB_EXPORT int pb_info_count(const PbReading* reading);
PB_EXPORT const char* pb_info_key(const PbReading* reading, int index);
PB_EXPORT const char* pb_info_value(const PbReading* reading, int index);
// Why no conversion takes the file; empty where one does.
PB_EXPORT const char* pb_reason(const PbReading* reading);
// 1: a copier file, back to a save; 0: a save, to a copier file.
PB_EXPORT int pb_direction(const PbReading* reading);
// Whether only the user can say how much of the body is the save.
PB_EXPORT int pb_copies_differ(const PbReading* reading);
// Whether the file is a BBD file whose comment can be taken, and that comment.
PB_EXPORT int pb_holds_comment(const PbReading* reading);
PB_EXPORT const char* pb_comment(const PbReading* reading);

// `format` indexes the choosable formats; `whenCopiesDiffer` is the user's answer in bytes, or 0.
PB_EXPORT PbOutput* pb_convert(const PbReading* reading, int toSave, int format, int retron5,
                               const char* comment, std::size_t whenCopiesDiffer);
PB_EXPORT void pb_output_free(PbOutput* output);
PB_EXPORT const char* pb_output_reason(const PbOutput* output);  // empty: converted
PB_EXPORT const std::uint8_t* pb_output_data(const PbOutput* output);
PB_EXPORT std::size_t pb_output_size(const PbOutput* output);
PB_EXPORT const char* pb_output_extension(const PbOutput* output);
PB_EXPORT int pb_output_note_count(const PbOutput* output);
PB_EXPORT const char* pb_output_note(const PbOutput* output, int index);
PB_EXPORT int pb_output_note_warning(const PbOutput* output, int index);

// The copier formats to choose from, in the command line's order.
PB_EXPORT int pb_format_count();
PB_EXPORT const char* pb_format_option(int index);
PB_EXPORT const char* pb_format_kind(int index);
PB_EXPORT const char* pb_format_extension(int index);

// The comment field: its length in characters, and whether its code page holds a character.
PB_EXPORT int pb_comment_length();
PB_EXPORT int pb_code_page_holds(int codePoint);
PB_EXPORT const char* pb_default_comment();
PB_EXPORT const char* pb_version();

// A file larger than pb_max_read_size() is refused from its size and first bytes; of those,
// readFile looks at no more than pb_head_size().
PB_EXPORT double pb_max_read_size();
PB_EXPORT double pb_head_size();

}  // extern "C"
