#include "encode/frame_store_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "framestore/frame_store_index.h"
#include "framestore/ncrf_escaping.h"
#include "encode/synthetic_clip.h"
#include "image/image_test_support.h"
#include "image/jpeg_format.h"
#include "services/resources.h"

namespace veltro {
namespace {

using synthetic::MemoryMovieReader;

// Records what the writer reports and stops after a number of updates.
class RecordingProgress : public Progress {
public:
    bool begin(const std::string& caption) override {
        captions.push_back(caption);
        return true;
    }
    bool update(int done, int total) override {
        updates.emplace_back(done, total);
        return stopAfter < 0 || static_cast<int>(updates.size()) <= stopAfter;
    }
    void end() override { ++ends; }

    std::vector<std::string> captions;
    std::vector<std::pair<int, int>> updates;
    int ends = 0;
    int stopAfter = -1;  // updates answered "go on" before the stop
};

std::vector<uint8_t> flagsOf(const std::string& text) {
    std::vector<uint8_t> flags;
    for (char c : text)
        flags.push_back(static_cast<uint8_t>(c - '0'));
    return flags;
}

class FrameStoreWriterTest : public ::testing::Test {
protected:
    FrameStoreSettings settings(const std::string& flags, int width = 64, int height = 48) {
        FrameStoreSettings s;
        s.width = width;
        s.height = height;
        s.flags = flagsOf(flags);
        return s;
    }
    std::vector<ImageBuffer> clip(int frames, int shapes = 2) {
        synthetic::ClipOptions options;
        options.width = 64;
        options.height = 48;
        options.frames = frames;
        options.shapes = shapes;
        return synthetic::movingShapesClip(options);
    }
    FrameStoreIndex readIndex() {
        FrameStoreIndex index;
        std::string error;
        EXPECT_TRUE(readFrameStoreIndex(indexPath, index, &error)) << error;
        return index;
    }
    // "N0 S1 d3" style summary of the entries.
    std::string entryKinds(const FrameStoreIndex& index) {
        std::string text;
        for (const IndexEntry& e : index.entries)
            text += (text.empty() ? "" : " ") + std::string(1, char(e.kind)) + std::to_string(e.position);
        return text;
    }

    testing::TempDir dir;
    std::string indexPath = dir.file("v0.txt");
    RecordingProgress progress;
};

TEST_F(FrameStoreWriterTest, AllKeyFramesGiveKeyFilesAndNoBlockList) {
    MemoryMovieReader reader(clip(4));
    FrameStoreSummary summary;
    ASSERT_TRUE(writeFrameStore(progress, indexPath, reader, settings("1111"), &summary));
    const FrameStoreIndex index = readIndex();
    EXPECT_TRUE(index.escaped);
    EXPECT_EQ(index.width, 64);
    EXPECT_EQ(index.height, 48);
    EXPECT_EQ(index.positions, 4);
    EXPECT_EQ(entryKinds(index), "N0 N1 N2 N3");
    EXPECT_FALSE(index.hasBlockList);
    for (int e = 0; e < 4; ++e) {
        EXPECT_EQ(index.entries[e].name, "v0n" + std::to_string(e) + ".jpg");
        EXPECT_TRUE(std::filesystem::exists(dir.file(index.entries[e].name)));
    }
    EXPECT_EQ(summary.entries, 4);
    EXPECT_EQ(summary.positions, 4);
    EXPECT_EQ(summary.files.size(), 5u);
    EXPECT_EQ(summary.files.back(), indexPath);

    // The whole logical text, exactly, behind the marker.
    std::string bytes;
    ASSERT_TRUE(readWholeFile(indexPath, 1 << 20, bytes));
    EXPECT_EQ(ncrfUnescape(bytes), "64 48 4 4\nN 0 v0n0.jpg\nN 1 v0n1.jpg\nN 2 v0n2.jpg\nN 3 v0n3.jpg\n");
    EXPECT_EQ(bytes.find('\n'), std::string::npos);
    EXPECT_EQ(bytes.find('\r'), std::string::npos);

    EXPECT_EQ(progress.captions, std::vector<std::string>{"Saving"});
    EXPECT_EQ(progress.updates.front(), std::make_pair(0, 4));
    EXPECT_EQ(progress.updates.back(), std::make_pair(4, 4));
    EXPECT_EQ(progress.ends, 1);
}

TEST_F(FrameStoreWriterTest, DifferenceRunSharesOneSheetAndStartsAsSortedKey) {
    MemoryMovieReader reader(clip(6));
    FrameStoreSettings s = settings("333333");
    s.sheetHeight = 64;  // room for the whole run
    ASSERT_TRUE(writeFrameStore(progress, indexPath, reader, s));
    const FrameStoreIndex index = readIndex();
    // The first difference frame has no reference yet, so it is a sorted key.
    ASSERT_EQ(entryKinds(index), "S0 D1 d2 d3 d4 d5");
    EXPECT_EQ(index.entries[0].name, "v0s0.jpg");
    EXPECT_EQ(index.entries[1].name, "v0d1.jpg");
    EXPECT_TRUE(std::filesystem::exists(dir.file("v0s0.jpg")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("v0d1.jpg")));

    // The list: 48 block indices of the key sheet, then the sheet's pairs,
    // each naming an entry 1 .. 5 and a block of the 8 x 6 grid.
    BlockNumberList blocks = index.blocks;
    EXPECT_EQ(blocks.next(), 48);
    std::vector<bool> seen(48, false);
    for (int i = 0; i < 48; ++i) {
        const int b = blocks.next();
        ASSERT_GE(b, 0);
        ASSERT_LT(b, 48);
        seen[b] = true;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 48);
    const int sprites = blocks.next();
    EXPECT_GT(sprites, 0);
    for (int i = 0; i < sprites; ++i) {
        const int entry = blocks.next();
        const int block = blocks.next();
        EXPECT_GE(entry, 1);
        EXPECT_LE(entry, 5);
        EXPECT_GE(block, 0);
        EXPECT_LT(block, 48);
    }
    EXPECT_EQ(blocks.next(), -1);

    // The sheet holds its sprites in rows of 40 cells.
    JpegFormat jpeg;
    ImagePtr sheet = jpeg.load(dir.file("v0d1.jpg"));
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->width, 320);
    EXPECT_EQ(sheet->height, (sprites + 39) / 40 * 8);
}

TEST_F(FrameStoreWriterTest, UnchangedFramesStillGetLinesAndAnEmptySheet) {
    std::vector<ImageBuffer> frames(3, synthetic::texturedBackground(64, 48));
    MemoryMovieReader reader(std::move(frames));
    ASSERT_TRUE(writeFrameStore(progress, indexPath, reader, settings("133")));
    const FrameStoreIndex index = readIndex();
    ASSERT_EQ(entryKinds(index), "N0 D1 d2");
    EXPECT_EQ(index.blocks.values(), std::vector<int32_t>{0});
    JpegFormat jpeg;
    ImagePtr sheet = jpeg.load(dir.file("v0d1.jpg"));
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->width, 1);
    EXPECT_EQ(sheet->height, 1);
}

TEST_F(FrameStoreWriterTest, StepSamplesEveryOtherFrameAndGapsStayVisible) {
    MemoryMovieReader reader(clip(10), {6});
    FrameStoreSettings s = settings("10131");
    s.step = 1;
    FrameStoreSummary summary;
    ASSERT_TRUE(writeFrameStore(progress, indexPath, reader, s, &summary));
    EXPECT_EQ(reader.requested, (std::vector<int>{0, 4, 8}));  // 2 is flagged 0, 6 is missing
    const FrameStoreIndex index = readIndex();
    EXPECT_EQ(index.positions, 5);
    EXPECT_EQ(entryKinds(index), "N0 N2 N4");
    EXPECT_EQ(index.entries[1].name, "v0n1.jpg");  // named by entry number, not position
    EXPECT_EQ(progress.updates.back(), std::make_pair(4, 4));
    EXPECT_EQ(frameStorePositions(10, 1), 5);
    EXPECT_EQ(frameStorePositions(11, 1), 6);
    EXPECT_EQ(frameStorePositions(10, 0), 10);
    EXPECT_EQ(frameStorePositions(0, 3), 0);
}

TEST_F(FrameStoreWriterTest, MissingFlagsCountAsNotStored) {
    MemoryMovieReader reader(clip(5));
    ASSERT_TRUE(writeFrameStore(progress, indexPath, reader, settings("12")));
    EXPECT_EQ(entryKinds(readIndex()), "N0 S1");
    EXPECT_EQ(readIndex().positions, 5);
}

TEST_F(FrameStoreWriterTest, SheetGrownBeyondItsHeightIsCompletedBeforeTheNextFrame) {
    // Every block of a 64 x 48 frame changes (48 sprites per frame): the
    // first difference frame fills one row and a bit, the second passes 80
    // sprites, the sheet doubles to 32 rows, and the third opens a new sheet.
    std::vector<ImageBuffer> frames;
    for (int f = 0; f < 4; ++f) {
        ImageBuffer frame(64, 48);
        std::fill(frame.pixels.begin(), frame.pixels.end(), synthetic::rgb(f * 60, 255 - f * 60, 40));
        frames.push_back(frame);
    }
    MemoryMovieReader reader(std::move(frames));
    ASSERT_TRUE(writeFrameStore(progress, indexPath, reader, settings("1333")));
    const FrameStoreIndex index = readIndex();
    ASSERT_EQ(entryKinds(index), "N0 D1 d2 D3");
    EXPECT_EQ(index.entries[3].name, "v0d3.jpg");
    BlockNumberList blocks = index.blocks;
    EXPECT_EQ(blocks.next(), 96);
    JpegFormat jpeg;
    ImagePtr first = jpeg.load(dir.file("v0d1.jpg"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->height, 24);  // 96 sprites: three rows of 40, cropped
}

TEST_F(FrameStoreWriterTest, CancelAfterThreeEntriesKeepsThemReadable) {
    MemoryMovieReader reader(clip(8));
    progress.stopAfter = 3;
    FrameStoreSummary summary;
    EXPECT_FALSE(writeFrameStore(progress, indexPath, reader, settings("23333333"), &summary));
    const FrameStoreIndex index = readIndex();
    EXPECT_EQ(index.entries.size(), 3u);
    EXPECT_EQ(entryKinds(index), "S0 D1 d2");
    EXPECT_EQ(index.positions, 8);
    // The open sheet was still written, so every entry has its image.
    EXPECT_TRUE(std::filesystem::exists(dir.file("v0d1.jpg")));
    EXPECT_EQ(summary.entries, 3);
    EXPECT_EQ(progress.ends, 1);
}

TEST_F(FrameStoreWriterTest, FailedImageSaveStopsWithWhatWasStored) {
    // A directory standing where an image should go makes that save fail.
    std::filesystem::create_directory(dir.file("v0n1.jpg"));
    MemoryMovieReader reader(clip(4));
    EXPECT_FALSE(writeFrameStore(progress, indexPath, reader, settings("1111")));
    EXPECT_EQ(entryKinds(readIndex()), "N0");

    // A sheet that cannot be written takes its entries back out.
    std::filesystem::create_directory(dir.file("v0d1.jpg"));
    MemoryMovieReader again(clip(5));
    EXPECT_FALSE(writeFrameStore(progress, indexPath, again, settings("13331")));
    const FrameStoreIndex index = readIndex();
    EXPECT_EQ(entryKinds(index), "N0");
    EXPECT_FALSE(index.hasBlockList);
}

TEST_F(FrameStoreWriterTest, RefusedInputsWriteNothing) {
    MemoryMovieReader reader(clip(2));
    EXPECT_FALSE(writeFrameStore(progress, dir.file("missing/v0.txt"), reader, settings("11")));
    EXPECT_TRUE(progress.captions.empty());
    // 2048 x 2048 has 65536 blocks: more than a block index can name.
    EXPECT_FALSE(writeFrameStore(progress, indexPath, reader, settings("11", 2048, 2048)));
    EXPECT_FALSE(writeFrameStore(progress, indexPath, reader, settings("11", 0, 48)));
    FrameStoreSettings negative = settings("11");
    negative.step = -1;
    EXPECT_FALSE(writeFrameStore(progress, indexPath, reader, negative));
    EXPECT_FALSE(std::filesystem::exists(indexPath));
    EXPECT_EQ(reader.calls, 0);
}

TEST_F(FrameStoreWriterTest, ResourceSetGivesCaptionAndSheetHeight) {
    testing::TempDir res;
    std::ofstream(res.file("res.txt")) << "saving Frames are saved\ndiff_sum_h 8\n";
    auto previous = setResources(std::make_unique<Resources>(res.path()));
    // Both blocks of a 16 x 8 frame change every frame: 2 sprites a frame,
    // so an 8-row sheet (40 cells) is full after 20 difference frames.
    std::vector<ImageBuffer> frames;
    for (int f = 0; f < 25; ++f) {
        ImageBuffer frame(16, 8);
        std::fill(frame.pixels.begin(), frame.pixels.end(), f % 2 ? synthetic::rgb(250, 0, 10) : synthetic::rgb(10, 240, 250));
        frames.push_back(frame);
    }
    MemoryMovieReader reader(std::move(frames));
    std::vector<uint8_t> flags(25, 3);
    flags[0] = 1;
    const bool stored = writeFrameStore(progress, indexPath, reader, 16, 8, 0, 75, 75, flags);
    setResources(std::move(previous));
    ASSERT_TRUE(stored);
    EXPECT_EQ(progress.captions, std::vector<std::string>{"Frames are saved"});
    const FrameStoreIndex index = readIndex();
    ASSERT_EQ(index.entries.size(), 25u);
    // Entries 1 .. 20 fill 40 cells; the 21st frame's first block doubles
    // the sheet, so the 22nd frame opens a new one.
    EXPECT_EQ(char(index.entries[1].kind), 'D');
    for (int e = 2; e <= 21; ++e)
        EXPECT_EQ(char(index.entries[e].kind), 'd') << e;
    EXPECT_EQ(char(index.entries[22].kind), 'D');
}

TEST(SheetHeightTest, OnlyPositiveMultiplesOfEight) {
    EXPECT_EQ(sheetHeightFromText("16"), 16);
    EXPECT_EQ(sheetHeightFromText("64"), 64);
    EXPECT_EQ(sheetHeightFromText("12"), 16);
    EXPECT_EQ(sheetHeightFromText("0"), 16);
    EXPECT_EQ(sheetHeightFromText("-8"), 16);
    EXPECT_EQ(sheetHeightFromText("8x"), 16);
    EXPECT_EQ(sheetHeightFromText(""), 16);
    EXPECT_EQ(sheetHeightFromText("(null string resource)"), 16);
}

TEST(NcrfEscapingTest, NoLineEndsAndEveryByteComesBack) {
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    const std::string escaped = ncrfEscape(all);
    EXPECT_EQ(escaped.substr(0, 4), "NCRF");
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    EXPECT_EQ(escaped.find('\r'), std::string::npos);
    EXPECT_EQ(escaped.substr(4, 6), std::string("\x00\x01\x01\x02\x03\x04", 6));
    EXPECT_EQ(ncrfEscape("a\nb\r\x01"), std::string("NCRFa\x01\x03" "b\x01\x02\x01\x01"));
    EXPECT_EQ(ncrfUnescape(escaped), all);
    // Raw line ends in an escaped file are dropped; unknown escapes keep x.
    EXPECT_EQ(ncrfUnescape("NCRFa\r\nb\x01z\x01"), "abz");
    // Files without the marker (frame lists) are taken as they are.
    EXPECT_EQ(ncrfUnescape("3 3 1 1\r\nN 0 a.png\n"), "3 3 1 1\r\nN 0 a.png\n");
}

}  // namespace
}  // namespace veltro
