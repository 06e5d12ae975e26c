#include "movie/frame_store_movie.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "framestore/block_number_list.h"
#include "encode/difference_encoder.h"
#include "encode/frame_list_file.h"
#include "encode/frame_store_writer.h"
#include "framestore/ncrf_escaping.h"
#include "encode/synthetic_clip.h"
#include "image/image_format.h"
#include "image/image_test_support.h"
#include "image/png_format.h"

namespace veltro {
namespace {

using synthetic::MemoryMovieReader;
using synthetic::psnr;

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class FrameStoreMovieTest : public ::testing::Test {
protected:
    void SetUp() override { registerStandardImageFormats(); }

    // Opens a path with a fresh reader; none when it does not open.
    std::unique_ptr<FrameStoreMovieReader> open(const std::string& path,
                                                size_t limit = FrameStoreMovieReader::kDefaultMemoryLimit) {
        auto reader = std::make_unique<FrameStoreMovieReader>(limit);
        if (!reader->open(path))
            return nullptr;
        return reader;
    }

    std::string savePng(const std::string& name, const ImageBuffer& image) {
        PngFormat png;
        EXPECT_TRUE(png.save(dir.file(name), image));
        return dir.file(name);
    }

    // The frame the writer holds as its reference after each stored
    // position: the scaled frame for key entries, the previous reference
    // with the changed blocks laid over it for difference entries.
    std::vector<ImageBuffer> references(const std::vector<ImageBuffer>& frames, const FrameStoreSettings& s) {
        std::vector<ImageBuffer> result;
        ImagePtr reference;
        for (size_t p = 0; p < s.flags.size(); ++p) {
            const int kind = s.flags[p] & 3;
            if (kind == 0)
                continue;
            ImagePtr frame = scaleAverage(frames[p * (s.step + 1)], s.width, s.height);
            if (kind == 3 && reference) {
                overlayOpaque(*reference, *changeMask(*frame, reference.get(), s.diffQuality));
            } else {
                reference = std::move(frame);
            }
            result.push_back(*reference);
        }
        return result;
    }

    testing::TempDir dir;
    std::string indexPath = dir.file("v0.txt");
    SilentProgress progress;
};

FrameStoreSettings runSettings(int positions, int jpegQuality, int diffQuality) {
    FrameStoreSettings s;
    s.flags.assign(positions, 3);
    s.flags[0] = 2;
    s.jpegQuality = jpegQuality;
    s.diffQuality = diffQuality;
    return s;
}

TEST_F(FrameStoreMovieTest, MovingShapesRebuildWithinJpegTolerance) {
    synthetic::ClipOptions options;
    options.frames = 40;
    options.shapes = 4;
    const std::vector<ImageBuffer> frames = synthetic::movingShapesClip(options);

    // Quality 75 throughout: every position within 30 dB of the reference.
    FrameStoreSettings s = runSettings(40, 75, 75);
    MemoryMovieReader source(frames);
    ASSERT_TRUE(writeFrameStore(progress, indexPath, source, s));
    auto reader = open(indexPath);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 40);
    EXPECT_GT(reader->entryCount(), 2);
    const std::vector<ImageBuffer> expected = references(frames, s);
    for (int p = 0; p < 40; ++p) {
        const ImageBuffer* frame = reader->frameAt(p);
        ASSERT_TRUE(frame);
        EXPECT_GE(psnr(*frame, expected[p]), 30.0) << "position " << p;
    }

    // JPEG quality 100: only rounding losses remain, so a block in the wrong
    // place or from the wrong sheet would show at once.
    FrameStoreSettings fine = runSettings(40, 100, 75);
    MemoryMovieReader again(frames);
    ASSERT_TRUE(writeFrameStore(progress, indexPath, again, fine));
    reader = open(indexPath);
    ASSERT_TRUE(reader);
    const std::vector<ImageBuffer> fineExpected = references(frames, fine);
    for (int p = 0; p < 40; ++p)
        EXPECT_GE(psnr(*reader->frameAt(p), fineExpected[p]), 45.0) << "position " << p;
}

// A block-number list far longer than one piece of the writer's index
// output, and than the writer keeps in memory: every block of every frame
// changes (noise at difference quality 100). The file is the escaped whole,
// and every position still rebuilds.
TEST_F(FrameStoreMovieTest, LongBlockListsAreWrittenWhole) {
    synthetic::ClipOptions options;
    options.frames = 48;
    options.noise = 6;
    const std::vector<ImageBuffer> frames = synthetic::movingShapesClip(options);
    FrameStoreSettings s = runSettings(48, 90, 100);
    MemoryMovieReader source(frames);
    ASSERT_TRUE(writeFrameStore(progress, indexPath, source, s));

    std::ifstream in(indexPath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string text = ncrfUnescape(bytes);
    const size_t list = text.find("\nC\n");
    ASSERT_NE(list, std::string::npos);
    BlockNumberList blocks;
    ASSERT_TRUE(blocks.decode(reinterpret_cast<const uint8_t*>(text.data()) + list + 3, text.size() - list - 3));
    EXPECT_GT(blocks.size(), 100000);  // 47 frames of 1200 changed blocks, two numbers each
    EXPECT_GT(text.size() - list, size_t(65536));
    EXPECT_EQ(ncrfEscape(text), bytes);

    auto reader = open(indexPath);
    ASSERT_TRUE(reader);
    const std::vector<ImageBuffer> expected = references(frames, s);
    for (int p = 0; p < 48; ++p)
        EXPECT_GE(psnr(*reader->frameAt(p), expected[p]), 35.0) << "position " << p;
}

// Key frames cost the reader their file bytes, not their pixels: a store of
// key frames whose pictures would pass the memory limit still opens, and
// every position, read in any order, is exactly its key file decoded (or,
// for difference entries, the same frame whatever was read before).
TEST_F(FrameStoreMovieTest, KeyFramesAreKeptAsTheirFilesAndDecodedWhenShown) {
    synthetic::ClipOptions options;
    options.frames = 60;
    const std::vector<ImageBuffer> frames = synthetic::movingShapesClip(options);
    FrameStoreSettings s = runSettings(60, 75, 75);
    for (size_t p = 0; p < s.flags.size(); ++p)
        s.flags[p] = p % 3 == 0 ? 1 : 3;  // a key frame with two difference frames after it
    MemoryMovieReader source(frames);
    ASSERT_TRUE(writeFrameStore(progress, indexPath, source, s));

    // The 20 key frames decoded would fill the whole limit by themselves.
    const size_t limit = 20 * size_t(320) * 240 * 4;
    auto reader = open(indexPath, limit);
    ASSERT_TRUE(reader);
    EXPECT_LE(reader->committedBytes(), limit);

    const std::vector<ImageBuffer> expected = references(frames, s);
    std::vector<ImageBuffer> inOrder;
    for (int p = 0; p < 60; ++p) {
        const ImageBuffer* frame = reader->frameAt(p);
        ASSERT_TRUE(frame);
        inOrder.push_back(*frame);
        EXPECT_GE(psnr(*frame, expected[p]), 30.0) << "position " << p;
        if (p % 3 == 0) {
            ImagePtr key = loadImage(dir.file("v0n" + std::to_string(p) + ".jpg"));
            ASSERT_TRUE(key);
            EXPECT_EQ(frame->pixels, key->pixels) << "position " << p;
        }
    }
    // Revisits in an order that keeps pushing key frames out of the few kept
    // decoded, and back to ones just shown.
    synthetic::Random random(17);
    for (int i = 0; i < 300; ++i) {
        const int p = i % 7 == 0 ? 59 - (i % 60) : random.range(0, 59);
        const ImageBuffer* frame = reader->frameAt(p);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->pixels, inOrder[p].pixels) << "position " << p << " at step " << i;
    }
}

TEST_F(FrameStoreMovieTest, ClipWithoutMotionStaysTheKeyFrame) {
    synthetic::ClipOptions options;
    options.frames = 12;
    options.shapes = 0;
    const std::vector<ImageBuffer> frames = synthetic::movingShapesClip(options);
    FrameStoreSettings s = runSettings(12, 75, 75);
    MemoryMovieReader source(frames);
    ASSERT_TRUE(writeFrameStore(progress, indexPath, source, s));
    auto reader = open(indexPath);
    ASSERT_TRUE(reader);
    const ImageBuffer key = *reader->frameAt(0);
    EXPECT_GE(psnr(key, frames[0]), 30.0);
    for (int p = 1; p < 12; ++p)
        EXPECT_EQ(reader->frameAt(p)->pixels, key.pixels) << p;
}

TEST_F(FrameStoreMovieTest, MixedEntriesStepsAndGapsRebuildEveryStoredPosition) {
    synthetic::ClipOptions options;
    options.width = 100;  // clipped edge blocks on the right and bottom
    options.height = 60;
    options.frames = 30;
    options.shapes = 3;
    options.speed = 4;
    const std::vector<ImageBuffer> frames = synthetic::movingShapesClip(options);
    FrameStoreSettings s;
    s.width = 100;
    s.height = 60;
    s.step = 1;
    s.jpegQuality = 100;
    s.diffQuality = 90;
    s.flags = {3, 3, 0, 3, 1, 3, 3, 2, 3, 3, 0, 0, 3, 3, 3};
    s.sheetHeight = 8;  // many small sheets
    MemoryMovieReader source(frames);
    ASSERT_TRUE(writeFrameStore(progress, indexPath, source, s));
    auto reader = open(indexPath);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 15);
    const std::vector<ImageBuffer> expected = references(frames, s);
    int stored = 0;
    for (int p = 0; p < 15; ++p) {
        if (s.flags[p] == 0) {
            // A gap shows the entry stored before it.
            EXPECT_EQ(reader->frameAt(p)->pixels, ImageBuffer(*reader->frameAt(p - 1)).pixels);
            continue;
        }
        EXPECT_GE(psnr(*reader->frameAt(p), expected[stored]), 45.0) << "position " << p;
        ++stored;
    }
}

TEST_F(FrameStoreMovieTest, FrameListOpensAsOneImagePerFrame) {
    std::vector<std::string> paths;
    std::vector<ImageBuffer> images;
    for (int i = 0; i < 3; ++i) {
        ImageBuffer image = synthetic::texturedBackground(40, 30);
        image.at(i, i) = synthetic::rgb(255, 0, 0);
        images.push_back(image);
        paths.push_back(savePng("frame" + std::to_string(i) + ".png", image));
    }
    const std::string list = dir.file("vn0.txt");
    ASSERT_TRUE(saveFrameList(list, paths));
    std::string text;
    ASSERT_TRUE(readWholeFile(list, 1 << 16, text));
    EXPECT_EQ(text.substr(0, 11), "40 30 3 3\nN");
    EXPECT_EQ(text.substr(text.size() - 2), "-\n");

    auto reader = open(list);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 3);
    EXPECT_EQ(reader->frameRate, 0.0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(reader->frameAt(i)->pixels, images[i].pixels) << i;
    EXPECT_EQ(reader->frameAt(-5)->pixels, images[0].pixels);
    EXPECT_EQ(reader->frameAt(99)->pixels, images[2].pixels);

    // Relative names resolve beside the index; the closing line is ignored.
    writeText(dir.file("v1.txt"), "40 30 2 2\r\nN 0 frame2.png\r\nN 1 frame0.png\r\n-\r\n");
    reader = open(dir.file("v1.txt"));
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameAt(0)->pixels, images[2].pixels);
    EXPECT_EQ(reader->frameAt(1)->pixels, images[0].pixels);
}

TEST_F(FrameStoreMovieTest, FrameAtChoosesTheEntryAtOrBeforeTheIndex) {
    const std::string a = savePng("a.png", ImageBuffer(16, 8));
    ImageBuffer dark(16, 8);
    std::fill(dark.pixels.begin(), dark.pixels.end(), synthetic::rgb(0, 0, 0));
    savePng("b.png", dark);
    writeText(indexPath, "16 8 20 2\nN 5 a.png\nN 10 b.png\n");
    auto reader = open(indexPath);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameAt(0)->at(0, 0), 0xFFFFFFFFu);   // before the first entry
    EXPECT_EQ(reader->frameAt(9)->at(0, 0), 0xFFFFFFFFu);   // between the two
    EXPECT_EQ(reader->frameAt(10)->at(0, 0), 0xFF000000u);
    EXPECT_EQ(reader->frameAt(19)->at(0, 0), 0xFF000000u);  // beyond the last
}

TEST_F(FrameStoreMovieTest, SmallKeyImagesArePaddedAndWideOnesShrunk) {
    savePng("small.png", ImageBuffer(10, 6));
    writeText(indexPath, "16 8 1 1\nN 0 small.png\n");
    auto reader = open(indexPath);
    ASSERT_TRUE(reader);
    const ImageBuffer* frame = reader->frameAt(0);
    EXPECT_EQ(frame->width, 16);
    EXPECT_EQ(frame->height, 8);
    EXPECT_EQ(frame->at(9, 5), 0xFFFFFFFFu);
    EXPECT_EQ(frame->at(10, 0), 0u);
    EXPECT_EQ(frame->at(0, 6), 0u);

    // 1500 wide: 1500 / 2 = 750 is still too wide, so it is shrunk by 3.
    savePng("wide.png", ImageBuffer(1500, 30));
    writeText(indexPath, "500 10 1 1\nN 0 wide.png\n");
    reader = open(indexPath);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameAt(0)->at(499, 9), 0xFFFFFFFFu);
    EXPECT_EQ(reader->committedBytes(), 2 * 500 * 10 * 4u);
    // 7000 wide: not even 9 brings it to 720, so it stays as loaded.
    savePng("huge.png", ImageBuffer(7000, 2));
    writeText(indexPath, "7000 2 1 1\nN 0 huge.png\n");
    reader = open(indexPath);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->committedBytes(), 2 * 7000 * 2 * 4u);
}

TEST_F(FrameStoreMovieTest, StoresWiderThan720RebuildAtFullSize) {
    synthetic::ClipOptions options;
    options.width = 804;
    options.height = 40;
    options.frames = 6;
    options.shapes = 3;
    const std::vector<ImageBuffer> frames = synthetic::movingShapesClip(options);
    FrameStoreSettings s;
    s.width = 804;
    s.height = 40;
    s.jpegQuality = 100;
    s.flags = {1, 3, 3, 2, 3, 3};
    MemoryMovieReader source(frames);
    ASSERT_TRUE(writeFrameStore(progress, indexPath, source, s));
    auto reader = open(indexPath);
    ASSERT_TRUE(reader);
    const std::vector<ImageBuffer> expected = references(frames, s);
    for (int p = 0; p < 6; ++p)
        EXPECT_GE(psnr(*reader->frameAt(p), expected[p]), 45.0) << "position " << p;
}

TEST_F(FrameStoreMovieTest, HeaderLimits) {
    savePng("a.png", ImageBuffer(8, 8));
    writeText(indexPath, "10001 8 1 1\nN 0 a.png\n");
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, "8 10001 1 1\nN 0 a.png\n");
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, "8 8 1 10001\nN 0 a.png\n");
    EXPECT_FALSE(open(indexPath));
    // Both sides within their bound, 70 million pixels: beyond the pixel cap.
    writeText(indexPath, "10000 7000 1 1\nN 0 a.png\n");
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, " 8 8 1 1\nN 0 a.png\n");  // must begin with a digit
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, "8 8 1\nN 0 a.png\n");
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, "8 8 99999999999 1\nN 0 a.png\n");  // does not fit a frame count
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, "8 8 -1 1\nN 0 a.png\n");
    EXPECT_FALSE(open(indexPath));
    // P is bounded by the longest clip a document holds; within it the last
    // positions repeat the last entry.
    writeText(indexPath, "8 8 2000000000 1\nN 0 a.png\n");
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, "8 8 100000 1\nN 0 a.png\n");
    auto reader = open(indexPath);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameCount, 100000);
    EXPECT_TRUE(reader->frameAt(99999));
    // No entries: opens, but has no frame to give.
    writeText(indexPath, "8 8 5 0\n");
    reader = open(indexPath);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->frameAt(0), nullptr);
}

TEST_F(FrameStoreMovieTest, BrokenIndexesFailToOpen) {
    savePng("a.png", ImageBuffer(8, 8));
    writeText(indexPath, "8 8 2 2\nN 0 a.png\n");  // an entry line short
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, "8 8 1 1\nN 0 missing.png\n");
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, "8 8 1 1\nN 0\n");  // no name
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, "8 8 1 1\nX 0 a.png\n");  // unknown kind
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, "8 8 1 1\nN x a.png\n");
    EXPECT_FALSE(open(indexPath));
    writeText(indexPath, ncrfEscape(std::string("8 8 1 1\nS 0 a.png\nC\n\xFF\xFF", 22)));  // malformed list
    EXPECT_FALSE(open(indexPath));
    EXPECT_FALSE(open(dir.file("nothing.txt")));
}

TEST_F(FrameStoreMovieTest, EveryTruncationOfARealStoreFailsOrOpensCleanly) {
    synthetic::ClipOptions options;
    options.width = 48;
    options.height = 32;
    options.frames = 6;
    const std::vector<ImageBuffer> frames = synthetic::movingShapesClip(options);
    FrameStoreSettings s = runSettings(6, 75, 75);
    s.width = 48;
    s.height = 32;
    MemoryMovieReader source(frames);
    ASSERT_TRUE(writeFrameStore(progress, indexPath, source, s));
    std::string bytes;
    ASSERT_TRUE(readWholeFile(indexPath, 1 << 20, bytes));
    const std::string cut = dir.file("v9.txt");
    int opened = 0;
    for (size_t n = 0; n < bytes.size(); ++n) {
        writeText(cut, bytes.substr(0, n));
        if (auto reader = open(cut)) {
            ++opened;
            for (int p = 0; p < reader->frameCount; ++p) {
                const ImageBuffer* frame = reader->frameAt(p);
                ASSERT_TRUE(frame);
                EXPECT_EQ(frame->pixelCount(), 48u * 32u);
            }
        }
    }
    EXPECT_LT(opened, static_cast<int>(bytes.size()));
}

TEST_F(FrameStoreMovieTest, HostileBlockNumbersAndBasesStayInBounds) {
    savePng("k.png", ImageBuffer(16, 16));
    savePng("sheet.png", ImageBuffer(8, 8));
    // Pairs naming entries and blocks that do not exist, cells beyond the
    // sheet, a difference entry before any key entry, counts that run out.
    BlockNumberList list;
    for (int v : {3, 0, 999, 1, 3, 7, 0, 2, 65535, 4000, 0, 65535, 65535})
        list.push(v);
    std::string text = "16 16 4 4\nd 0\nD 1 sheet.png\nN 2 k.png\nD 3 sheet.png\nC\n";
    list.encode(text);
    writeText(indexPath, ncrfEscape(text));
    auto reader = open(indexPath);
    ASSERT_TRUE(reader);
    for (int p = 0; p < 4; ++p) {
        const ImageBuffer* frame = reader->frameAt(p);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->pixelCount(), 256u);
    }
}

TEST_F(FrameStoreMovieTest, MemoryBoundRefusesHugeStoresBeforeAllocating) {
    // 10000 x 10000 with 200 difference entries would commit 400 MB for the
    // frame and 6.25 MB of maps per entry: 1.65 GB in all.
    std::string text = "10000 10000 200 200\n";
    for (int i = 0; i < 200; ++i)
        text += "d " + std::to_string(i) + "\n";
    writeText(indexPath, text);
    EXPECT_FALSE(open(indexPath));
    // The same store within a smaller frame opens and reports its commitment.
    std::string small = "80 80 200 200\n";
    for (int i = 0; i < 200; ++i)
        small += "d " + std::to_string(i) + "\n";
    writeText(indexPath, small);
    auto reader = open(indexPath);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->committedBytes(), 80u * 80 * 4 + 200u * 100 * 4);
    EXPECT_FALSE(open(indexPath, 80 * 80 * 4 + 199 * 100 * 4));
}

TEST_F(FrameStoreMovieTest, OpensThroughTheMovieRegistry) {
    static FrameStoreMovieFormat format;
    clearMovieFormats();
    registerMovieFormat(&format);
    savePng("a.png", ImageBuffer(8, 8));
    writeText(indexPath, "8 8 1 1\nN 0 a.png\n");
    const MovieFormat* used = nullptr;
    MovieReaderPtr reader = openMovie(indexPath, &used);
    ASSERT_TRUE(reader);
    EXPECT_EQ(used, &format);
    EXPECT_EQ(reader->frameCount, 1);
    EXPECT_STREQ(format.description(), "VELTRO Video (v*.txt)");
    EXPECT_FALSE(openMovie(dir.file("v0.avi")));
    clearMovieFormats();
}

}  // namespace
}  // namespace veltro
