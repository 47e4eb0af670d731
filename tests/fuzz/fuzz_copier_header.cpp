// The copiers' headers: which copier a header names, the comment it holds, and the files written
// with each format's header.

#include <string>

#include "core/default_template.h"
#include "core/file_reading.h"
#include "core/info_words.h"
#include "tests/fuzz/fuzz_support.h"

using namespace plimbrook;
using namespace plimbrook::fuzz;

namespace {

constexpr std::size_t kHeader = 512;

void checkComment(const HeaderTemplate& header, const std::string& text) {
    const std::string comment = commentOfHeader(header);
    require(withComment(header, comment) == header,
            "a comment read and written back leaves the header as it was");
    const std::string line = commentOnOneLine(comment);
    require(std::none_of(line.begin(), line.end(),
                         [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }),
            "a comment on one line holds no control character");
    require(line.empty() || line.back() != ' ', "a comment on one line has no trailing space");
    const CommentBytes stored = encodeComment(text);
    require(encodeComment(decodeComment(stored)) == stored,
            "a comment stored reads back as the same bytes");
    if (knownHeaderOf(header) == CopierFormat::SuperWildCard) {
        require(knownHeaderOf(withComment(header, text)) == CopierFormat::SuperWildCard,
                "a comment never takes the copier's mark away");
    }
}

// Each format's file, written with a comment, is named for its copier and keeps its comment.
void checkWritten(Bytes save, const std::string& text) {
    const auto image = imageOfSave(save);
    const HeaderTemplate header = withComment(defaultHeaderTemplate(), text);
    for (const CopierFormat format :
         {CopierFormat::SuperWildCard, CopierFormat::ProFighter, CopierFormat::SuperUfo}) {
        const File file = copierFileBytes(format, header, *image);
        require(knownHeaderOf(file) == format, "a file written names its copier");
        ByteSpan source(file);
        const FileReading reading = readFile(source);
        require(reading.kind == FileKind::CopierFile && reading.copier == format,
                "a file written is read as its copier's");
        if (format == CopierFormat::SuperWildCard) {
            require(encodeComment(commentOfHeader(reading.header)) == encodeComment(text),
                    "the comment written is the one read");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, size);
    const Bytes head = input.first(std::min(size, kHeader));
    require(knownHeaderOf(input) == knownHeaderOf(head), "the header alone names the copier");

    const Bytes rest = input.subspan(head.size());
    const Bytes textBytes = rest.first(std::min<std::size_t>(rest.size(), 160));
    const std::string text(textBytes.begin(), textBytes.end());
    HeaderTemplate header{};
    std::copy(head.begin(), head.end(), header.begin());
    checkComment(header, text);

    const Bytes save = rest.first(std::min<std::size_t>(rest.size(), layout::kMaxSaveSize));
    if (!save.empty()) {
        checkWritten(save, text);
    }
    return 0;
}
