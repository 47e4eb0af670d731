#include "cli/terminal_text.h"

#include <algorithm>

namespace plimbrook::cli {

namespace {

// The length of the well-formed UTF-8 sequence `text` starts with; 0 if it starts with none.
std::size_t utf8SequenceLength(std::string_view text) {
    const auto at = [&](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = at(0);
    const auto continuation = [&](std::size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
        return at(i) >= low && at(i) <= high;
    };
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return continuation(1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return continuation(1, low, high) && continuation(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
}

}  // namespace

std::string terminalSafe(std::string_view text) {
    std::string out;
    const auto escape = [&](unsigned char byte) {
        static constexpr char kHex[] = "0123456789abcdef";
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8SequenceLength(text.substr(i));
        const bool control =
            byte < 0x20 || byte == 0x7F ||
            (byte == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
        if (length == 0 || control) {
            for (std::size_t k = 0; k < std::max<std::size_t>(length, 1); ++k) {
                escape(static_cast<unsigned char>(text[i + k]));
            }
            i += std::max<std::size_t>(length, 1);
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace plimbrook::cli
