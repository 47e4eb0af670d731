// The page's way into the core: plain C functions over bytes in the module's memory, called by
// web/page/core.js. They carry bytes and words across and nothing else; every rule is the core's.
// Nothing here throws. The core throws only for want of memory, which ends the module, as an
// abort would: the page then says it has stopped.
#include "web/binding.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/app_facts.h"
#include "core/code_page.h"
#include "core/conversion.h"
#include "core/default_template.h"
#include "core/info_words.h"
#include "core/packed_save.h"

using namespace plimbrook;

struct PbReading {
    FileReading reading;
    std::vector<InfoLine> lines;
    std::string reason;
    std::string comment;
    bool holdsComment = false;
};

struct PbOutput {
    Converted converted;
    std::string extension;
};

namespace {

// The comment that Open BBD Comment takes from a file, as the window takes it.
void takeComment(PbReading& out) {
    const auto comment = commentToCarry(out.reading);
    out.holdsComment = comment.has_value();
    out.comment = comment.value_or(std::string());
}

// The words are string literals, so each view ends where its text does, at a zero byte.
const FormatWords* formatAt(int index) {
    const auto formats = choosableFormats();
    if (index < 0 || static_cast<std::size_t>(index) >= formats.size()) {
        return nullptr;
    }
    return &formats[static_cast<std::size_t>(index)];
}

template <typename T>
const T* itemAt(const std::vector<T>& items, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) {
        return nullptr;
    }
    return &items[static_cast<std::size_t>(index)];
}

const char* textOf(const std::string* text) {
    return text ? text->c_str() : "";
}

}  // namespace

extern "C" {

PbReading* pb_read(const std::uint8_t* bytes, std::size_t held, double fileSize, int asGameDoctor) {
    const auto size = std::max(static_cast<std::uint64_t>(fileSize), std::uint64_t{held});
    ByteSpan source({bytes, held}, size);
    ReadOptions how;
    how.asGameDoctor = asGameDoctor != 0;
    auto* out = new PbReading;
    out->reading = readFile(source, how);
    out->lines = infoLines(out->reading, fileCrcOf(source));
    if (out->reading.refusal) {
        out->reason = reasonText(out->reading, *out->reading.refusal);
    }
    takeComment(*out);
    return out;
}

void pb_reading_free(PbReading* reading) {
    delete reading;
}

int pb_info_count(const PbReading* reading) {
    return static_cast<int>(reading->lines.size());
}

const char* pb_info_key(const PbReading* reading, int index) {
    const InfoLine* line = itemAt(reading->lines, index);
    return line ? line->key.c_str() : "";
}

const char* pb_info_value(const PbReading* reading, int index) {
    const InfoLine* line = itemAt(reading->lines, index);
    return line ? line->value.c_str() : "";
}

const char* pb_reason(const PbReading* reading) {
    return reading->reason.c_str();
}

int pb_direction(const PbReading* reading) {
    return directionOf(reading->reading) == Direction::ToSave ? 1 : 0;
}

int pb_copies_differ(const PbReading* reading) {
    return copiesDiffer(reading->reading) ? 1 : 0;
}

int pb_holds_comment(const PbReading* reading) {
    return reading->holdsComment ? 1 : 0;
}

const char* pb_comment(const PbReading* reading) {
    return reading->comment.c_str();
}

PbOutput* pb_convert(const PbReading* reading, int toSave, int format, int retron5,
                     const char* comment, std::size_t whenCopiesDiffer) {
    ConvertRequest request;
    request.direction = toSave ? Direction::ToSave : Direction::ToCopierFile;
    if (const FormatWords* words = formatAt(format)) {
        request.copier = words->format;
    }
    request.saveFormat = retron5 ? SaveFormat::Retron5 : SaveFormat::Srm;
    request.header = defaultHeaderTemplate();
    request.comment = comment;
    if (whenCopiesDiffer > 0) {
        request.whenCopiesDiffer = whenCopiesDiffer;
    }
    auto* out = new PbOutput;
    out->converted = convert(reading->reading, request);
    out->extension = extensionOf(request);
    return out;
}

void pb_output_free(PbOutput* output) {
    delete output;
}

const char* pb_output_reason(const PbOutput* output) {
    return output->converted.ok() ? "" : output->converted.reason.c_str();
}

const std::uint8_t* pb_output_data(const PbOutput* output) {
    return output->converted.bytes.data();
}

std::size_t pb_output_size(const PbOutput* output) {
    return output->converted.bytes.size();
}

const char* pb_output_extension(const PbOutput* output) {
    return output->extension.c_str();
}

int pb_output_note_count(const PbOutput* output) {
    return static_cast<int>(output->converted.notes.size());
}

const char* pb_output_note(const PbOutput* output, int index) {
    const ConvertNote* note = itemAt(output->converted.notes, index);
    return textOf(note ? &note->text : nullptr);
}

int pb_output_note_warning(const PbOutput* output, int index) {
    const ConvertNote* note = itemAt(output->converted.notes, index);
    return note && note->warning ? 1 : 0;
}

int pb_format_count() {
    return static_cast<int>(choosableFormats().size());
}

const char* pb_format_option(int index) {
    const FormatWords* words = formatAt(index);
    return words ? words->option.data() : "";
}

const char* pb_format_kind(int index) {
    const FormatWords* words = formatAt(index);
    return words ? words->kind.data() : "";
}

const char* pb_format_extension(int index) {
    const FormatWords* words = formatAt(index);
    return words ? words->extension.data() : "";
}

int pb_comment_length() {
    return static_cast<int>(layout::kCommentLength);
}

int pb_code_page_holds(int codePoint) {
    return code_page::canHold(static_cast<char32_t>(codePoint)) ? 1 : 0;
}

const char* pb_default_comment() {
    return kDefaultComment.data();
}

const char* pb_version() {
    static const std::string text = versionText(kVersion);
    return text.c_str();
}

double pb_max_read_size() {
    return static_cast<double>(kMaxReadSize);
}

double pb_head_size() {
    return static_cast<double>(kMaxPackedFileSize + 1);
}

}  // extern "C"
