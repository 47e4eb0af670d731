#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "core/file_reading.h"

namespace plimbrook::cli {

// What `info --json` prints: one document of every file, the same facts that info's lines give,
// from the same reading of each file. The manual describes its fields.
class InfoDocument {
public:
    InfoDocument();
    ~InfoDocument();

    void add(const std::string& name, const FileReading& reading,
             std::optional<std::uint32_t> fileCrc);
    // A file that could not be read at all, and why.
    void addFailure(const std::string& name, const std::string& reason);
    void print(std::ostream& out) const;

private:
    struct Files;  // the JSON library stays out of the other files
    std::unique_ptr<Files> files_;
};

}  // namespace plimbrook::cli
