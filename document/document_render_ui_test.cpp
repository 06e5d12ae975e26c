// Rendering a document: the white ground, object order, movie frames chosen
// by the document frame and step, images, placeholders and visibility.
#include <gtest/gtest.h>

#include "document/document.h"
#include "document/document_test_support.h"
#include "document/image_object.h"
#include "document/movie_object.h"
#include "services/canvas.h"
#include "services/font.h"

namespace veltro {
namespace {

using testing_support::TempDir;
using testing_support::testFrameColor;

class DocumentRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::testApplication());
        testing_support::registerTestFormats();
        testing_support::installTestResources(dir);
    }

    MovieObject* addMovie(Document& document, int frames, int x, int y, int w, int h, int start, int step = 0) {
        auto movie = std::make_unique<MovieObject>(document);
        movie->setRect(x, y, w, h);
        movie->ranges.push_back({start, start});
        movie->step = step;
        movie->attachMovie(
            document.movieCache.find(dir.write("clip" + std::to_string(counter++) + ".tmov",
                                               std::to_string(frames) + " 4 4")));
        MovieObject* raw = movie.get();
        document.insertObject(std::move(movie));
        return raw;
    }

    uint32_t pixel(Document& document, int x, int y) {
        ImagePtr image = document.canvas().toImage();
        return image->at(x, y) & 0xFFFFFF;
    }

    TempDir dir;
    int counter = 0;
};

TEST_F(DocumentRenderTest, MovieObjectsShowTheFrameOfTheDocumentFrame) {
    Document document(40, 30);
    MovieObject* movie = addMovie(document, 20, 5, 5, 10, 10, 3, 1);
    // 20 source frames shown every second one: document frames 3 .. 12.
    ASSERT_EQ(movie->ranges[0].end, 12);
    document.currentFrame = 7;
    document.render();
    EXPECT_EQ(pixel(document, 5, 5), testFrameColor(8) & 0xFFFFFF);
    EXPECT_EQ(pixel(document, 14, 14), testFrameColor(8) & 0xFFFFFF);
    EXPECT_EQ(pixel(document, 15, 15), 0xFFFFFFu);
    EXPECT_EQ(pixel(document, 4, 5), 0xFFFFFFu);

    document.currentFrame = 2;  // before the range: not drawn
    document.render();
    EXPECT_EQ(pixel(document, 5, 5), 0xFFFFFFu);

    // A range lengthened beyond the clip shows its last frame.
    movie->ranges[0].end = 30;
    document.currentFrame = 30;
    document.render();
    EXPECT_EQ(pixel(document, 6, 6), testFrameColor(19) & 0xFFFFFF);

    movie->exported = 0;
    document.currentFrame = 4;
    document.render();
    EXPECT_EQ(pixel(document, 6, 6), 0xFFFFFFu);
}

TEST_F(DocumentRenderTest, TheFrontObjectIsDrawnLast) {
    Document document(40, 30);
    addMovie(document, 5, 0, 0, 20, 20, 0);  // ends up behind
    MovieObject* front = addMovie(document, 9, 10, 10, 20, 20, 0);
    ASSERT_EQ(document.indexOf(front), 0);
    document.currentFrame = 4;
    document.render();
    EXPECT_EQ(pixel(document, 5, 5), testFrameColor(4) & 0xFFFFFF);
    EXPECT_EQ(pixel(document, 15, 15), testFrameColor(4) & 0xFFFFFF);
    // Same frame index in both: tell them apart by moving the front one's
    // start so it shows frame 2.
    front->ranges[0].start = 2;
    document.render();
    EXPECT_EQ(pixel(document, 15, 15), testFrameColor(2) & 0xFFFFFF);
    EXPECT_EQ(pixel(document, 5, 5), testFrameColor(4) & 0xFFFFFF);
}

TEST_F(DocumentRenderTest, ImagesAndPlaceholders) {
    Document document(60, 40);
    auto image = std::make_unique<ImageObject>(document);
    image->attachImage(document.imageCache.find(dir.write("p.timg", "2 2 336699")));
    image->setPosition(1, 1);
    image->setSize(4, 4);  // scaled from 2 x 2
    image->ranges.push_back({0, 0});
    document.insertObject(std::move(image));
    auto empty = std::make_unique<MovieObject>(document);
    empty->setRect(10, 5, 45, 30);
    empty->ranges.push_back({0, 0});
    document.insertObject(std::move(empty));

    document.render();
    EXPECT_EQ(pixel(document, 1, 1), 0x336699u);
    EXPECT_EQ(pixel(document, 4, 4), 0x336699u);
    EXPECT_EQ(pixel(document, 5, 5), 0xFFFFFFu);
    // The movie without its movie: a white box outlined in black, a word in it.
    EXPECT_EQ(pixel(document, 10, 5), 0u);
    EXPECT_EQ(pixel(document, 54, 34), 0u);
    EXPECT_EQ(pixel(document, 11, 6), 0xFFFFFFu);
    ImagePtr picture = document.canvas().toImage();
    int dark = 0;
    for (int y = 7; y < 33; ++y)
        for (int x = 12; x < 53; ++x)
            dark += (picture->at(x, y) & 0xFFFFFF) != 0xFFFFFF;
    EXPECT_GT(dark, 5) << "the word \"video\" is drawn inside";
}

// An object that animates at even frames.
class EvenAnimator : public ImageObject {
public:
    using ImageObject::ImageObject;
    bool animatesAt(int frame) const override { return frame % 2 == 0; }
};

TEST_F(DocumentRenderTest, AnimatingFollowsTheObjects) {
    Document document(10, 10);
    document.insertObject(std::make_unique<EvenAnimator>(document));
    document.insertObject(std::make_unique<ImageObject>(document));
    document.currentFrame = 2;
    document.render();
    EXPECT_TRUE(document.animating);
    document.currentFrame = 3;
    document.render();
    EXPECT_FALSE(document.animating);
}

TEST_F(DocumentRenderTest, TimelineBarsAreClippedToTheRow) {
    Document document(10, 10);
    Canvas row(300, 20);
    TimelineRow place{&row, 10, 2.0, 5, 8, 300};
    ImageObject image(document);
    image.ranges = {{5, 20}, {100, 200}};  // the first starts before the row, the second runs past it
    image.drawTimelineRow(place);
    ImagePtr pixels = row.toImage();
    auto at = [&](int x, int y) { return pixels->at(x, y) & 0xFFFFFF; };
    // Range 1: x = 140 + 2 * (5 - 10) -> clipped to 140, up to 140 + 2 * 11 = 162.
    EXPECT_EQ(at(141, 8), 0x00FF00u);
    EXPECT_EQ(at(140, 8), 0x00FF00u) << "no left edge where the bar was clipped";
    EXPECT_EQ(at(161, 8), 0u) << "the right edge is outlined";
    EXPECT_EQ(at(150, 5), 0u);
    EXPECT_EQ(at(150, 12), 0u);
    EXPECT_EQ(at(162, 8), 0xFFFFFFu);
    EXPECT_EQ(at(139, 8), 0xFFFFFFu);
    // Range 2 starts at 140 + 180 = 320, beyond the clip limit 280: no bar.
    for (int x = 163; x < 300; ++x)
        ASSERT_EQ(at(x, 8), 0xFFFFFFu) << x;

    MovieObject movie(document);
    movie.ranges = {{12, 14}, {20, 30}};
    movie.flagL = 1;
    Canvas second(300, 20);
    place.canvas = &second;
    movie.drawTimelineRow(place);
    pixels = second.toImage();
    EXPECT_EQ(at(144, 8), 0u) << "an unclipped left edge is outlined";
    EXPECT_EQ(at(146, 8), 0xE0C0C0u);
    EXPECT_EQ(at(170, 8), 0xFFFFFFu) << "movie objects show their first range only";
}

}  // namespace
}  // namespace veltro
