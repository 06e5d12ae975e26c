// The cursor table on Qt: two drawn arrows, Qt's standard shapes for the
// rest, and monochrome cursors made from images.
#include "ui/cursors.h"

#include <QBitmap>
#include <QCursor>
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <vector>

namespace veltro {

namespace {

// Size of an image cursor (the usual system cursor size).
constexpr int kImageCursorSize = 32;

// A monochrome picture whose set bits (index 1) are the bitmap's colour1.
QImage monoImage(int width, int height) {
    QImage image(width, height, QImage::Format_Mono);
    image.setColorCount(2);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    image.fill(0);
    return image;
}

// Body of the built-in arrow cursor pointing right: a shaft and a head
// whose tip is at (14, 7).
bool arrowBody(int x, int y) {
    if (y >= 6 && y <= 8 && x >= 2 && x <= 8)
        return true;
    int spread = 4 - std::abs(y - 7);
    return spread >= 0 && x >= 9 && x <= 9 + spread;
}

// A 16x16 arrow, black with a white outline, mirrored for the left arrow.
QCursor arrowCursor(bool pointsRight) {
    QImage bits = monoImage(16, 16);
    QImage mask = monoImage(16, 16);
    auto body = [&](int x, int y) {
        if (x < 0 || y < 0 || x > 15 || y > 15)
            return false;
        return arrowBody(pointsRight ? x : 15 - x, y);
    };
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            bool black = body(x, y);
            bool outline = false;
            for (int dy = -1; dy <= 1 && !black && !outline; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    outline = outline || body(x + dx, y + dy);
            bits.setPixel(x, y, black ? 1 : 0);
            mask.setPixel(x, y, (black || outline) ? 1 : 0);
        }
    }
    return QCursor(QBitmap::fromImage(bits), QBitmap::fromImage(mask), 7, 7);
}

// The cursor table: built on first use (it needs the application object) and
// kept for the run.
std::vector<QCursor>& cursorTable() {
    static std::vector<QCursor> table;
    if (table.empty()) {
        table.reserve(kBuiltinCursorCount + 10);
        table.push_back(arrowCursor(true));
        table.push_back(arrowCursor(false));
        table.emplace_back(Qt::BlankCursor);
        table.emplace_back(Qt::BlankCursor);
        table.emplace_back(Qt::WaitCursor);
        table.emplace_back(Qt::BlankCursor);
        table.emplace_back(Qt::BlankCursor);
        table.emplace_back(Qt::CrossCursor);
        table.emplace_back(Qt::ArrowCursor);
        table.emplace_back(Qt::PointingHandCursor);
        table.emplace_back(Qt::IBeamCursor);
        table.emplace_back(Qt::SizeAllCursor);
        table.emplace_back(Qt::SizeHorCursor);
        table.emplace_back(Qt::SizeVerCursor);
        table.emplace_back(Qt::SizeBDiagCursor);
        table.emplace_back(Qt::SizeFDiagCursor);
        table.emplace_back(Qt::ForbiddenCursor);
    }
    return table;
}

}  // namespace

int addImageCursor(const ImageBuffer& image, int hotX, int hotY) {
    QImage bits = monoImage(kImageCursorSize, kImageCursorSize);
    QImage mask = monoImage(kImageCursorSize, kImageCursorSize);
    int width = std::min(image.width, kImageCursorSize);
    int height = std::min(image.height, kImageCursorSize);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = image.at(x, y);
            if (!isSetPixel(pixel))
                continue;
            mask.setPixel(x, y, 1);
            bits.setPixel(x, y, (pixel & 0xFFFFFF) == 0 ? 1 : 0);
        }
    }
    std::vector<QCursor>& table = cursorTable();
    table.emplace_back(QBitmap::fromImage(bits), QBitmap::fromImage(mask), hotX, hotY);
    return static_cast<int>(table.size()) - 1;
}

int cursorCount() { return static_cast<int>(cursorTable().size()); }

QCursor cursorShape(int index) {
    std::vector<QCursor>& table = cursorTable();
    if (index >= 0 && index < static_cast<int>(table.size()))
        return table[index];
    return QCursor(Qt::BlankCursor);
}

}  // namespace veltro
