// The first-run sample clip: written as an AVI that the program's own AVI
// reader opens, with the pictures that were drawn, and a ball that moves.
#include "app/shell/sample_clip.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/base/app_test_support.h"
#include "image/file_utils.h"
#include "movie/avi_movie.h"
#include "movie/movie_format.h"
#include "movie/standard_movie_formats.h"

namespace veltro {
namespace {

// Mean absolute difference per channel between two pictures of one size.
double meanDifference(const ImageBuffer& a, const ImageBuffer& b) {
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        for (int shift : {0, 8, 16})
            sum += std::abs(int((a.pixels[i] >> shift) & 0xFF) - int((b.pixels[i] >> shift) & 0xFF));
    return sum / (a.pixels.size() * 3.0);
}

TEST(SampleClip, TheAviReaderOpensItWithTheDrawnPictures) {
    registerStandardMovieFormats();
    testing::ScratchDir dir;
    std::string path = dir.path + "/" + kSampleFileName;
    std::string error;
    ASSERT_TRUE(writeSampleClip(path, &error)) << error;

    const MovieFormat* format = nullptr;
    MovieReaderPtr reader = openMovie(path, &format);
    ASSERT_TRUE(reader);
    EXPECT_NE(dynamic_cast<const AviMovieFormat*>(format), nullptr) << "the AVI reader gets the first try";
    EXPECT_EQ(reader->frameCount, kSampleFrameCount);
    EXPECT_NEAR(reader->frameRate, kSampleFramesPerSecond, 0.01);

    for (int n : {0, kSampleFrameCount / 2, kSampleFrameCount - 1}) {
        const ImageBuffer* frame = reader->frameAt(n);
        ASSERT_TRUE(frame) << n;
        ASSERT_EQ(frame->width, kSampleWidth);
        ASSERT_EQ(frame->height, kSampleHeight);
        ImageBuffer drawn = sampleFrame(n);
        EXPECT_LT(meanDifference(*frame, drawn), 6.0) << "frame " << n << " is the drawn picture";
    }
}

TEST(SampleClip, TheBallRollsFromLeftToRight) {
    ImageBuffer first = sampleFrame(0);
    ImageBuffer last = sampleFrame(kSampleFrameCount - 1);
    // The ball's red: find its mean column in a frame.
    auto ballColumn = [](const ImageBuffer& frame) {
        long sum = 0, count = 0;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x) {
                uint32_t p = frame.pixels[size_t(y) * frame.width + x];
                int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF;
                if (r > 120 && g < 60) {
                    sum += x;
                    ++count;
                }
            }
        return count ? double(sum) / count : -1.0;
    };
    double start = ballColumn(first), end = ballColumn(last);
    ASSERT_GT(start, 0);
    EXPECT_LT(start, 80);
    EXPECT_GT(end, kSampleWidth - 80);
    EXPECT_GT(meanDifference(first, sampleFrame(1)), 0.0);
}

TEST(SampleClip, AnUnwritablePathIsReported) {
    std::string error;
    EXPECT_FALSE(writeSampleClip("/nonexistent/folder/clip.avi", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace veltro
