// Canvas drawing. Fills, ellipses, polygons and text go through QPainter with
// antialiasing off; lines and the pixel copies (copy, stretch, images) are
// done here on the pixel words, since they must follow rules QPainter does not
// offer: a line leaves out its end point whichever way it runs, and images
// honour the two-state alpha rule with nearest-pixel stretching.
#include "services/canvas.h"
#include "services/desktop.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPolygon>
#include <QString>

#include <algorithm>
#include <vector>

#include "image/file_utils.h"
#include "services/font.h"

namespace veltro {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;
// Shapes reaching beyond this distance from the origin are not drawn; no
// window or picture of the program comes near it, and it keeps every
// coordinate sum far from overflowing.
constexpr int64_t kMaxCoordinate = 1 << 24;

bool withinReach(int64_t value) { return value >= -kMaxCoordinate && value <= kMaxCoordinate; }

// The part of the rectangle on a width x height surface; false when none is.
bool clipToSurface(int x, int y, int w, int h, int width, int height, QRect& clipped) {
    int64_t left = std::max<int64_t>(x, 0);
    int64_t top = std::max<int64_t>(y, 0);
    int64_t right = std::min<int64_t>(int64_t(x) + w, width);
    int64_t bottom = std::min<int64_t>(int64_t(y) + h, height);
    if (left >= right || top >= bottom)
        return false;
    clipped = QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                    static_cast<int>(bottom - top));
    return true;
}

QColor toColor(uint32_t colour) {
    return QColor::fromRgb(static_cast<QRgb>(kOpaque | (colour & 0xFFFFFFu)));
}

// A painter on the surface with antialiasing off.
class SurfacePainter : public QPainter {
public:
    explicit SurfacePainter(QImage& surface) : QPainter(&surface) {
        setRenderHint(QPainter::Antialiasing, false);
        setRenderHint(QPainter::TextAntialiasing, false);
        setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
};

// Text lines split at CR LF, LF or CR.
std::vector<QString> splitLines(std::string_view text) {
    QString all = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    std::vector<QString> lines;
    QString line;
    for (qsizetype i = 0; i < all.size(); ++i) {
        QChar c = all[i];
        if (c == u'\r' || c == u'\n') {
            lines.push_back(line);
            line.clear();
            if (c == u'\r' && i + 1 < all.size() && all[i + 1] == u'\n')
                ++i;
        } else {
            line += c;
        }
    }
    lines.push_back(line);
    return lines;
}

const QFont* fontFor(const Font* selected) {
    if (selected)
        return &selected->qfont();
    const Font* fallback = Font::defaultFont();
    return fallback ? &fallback->qfont() : nullptr;
}

// The span [begin, end) of target positions t in [t0, t0 + length) that fall
// inside [0, limit).
void clipSpan(int t0, int length, int limit, int& begin, int& end) {
    begin = static_cast<int>(std::clamp<int64_t>(-int64_t(t0), 0, length));
    end = static_cast<int>(std::clamp<int64_t>(int64_t(limit) - t0, 0, length));
}

// Nearest-pixel stretch of a source rectangle of 32-bit words into a target
// rectangle of the surface; pixels whose source lies outside the source
// picture are left alone. keep decides per source word whether it is drawn.
template <typename Keep>
void stretchWords(QImage& target, int x, int y, int w, int h, const uint32_t* source, int sourceWidth,
                  int sourceHeight, size_t sourceStride, int sx, int sy, int sw, int sh, Keep keep) {
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0 || target.isNull())
        return;
    int colBegin, colEnd, rowBegin, rowEnd;
    clipSpan(x, w, target.width(), colBegin, colEnd);
    clipSpan(y, h, target.height(), rowBegin, rowEnd);
    if (colBegin >= colEnd || rowBegin >= rowEnd)
        return;
    std::vector<int64_t> columns(static_cast<size_t>(colEnd - colBegin));
    for (int i = colBegin; i < colEnd; ++i)
        columns[static_cast<size_t>(i - colBegin)] = int64_t(sx) + int64_t(i) * sw / w;
    for (int j = rowBegin; j < rowEnd; ++j) {
        int64_t srcY = int64_t(sy) + int64_t(j) * sh / h;
        if (srcY < 0 || srcY >= sourceHeight)
            continue;
        const uint32_t* srcRow = source + static_cast<size_t>(srcY) * sourceStride;
        auto* dst = reinterpret_cast<uint32_t*>(target.scanLine(y + j));
        for (int i = colBegin; i < colEnd; ++i) {
            int64_t srcX = columns[static_cast<size_t>(i - colBegin)];
            if (srcX < 0 || srcX >= sourceWidth)
                continue;
            uint32_t word = srcRow[srcX];
            if (keep(word))
                dst[x + i] = kOpaque | (word & 0xFFFFFFu);
        }
    }
}

}  // namespace

Canvas::Canvas(int width, int height) {
    if (width < 1 || height < 1 || width > kMaxImageDimension || height > kMaxImageDimension)
        return;
    m_surface = QImage(width, height, QImage::Format_ARGB32);
    if (m_surface.isNull())
        return;
    m_width = width;
    m_height = height;
    m_surface.fill(0xFFFFFFFFu);
}

Canvas::~Canvas() = default;

void Canvas::fillRect(int x, int y, int w, int h, uint32_t colour) {
    QRect area;
    if (!valid() || w <= 0 || h <= 0 || !clipToSurface(x, y, w, h, m_width, m_height, area))
        return;
    SurfacePainter painter(m_surface);
    painter.fillRect(area, toColor(colour));
}

void Canvas::fillButtonFace(int x, int y, int w, int h) { fillRect(x, y, w, h, buttonFaceColour()); }

void Canvas::frameRect(int x, int y, int w, int h, uint32_t colour) {
    if (!valid() || w <= 0 || h <= 0)
        return;
    if (!withinReach(x) || !withinReach(y) || !withinReach(w) || !withinReach(h))
        return;
    fillRect(x, y, w, 1, colour);
    fillRect(x, y + h - 1, w, 1, colour);
    fillRect(x, y, 1, h, colour);
    fillRect(x + w - 1, y, 1, h, colour);
}

void Canvas::drawLine(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (!valid())
        return;
    // Step k of the line (k = 0 .. steps - 1) lies at the major coordinate
    // start + k and the minor one rounded to the nearest pixel; the loop only
    // visits the steps whose major coordinate is on the canvas.
    int64_t dx = int64_t(x2) - x1;
    int64_t dy = int64_t(y2) - y1;
    bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    int64_t major = xMajor ? dx : dy;
    int64_t minor = xMajor ? dy : dx;
    int64_t steps = major < 0 ? -major : major;
    if (steps == 0)
        return;
    int64_t majorStart = xMajor ? x1 : y1;
    int64_t minorStart = xMajor ? y1 : x1;
    int majorStep = major < 0 ? -1 : 1;
    int64_t majorLimit = xMajor ? m_width : m_height;
    int64_t minorLimit = xMajor ? m_height : m_width;

    int64_t first = 0;
    int64_t last = steps - 1;
    if (majorStep > 0) {
        first = std::max<int64_t>(first, -majorStart);
        last = std::min<int64_t>(last, majorLimit - 1 - majorStart);
    } else {
        first = std::max<int64_t>(first, majorStart - (majorLimit - 1));
        last = std::min<int64_t>(last, majorStart);
    }
    uint32_t word = kOpaque | (colour & 0xFFFFFFu);
    int64_t absMinor = minor < 0 ? -minor : minor;
    for (int64_t k = first; k <= last; ++k) {
        // Rounds k * |minor| / steps half up, then applies the direction.
        int64_t offset = (2 * k * absMinor + steps) / (2 * steps);
        int64_t m = minorStart + (minor < 0 ? -offset : offset);
        if (m < 0 || m >= minorLimit)
            continue;
        int64_t a = majorStart + k * majorStep;
        int px = static_cast<int>(xMajor ? a : m);
        int py = static_cast<int>(xMajor ? m : a);
        reinterpret_cast<uint32_t*>(m_surface.scanLine(py))[px] = word;
    }
}

void Canvas::drawEllipse(int x, int y, int w, int h, uint32_t colour) {
    if (!valid() || w <= 0 || h <= 0 || !withinReach(x) || !withinReach(y) || !withinReach(w)
        || !withinReach(h))
        return;
    SurfacePainter painter(m_surface);
    painter.setPen(QPen(toColor(colour), 0));
    painter.setBrush(toColor(colour));
    // An outlined QRect shape covers one pixel more than its size.
    painter.drawEllipse(QRect(x, y, w - 1, h - 1));
}

void Canvas::drawPolygon(std::span<const CanvasPoint> points, uint32_t colour) {
    if (!valid() || points.empty())
        return;
    QPolygon polygon;
    polygon.reserve(static_cast<qsizetype>(points.size()));
    for (const CanvasPoint& point : points) {
        if (!withinReach(point.x) || !withinReach(point.y))
            return;
        polygon.append(QPoint(point.x, point.y));
    }
    SurfacePainter painter(m_surface);
    painter.setPen(QPen(toColor(colour), 0));
    painter.setBrush(toColor(colour));
    painter.drawPolygon(polygon);
}

void Canvas::selectFont(const Font* font) {
    if (font && font != m_font)
        m_font = font;
}

void Canvas::drawText(int x, int y, int w, int h, std::string_view text, uint32_t colour) {
    QRect area;
    if (!valid() || w <= 0 || h <= 0 || text.empty() || !QGuiApplication::instance()
        || !clipToSurface(x, y, w, h, m_width, m_height, area) || !withinReach(x) || !withinReach(y))
        return;
    const QFont* font = fontFor(m_font);
    if (!font)
        return;
    SurfacePainter painter(m_surface);
    painter.setFont(*font);
    painter.setPen(toColor(colour));
    painter.setClipRect(area);
    QFontMetrics metrics(*font);
    int lineY = y;
    for (const QString& line : splitLines(text)) {
        if (int64_t(lineY) >= int64_t(y) + h)
            break;
        painter.drawText(QPoint(x, lineY + metrics.ascent()), line);
        lineY += metrics.height();
    }
}

void Canvas::textExtent(std::string_view text, int* width, int* height) const {
    int widest = 0;
    int total = 0;
    const QFont* font = QGuiApplication::instance() ? fontFor(m_font) : nullptr;
    if (font) {
        QFontMetrics metrics(*font);
        std::vector<QString> lines = splitLines(text);
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        total = metrics.height() * static_cast<int>(lines.size());
    }
    if (width)
        *width = widest;
    if (height)
        *height = total;
}

void Canvas::copyFrom(int x, int y, const Canvas& source, int sx, int sy, int w, int h) {
    stretchFrom(x, y, w, h, source, sx, sy, w, h);
}

void Canvas::stretchFrom(int x, int y, int w, int h, const Canvas& source, int sx, int sy, int sw, int sh) {
    if (!valid() || !source.valid())
        return;
    const QImage* from = &source.m_surface;
    QImage snapshot;
    if (&source == this) {
        // Overlapping copies within one canvas read the picture as it was.
        snapshot = m_surface.copy();
        from = &snapshot;
    }
    auto words = reinterpret_cast<const uint32_t*>(from->constBits());
    size_t stride = static_cast<size_t>(from->bytesPerLine()) / 4;
    stretchWords(m_surface, x, y, w, h, words, from->width(), from->height(), stride, sx, sy, sw, sh,
                 [](uint32_t) { return true; });
}

void Canvas::drawImage(int x, int y, int w, int h, const ImageBuffer& image) {
    if (!valid() || image.width <= 0 || image.height <= 0
        || image.pixelCount() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        return;
    if (image.hasAlpha) {
        stretchWords(m_surface, x, y, w, h, image.data(), image.width, image.height,
                     static_cast<size_t>(image.width), 0, 0, image.width, image.height,
                     [](uint32_t word) { return isSetPixel(word); });
    } else {
        stretchWords(m_surface, x, y, w, h, image.data(), image.width, image.height,
                     static_cast<size_t>(image.width), 0, 0, image.width, image.height,
                     [](uint32_t) { return true; });
    }
}

ImagePtr Canvas::toImage() const {
    auto image = std::make_unique<ImageBuffer>(m_width, m_height);
    for (int y = 0; y < m_height; ++y) {
        auto* src = reinterpret_cast<const uint32_t*>(m_surface.constScanLine(y));
        std::copy(src, src + m_width, image->row(y));
    }
    image->hasAlpha = 0;
    return image;
}

}  // namespace veltro
