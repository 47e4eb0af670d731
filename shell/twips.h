#pragma once

#include <QPoint>
#include <QRect>

namespace plimbrook {

// The windows are drawn in twips: 15 of them make one device-independent pixel, and Qt's
// high-DPI scaling takes it from there.
inline constexpr int kTwipsPerPixel = 15;

constexpr int twips(int value) {
    return (value + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

constexpr QRect twipRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

}  // namespace plimbrook
