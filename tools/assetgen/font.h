// The generator's own lettering: a stroke font on a 4 x 6 grid (capitals,
// digits, '-', '.', ' '), drawn at any scale as strokes of a given width.
// At scale 1 with a stroke width of 1 the strokes fall on pixel centres, so
// small labels come out crisp; large scales make logo lettering.
#ifndef ASSETGEN_FONT_H
#define ASSETGEN_FONT_H

#include <string>
#include <vector>

struct StrokeSegment {
    float ax, ay, bx, by;  // pixels
};

// The strokes of `text` with its top-left grid corner at (x, y), `scale`
// pixels per grid unit. Unknown characters advance like a space.
std::vector<StrokeSegment> LayoutText(const std::string& text, float x, float y, float scale);
// Width in pixels from the first stroke's grid left to the last one's grid right.
float TextWidth(const std::string& text, float scale);
// Distance from (px, py) to the nearest stroke.
float StrokeDistance(const std::vector<StrokeSegment>& strokes, float px, float py);

#endif
