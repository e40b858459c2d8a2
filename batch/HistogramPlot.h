#pragma once

#include "PointTables.h"

class CFile;

// The histogram picture of `tonecraft-batch histogram --plot`: the program's histogram dialog
// over the whole gray range, every one of its surface pixels drawn as kScale x kScale pixels,
// with the bars at the finer height this allows. White background; red axes with arrow
// heads, a tick every 5 levels (longer every 10) and labels every 50; the full-scale mark with
// the highest count; the range markers at 0 and 255 dotted green; then, when a level has
// pixels, a blue bar per level standing on the axis: the highest count kBarTop pixels tall,
// the others count * kBarTop / highest, rounded down.
namespace HistogramPlot {

constexpr int kScale = 3;
constexpr int kWidth = 330 * kScale;
constexpr int kHeight = 300 * kScale;
constexpr int kBarTop = 254 * kScale;

// Writes the picture to `out` as a PNG; false when it could not be compressed. Device errors
// propagate as CFileException.
[[nodiscard]] bool Write(const GrayHistogram &counts, CFile &out);

} // namespace HistogramPlot
