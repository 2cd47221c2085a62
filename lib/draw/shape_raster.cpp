// The shapes' geometry: which pixels a shape covers, sent out as clipped
// rectangles with every pixel in exactly one of them.
//
// Caller coordinates may lie anywhere in the int range, so positions are
// 64-bit and the products of two of them 128-bit. Every walk starts at the
// clip rectangle rather than at the shape: a line or a circle far larger
// than the screen costs what its visible part costs.
#include "draw/shape.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using Wide = __int128;

Wide FloorDiv(Wide n, Wide d) {
    Wide q = n / d;
    return (n % d != 0 && (n < 0) != (d < 0)) ? q - 1 : q;
}
Wide CeilDiv(Wide n, Wide d) { return -FloorDiv(-n, d); }

// The largest s with s * s <= n (n >= 0).
Wide SquareRoot(Wide n) {
    auto s = Wide(std::sqrt(double(n)));
    while (s > 0 && s * s > n) --s;
    while ((s + 1) * (s + 1) <= n) ++s;
    return s;
}

void Emit(const ShapeSink& sink, int64_t left, int64_t top, int64_t right, int64_t bottom,
          const Rect& clip) {
    Rect r = ClampInto(left, top, right, bottom, clip);
    if (r.left < r.right && r.top < r.bottom) sink.fill(sink.context, r);
}

// Runs of pixels gathered from parts of an outline that may meet (a
// triangle's edges, a circle's octants) and sent out once all are in: runs
// on one row that overlap or touch go out as one, so no pixel is filled
// twice.
struct RunMerger {
    struct Run {
        int32_t y, left, right;
    };
    std::vector<Run> runs;

    static void Add(void* context, const Rect& r) {
        auto* merger = static_cast<RunMerger*>(context);
        for (int32_t y = r.top; y < r.bottom; ++y) merger->runs.push_back({y, r.left, r.right});
    }
    ShapeSink Sink() { return ShapeSink{Add, this, nullptr}; }

    void Send(const ShapeSink& sink) {
        std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) {
            return a.y != b.y ? a.y < b.y : a.left < b.left;
        });
        for (size_t i = 0; i < runs.size();) {
            Run run = runs[i++];
            while (i < runs.size() && runs[i].y == run.y && runs[i].left <= run.right)
                run.right = std::max(run.right, runs[i++].right);
            sink.fill(sink.context, Rect{run.left, run.y, run.right, run.y + 1});
        }
        runs.clear();
    }
};

// Fixed point for polygon vertices: 8 bits of fraction, so that a pixel's
// centre is exact and thick lines' corners fall between pixels.
constexpr int64_t One = 256, Half = 128;

struct Point {
    int64_t x, y;  // fixed point
};

// A convex polygon, filled where pixel centres lie inside it; a centre on an
// edge belongs to the pixel when the edge is a top or a left one, so two
// polygons sharing an edge cover each pixel along it once.
void FillConvex(Point* p, int n, const Rect& clip, const ShapeSink& sink) {
    Wide area = 0;
    for (int i = 0; i < n; ++i) {
        const Point &a = p[i], &b = p[(i + 1) % n];
        area += Wide(a.x) * b.y - Wide(b.x) * a.y;
    }
    if (area == 0) return;
    // Interior on the positive side of every edge (clockwise on screen).
    if (area < 0) std::reverse(p, p + n);
    int64_t top = p[0].y, bottom = p[0].y;
    for (int i = 1; i < n; ++i) {
        top = std::min(top, p[i].y);
        bottom = std::max(bottom, p[i].y);
    }
    int64_t firstRow = std::max<int64_t>(clip.top, int64_t(CeilDiv(top - Half, One)));
    int64_t lastRow = std::min<int64_t>(clip.bottom - 1, int64_t(FloorDiv(bottom - Half, One)));
    for (int64_t row = firstRow; row <= lastRow; ++row) {
        Wide centreY = Wide(row) * One + Half;
        Wide lo = clip.left, hi = Wide(clip.right) - 1;
        for (int i = 0; i < n && lo <= hi; ++i) {
            const Point &a = p[i], &b = p[(i + 1) % n];
            Wide ex = b.x - a.x, ey = b.y - a.y;
            // A top edge runs right along the top, a left edge runs up.
            int bias = (ey == 0 && ex > 0) || ey < 0 ? 0 : 1;
            // The edge function at the centre of pixel x is c - 256 * ey * x.
            Wide c = ex * (centreY - a.y) + ey * a.x - Half * ey;
            if (ey == 0) {
                if (c < bias) hi = lo - 1;
            } else if (ey > 0) {
                hi = std::min(hi, FloorDiv(c - bias, One * ey));
            } else {
                lo = std::max(lo, CeilDiv(bias - c, -One * ey));
            }
        }
        if (lo <= hi) sink.fill(sink.context, Rect{int32_t(lo), int32_t(row), int32_t(hi + 1),
                                                   int32_t(row + 1)});
    }
}

// The circle's octant x >= y >= 0: the midpoint rule keeps x at row y
// while (x - 1/2)^2 + y^2 < r^2 (in integers, x^2 - x + y^2 < r^2), so x
// at row y is the largest x that passes; -1 when none does.
Wide OctantX(Wide r, Wide y) {
    Wide k = r * r - y * y;
    return k <= 0 ? -1 : (1 + SquareRoot(4 * k - 3)) / 2;
}
// The largest y whose octant x is at least `x`: y^2 < r^2 - x^2 + x; -1 when none.
Wide LastRowReaching(Wide r, Wide x) {
    Wide m = r * r - x * x + x;
    return m <= 0 ? -1 : SquareRoot(m - 1);
}

}  // namespace

void RasterLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const Rect& clip,
                const ShapeSink& sink) {
    // Walked along its major axis a, stepping on the minor axis b.
    bool steep = std::llabs(y2 - y1) > std::llabs(x2 - x1);
    int64_t a1 = steep ? y1 : x1, b1 = steep ? x1 : y1;
    int64_t a2 = steep ? y2 : x2, b2 = steep ? x2 : y2;
    int64_t da = std::llabs(a2 - a1), db = std::llabs(b2 - b1);
    int64_t sa = a2 >= a1 ? 1 : -1, sb = b2 >= b1 ? 1 : -1;
    int64_t aLo = steep ? clip.top : clip.left, aHi = (steep ? clip.bottom : clip.right) - 1;
    int64_t bLo = steep ? clip.left : clip.top, bHi = (steep ? clip.right : clip.bottom) - 1;
    if (aLo > aHi || bLo > bHi) return;

    // Step i (0..da) is at a1 + sa * i, b1 + sb * q(i) with
    // q(i) = floor((2 i db + da) / (2 da)): the minor offset rounded.
    Wide first = 0, last = da;
    auto along = [&](int64_t lo, int64_t hi, int64_t start, int64_t sign, Wide* from, Wide* to) {
        // Offsets o with start + sign * o in lo..hi.
        *from = sign > 0 ? Wide(lo) - start : Wide(start) - hi;
        *to = sign > 0 ? Wide(hi) - start : Wide(start) - lo;
    };
    Wide from, to;
    along(aLo, aHi, a1, sa, &from, &to);
    first = std::max(first, from);
    last = std::min(last, to);
    along(bLo, bHi, b1, sb, &from, &to);
    Wide twoA = 2 * Wide(da), twoB = 2 * Wide(db);
    if (db == 0) {
        if (from > 0 || to < 0) return;
    } else {
        // q(i) >= from  <=>  2 i db >= 2 da from - da; q(i) <= to likewise.
        first = std::max(first, CeilDiv(twoA * from - da, twoB));
        last = std::min(last, CeilDiv(twoA * (to + 1) - da, twoB) - 1);
    }
    if (first > last) return;

    Wide numerator = twoB * first + da;
    int64_t q = da ? int64_t(numerator / twoA) : 0;
    int64_t rest = da ? int64_t(numerator % twoA) : 0;
    if (sink.line) {
        int64_t a = a1 + sa * int64_t(first), b = b1 + sb * q;
        sink.line(sink.context, LineWalk{.x = int32_t(steep ? b : a),
                                         .y = int32_t(steep ? a : b),
                                         .count = int64_t(last - first) + 1,
                                         .steep = steep,
                                         .majorSign = int(sa),
                                         .minorSign = int(sb),
                                         .rest = rest,
                                         .twoMajor = int64_t(twoA),
                                         .twoMinor = int64_t(twoB)});
        return;
    }
    auto emitRun = [&](int64_t i0, int64_t i1, int64_t offset) {
        int64_t aStart = a1 + sa * (sa > 0 ? i0 : i1), aEnd = a1 + sa * (sa > 0 ? i1 : i0);
        int64_t b = b1 + sb * offset;
        if (steep)
            Emit(sink, b, aStart, b + 1, aEnd + 1, clip);
        else
            Emit(sink, aStart, b, aEnd + 1, b + 1, clip);
    };
    // Pixels on one minor step go out as one run.
    int64_t runStart = int64_t(first), end = int64_t(last);
    for (int64_t i = runStart; i < end; ++i) {
        rest += int64_t(twoB);
        if (rest >= int64_t(twoA)) {
            rest -= int64_t(twoA);
            emitRun(runStart, i, q);
            ++q;
            runStart = i + 1;
        }
    }
    emitRun(runStart, end, q);
}

void RasterThickLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int thickness,
                     const Rect& clip, const ShapeSink& sink) {
    double dx = double(x2 - x1), dy = double(y2 - y1);
    double length = std::hypot(dx, dy);
    // A line of one point is as wide as it is thick, one pixel long.
    double ux = length > 0 ? dx / length : 1, uy = length > 0 ? dy / length : 0;
    // Half a pixel past each end's centre along the line, half the
    // thickness either side of it.
    double ax = ux * 0.5 * One, ay = uy * 0.5 * One;
    double nx = -uy * thickness * 0.5 * One, ny = ux * thickness * 0.5 * One;
    double sx = double(x1) * One + Half - ax, sy = double(y1) * One + Half - ay;
    double ex = double(x2) * One + Half + ax, ey = double(y2) * One + Half + ay;
    auto at = [](double x, double y) { return Point{std::llround(x), std::llround(y)}; };
    Point quad[4] = {at(sx + nx, sy + ny), at(ex + nx, ey + ny), at(ex - nx, ey - ny),
                     at(sx - nx, sy - ny)};
    FillConvex(quad, 4, clip, sink);
}

void RasterRectangle(int64_t left, int64_t top, int64_t right, int64_t bottom, int filled,
                     const Rect& clip, const ShapeSink& sink) {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (filled || right - left <= 2 || bottom - top <= 2) {
        Emit(sink, left, top, right, bottom, clip);
        return;
    }
    Emit(sink, left, top, right, top + 1, clip);
    Emit(sink, left, top + 1, left + 1, bottom - 1, clip);
    Emit(sink, right - 1, top + 1, right, bottom - 1, clip);
    Emit(sink, left, bottom - 1, right, bottom, clip);
}

void RasterCircle(int64_t cx, int64_t cy, int64_t radius, int filled, const Rect& clip,
                  const ShapeSink& sink) {
    Wide r = radius;
    int64_t firstRow = std::max<int64_t>(clip.top, cy - radius);
    int64_t lastRow = std::min<int64_t>(clip.bottom - 1, cy + radius);
    RunMerger merger;
    ShapeSink outline = merger.Sink();
    for (int64_t row = firstRow; row <= lastRow; ++row) {
        Wide t = row > cy ? Wide(row) - cy : Wide(cy) - row;
        // The octant x >= y gives row t its pixel at x = OctantX(t) where
        // that is at least t; the octant y >= x gives it the x (<= t) of
        // every row whose octant x is t.
        Wide x = OctantX(r, t);
        Wide inner = LastRowReaching(r, t + 1) + 1, outer = std::min(LastRowReaching(r, t), t);
        if (filled) {
            Wide half = x >= t ? x : outer;
            if (half >= 0) Emit(sink, int64_t(cx - half), row, int64_t(cx + half + 1), row + 1, clip);
            continue;
        }
        auto mirrored = [&](Wide from, Wide to) {
            Emit(outline, int64_t(cx + from), row, int64_t(cx + to + 1), row + 1, clip);
            Emit(outline, int64_t(cx - to), row, int64_t(cx - from + 1), row + 1, clip);
        };
        if (x >= t) mirrored(x, x);
        if (inner <= outer) mirrored(inner, outer);
    }
    merger.Send(sink);
}

void RasterTriangle(const int64_t x[3], const int64_t y[3], int filled, const Rect& clip,
                    const ShapeSink& sink) {
    Wide cross = Wide(x[1] - x[0]) * (y[2] - y[0]) - Wide(y[1] - y[0]) * (x[2] - x[0]);
    if (cross == 0) {
        // No area: the line between the two ends farthest apart.
        int from = 0, to = 1;
        Wide longest = -1;
        for (int i = 0; i < 3; ++i)
            for (int j = i + 1; j < 3; ++j) {
                Wide dx = x[j] - x[i], dy = y[j] - y[i];
                if (dx * dx + dy * dy > longest) {
                    longest = dx * dx + dy * dy;
                    from = i;
                    to = j;
                }
            }
        RasterLine(x[from], y[from], x[to], y[to], clip, sink);
        return;
    }
    if (filled) {
        Point corners[3];
        for (int i = 0; i < 3; ++i) corners[i] = Point{x[i] * One, y[i] * One};
        FillConvex(corners, 3, clip, sink);
        return;
    }
    RunMerger merger;
    for (int i = 0; i < 3; ++i) {
        int j = (i + 1) % 3;
        RasterLine(x[i], y[i], x[j], y[j], clip, merger.Sink());
    }
    merger.Send(sink);
}
