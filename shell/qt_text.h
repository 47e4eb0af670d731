#pragma once

#include <string_view>

#include <QString>

namespace plimbrook {

// Text from the Qt-free layers, which is UTF-8 throughout, as Qt holds it.
inline QString toQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

}  // namespace plimbrook
