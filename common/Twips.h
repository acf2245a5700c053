#pragma once

#include <QRect>
#include <QtMath>

// Window layouts are designed in twips (1/1440 inch). At 96 dots per inch
// 15 twips make one device-independent pixel.
namespace Twips {

inline constexpr int perPixel = 15;

constexpr int toPixels(int twips)
{
    // Round half away from zero, so that 2317 twips -> 154 px and -7 -> 0.
    return twips >= 0 ? (twips + perPixel / 2) / perPixel : -((-twips + perPixel / 2) / perPixel);
}

constexpr int fromPixels(int pixels)
{
    return pixels * perPixel;
}

constexpr QRect toRect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace Twips
