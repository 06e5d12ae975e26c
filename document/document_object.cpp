// What every document object shares: naming, the rectangle test, the base
// snapshot lines, timeline bars and the placeholder box.
#include "document/document_object.h"

#include <algorithm>
#include <cmath>

#include "document/document.h"
#include "document/snapshot_text.h"
#include "services/canvas.h"
#include "services/font.h"

namespace veltro {

namespace {

// Most ranges one object takes from a snapshot.
constexpr size_t kMaxSnapshotRanges = 10000;

}  // namespace

DocumentObject::DocumentObject(Document& owner, const char* nameBase)
    : document(&owner), name(owner.uniqueObjectName(nameBase)) {}

DocumentObject::~DocumentObject() = default;

void DocumentObject::setPosition(int newX, int newY) {
    x = newX;
    y = newY;
}

void DocumentObject::setSize(int newW, int newH) {
    w = newW;
    h = newH;
}

void DocumentObject::setRect(int newX, int newY, int newW, int newH) {
    setPosition(newX, newY);
    setSize(newW, newH);
}

int DocumentObject::hitTest(int px, int py, int tolerance, int& index) {
    index = -1;
    return rectangleHitTest(px, py, tolerance);
}

void DocumentObject::naturalSize(int& outW, int& outH) const {
    outW = 0;
    outH = 0;
}

void DocumentObject::listMedia(std::vector<MediaEntry*>&) const {}

bool DocumentObject::pathFrameSpan(int&, int&) const { return false; }

bool DocumentObject::visibleAt(int frame) const {
    return std::any_of(ranges.begin(), ranges.end(),
                       [frame](const FrameRange& r) { return r.start <= frame && frame <= r.end; });
}

int DocumentObject::rectangleHitTest(int px, int py, int c) const {
    // 64-bit edges: a hostile rectangle near the int limits must not wrap.
    const int64_t left = x;
    const int64_t top = y;
    const int64_t right = left + w;
    const int64_t bottom = top + h;
    if (px < left - c || px >= right + c || py < top - c || py >= bottom + c)
        return kHitNone;
    int zone = 0;
    if (px < left + c)
        zone |= 1;
    else if (px >= right - c)
        zone |= 2;
    if (py < top + c)
        zone |= 4;
    else if (py >= bottom - c)
        zone |= 8;
    switch (zone) {
    case 5: return kHitTopLeft;
    case 6: return kHitTopRight;
    case 9: return kHitBottomLeft;
    case 10: return kHitBottomRight;
    default: return kHitMove;
    }
}

bool DocumentObject::readBaseSnapshot(SnapshotLineReader& in) {
    for (;;) {
        const std::string& key = in.key();
        if (key == "OP") {
            int rect[4];
            if (!parseSnapshotInts(in.value(), rect, 4))
                return false;
            x = rect[0];
            y = rect[1];
            w = rect[2];
            h = rect[3];
        } else if (key == "OR") {
            int span[2];
            if (!parseSnapshotInts(in.value(), span, 2) || ranges.size() >= kMaxSnapshotRanges)
                return false;
            ranges.push_back({span[0], span[1]});
        } else if (key == "ON") {
            name = in.value();
        } else if (key == "OE") {
            exported = snapshotInt(in.value());
            selected = false;
        } else if (key == "OL") {
            flagL = snapshotInt(in.value());
            selected = false;
        } else {
            return true;
        }
        if (!in.next())
            return false;
    }
}

void DocumentObject::writeBaseSnapshot(std::string& out) const {
    appendSnapshotLine(out, "OP", std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " " +
                                      std::to_string(h));
    for (const FrameRange& range : ranges)
        appendSnapshotLine(out, "OR", std::to_string(range.start) + " " + std::to_string(range.end));
    appendSnapshotLine(out, "ON", name);
    appendSnapshotLine(out, "OE", std::to_string(exported));
    appendSnapshotLine(out, "OL", std::to_string(flagL));
}

void DocumentObject::drawTimelineRow(const TimelineRow& row) const {
    for (const FrameRange& range : ranges)
        drawRangeBar(row, range, flagL ? 0xC0FFC0 : 0x00FF00);
}

void DocumentObject::drawRangeBar(const TimelineRow& row, const FrameRange& range, unsigned fillColor) const {
    if (!row.canvas)
        return;
    const double left = kTimelineLeft + std::trunc(row.pixelsPerFrame * (static_cast<double>(range.start) - row.firstShown));
    const double right =
        kTimelineLeft + std::trunc(row.pixelsPerFrame * (static_cast<double>(range.end) - row.firstShown + 1));
    const int limit = row.width - kTimelineRightMargin;
    const int x0 = static_cast<int>(std::clamp<double>(left, kTimelineLeft, std::max(limit, kTimelineLeft)));
    const int x1 = static_cast<int>(std::clamp<double>(right, kTimelineLeft, std::max(limit, kTimelineLeft)));
    if (x1 <= x0)
        return;
    Canvas& canvas = *row.canvas;
    canvas.fillRect(x0, row.top, x1 - x0, row.height, fillColor);
    const int bottom = row.top + row.height - 1;
    canvas.drawLine(x0, row.top, x1, row.top, 0x000000);
    canvas.drawLine(x0, bottom, x1, bottom, 0x000000);
    canvas.drawLine(x1 - 1, row.top, x1 - 1, bottom + 1, 0x000000);
    if (left >= kTimelineLeft)
        canvas.drawLine(x0, row.top, x0, bottom + 1, 0x000000);
}

void DocumentObject::drawPlaceholder(Canvas& canvas, const char* word) const {
    canvas.fillRect(x, y, w, h, 0xFFFFFF);
    canvas.frameRect(x, y, w, h, 0x000000);
    canvas.selectFont(Font::defaultFont());
    int textW = 0;
    int textH = 0;
    canvas.textExtent(word, &textW, &textH);
    canvas.drawText(x + (w - textW) / 2, y + (h - textH) / 2, textW, textH, word, 0x000000);
}

}  // namespace veltro
