// The drag-motion object: its defaults, drawing in three states, hit tests,
// the riding thumbnail, timeline row and snapshot lines.
#include "dragmotion/drag_motion_object.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "document/document.h"
#include "document/media_cache.h"
#include "document/snapshot_text.h"
#include "dragmotion/path_math.h"
#include "services/canvas.h"
#include "services/settings.h"

namespace veltro {

namespace {

constexpr size_t kInitialThumbnailCapacity = 10;
// Most thumbnail lines one object takes from a snapshot.
constexpr size_t kMaxThumbnailImages = 10000;

const ImageBuffer* imageOf(const MediaEntry* entry) {
    if (!entry || !entry->image || entry->image->empty()) return nullptr;
    return entry->image.get();
}

std::string colorText(uint32_t color) {
    return std::to_string((color >> 16) & 0xFF) + " " + std::to_string((color >> 8) & 0xFF) + " " +
           std::to_string(color & 0xFF);
}

}  // namespace

DragMotionObject::DragMotionObject(Document& owner) : DocumentObject(owner, "dpath") {
    const Settings& s = settings();
    pathColor = {s.findColor("dmcolor0", "ff8080"), s.findColor("dmcolor1", "ff0000"),
                 s.findColor("dmcolor2", "000000")};
    pathWidth = {s.findNumber("dmlinew0", "1"), s.findNumber("dmlinew1", "1"), s.findNumber("dmlinew2", "0")};
    arrow = s.findNumber("dmarrow", "3");
    bezier = s.findNumber("dmbezier", "0");
    distance = s.findNumber("dmdist", "0");
    fromThumbnails = s.findNumber("dmfromthumb", "0");
    keep = s.findNumber("dmkeep", "0");
    thumbnailDir = s.findNumber("dmthumbdir", "0");
    thumbnailImages.reserve(kInitialThumbnailCapacity);
}

bool DragMotionObject::tick() {
    if (thumbnailImages.empty()) return false;
    ++thumbnailIndex;
    if (thumbnailIndex < 0 || thumbnailIndex >= static_cast<int>(thumbnailImages.size())) thumbnailIndex = 0;
    return true;
}

bool DragMotionObject::animatesAt(int frame) const {
    return visibleAt(frame) && thumbnailImages.size() > 1;
}

void DragMotionObject::setPosition(int newX, int newY) {
    const int64_t dx = static_cast<int64_t>(newX) - x;
    const int64_t dy = static_cast<int64_t>(newY) - y;
    DocumentObject::setPosition(newX, newY);
    path.translate(clampToInt(dx), clampToInt(dy));
}

int DragMotionObject::hitTest(int px, int py, int tolerance, int& index) {
    index = path.vertexAt(px, py, tolerance);
    if (index >= 0) return kHitVertex;
    index = path.segmentAt(px, py, tolerance);
    if (index >= 0) return kHitSegment;
    index = -1;
    for (const MediaEntry* entry : pathImage) {
        if (imageOf(entry)) return rectangleHitTest(px, py, tolerance);
    }
    if (bezier == 0) return kHitNone;
    return shape().distanceTo(path, px, py) <= tolerance ? kHitMove : kHitNone;
}

void DragMotionObject::naturalSize(int& outW, int& outH) const {
    for (const MediaEntry* entry : pathImage) {
        if (const ImageBuffer* image = imageOf(entry)) {
            outW = image->width;
            outH = image->height;
            return;
        }
    }
    outW = 0;
    outH = 0;
}

void DragMotionObject::updatePosition() {
    PathPosition position;
    if (document && shape().positionAt(path, document->currentFrame, position)) {
        thumbX = position.x;
        thumbY = position.y;
        thumbDX = position.dx;
        thumbDY = position.dy;
    }
    if (!document) return;
    if (thumbX < document->lastThumbnailX)
        mirrorFlag = 0;
    else if (thumbX > document->lastThumbnailX)
        mirrorFlag = 1;
    if (document->activeObject == this) document->lastThumbnailX = thumbX;
}

int DragMotionObject::distanceFrom(int px, int py) {
    if (fromThumbnails) {
        updatePosition();
        return truncToInt(std::hypot(static_cast<double>(px) - thumbX, static_cast<double>(py) - thumbY));
    }
    return shape().distanceTo(path, px, py);
}

void DragMotionObject::fitRectToPath() {
    if (path.count() < 2) return;
    for (const MediaEntry* entry : pathImage) {
        if (imageOf(entry)) return;
    }
    int minX = path.point(0)->x, maxX = minX;
    int minY = path.point(0)->y, maxY = minY;
    for (const PathPoint& p : path.points()) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    x = minX;
    y = minY;
    w = clampToInt(static_cast<int64_t>(maxX) - minX + 1);
    h = clampToInt(static_cast<int64_t>(maxY) - minY + 1);
}

bool DragMotionObject::pathFrameSpan(int& first, int& last) const {
    if (path.count() < 1) return false;
    first = path.point(0)->frame;
    last = path.point(path.count() - 1)->frame;
    return true;
}

void DragMotionObject::reversePath() { path.reverse(); }

const ImageBuffer* DragMotionObject::pathImageFor(int state) const {
    if (state < 0 || state >= kPathStateCount) return nullptr;
    return imageOf(pathImage[static_cast<size_t>(state)]);
}

int DragMotionObject::drawState() const {
    if (reappeared) return kPathStateActive;
    if (document && document->dragging) return kPathStateDragging;
    if (document && document->activeObject == this) return kPathStateActive;
    return kPathStateNormal;
}

bool DragMotionObject::startArrowShown() const {
    if (path.count() < 2) return false;
    if (!(arrow & kArrowAutomatic)) return (arrow & kArrowAtStart) != 0;
    const double first = path.point(0)->frame;
    const double last = path.point(path.count() - 1)->frame;
    const double current = document ? document->currentFrame : 0;
    return current > (last + 2.0 * first) * 0.3333333333333333;
}

bool DragMotionObject::endArrowShown() const {
    if (path.count() < 2) return false;
    if (!(arrow & kArrowAutomatic)) return (arrow & kArrowAtEnd) != 0;
    const double first = path.point(0)->frame;
    const double last = path.point(path.count() - 1)->frame;
    const double current = document ? document->currentFrame : 0;
    return current < (first + 2.0 * last) * 0.3333333333333333;
}

void DragMotionObject::draw(Canvas& canvas, int frame) {
    if (!exported || !visibleAt(frame)) {
        reappeared = 1;
        return;
    }
    if (document && document->editing && distance > 0 && selected) {
        if (fromThumbnails) {
            updatePosition();
            const int64_t r = std::min(distance, 1 << 20);
            canvas.drawEllipse(clampToInt(thumbX - r), clampToInt(thumbY - r), static_cast<int>(2 * r),
                               static_cast<int>(2 * r), kCaptureBandColor);
        } else {
            shape().draw(canvas, path, distance, kCaptureBandColor);
        }
    }
    const int state = drawState();
    if (document && document->activeObject == this) reappeared = 0;
    if (const ImageBuffer* image = pathImageFor(state))
        canvas.drawImage(x, y, w, h, *image);
    else
        drawPath(canvas, state);

    if (!thumbnailImages.empty()) {
        int first = 0, last = 0;
        pathFrameSpan(first, last);
        if (keep != 0 || (path.count() > 0 && first <= frame && frame <= last)) drawThumbnail(canvas);
    }
}

bool DragMotionObject::drawsDirectly() const {
    if (!document) return true;
    return document->editing || document->dragging || document->animating || document->playing ||
           document->activeEvents[0] != nullptr;
}

void DragMotionObject::drawPath(Canvas& canvas, int state) const {
    const int width = pathWidth[static_cast<size_t>(state)];
    const uint32_t color = pathColor[static_cast<size_t>(state)] & 0xFFFFFF;
    if (width < 1) return;
    if (drawsDirectly())
        shape().draw(canvas, path, width, color);
    else
        drawAntialiased(canvas, width, color);
    if (path.count() < 2) return;
    if (startArrowShown()) drawArrowhead(canvas, *path.point(0), *path.point(1), width, color);
    if (endArrowShown())
        drawArrowhead(canvas, *path.point(path.count() - 1), *path.point(path.count() - 2), width, color);
}

void DragMotionObject::drawAntialiased(Canvas& canvas, int width, uint32_t color) const {
    const int cw = canvas.width();
    const int ch = canvas.height();
    if (cw < 2 || ch < 2 || path.count() < 2) return;
    const int mw = 2 * cw;
    const int mh = 2 * ch;
    std::vector<uint8_t> mask(static_cast<size_t>(mw) * mh, 0);
    shape().rasterize(mask.data(), mw, mh, path, width);

    // Only the rows and columns the mask touches need blending; the rest of
    // the overlay is transparent and leaves the canvas as it is.
    int top = mh, bottom = -1, left = mw, right = -1;
    for (int row = 0; row < mh; ++row) {
        const uint8_t* line = mask.data() + static_cast<size_t>(row) * mw;
        const uint8_t* firstSet = std::find(line, line + mw, 1);
        if (firstSet == line + mw) continue;
        const uint8_t* lastSet = line + mw - 1;
        while (*lastSet == 0) --lastSet;
        top = std::min(top, row);
        bottom = row;
        left = std::min(left, static_cast<int>(firstSet - line));
        right = std::max(right, static_cast<int>(lastSet - line));
    }
    if (bottom < 0) return;
    // Canvas pixel (j, i) reads mask rows 2i … 2i+2 and columns 2j … 2j+2;
    // the last row and column are never covered.
    const int i0 = std::max(0, (top - 1) / 2);
    const int i1 = std::min(ch - 2, bottom / 2);
    const int j0 = std::max(0, (left - 1) / 2);
    const int j1 = std::min(cw - 2, right / 2);
    if (i1 < i0 || j1 < j0) return;

    ImagePtr below = canvas.toImage();
    ImageBuffer overlay(j1 - j0 + 1, i1 - i0 + 1);
    overlay.hasAlpha = 1;
    std::fill(overlay.pixels.begin(), overlay.pixels.end(), 0u);
    const uint32_t cr = (color >> 16) & 0xFF, cg = (color >> 8) & 0xFF, cb = color & 0xFF;
    for (int i = i0; i <= i1; ++i) {
        for (int j = j0; j <= j1; ++j) {
            int t = 0;
            for (int r = 2 * i; r <= 2 * i + 2; ++r) {
                const uint8_t* m = mask.data() + static_cast<size_t>(r) * mw + 2 * j;
                t += (m[0] != 0) + (m[1] != 0) + (m[2] != 0);
            }
            uint32_t& out = overlay.at(j - j0, i - i0);
            if (t == 9) {
                out = color | 0xFF000000u;
            } else if (t > 0) {
                const uint32_t under = below->at(j, i);
                const uint32_t ur = (under >> 16) & 0xFF, ug = (under >> 8) & 0xFF, ub = under & 0xFF;
                const uint32_t nt = static_cast<uint32_t>(t);
                const uint32_t r = (cr * nt + ur * (9 - nt)) / 9;
                const uint32_t g = (cg * nt + ug * (9 - nt)) / 9;
                const uint32_t b = (cb * nt + ub * (9 - nt)) / 9;
                out = 0xFF000000u | (r << 16) | (g << 8) | b;
            }
        }
    }
    canvas.drawImage(j0, i0, overlay.width, overlay.height, overlay);
}

void DragMotionObject::drawArrowhead(Canvas& canvas, const PathPoint& p, const PathPoint& q, int width,
                                     uint32_t color) const {
    const double vx = static_cast<double>(q.x) - p.x;
    const double vy = static_cast<double>(q.y) - p.y;
    const double k = (2.0 * width + 3.0) / (std::hypot(vx, vy) + 0.1);
    const int64_t cx = truncToInt(k * vx);
    const int64_t cy = truncToInt(k * vy);
    const CanvasPoint corners[3] = {
        {clampToInt(p.x - cy), clampToInt(p.y + cx)},
        {clampToInt(p.x + cy), clampToInt(p.y - cx)},
        {clampToInt(p.x - cx), clampToInt(p.y - cy)},
    };
    canvas.drawPolygon(corners, color);
}

void DragMotionObject::drawThumbnail(Canvas& canvas) {
    updatePosition();
    if (thumbnailIndex < 0 || thumbnailIndex >= static_cast<int>(thumbnailImages.size())) thumbnailIndex = 0;
    const ImageBuffer* image = imageOf(thumbnailImages[static_cast<size_t>(thumbnailIndex)]);
    if (!image) return;
    ImagePtr copy;
    if (thumbnailDir == kThumbnailMirrored && mirrorFlag == 1)
        copy = mirroredImage(*image);
    else if (thumbnailDir == kThumbnailRotated)
        copy = rotatedImage(*image, thumbDX, thumbDY);
    const ImageBuffer& shown = copy ? *copy : *image;
    canvas.drawImage(clampToInt(static_cast<int64_t>(thumbX) - shown.width / 2),
                     clampToInt(static_cast<int64_t>(thumbY) - shown.height / 2), shown.width, shown.height, shown);
}

void DragMotionObject::drawTimelineRow(const TimelineRow& row) const {
    DocumentObject::drawTimelineRow(row);
    if (!row.canvas) return;
    Canvas& canvas = *row.canvas;
    const int64_t limit = std::max(row.width - kTimelineRightMargin, kTimelineLeft);
    auto frameX = [&](int frame) {
        const double px = kTimelineLeft + std::trunc(row.pixelsPerFrame * (static_cast<double>(frame) - row.firstShown));
        return static_cast<int64_t>(std::clamp<double>(px, kTimelineLeft, static_cast<double>(limit)));
    };
    const int lineY = row.top + 3;
    for (int i = 1; i < path.count(); ++i) {
        const PathPoint& a = *path.point(i - 1);
        const PathPoint& b = *path.point(i);
        const int64_t xa = frameX(a.frame);
        const int64_t xb = frameX(b.frame);
        canvas.drawLine(static_cast<int>(xa), lineY, static_cast<int>(xb), lineY, b.handOver() ? 0x000000 : 0xFF0000);
    }
    const int markWidth = static_cast<int>(std::min(7.0, std::trunc(std::max(row.pixelsPerFrame, 0.0))));
    if (markWidth <= 0) return;
    for (const PathPoint& p : path.points()) {
        const int64_t px = frameX(p.frame);
        const int64_t wide = std::min<int64_t>(markWidth, limit - px);
        if (wide > 0) canvas.fillRect(static_cast<int>(px), row.top, static_cast<int>(wide), 7, 0x0000FF);
    }
}

void DragMotionObject::listMedia(std::vector<MediaEntry*>& out) const {
    for (MediaEntry* entry : pathImage) {
        if (entry) out.push_back(entry);
    }
    for (MediaEntry* entry : thumbnailImages) {
        if (entry) out.push_back(entry);
    }
}

bool DragMotionObject::writeSnapshot(std::string& out) const {
    writeBaseSnapshot(out);
    for (int i = 0; i < kPathStateCount; ++i) {
        const std::string digit = std::to_string(i);
        const MediaEntry* image = pathImage[static_cast<size_t>(i)];
        appendSnapshotLine(out, "ODMI" + digit, image ? image->fileName : std::string());
        appendSnapshotLine(out, "ODMW" + digit, std::to_string(pathWidth[static_cast<size_t>(i)]));
        appendSnapshotLine(out, "ODMC" + digit, colorText(pathColor[static_cast<size_t>(i)]));
    }
    appendSnapshotLine(out, "ODMA", std::to_string(arrow));
    appendSnapshotLine(out, "ODMB", std::to_string(bezier));
    appendSnapshotLine(out, "ODMD", std::to_string(distance));
    appendSnapshotLine(out, "ODMFT", std::to_string(fromThumbnails));
    for (const MediaEntry* image : thumbnailImages) {
        if (image) appendSnapshotLine(out, "ODMT", image->fileName);
    }
    appendSnapshotLine(out, "ODMK", std::to_string(keep));
    appendSnapshotLine(out, "ODMTD", std::to_string(thumbnailDir));
    for (const PathPoint& p : path.points()) {
        appendSnapshotLine(out, "P",
                           std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.frame) + " " +
                               (p.handOver() ? "0" : "1"));
    }
    return true;
}

bool DragMotionObject::readSnapshot(SnapshotLineReader& in) {
    if (!readBaseSnapshot(in)) return false;
    fromThumbnails = 0;
    return readDragMotionLines(in);
}

bool DragMotionObject::readDragMotionLines(SnapshotLineReader& in) {
    for (;;) {
        const std::string& key = in.key();
        const std::string& value = in.value();
        const bool indexed = key.size() >= 5 && (in.keyStartsWith("ODMI") || in.keyStartsWith("ODMW") ||
                                                  in.keyStartsWith("ODMC"));
        if (indexed) {
            const int i = key[4] - '0';
            const bool validIndex = i >= 0 && i < kPathStateCount;
            if (key[3] == 'I') {
                if (validIndex && !value.empty() && document) {
                    if (MediaEntry* entry = document->imageCache.find(value)) pathImage[static_cast<size_t>(i)] = entry;
                }
            } else if (key[3] == 'W') {
                if (validIndex) pathWidth[static_cast<size_t>(i)] = snapshotInt(value);
            } else {
                int rgb[3];
                if (!parseSnapshotInts(value, rgb, 3)) return false;
                if (validIndex)
                    pathColor[static_cast<size_t>(i)] = (static_cast<uint32_t>(rgb[0]) << 16) |
                                                        (static_cast<uint32_t>(rgb[1]) << 8) |
                                                        static_cast<uint32_t>(rgb[2]);
            }
        } else if (key == "ODMA") {
            arrow = snapshotInt(value);
        } else if (key == "ODMB") {
            bezier = snapshotInt(value);
        } else if (key == "ODMD") {
            distance = snapshotInt(value);
        } else if (key == "ODMFT") {
            fromThumbnails = snapshotInt(value);
        } else if (key == "ODMK") {
            keep = snapshotInt(value);
        } else if (key == "ODMTD") {
            thumbnailDir = snapshotInt(value);
        } else if (key == "ODMT") {
            if (thumbnailImages.size() >= kMaxThumbnailImages) return false;
            if (document && !value.empty()) {
                if (MediaEntry* entry = document->imageCache.find(value)) thumbnailImages.push_back(entry);
            }
        } else {
            break;
        }
        if (!in.next()) return false;
    }
    // The path lines come last.
    while (in.key() == "P") {
        int a = 0, b = 0, c = 0, f = 0;
        if (!parseSnapshotPathPoint(in.value(), a, b, c, f)) return false;
        if (!path.append(a, b, c, f)) return false;
        if (!in.next()) return false;
    }
    finalizePath();
    return true;
}

ImagePtr mirroredImage(const ImageBuffer& image) {
    ImagePtr copy = copyImage(image);
    for (int row = 0; row < copy->height; ++row) {
        uint32_t* line = copy->row(row);
        std::reverse(line, line + copy->width);
    }
    return copy;
}

ImagePtr rotatedImage(const ImageBuffer& image, int dx, int dy) {
    const double len = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
    if (!(len > 0.0)) return nullptr;
    const int m = std::max(image.width, image.height);
    if (m <= 0 || m > kMaxRotatedThumbnailSide) return nullptr;
    auto result = std::make_unique<ImageBuffer>(2 * m, 2 * m);
    result->hasAlpha = 1;
    // A picture without the alpha flag is opaque everywhere; its copy on the
    // transparent square must stay so.
    const uint32_t opaque = image.hasAlpha ? 0u : 0xFF000000u;
    const int halfW = image.width / 2;
    const int halfH = image.height / 2;
    for (int i = 0; i < 2 * m; ++i) {
        const double v = i - m;
        uint32_t* out = result->row(i);
        for (int j = 0; j < 2 * m; ++j) {
            const double u = j - m;
            const int64_t sx = halfW + static_cast<int64_t>(std::trunc((u * dx + v * dy) / len));
            const int64_t sy = halfH + static_cast<int64_t>(std::trunc((v * dx - u * dy) / len));
            out[j] = (sx >= 0 && sx < image.width && sy >= 0 && sy < image.height)
                         ? image.at(static_cast<int>(sx), static_cast<int>(sy)) | opaque
                         : 0u;
        }
    }
    return result;
}

}  // namespace veltro
