// Frame stores written with adaptive keys, read back by the frame store
// reader: a panning camera and a scene cut get key frames where difference
// frames would cost more, the index stays in the usual form, and every
// position rebuilds to what the writer meant; footage where little changes
// keeps the entries it had without the option, in images with tables tuned
// for picture error and sheets ordered by colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "encode/difference_encoder.h"
#include "encode/frame_store_writer.h"
#include "encode/psnr_tables.h"
#include "encode/synthetic_clip.h"
#include "framestore/frame_store_index.h"
#include "image/file_utils.h"
#include "image/image_test_support.h"
#include "movie/frame_store_movie.h"

namespace veltro {
namespace {

using synthetic::MemoryMovieReader;
using synthetic::psnr;

const uint8_t kDqt[2] = {0xFF, 0xDB};  // the marker of a quantisation table segment

ImageBuffer crop(const ImageBuffer& image, int x0, int y0, int width, int height) {
    ImageBuffer out(width, height);
    for (int y = 0; y < height; ++y)
        std::copy(image.row(y0 + y) + x0, image.row(y0 + y) + x0 + width, out.row(y));
    return out;
}

// A wide scene with standing shapes, seen by a camera panning 6 pixels a frame.
std::vector<ImageBuffer> panningClip(int frames) {
    synthetic::ClipOptions options;
    options.width = 640;
    options.height = 320;
    options.frames = 1;
    options.shapes = 12;
    options.speed = 0;
    const ImageBuffer scene = synthetic::movingShapesClip(options).front();
    std::vector<ImageBuffer> clip;
    for (int f = 0; f < frames; ++f)
        clip.push_back(crop(scene, 6 * f, 40, 320, 240));
    return clip;
}

// Shapes moving over one background, then over a view of another scene.
std::vector<ImageBuffer> sceneCutClip(int frames, int cut) {
    synthetic::ClipOptions options;
    options.frames = frames;
    options.shapes = 3;
    options.minShapeSize = 8;
    options.maxShapeSize = 14;
    std::vector<ImageBuffer> clip = synthetic::movingShapesClip(options);
    const ImageBuffer other = synthetic::texturedBackground(560, 400);
    for (int f = cut; f < frames; ++f) {
        ImageBuffer view = crop(other, 200, 130, 320, 240);
        // Something moves in the new scene too.
        for (int y = 100; y < 140; ++y)
            for (int x = 40 + 3 * f; x < 80 + 3 * f; ++x)
                view.at(x, y) = synthetic::rgb(230, 40, 40);
        clip[size_t(f)] = std::move(view);
    }
    return clip;
}

FrameStoreSettings settingsFor(size_t positions, int quality, bool adaptive) {
    FrameStoreSettings s;
    s.flags.assign(positions, static_cast<uint8_t>(FrameFlag::Difference));
    s.flags[0] = static_cast<uint8_t>(FrameFlag::SortedKey);
    s.jpegQuality = quality;
    s.diffQuality = 75;
    s.sheetHeight = 64;
    s.adaptiveKeys = adaptive;
    return s;
}

class AdaptiveKeysTest : public ::testing::Test {
protected:
    void SetUp() override { registerStandardImageFormats(); }

    // Writes the clip into dir as v0.txt; the summary.
    FrameStoreSummary write(const std::vector<ImageBuffer>& clip, const FrameStoreSettings& s,
                            const testing::TempDir& into) {
        MemoryMovieReader reader(clip);
        FrameStoreSummary summary;
        EXPECT_TRUE(writeFrameStore(progress, into.file("v0.txt"), reader, s, &summary));
        return summary;
    }

    FrameStoreIndex index(const testing::TempDir& of) {
        FrameStoreIndex result;
        std::string error;
        EXPECT_TRUE(readFrameStoreIndex(of.file("v0.txt"), result, &error)) << error;
        return result;
    }

    // What a decoder must rebuild at every position, following the kinds the
    // index says were stored: a key entry's picture, or the picture before
    // with the changed blocks laid over it.
    static std::vector<ImageBuffer> expectedFrames(const std::vector<ImageBuffer>& clip, const FrameStoreIndex& idx,
                                                   int diffQuality) {
        std::vector<ImageBuffer> result;
        ImagePtr reference;
        for (const IndexEntry& e : idx.entries) {
            const ImageBuffer& frame = clip[size_t(e.position)];
            if (e.kind == EntryKind::Key || e.kind == EntryKind::SortedKey) {
                reference = copyImage(frame);
            } else {
                overlayChangedBlocks(*reference, frame, changedBlocks(frame, *reference, diffQuality));
            }
            result.push_back(*reference);
        }
        return result;
    }

    // Every position read back within JPEG tolerance of what it should be.
    void expectRebuilds(const std::vector<ImageBuffer>& clip, const testing::TempDir& store, double minPsnr) {
        const FrameStoreIndex idx = index(store);
        const std::vector<ImageBuffer> expected = expectedFrames(clip, idx, 75);
        FrameStoreMovieReader reader;
        ASSERT_TRUE(reader.open(store.file("v0.txt")));
        ASSERT_EQ(reader.frameCount, int(clip.size()));
        for (size_t e = 0; e < idx.entries.size(); ++e) {
            const ImageBuffer* frame = reader.frameAt(idx.entries[e].position);
            ASSERT_TRUE(frame);
            EXPECT_GE(psnr(*frame, expected[e]), minPsnr) << "position " << idx.entries[e].position;
        }
    }

    SilentProgress progress;
};

int keyEntriesAfterFirst(const FrameStoreIndex& idx) {
    return int(std::count_if(idx.entries.begin() + 1, idx.entries.end(),
                             [](const IndexEntry& e) { return e.kind == EntryKind::Key; }));
}

TEST_F(AdaptiveKeysTest, PanningCameraIsStoredAsKeyFramesThatRebuild) {
    const std::vector<ImageBuffer> clip = panningClip(12);
    testing::TempDir designed, adaptive;
    const FrameStoreSummary before = write(clip, settingsFor(clip.size(), 90, false), designed);
    const FrameStoreSummary after = write(clip, settingsFor(clip.size(), 90, true), adaptive);

    const FrameStoreIndex designedIndex = index(designed);
    const FrameStoreIndex adaptiveIndex = index(adaptive);
    EXPECT_EQ(keyEntriesAfterFirst(designedIndex), 0);
    EXPECT_EQ(before.adaptiveKeyFrames, 0);
    // Nearly every block moves: every difference frame became a key frame,
    // named as key frames are, and the store got smaller.
    EXPECT_EQ(keyEntriesAfterFirst(adaptiveIndex), 11);
    EXPECT_EQ(after.adaptiveKeyFrames, 11);
    EXPECT_EQ(adaptiveIndex.entries.size(), clip.size());
    EXPECT_EQ(adaptiveIndex.entries[0].kind, EntryKind::SortedKey);
    EXPECT_EQ(adaptiveIndex.entries[5].name, "v0n5.jpg");
    auto bytes = [](const FrameStoreSummary& s) {
        int64_t total = 0;
        for (const std::string& f : std::set<std::string>(s.files.begin(), s.files.end()))
            total += fileSize(f);
        return total;
    };
    EXPECT_LT(bytes(after), bytes(before));
    expectRebuilds(clip, adaptive, 33.0);
    expectRebuilds(clip, designed, 30.0);
}

TEST_F(AdaptiveKeysTest, SceneCutStartsAKeyFrameAndANewDifferenceSheet) {
    const std::vector<ImageBuffer> clip = sceneCutClip(16, 8);
    testing::TempDir store;
    write(clip, settingsFor(clip.size(), 90, true), store);
    const FrameStoreIndex idx = index(store);
    ASSERT_EQ(idx.entries.size(), clip.size());
    for (size_t e = 1; e < idx.entries.size(); ++e) {
        const IndexEntry& entry = idx.entries[e];
        if (e == 8) {
            EXPECT_EQ(entry.kind, EntryKind::Key);
        } else if (e == 1 || e == 9) {
            // The first difference frame after a key entry opens its own sheet.
            EXPECT_EQ(entry.kind, EntryKind::DifferenceSheet) << "entry " << e;
        } else {
            EXPECT_TRUE(entry.kind == EntryKind::Difference || entry.kind == EntryKind::DifferenceSheet)
                << "entry " << e;
        }
    }
    expectRebuilds(clip, store, 33.0);
}

TEST_F(AdaptiveKeysTest, FixedCameraKeepsItsEntriesAndItsQualityInFewerBytes) {
    synthetic::ClipOptions options;
    options.frames = 20;
    options.shapes = 3;
    options.noise = 2;
    options.minShapeSize = 6;
    options.maxShapeSize = 12;
    const std::vector<ImageBuffer> clip = synthetic::movingShapesClip(options);
    testing::TempDir designed, adaptive;
    const FrameStoreSummary off = write(clip, settingsFor(clip.size(), 75, false), designed);
    const FrameStoreSummary on = write(clip, settingsFor(clip.size(), 75, true), adaptive);
    EXPECT_EQ(on.adaptiveKeyFrames, 0);
    ASSERT_EQ(off.files.size(), on.files.size());
    ASSERT_GT(off.files.size(), 2u);
    // The same entries naming the same images, and the same sprites in the
    // block lists (in the order of their cells, which differs) ...
    const FrameStoreIndex designedIndex = index(designed), adaptiveIndex = index(adaptive);
    ASSERT_EQ(designedIndex.entries.size(), adaptiveIndex.entries.size());
    for (size_t e = 0; e < designedIndex.entries.size(); ++e) {
        EXPECT_EQ(designedIndex.entries[e].kind, adaptiveIndex.entries[e].kind);
        EXPECT_EQ(designedIndex.entries[e].position, adaptiveIndex.entries[e].position);
        EXPECT_EQ(designedIndex.entries[e].name, adaptiveIndex.entries[e].name);
    }
    std::vector<int32_t> designedBlocks = designedIndex.blocks.values(), adaptiveBlocks = adaptiveIndex.blocks.values();
    EXPECT_NE(designedBlocks, adaptiveBlocks);
    std::sort(designedBlocks.begin(), designedBlocks.end());
    std::sort(adaptiveBlocks.begin(), adaptiveBlocks.end());
    EXPECT_EQ(designedBlocks, adaptiveBlocks);
    int64_t designedBytes = 0, adaptiveBytes = 0;
    for (size_t i = 0; i + 1 < off.files.size(); ++i) {
        EXPECT_EQ(fileName(off.files[i]), fileName(on.files[i]));
        designedBytes += fileSize(off.files[i]);
        adaptiveBytes += fileSize(on.files[i]);
        // ... each carrying the tuned tables: its first table entry is the
        // tuned luminance table's, not the standard one's (8 at quality 75).
        const std::vector<uint8_t> bytes = testing::readBytes(on.files[i]);
        const auto dqt = std::search(bytes.begin(), bytes.end(), kDqt, kDqt + 2);
        ASSERT_LT(dqt + 5, bytes.end());
        EXPECT_EQ(*(dqt + 5), psnrQuantTables(75).luma[0]) << on.files[i];
    }
    EXPECT_LT(adaptiveBytes, designedBytes);
    // The clip reads back about as close to its source frames as before.
    FrameStoreMovieReader before, after;
    ASSERT_TRUE(before.open(designed.file("v0.txt")));
    ASSERT_TRUE(after.open(adaptive.file("v0.txt")));
    double designedPsnr = 0, adaptivePsnr = 0;
    for (int f = 0; f < int(clip.size()); ++f) {
        const ImageBuffer* a = before.frameAt(f);
        ASSERT_TRUE(a);
        designedPsnr += psnr(*a, clip[size_t(f)]) / double(clip.size());
        const ImageBuffer* b = after.frameAt(f);
        ASSERT_TRUE(b);
        adaptivePsnr += psnr(*b, clip[size_t(f)]) / double(clip.size());
    }
    EXPECT_NEAR(adaptivePsnr, designedPsnr, 0.75);
    expectRebuilds(clip, adaptive, 30.0);
}

}  // namespace
}  // namespace veltro
