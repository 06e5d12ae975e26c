// The writing loop of a frame store. One source frame, one scaled frame (none
// when the source already has the output size), the reference frame, the
// change mask (kept as one flag per block) and at most one open difference
// sheet are alive at a time. The index is written at the end, whatever
// happened before: its header and entry lines, then its block-number list
// coded piece by piece from the spool the list went to while writing, so
// the memory a save takes does not grow with the clip's length. All of it
// goes to one replacement file, which takes the index's place only once it
// is complete.
//
// The index only ever lists what is really on disk: an entry line is added
// once its image is saved, and when a difference sheet cannot be written the
// entries that point into it are taken back out. An open sheet is completed
// also after a cancel, so the entries stored so far stay readable.
#include "encode/frame_store_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "encode/block_number_spool.h"
#include "encode/difference_encoder.h"
#include "encode/key_choice.h"
#include "encode/psnr_tables.h"
#include "framestore/frame_store_index.h"
#include "framestore/ncrf_escaping.h"
#include "image/file_utils.h"
#include "image/jpeg_format.h"
#include "services/resources.h"

namespace veltro {

namespace {

constexpr int kFallbackSheetHeight = 16;
constexpr int kMaxSheetHeight = 4096;

bool usableSheetHeight(int rows) {
    return rows > 0 && rows % kBlockSize == 0 && rows <= kMaxSheetHeight;
}

// Every pixel made opaque: stored frames are pictures, and a transparent
// top-left pixel must never hide a block from the key sheet.
void makeOpaque(ImageBuffer& image) {
    for (uint32_t& p : image.pixels)
        p |= 0xFF000000u;
    image.hasAlpha = 0;
}

// The state of one save.
class FrameStoreWriter {
public:
    FrameStoreWriter(Progress& progress, const std::string& indexPath, MovieReader& reader,
                     const FrameStoreSettings& settings)
        : m_progress(progress), m_reader(reader), m_settings(settings),
          m_directory(directoryOf(indexPath)), m_prefix(baseName(indexPath)),
          m_sheetHeight(usableSheetHeight(settings.sheetHeight) ? settings.sheetHeight : kFallbackSheetHeight),
          m_blocks(m_directory) {
        m_jpeg.quality = std::clamp(settings.jpegQuality, 0, 100);
        // Under adaptive keys every image (key frames, key and difference
        // sheets) carries tables tuned for picture error, and sheets chain
        // their cells by colour: the same quality in fewer bytes, and
        // ordinary JPEG files and block lists still.
        if (settings.adaptiveKeys) {
            usePsnrTables(m_jpeg, m_jpeg.quality);
            m_sheetOrder = SheetOrder::ColourChain;
        }
    }

    // The loop over every output position, then the index into file. The
    // result; complete is false when the index could not be made whole (its
    // block numbers were lost), and the file must not replace the index.
    bool run(ReplacementFile& file, bool& complete) {
        const int positions = frameStorePositions(m_reader.frameCount, m_settings.step);
        int total = 0;
        for (int p = 0; p < positions; ++p)
            total += kindAt(p) != FrameFlag::Skip;

        m_progress.begin(m_settings.caption);
        for (int p = 0; p < positions; ++p) {
            if (!m_progress.update(m_entry, total)) {
                m_result = false;
                break;
            }
            if (!storePosition(p)) {
                m_result = false;
                break;
            }
        }
        if (m_sheet && !completeOpenSheet())
            m_result = false;
        m_progress.update(total, total);
        m_positions = positions;

        // Escaping maps byte by byte, so the pieces escaped one by one give
        // the escaped whole; only the first carries the marker.
        std::string text = std::to_string(m_settings.width) + " " + std::to_string(m_settings.height) + " " +
                           std::to_string(positions) + " " + std::to_string(m_entry) + "\n" + m_entries;
        if (m_blocks.size() > 0)
            text += "C\n";
        if (!file.write(ncrfEscape(text)))
            m_result = false;
        complete = true;
        if (m_blocks.size() > 0) {
            complete = m_blocks.encode([&file](const std::string& piece) {
                const std::string escaped = ncrfEscape(piece);
                return file.write(escaped.data() + kNcrfMarker.size(), escaped.size() - kNcrfMarker.size());
            });
            if (!complete)
                m_result = false;
        }
        return m_result;
    }

    int positions() const { return m_positions; }
    int entries() const { return m_entry; }
    int adaptiveKeys() const { return m_adaptiveKeys; }
    int adaptiveKeyTrials() const { return m_keyChooser.counts().trials; }
    std::vector<std::string>& files() { return m_files; }

private:
    FrameFlag kindAt(int p) const {
        if (p < 0 || static_cast<size_t>(p) >= m_settings.flags.size())
            return FrameFlag::Skip;
        return static_cast<FrameFlag>(m_settings.flags[p] & 3);
    }

    std::string imageName(char letter) const {
        return m_prefix + letter + std::to_string(m_entry) + ".jpg";
    }

    bool saveImage(const std::string& name, const ImageBuffer& image) {
        const std::string path = joinPath(m_directory, name);
        if (!m_jpeg.save(path, image))
            return false;
        m_files.push_back(path);
        return true;
    }

    // Stores one position; false stops the loop with a failure.
    bool storePosition(int p) {
        const FrameFlag kind = kindAt(p);
        if (kind == FrameFlag::Skip)
            return true;
        if (m_entry >= kMaxIndexEntries)
            return false;  // a longer index would not open again
        const ImageBuffer* source = m_reader.frameAt(static_cast<int>(int64_t(p) * (m_settings.step + 1)));
        if (!source || source->empty())
            return true;
        if (m_sheet && (kind != FrameFlag::Difference || m_sheet->height > m_sheetHeight)) {
            if (!completeOpenSheet())
                return false;
        }

        // The frame at the output size: the source itself when it already has it.
        ImagePtr scaled;
        const ImageBuffer* frame = source;
        if (source->width != m_settings.width || source->height != m_settings.height) {
            scaled = scaleAverage(*source, m_settings.width, m_settings.height);
            frame = scaled.get();
        }
        if (frame->pixelCount() != size_t(m_settings.width) * size_t(m_settings.height))
            return true;  // a source buffer that lies about its size counts as undelivered
        const std::string position = std::to_string(p);

        FrameFlag stored = kind;
        std::vector<uint8_t> changed;
        if (kind == FrameFlag::Difference && m_reference) {
            const std::vector<int32_t> sums = blockDifferenceSums(*frame, *m_reference);
            changed = changedBlocksFromSums(sums, frame->width, frame->height, m_settings.diffQuality);
            if (m_settings.adaptiveKeys &&
                m_keyChooser.storeAsKeyFrame(
                    *frame,
                    changedBlocksFromSums(sums, frame->width, frame->height, choiceQuality(m_settings.diffQuality)),
                    m_jpeg)) {
                // A key frame ends the difference run: its sheet is completed
                // first, as before any key entry.
                if (m_sheet && !completeOpenSheet())
                    return false;
                stored = FrameFlag::Key;
                ++m_adaptiveKeys;
            }
        }

        if (stored == FrameFlag::Difference && m_reference) {
            if (!m_sheet) {
                m_sheet = newDifferenceSheet(m_sheetHeight);
                m_records.clear();
                m_sheetName = imageName('d');
                m_sheetTextStart = m_entries.size();
                m_sheetFirstEntry = m_entry;
                m_entries += "D " + position + " " + m_sheetName + "\n";
            } else {
                m_entries += "d " + position + "\n";
            }
            // The change mask kept as one flag per block: its set blocks go
            // into the sheet and onto the reference, which so stays what a
            // decoder rebuilds.
            m_sheet = packChangedBlocks(std::move(m_sheet), m_records, *frame, changed, m_entry);
            overlayChangedBlocks(*m_reference, *frame, changed);
            ++m_entry;
            return true;
        }

        ImagePtr owned = scaled ? std::move(scaled) : copyImage(*source);
        makeOpaque(*owned);
        if (stored == FrameFlag::Key) {
            const std::string name = imageName('n');
            if (!saveImage(name, *owned))
                return false;
            m_entries += "N " + position + " " + name + "\n";
        } else {
            BlockNumberList numbers;
            ImagePtr sheet = sortedKeySheet(*owned, numbers, m_sheetOrder);
            const std::string name = imageName('s');
            if (!sheet || !saveImage(name, *sheet))
                return false;
            m_entries += "S " + position + " " + name + "\n";
            m_blocks.append(numbers);
        }
        m_reference = std::move(owned);
        ++m_entry;
        return true;
    }

    // Crops, sorts and writes the open sheet; when that fails the entries
    // that point into it are removed again, so the index stays readable.
    bool completeOpenSheet() {
        BlockNumberList numbers;
        const bool saved =
            completeSheet(*m_sheet, m_records, joinPath(m_directory, m_sheetName), m_jpeg, numbers, m_sheetOrder);
        m_sheet.reset();
        m_records.clear();
        if (saved) {
            m_files.push_back(joinPath(m_directory, m_sheetName));
            m_blocks.append(numbers);
            return true;
        }
        m_entries.resize(m_sheetTextStart);
        m_entry = m_sheetFirstEntry;
        return false;
    }

    Progress& m_progress;
    MovieReader& m_reader;
    const FrameStoreSettings& m_settings;
    const std::string m_directory;
    const std::string m_prefix;
    const int m_sheetHeight;
    JpegFormat m_jpeg;
    SheetOrder m_sheetOrder = SheetOrder::Brightness;

    ImagePtr m_reference;
    ImagePtr m_sheet;
    SpriteRecords m_records;
    std::string m_sheetName;
    size_t m_sheetTextStart = 0;
    int m_sheetFirstEntry = 0;
    int m_entry = 0;
    int m_positions = 0;
    int m_adaptiveKeys = 0;
    AdaptiveKeyChooser m_keyChooser;
    std::string m_entries;
    BlockNumberSpool m_blocks;
    std::vector<std::string> m_files;
    bool m_result = true;
};

}  // namespace

int frameStorePositions(int frameCount, int step) {
    if (frameCount <= 0 || step < 0)
        return 0;
    return static_cast<int>((int64_t(step) + frameCount) / (int64_t(step) + 1));
}

int sheetHeightFromText(const std::string& text) {
    int rows = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    auto [ptr, ec] = std::from_chars(begin, end, rows);
    if (ec != std::errc() || ptr != end || !usableSheetHeight(rows))
        return kFallbackSheetHeight;
    return rows;
}

bool writeFrameStore(Progress& progress, const std::string& indexPath, MovieReader& reader,
                     const FrameStoreSettings& settings, FrameStoreSummary* summary) {
    if (summary)
        *summary = FrameStoreSummary();
    const int w = settings.width, h = settings.height;
    if (w <= 0 || h <= 0 || w > kMaxIndexDimension || h > kMaxIndexDimension || settings.step < 0 ||
        int64_t(blocksAcross(w)) * blocksAcross(h) > BlockNumberList::kMaxValue ||
        frameStorePositions(reader.frameCount, settings.step) > kMaxIndexPositions)
        return false;

    ReplacementFile file(indexPath);
    if (!file.stream())
        return false;
    FrameStoreWriter writer(progress, indexPath, reader, settings);
    bool complete = false;
    bool result = writer.run(file, complete);
    if (!complete) {
        // The pictures under this name were rewritten, so an earlier index
        // would show them with its own block numbers: wrong frames. No index
        // at all leaves a store that plainly does not open.
        file.discard();
        std::error_code ec;
        std::filesystem::remove(indexPath, ec);
    } else if (!file.commit())
        result = false;
    progress.end();

    if (summary) {
        summary->positions = writer.positions();
        summary->entries = writer.entries();
        summary->adaptiveKeyFrames = writer.adaptiveKeys();
        summary->adaptiveKeyTrials = writer.adaptiveKeyTrials();
        summary->files = std::move(writer.files());
        summary->files.push_back(indexPath);
    }
    return result;
}

bool writeFrameStore(Progress& progress, const std::string& indexPath, MovieReader& reader, int width,
                     int height, int step, int jpegQuality, int diffQuality, const std::vector<uint8_t>& flags,
                     FrameStoreSummary* summary, bool adaptiveKeys) {
    Resources& res = resources();
    FrameStoreSettings settings;
    settings.width = width;
    settings.height = height;
    settings.step = step;
    settings.jpegQuality = jpegQuality;
    settings.diffQuality = diffQuality;
    settings.flags = flags;
    settings.adaptiveKeys = adaptiveKeys;
    settings.sheetHeight =
        sheetHeightFromText(res.hasText("diff_sum_h") ? res.text("diff_sum_h") : std::string());
    if (res.hasText("saving"))
        settings.caption = res.text("saving");
    return writeFrameStore(progress, indexPath, reader, settings, summary);
}

}  // namespace veltro
