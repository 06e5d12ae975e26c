// The tracker on real footage: a thrown red ball about 8 pixels across in a
// 320 x 240 VP9 clip (balle1-vp9.avi from Debian's python3-mecavideo), its
// centre labelled by hand at ten frames, the last after it bounced off the
// floor at the bottom edge of the picture. The clip is not part of the source:
// the test looks for it at VELTRO_REAL_CLIP (by default where the package
// installs it) or under the real-footage cache, and is skipped when it is not
// there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "image/image_format.h"
#include "movie/movie_format.h"
#include "movie/standard_movie_formats.h"
#include "services/progress.h"
#include "track/object_tracker.h"

namespace veltro {
namespace {

// x, y and frame as this program's movie reader numbers the frames (five
// more than ffmpeg's decode order: the file starts with five empty frames).
const TrackPoint kLabels[] = {{118, 64, 35},  {130, 50, 48},  {143, 46, 61},  {155, 50, 74},  {167, 67, 87},
                              {180, 90, 100}, {192, 125, 113}, {207, 173, 126}, {221, 230, 139}, {227, 211, 152}};

TEST(RealClip, FollowsAThrownBallThroughItsBounce) {
    // Where the package installs it, else where scripts/realfootage.sh
    // --fetch unpacks it (VELTRO_FOOTAGE_DIR/root).
    std::string file = std::getenv("VELTRO_REAL_CLIP") ? std::getenv("VELTRO_REAL_CLIP") : "";
    if (!file.empty() && !std::filesystem::exists(file) && std::getenv("VELTRO_FOOTAGE_DIR") != nullptr)
        file = std::string(std::getenv("VELTRO_FOOTAGE_DIR")) + "/root" + file;
    if (file.empty() || !std::filesystem::exists(file))
        GTEST_SKIP() << "skipped: the clip is not installed (apt-get install python3-mecavideo, "
                        "scripts/realfootage.sh --fetch, or set VELTRO_REAL_CLIP)";
    registerStandardImageFormats();
    registerStandardMovieFormats();
    MovieReaderPtr reader = openMovie(file);
    ASSERT_TRUE(reader) << file;
    ASSERT_GT(reader->frameCount, kLabels[9].frame);

    SilentProgress progress;
    TrackOutcome outcome;
    std::string error;
    const TrackPoint& click = kLabels[0];
    ASSERT_TRUE(trackObject([&](int f) { return reader->frameAt(f); }, reader->frameCount,
                            {click.x, click.y, 12, 12, click.frame}, click.frame, kLabels[9].frame, progress, outcome,
                            &error))
        << error;
    ASSERT_FALSE(outcome.points.empty());

    // Every labelled frame the path reaches has the ball close by: no wild
    // positions, the path rather ends.
    double sum = 0.0;
    int reached = 0;
    for (const TrackPoint& label : kLabels) {
        for (const TrackPoint& p : outcome.points) {
            if (p.frame != label.frame)
                continue;
            const double d = std::hypot(p.x - label.x, p.y - label.y);
            EXPECT_LE(d, 5.0) << "frame " << label.frame;
            sum += d;
            ++reached;
        }
    }
    ASSERT_GT(reached, 0);
    EXPECT_LE(sum / reached, 3.0);
    // It follows the ball down past the post and, through the bounce at the
    // bottom edge of the picture (the ball half out of it for a few
    // frames), up again to the last label.
    EXPECT_EQ(outcome.forwardEnd, TrackEnd::Reached) << "missed at frame " << outcome.forwardMissed;
    EXPECT_EQ(outcome.points.back().frame, kLabels[9].frame);
    EXPECT_EQ(reached, 10);
}

}  // namespace
}  // namespace veltro
