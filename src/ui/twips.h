// The window's unit of length: positions and sizes are given in twips, 15 to a pixel.
#pragma once

#include <QRect>

namespace lpt::ui {

constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) { return twips / kTwipsPerPixel; }

inline QRect Twips(int left, int top, int width, int height) {
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

}  // namespace lpt::ui
