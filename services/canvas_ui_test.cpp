// Canvas and font cache: pixel checks of every primitive against expectations
// computed here from the geometry, the two-state image rule, text clipping
// and line breaks, and the font cache's identity rules.
#include "services/canvas.h"
#include "services/desktop.h"

#include <QFontInfo>
#include <QGuiApplication>

#include <cmath>
#include <set>
#include <utility>

#include <gtest/gtest.h>

#include "image/file_utils.h"
#include "services/font.h"

namespace veltro {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;

uint32_t pixel(const Canvas& canvas, int x, int y) { return canvas.surface().pixel(x, y); }

// Every position whose pixel is not white.
std::set<std::pair<int, int>> ink(const Canvas& canvas) {
    std::set<std::pair<int, int>> touched;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            if (pixel(canvas, x, y) != kWhite)
                touched.insert({x, y});
    return touched;
}

// The bounding box of the ink: left, top, right, bottom (inclusive); all -1 when none.
struct Box {
    int left = -1, top = -1, right = -1, bottom = -1;
};
Box inkBox(const Canvas& canvas) {
    Box box;
    for (auto [x, y] : ink(canvas)) {
        if (box.left < 0 || x < box.left) box.left = x;
        if (box.right < 0 || x > box.right) box.right = x;
        if (box.top < 0 || y < box.top) box.top = y;
        if (box.bottom < 0 || y > box.bottom) box.bottom = y;
    }
    return box;
}

TEST(Canvas, StartsWhiteAndConvertsToAnOpaqueImage) {
    Canvas canvas(7, 5);
    ASSERT_TRUE(canvas.valid());
    canvas.fillRect(2, 1, 1, 1, 0x123456);
    ImagePtr image = canvas.toImage();
    ASSERT_EQ(image->width, 7);
    ASSERT_EQ(image->height, 5);
    EXPECT_EQ(image->hasAlpha, 0);
    EXPECT_EQ(image->at(2, 1), 0xFF123456u);
    EXPECT_EQ(image->at(0, 0), kWhite);
    EXPECT_EQ(image->at(6, 4), kWhite);

    Canvas none(0, 10);
    EXPECT_FALSE(none.valid());
    none.fillRect(0, 0, 5, 5, 0);
    none.drawLine(0, 0, 5, 5, 0);
    EXPECT_TRUE(none.toImage()->empty());
    EXPECT_FALSE(Canvas(kMaxImageDimension + 1, 1).valid());
}

TEST(Canvas, RectanglesCoverExactlyTheirPixels) {
    Canvas canvas(20, 12);
    canvas.fillRect(3, 2, 5, 4, 0xFF0000);
    std::set<std::pair<int, int>> expected;
    for (int y = 2; y < 6; ++y)
        for (int x = 3; x < 8; ++x)
            expected.insert({x, y});
    EXPECT_EQ(ink(canvas), expected);
    EXPECT_EQ(pixel(canvas, 3, 2), 0xFFFF0000u);

    // Clipped at the edges; empty and inverted sizes and far-off rectangles draw nothing.
    Canvas edge(10, 10);
    edge.fillRect(-5, 8, 100, 100, 0x00FF00);
    EXPECT_EQ(ink(edge).size(), 20u);
    edge.fillRect(2, 2, 0, 5, 0);
    edge.fillRect(2, 2, -3, 5, 0);
    edge.fillRect(2147483000, 2147483000, 2147483000, 2, 0);
    edge.fillRect(-2147483647, 0, 2147483647, 1, 0);
    EXPECT_EQ(ink(edge).size(), 20u);

    Canvas frame(12, 10);
    frame.frameRect(2, 1, 6, 4, 0x0000FF);
    std::set<std::pair<int, int>> outline;
    for (int x = 2; x < 8; ++x) {
        outline.insert({x, 1});
        outline.insert({x, 4});
    }
    for (int y = 1; y < 5; ++y) {
        outline.insert({2, y});
        outline.insert({7, y});
    }
    EXPECT_EQ(ink(frame), outline);

    Canvas face(4, 4);
    face.fillButtonFace(0, 0, 4, 4);
    EXPECT_EQ(pixel(face, 3, 3), 0xFF000000u | buttonFaceColour());
}

// Checks a line drawn from (x1, y1) to (x2, y2): exactly one pixel per step
// along the longer axis, the start included, the end left out, and every
// pixel within half a pixel of the ideal line.
void expectLine(int x1, int y1, int x2, int y2) {
    SCOPED_TRACE(::testing::Message() << x1 << "," << y1 << " -> " << x2 << "," << y2);
    Canvas canvas(40, 40);
    canvas.drawLine(x1, y1, x2, y2, 0);
    auto drawn = ink(canvas);
    int steps = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
    EXPECT_EQ(static_cast<int>(drawn.size()), steps);
    if (steps > 0) {
        EXPECT_TRUE(drawn.count({x1, y1}));
        EXPECT_FALSE(drawn.count({x2, y2}));
    }
    bool xMajor = std::abs(x2 - x1) >= std::abs(y2 - y1);
    std::set<int> majors;
    for (auto [x, y] : drawn) {
        majors.insert(xMajor ? x : y);
        double t = xMajor ? double(x - x1) / (x2 - x1) : double(y - y1) / (y2 - y1);
        EXPECT_GE(t, 0.0);
        EXPECT_LT(t, 1.0);
        double ideal = xMajor ? y1 + t * (y2 - y1) : x1 + t * (x2 - x1);
        EXPECT_LE(std::abs((xMajor ? y : x) - ideal), 0.5 + 1e-9);
    }
    EXPECT_EQ(static_cast<int>(majors.size()), steps);
}

TEST(Canvas, LinesLeaveOutTheirEndPointInEitherDirection) {
    expectLine(1, 1, 10, 1);
    expectLine(10, 1, 1, 1);
    expectLine(5, 30, 5, 2);
    expectLine(1, 1, 10, 4);
    expectLine(10, 4, 1, 1);
    expectLine(20, 3, 3, 20);
    expectLine(2, 35, 9, 1);
    expectLine(7, 7, 7, 7);
}

TEST(Canvas, LinesReachingFarOffTheCanvasDrawOnlyTheirVisiblePart) {
    Canvas canvas(50, 30);
    canvas.drawLine(-1000000, -500000, 1000000, 500000, 0);
    auto drawn = ink(canvas);
    // Through the origin with slope 1/2: one pixel in each column up to x = 49.
    EXPECT_EQ(drawn.size(), 50u);
    for (auto [x, y] : drawn)
        EXPECT_LE(std::abs(y - x / 2.0), 0.5);
    canvas.drawLine(-2147483647, -2147483647, -2147483647, 2147483647, 0);
    EXPECT_EQ(ink(canvas).size(), 50u);
}

TEST(Canvas, EllipsesFillTheirBoundingBox) {
    Canvas canvas(40, 30);
    const int x = 5, y = 4, w = 21, h = 13;
    canvas.drawEllipse(x, y, w, h, 0x00AA00);
    Box box = inkBox(canvas);
    EXPECT_EQ(box.left, x);
    EXPECT_EQ(box.right, x + w - 1);
    EXPECT_EQ(box.top, y);
    EXPECT_EQ(box.bottom, y + h - 1);
    double cx = x + w / 2.0, cy = y + h / 2.0;
    for (int py = 0; py < canvas.height(); ++py) {
        for (int px = 0; px < canvas.width(); ++px) {
            double nx = (px + 0.5 - cx) / (w / 2.0), ny = (py + 0.5 - cy) / (h / 2.0);
            double r = std::sqrt(nx * nx + ny * ny);
            if (r < 0.8) {
                EXPECT_EQ(pixel(canvas, px, py), 0xFF00AA00u) << px << "," << py;
            }
            if (r > 1.2) {
                EXPECT_EQ(pixel(canvas, px, py), kWhite) << px << "," << py;
            }
        }
    }
    // The corners of the box stay untouched.
    EXPECT_EQ(pixel(canvas, x, y), kWhite);
    EXPECT_EQ(pixel(canvas, x + w - 1, y + h - 1), kWhite);
}

TEST(Canvas, PolygonsAreFilledAndOutlinedThroughTheirCorners) {
    Canvas canvas(30, 30);
    std::vector<CanvasPoint> corners = {{2, 2}, {25, 4}, {8, 26}};
    canvas.drawPolygon(corners, 0x0000FF);
    for (auto c : corners)
        EXPECT_EQ(pixel(canvas, c.x, c.y), 0xFF0000FFu);
    EXPECT_EQ(pixel(canvas, 11, 10), 0xFF0000FFu);  // inside
    EXPECT_EQ(pixel(canvas, 25, 25), kWhite);       // outside the triangle
    Box box = inkBox(canvas);
    EXPECT_EQ(box.left, 2);
    EXPECT_EQ(box.right, 25);
    EXPECT_EQ(box.top, 2);
    EXPECT_EQ(box.bottom, 26);
    // Every pixel is either untouched or exactly the colour (no blending).
    for (auto [px, py] : ink(canvas))
        EXPECT_EQ(pixel(canvas, px, py), 0xFF0000FFu);

    Canvas nothing(10, 10);
    nothing.drawPolygon({}, 0);
    nothing.drawPolygon(std::vector<CanvasPoint>{{0, 0}, {1 << 30, 0}, {0, 5}}, 0);
    EXPECT_TRUE(ink(nothing).empty());
}

TEST(Canvas, CopiesAndStretchesPickNearestPixels) {
    Canvas source(4, 2);
    uint32_t colours[2][4] = {{0x110000, 0x220000, 0x330000, 0x440000}, {0x001100, 0x002200, 0x003300, 0x004400}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            source.fillRect(x, y, 1, 1, colours[y][x]);

    Canvas target(20, 10);
    target.copyFrom(1, 1, source, 1, 0, 3, 2);
    EXPECT_EQ(pixel(target, 1, 1), 0xFF220000u);
    EXPECT_EQ(pixel(target, 3, 2), 0xFF004400u);
    EXPECT_EQ(ink(target).size(), 6u);

    Canvas doubled(20, 10);
    doubled.stretchFrom(2, 2, 8, 4, source, 0, 0, 4, 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(pixel(doubled, 2 + x, 2 + y), 0xFF000000u | colours[y / 2][x / 2]);
    EXPECT_EQ(ink(doubled).size(), 32u);

    // Overlapping copy within one canvas reads the picture as it was.
    Canvas strip(6, 1);
    for (int x = 0; x < 6; ++x)
        strip.fillRect(x, 0, 1, 1, static_cast<uint32_t>(x + 1));
    strip.copyFrom(1, 0, strip, 0, 0, 5, 1);
    for (int x = 1; x < 6; ++x)
        EXPECT_EQ(pixel(strip, x, 0), 0xFF000000u | static_cast<uint32_t>(x));
}

TEST(Canvas, ImagesFollowTheTwoStateAlphaRule) {
    ImageBuffer image(2, 2);
    image.at(0, 0) = 0x00FF0000;  // alpha 0
    image.at(1, 0) = 0x0100FF00;  // alpha 1
    image.at(0, 1) = 0x800000FF;
    image.at(1, 1) = 0xFF123456;

    Canvas plain(10, 10);
    plain.drawImage(0, 0, 2, 2, image);  // hasAlpha off: every pixel drawn, opaque
    EXPECT_EQ(pixel(plain, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(pixel(plain, 1, 0), 0xFF00FF00u);

    image.hasAlpha = 1;
    Canvas masked(10, 10);
    masked.fillRect(0, 0, 10, 10, 0x777777);
    masked.drawImage(2, 2, 4, 4, image);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(pixel(masked, 2 + x, 2 + y), 0xFF777777u);  // transparent kept
    EXPECT_EQ(pixel(masked, 4, 2), 0xFF00FF00u);  // alpha 1 drawn fully opaque
    EXPECT_EQ(pixel(masked, 5, 3), 0xFF00FF00u);
    EXPECT_EQ(pixel(masked, 2, 5), 0xFF0000FFu);
    EXPECT_EQ(pixel(masked, 5, 5), 0xFF123456u);
    EXPECT_EQ(pixel(masked, 6, 6), 0xFF777777u);

    ImageBuffer clear(3, 3);
    for (auto& p : clear.pixels)
        p = 0x00ABCDEF;
    clear.hasAlpha = 1;
    Canvas untouched(8, 8);
    untouched.drawImage(0, 0, 8, 8, clear);
    EXPECT_TRUE(ink(untouched).empty());

    // Shrinking, clipping and degenerate rectangles.
    ImageBuffer big(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            big.at(x, y) = 0xFF000000u | static_cast<uint32_t>(y * 8 + x);
    Canvas small(4, 4);
    small.drawImage(-2, -2, 4, 4, big);
    EXPECT_EQ(pixel(small, 0, 0), 0xFF000000u | (4 * 8 + 4));
    EXPECT_EQ(pixel(small, 1, 1), 0xFF000000u | (6 * 8 + 6));
    EXPECT_EQ(ink(small).size(), 4u);
    small.drawImage(0, 0, 0, 4, big);
    small.drawImage(0, 0, 4, 4, ImageBuffer());
    EXPECT_EQ(ink(small).size(), 4u);
}

class CanvasText : public ::testing::Test {
protected:
    void SetUp() override { setUserLanguageJapanese(false); }
    void TearDown() override { setUserLanguageJapanese(std::nullopt); }
};

TEST_F(CanvasText, AmpersandIsDrawnAndTextIsExact) {
    Canvas canvas(200, 40);
    canvas.selectFont(Font::defaultFont());
    int plainWidth = 0, ampWidth = 0, lineHeight = 0;
    canvas.textExtent("AB", &plainWidth, &lineHeight);
    canvas.textExtent("A&B", &ampWidth, nullptr);
    EXPECT_GT(ampWidth, plainWidth);
    EXPECT_GE(lineHeight, 16);

    canvas.drawText(0, 0, 200, 40, "A&B", 0x000000);
    Box amp = inkBox(canvas);
    Canvas other(200, 40);
    other.selectFont(Font::defaultFont());
    other.drawText(0, 0, 200, 40, "AB", 0x000000);
    Box plain = inkBox(other);
    EXPECT_GT(amp.right, plain.right + 3);
    EXPECT_LE(amp.right, ampWidth);
    // Without antialiasing every text pixel has exactly the text colour.
    for (auto [x, y] : ink(canvas))
        EXPECT_EQ(pixel(canvas, x, y), 0xFF000000u);
}

TEST_F(CanvasText, ClipsToItsRectangleAndBreaksOnlyAtLineEnds) {
    Canvas canvas(300, 100);
    canvas.selectFont(Font::defaultFont());
    canvas.drawText(10, 10, 30, 12, "Wide text that goes on", 0xFF0000);
    Box clipped = inkBox(canvas);
    EXPECT_GE(clipped.left, 10);
    EXPECT_LE(clipped.right, 39);
    EXPECT_GE(clipped.top, 10);
    EXPECT_LE(clipped.bottom, 21);

    int lineHeight = 0;
    canvas.textExtent("X", nullptr, &lineHeight);
    for (std::string text : {"First\nSecond", "First\r\nSecond", "First\rSecond"}) {
        Canvas lines(300, 100);
        lines.selectFont(Font::defaultFont());
        lines.drawText(0, 0, 300, 100, text, 0);
        Box box = inkBox(lines);
        EXPECT_GE(box.bottom, lineHeight) << text;
        EXPECT_LT(box.bottom, 2 * lineHeight) << text;
        int w = 0, h = 0;
        lines.textExtent(text, &w, &h);
        EXPECT_EQ(h, 2 * lineHeight);
        int second = 0;
        lines.textExtent("Second", &second, nullptr);
        EXPECT_EQ(w, second);
    }

    // No word wrap: a long line in a narrow, tall rectangle stays on one line.
    Canvas narrow(300, 100);
    narrow.selectFont(Font::defaultFont());
    narrow.drawText(0, 0, 60, 100, "one two three four five", 0);
    EXPECT_LT(inkBox(narrow).bottom, lineHeight);
}

TEST_F(CanvasText, FontCacheRules) {
    Font* first = Font::defaultFont();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Font::defaultFont(), first);
    EXPECT_EQ(first->face(), "Arial");
    EXPECT_EQ(first->height(), 16);
    EXPECT_EQ(first->flags(), 0);
    EXPECT_EQ(QFontInfo(first->qfont()).family(), "Liberation Sans");

    int before = Font::cachedCount();
    Font* arial12 = Font::find("Arial", 0, 12);
    Font* arial12again = Font::find("Arial", 0, 12);
    Font* bold12 = Font::find("Arial", kFontBold, 12);
    ASSERT_NE(arial12, nullptr);
    EXPECT_EQ(arial12, arial12again);
    EXPECT_NE(arial12, first);
    EXPECT_NE(bold12, arial12);
    EXPECT_EQ(bold12->key(), kFontBold | 12);
    EXPECT_TRUE(QFontInfo(bold12->qfont()).bold());
    EXPECT_EQ(Font::find("arial", 0, 12) == arial12, false);  // faces compare exactly
    EXPECT_EQ(Font::cachedCount(), before + 3);

    EXPECT_EQ(Font::find("Arial", 0, 0), nullptr);
    EXPECT_EQ(Font::find("Arial", 0, 256), nullptr);
    EXPECT_EQ(Font::find("Arial", 0, -4), nullptr);
    EXPECT_EQ(Font::cachedCount(), before + 3);

    Font* fixed = Font::find("", kFontFixedPitch, 14);
    ASSERT_NE(fixed, nullptr);
    Canvas measure(10, 10);
    measure.selectFont(fixed);
    int narrow = 0, wide = 0;
    measure.textExtent("iiii", &narrow, nullptr);
    measure.textExtent("WWWW", &wide, nullptr);
    EXPECT_EQ(narrow, wide);
    measure.selectFont(arial12);
    measure.textExtent("iiii", &narrow, nullptr);
    measure.textExtent("WWWW", &wide, nullptr);
    EXPECT_LT(narrow, wide);

    // Selecting none keeps the previous font.
    Canvas canvas(10, 10);
    canvas.selectFont(arial12);
    canvas.selectFont(nullptr);
    EXPECT_EQ(canvas.font(), arial12);
    // Text extent follows the selected font.
    int small = 0, large = 0;
    canvas.textExtent("Measure", &small, nullptr);
    canvas.selectFont(Font::find("Arial", 0, 24));
    canvas.textExtent("Measure", &large, nullptr);
    EXPECT_GT(large, small);
}

TEST_F(CanvasText, JapaneseUsersGetTheJapaneseFace) {
    setUserLanguageJapanese(true);
    Font* font = Font::defaultFont();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->face(), "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF");
    EXPECT_EQ(font->height(), 12);
    EXPECT_EQ(Font::defaultFont(), font);
    Canvas canvas(100, 30);
    canvas.selectFont(font);
    canvas.drawText(0, 0, 100, 30, "\xE6\x96\xB0\xE8\xA6\x8F", 0);  // "new" in kanji
    EXPECT_GT(ink(canvas).size(), 20u);
    int w = 0;
    canvas.textExtent("\xE6\x96\xB0\xE8\xA6\x8F", &w, nullptr);
    EXPECT_GE(w, 20);
}

}  // namespace
}  // namespace veltro

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
