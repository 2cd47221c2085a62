#include "font.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

// Each glyph is a list of polylines; each polyline is x,y pairs on the grid,
// x 0..4 to the right, y 0..6 downward. The corners are cut at 45 degrees,
// which keeps the letters angular and sturdy at every size.
struct Glyph {
    char c;
    const char* paths;  // polylines separated by '|', points by ' ', "x,y"
};

constexpr Glyph Glyphs[] = {
    {'A', "0,6 0,1 1,0 3,0 4,1 4,6|0,3 4,3"},
    {'B', "0,0 3,0 4,1 4,2 3,3 0,3|3,3 4,4 4,5 3,6 0,6 0,0"},
    {'C', "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5"},
    {'D', "0,0 3,0 4,1 4,5 3,6 0,6 0,0"},
    {'E', "4,0 0,0 0,6 4,6|0,3 3,3"},
    {'F', "4,0 0,0 0,6|0,3 3,3"},
    {'G', "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5 4,3 2,3"},
    {'H', "0,0 0,6|4,0 4,6|0,3 4,3"},
    {'I', "1,0 3,0|2,0 2,6|1,6 3,6"},
    {'J', "4,0 4,5 3,6 1,6 0,5"},
    {'K', "0,0 0,6|4,0 1,3 0,3|1,3 4,6"},
    {'L', "0,0 0,6 4,6"},
    {'M', "0,6 0,0 2,2 4,0 4,6"},
    {'N', "0,6 0,0 4,6 4,0"},
    {'O', "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0"},
    {'P', "0,6 0,0 3,0 4,1 4,2 3,3 0,3"},
    {'Q', "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0|2,4 4,6"},
    {'R', "0,6 0,0 3,0 4,1 4,2 3,3 0,3|2,3 4,5 4,6"},
    {'S', "4,1 3,0 1,0 0,1 0,2 1,3 3,3 4,4 4,5 3,6 1,6 0,5"},
    {'T', "0,0 4,0|2,0 2,6"},
    {'U', "0,0 0,5 1,6 3,6 4,5 4,0"},
    {'V', "0,0 0,3 2,6 4,3 4,0"},
    {'W', "0,0 0,6 2,4 4,6 4,0"},
    {'X', "0,0 0,1 4,5 4,6|4,0 4,1 0,5 0,6"},
    {'Y', "0,0 0,1 2,3 4,1 4,0|2,3 2,6"},
    {'Z', "0,0 4,0 4,1 0,5 0,6 4,6"},
    {'0', "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0|3,2 1,4"},
    {'1', "1,1 2,0 2,6|1,6 3,6"},
    {'2', "0,1 1,0 3,0 4,1 4,2 0,6 4,6"},
    {'3', "0,1 1,0 3,0 4,1 4,2 3,3 1,3|3,3 4,4 4,5 3,6 1,6 0,5"},
    {'4', "3,6 3,0 0,4 4,4"},
    {'5', "4,0 0,0 0,3 3,3 4,4 4,5 3,6 0,6"},
    {'6', "3,0 1,0 0,1 0,5 1,6 3,6 4,5 4,4 3,3 0,3"},
    {'7', "0,0 4,0 4,1 2,5 2,6"},
    {'8', "1,0 3,0 4,1 4,2 3,3 1,3 0,2 0,1 1,0|1,3 0,4 0,5 1,6 3,6 4,5 4,4 3,3"},
    {'9', "4,3 1,3 0,2 0,1 1,0 3,0 4,1 4,5 3,6 1,6"},
    {'-', "1,3 3,3"},
    {'.', "2,6 2,6"},
};

constexpr float GlyphWidth = 4;
constexpr float Advance = 6;  // grid units from one glyph's left to the next

const char* FindGlyph(char c) {
    for (const Glyph& g : Glyphs)
        if (g.c == c) return g.paths;
    return nullptr;
}

// Appends the strokes of one glyph's path text.
void AddGlyph(const char* paths, float x, float y, float scale,
              std::vector<StrokeSegment>& out) {
    bool havePoint = false;
    float px = 0, py = 0;
    const char* p = paths;
    while (*p) {
        if (*p == '|') {
            havePoint = false;
            ++p;
            continue;
        }
        if (*p == ' ') {
            ++p;
            continue;
        }
        float gx = float(*p - '0');
        float gy = float(p[2] - '0');
        p += 3;
        float qx = x + gx * scale, qy = y + gy * scale;
        if (havePoint) out.push_back({px, py, qx, qy});
        havePoint = true;
        px = qx;
        py = qy;
    }
}

}  // namespace

std::vector<StrokeSegment> LayoutText(const std::string& text, float x, float y, float scale) {
    std::vector<StrokeSegment> out;
    float cursor = x;
    for (char c : text) {
        if (const char* paths = FindGlyph(c)) AddGlyph(paths, cursor, y, scale, out);
        cursor += Advance * scale;
    }
    return out;
}

float TextWidth(const std::string& text, float scale) {
    if (text.empty()) return 0;
    return (float(text.size() - 1) * Advance + GlyphWidth) * scale;
}

float StrokeDistance(const std::vector<StrokeSegment>& strokes, float px, float py) {
    float best = FLT_MAX;
    for (const StrokeSegment& s : strokes) {
        // Cheap rejection keeps large texts fast: a segment's box is a lower bound.
        float minX = std::min(s.ax, s.bx) - best, maxX = std::max(s.ax, s.bx) + best;
        float minY = std::min(s.ay, s.by) - best, maxY = std::max(s.ay, s.by) + best;
        if (px < minX || px > maxX || py < minY || py > maxY) continue;
        float dx = s.bx - s.ax, dy = s.by - s.ay;
        float len2 = dx * dx + dy * dy;
        float t = len2 > 0 ? std::clamp(((px - s.ax) * dx + (py - s.ay) * dy) / len2, 0.0f, 1.0f) : 0;
        float ex = px - (s.ax + t * dx), ey = py - (s.ay + t * dy);
        float d2 = ex * ex + ey * ey;
        if (d2 < best * best) best = std::sqrt(d2);
    }
    return best;
}
