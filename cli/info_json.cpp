#include "cli/info_json.h"

#include <nlohmann/json.hpp>

#include "core/bbd_layout.h"
#include "core/conversion.h"
#include "core/info_words.h"
#include "core/save_image.h"

namespace plimbrook::cli {

namespace {

using json = nlohmann::ordered_json;

// Bumped when a field changes its meaning or goes; new fields may come without it.
constexpr int kSchemaVersion = 1;

const char* kindWord(FileKind kind) {
    switch (kind) {
        case FileKind::Empty:
            return "empty";
        case FileKind::RawSave:
            return "raw-save";
        case FileKind::PaddedSave:
            return "padded-save";
        case FileKind::RetroArchSave:
            return "retroarch-save";
        case FileKind::Retron5Save:
            return "retron5-save";
        case FileKind::CopierFile:
            return "copier-file";
        case FileKind::Unknown:
            break;
    }
    return "unknown";
}

const char* copiesWord(CopyAgreement copies) {
    switch (copies) {
        case CopyAgreement::AllFour:
            return "all-four";
        case CopyAgreement::Halves:
            return "halves";
        case CopyAgreement::None:
            return "differ";
        case CopyAgreement::ShortBody:
            break;
    }
    return "short";
}

json saveImage(const SaveImageFacts& image) {
    return {{"size", image.size},
            {"crc32", crcText(image.crc)},
            {"dropped_bytes", image.droppedBytes},
            {"repeats_every", image.repeatsEvery ? json(*image.repeatsEvery) : json(nullptr)}};
}

void addCopierFacts(json& file, const FileReading& reading) {
    const std::string_view option = wordsOf(reading.copier).option;
    file["copier"] = option.empty() ? "other" : option;
    if (reading.copier != CopierFormat::SuperUfoSd) {
        file["copies"] = copiesWord(compareCopies(reading.body));
    }
    file["extra_bytes"] = reading.extraBytes;
    if (hasCommentField(reading.copier)) {
        file["comment"] = commentOnOneLine(commentOfHeader(reading.header));
    }
}

json emptyEntry(const std::string& name) {
    return {{"name", name},           {"error", nullptr},   {"kind", nullptr},
            {"type", nullptr},        {"size", nullptr},    {"unpacked_size", nullptr},
            {"padding", nullptr},     {"copier", nullptr},  {"copies", nullptr},
            {"extra_bytes", nullptr}, {"comment", nullptr}, {"save_image", nullptr},
            {"file_crc32", nullptr},  {"refusal", nullptr}};
}

}  // namespace

struct InfoDocument::Files {
    json list = json::array();
};

InfoDocument::InfoDocument() : files_(std::make_unique<Files>()) {}
InfoDocument::~InfoDocument() = default;

void InfoDocument::add(const std::string& name, const FileReading& reading,
                       std::optional<std::uint32_t> fileCrc) {
    json file = emptyEntry(name);
    file["kind"] = kindWord(reading.kind);
    file["type"] = kindText(reading);
    file["size"] = reading.fileSize;
    if (reading.kind == FileKind::RetroArchSave || reading.kind == FileKind::Retron5Save) {
        file["unpacked_size"] = reading.unpackedSize;
    }
    if (reading.kind == FileKind::PaddedSave) {
        file["padding"] = {{"bytes", reading.padding.bytes}, {"fill", reading.padding.fill}};
    }
    if (reading.kind == FileKind::CopierFile) {
        addCopierFacts(file, reading);
    }
    if (reading.refusal) {
        file["refusal"] = reasonText(reading, *reading.refusal);
    } else {
        file["save_image"] = saveImage(*saveImageOf(reading));
    }
    if (fileCrc) {
        file["file_crc32"] = crcText(*fileCrc);
    }
    files_->list.push_back(std::move(file));
}

void InfoDocument::addFailure(const std::string& name, const std::string& reason) {
    json file = emptyEntry(name);
    file["error"] = reason;
    files_->list.push_back(std::move(file));
}

void InfoDocument::print(std::ostream& out) const {
    const json document = {{"schema", kSchemaVersion}, {"files", files_->list}};
    // ASCII only, every other character as \uXXXX, so that nothing in a name or a comment can
    // drive a terminal; a byte of a name that is not UTF-8 becomes U+FFFD.
    out << document.dump(2, ' ', true, json::error_handler_t::replace) << '\n';
}

}  // namespace plimbrook::cli
