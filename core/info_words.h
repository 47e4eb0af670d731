#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/file_reading.h"

namespace plimbrook {

// The words of a file's report and of every reason and note, so that the window, the command
// line and the page say the same of the same file.

std::string bytesText(std::uint64_t count);  // "1 byte", "8192 bytes"
std::string crcText(std::uint32_t crc);      // eight lower-case hex digits

// A comment on one line: control characters, the zero bytes of a blank header and the C1
// controls that five Windows-1252 bytes read back as among them become spaces, and trailing
// spaces go.
std::string commentOnOneLine(const std::string& comment);

// What a file is, with its size: "raw SRAM save, 8192 bytes".
std::string kindText(const FileReading& reading);

// Why a file is not converted: "larger than 32 KiB, the most the copier holds".
std::string reasonText(const FileReading& reading, Refusal why);

// The save a conversion would use, with nothing asked: of a save, what the copier's body holds
// of it; of a copier file, the save to-srm gives back. What info, the page and info --json
// report of it.
struct SaveImageFacts {
    std::size_t size = 0;
    std::uint32_t crc = 0;
    std::size_t droppedBytes = 0;             // trailing bytes the copier cannot hold
    std::optional<std::size_t> repeatsEvery;  // a small chip's save, mirrored
};
// None for a file that no conversion takes.
std::optional<SaveImageFacts> saveImageOf(const FileReading& reading);

// The report of a file, one line per fact, as `info` prints it.
struct InfoLine {
    std::string key;
    std::string value;
};
std::vector<InfoLine> infoLines(const FileReading& reading, std::optional<std::uint32_t> fileCrc);

// The words of the notes a conversion gives.
std::string droppedBytesText(std::size_t saveSize, std::size_t keptSize, std::size_t dropped);
std::string cutToSizeText(std::size_t saveSize, std::size_t keptSize, std::size_t dropped);
std::string paddingText(const Padding& padding, std::uint64_t bytes, bool leftOut);
std::string extraBytesText(std::uint64_t extra);
std::string copiesDifferText();

}  // namespace plimbrook
