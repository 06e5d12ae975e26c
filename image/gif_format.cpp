// The GIF codec. Saving: palette (first-occurrence colours, or a popularity
// palette of 4-bit-per-channel bins above 256 colours), then LZW with the
// classic 5003-slot string hash. Loading: the blocks up to the first image,
// then LZW decoding into rows in plain or interlaced order. Every read is
// bounded by the file, every table by 4096 codes, and the picture by
// kMaxGifPixels.
#include "image/gif_format.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

#include "image/file_utils.h"

namespace veltro {

namespace {

constexpr int kPaletteSize = 256;
constexpr int kMaxCodes = 4096;
constexpr int kMaxCodeWidth = 12;
constexpr int kHashSlots = 5003;
constexpr int kMaxSubBlock = 255;
constexpr int kBinCount = 4096;

// ---------------------------------------------------------------- reading

// Bytes from a file (read in chunks) or from memory; every read reports
// whether the bytes were there.
class Input {
public:
    Input(const uint8_t* data, size_t size) : m_pos(data), m_end(data + size) {}
    explicit Input(FILE* file) : m_file(file), m_buffer(64 * 1024) {}

    bool byte(uint8_t& out) {
        if (m_pos == m_end && !refill())
            return false;
        out = *m_pos++;
        return true;
    }
    bool read(uint8_t* out, size_t count) {
        while (count > 0) {
            if (m_pos == m_end && !refill())
                return false;
            size_t n = std::min(count, size_t(m_end - m_pos));
            std::memcpy(out, m_pos, n);
            m_pos += n;
            out += n;
            count -= n;
        }
        return true;
    }
    bool skip(size_t count) {
        while (count > 0) {
            if (m_pos == m_end && !refill())
                return false;
            size_t n = std::min(count, size_t(m_end - m_pos));
            m_pos += n;
            count -= n;
        }
        return true;
    }

private:
    bool refill() {
        if (!m_file)
            return false;
        size_t got = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
        if (got == 0)
            return false;
        m_pos = m_buffer.data();
        m_end = m_pos + got;
        return true;
    }

    FILE* m_file = nullptr;
    std::vector<uint8_t> m_buffer;
    const uint8_t* m_pos = nullptr;
    const uint8_t* m_end = nullptr;
};

uint16_t little16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

bool readColourTable(Input& in, int entries, std::array<uint32_t, kPaletteSize>& palette) {
    uint8_t rgb[3 * kPaletteSize];
    if (!in.read(rgb, size_t(entries) * 3))
        return false;
    for (int i = 0; i < entries; ++i)
        palette[size_t(i)] = uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    return true;
}

// Skips sub-blocks up to and including the zero-length terminator.
bool skipSubBlocks(Input& in) {
    for (;;) {
        uint8_t length;
        if (!in.byte(length))
            return false;
        if (length == 0)
            return true;
        if (!in.skip(length))
            return false;
    }
}

// LZW codes, least significant bit first, across the image's sub-blocks.
class CodeReader {
public:
    explicit CodeReader(Input& in) : m_in(in) {}

    // The next code, or -1 when the data ends: at the terminating empty
    // sub-block (truncated() false) or at the end of the file (true).
    int next(int width) {
        while (m_bitCount < width) {
            uint8_t b;
            if (!nextByte(b))
                return -1;
            m_bits |= uint32_t(b) << m_bitCount;
            m_bitCount += 8;
        }
        int code = int(m_bits & ((1u << width) - 1));
        m_bits >>= width;
        m_bitCount -= width;
        return code;
    }
    bool truncated() const { return m_truncated; }

private:
    bool nextByte(uint8_t& out) {
        if (m_pos == m_length) {
            if (m_ended)
                return false;
            uint8_t length;
            if (!m_in.byte(length) || (length > 0 && !m_in.read(m_block, length))) {
                m_truncated = true;
                m_ended = true;
                return false;
            }
            if (length == 0) {
                m_ended = true;
                return false;
            }
            m_length = length;
            m_pos = 0;
        }
        out = m_block[m_pos++];
        return true;
    }

    Input& m_in;
    uint8_t m_block[kMaxSubBlock];
    int m_length = 0;
    int m_pos = 0;
    bool m_ended = false;
    bool m_truncated = false;
    uint32_t m_bits = 0;
    int m_bitCount = 0;
};

// Where decoded pixels go: row by row, or in the four interlace passes.
class RowCursor {
public:
    RowCursor(ImageBuffer& image, bool interlaced) : m_image(image), m_interlaced(interlaced) {}

    // Stores one pixel; false once every pixel has been stored.
    bool put(uint32_t word) {
        m_image.at(m_x, m_y) = word;
        if (++m_x < m_image.width)
            return true;
        m_x = 0;
        if (!m_interlaced)
            return ++m_y < m_image.height;
        static constexpr int kStart[4] = {0, 4, 2, 1};
        static constexpr int kStep[4] = {8, 8, 4, 2};
        m_y += kStep[m_pass];
        while (m_y >= m_image.height) {
            if (++m_pass == 4)
                return false;
            m_y = kStart[m_pass];
        }
        return true;
    }

private:
    ImageBuffer& m_image;
    bool m_interlaced;
    int m_x = 0;
    int m_y = 0;
    int m_pass = 0;
};

struct DecodeTables {
    uint16_t prefix[kMaxCodes];
    uint8_t suffix[kMaxCodes];
    uint8_t stack[kMaxCodes + 1];
};

// Decodes the LZW data of one image into the white buffer. False only when
// the file ends before the image does.
bool decodeImageData(Input& in, ImageBuffer& image, bool interlaced,
                     const std::array<uint32_t, kPaletteSize>& palette, int transparent) {
    uint8_t minimumSize;
    if (!in.byte(minimumSize) || minimumSize < 1 || minimumSize > 8)
        return false;
    auto tables = std::make_unique<DecodeTables>();
    std::memset(tables.get(), 0, sizeof(DecodeTables));
    for (int i = 0; i < kPaletteSize; ++i)
        tables->suffix[i] = uint8_t(i);

    const int clearCode = 1 << minimumSize;
    const int endCode = clearCode + 1;
    int width = minimumSize + 1;
    int nextFree = clearCode + 2;
    int limit = 1 << width;
    int previous = -1;
    uint8_t first = 0;

    CodeReader codes(in);
    RowCursor cursor(image, interlaced);
    auto put = [&](uint8_t index) {
        if (index == transparent) {
            image.hasAlpha = 1;
            return cursor.put(palette[index] & 0x00FFFFFFu);
        }
        return cursor.put(palette[index] | 0xFF000000u);
    };

    for (;;) {
        int code = codes.next(width);
        if (code < 0)
            return !codes.truncated();
        if (code == clearCode) {
            width = minimumSize + 1;
            limit = 1 << width;
            nextFree = clearCode + 2;
            previous = -1;
            continue;
        }
        if (code == endCode)
            return true;
        if (previous < 0) {
            // The first code after a clear must be a single index.
            if (code > clearCode)
                return true;
            first = uint8_t(code);
            previous = code;
            if (!put(first))
                return true;
            continue;
        }
        int incoming = code;
        int depth = 0;
        if (code >= nextFree) {
            // Not yet in the table: the previous string plus its own first index.
            tables->stack[depth++] = first;
            code = previous;
        }
        while (code >= clearCode) {
            if (depth >= kMaxCodes)
                return true;  // the chain loops back on itself
            tables->stack[depth++] = tables->suffix[code];
            code = tables->prefix[code];
        }
        first = uint8_t(code);
        tables->stack[depth++] = first;
        if (nextFree < kMaxCodes) {
            tables->prefix[nextFree] = uint16_t(previous);
            tables->suffix[nextFree] = first;
            ++nextFree;
            if (nextFree >= limit && width < kMaxCodeWidth) {
                ++width;
                limit <<= 1;
            }
        }
        while (depth > 0) {
            if (!put(tables->stack[--depth]))
                return true;
        }
        previous = incoming;
    }
}

ImagePtr decode(Input& in, int64_t maxPixels) {
    uint8_t header[13];
    if (!in.read(header, sizeof header))
        return nullptr;
    if (std::memcmp(header, "GIF", 3) != 0 ||
        (std::memcmp(header + 3, "87a", 3) != 0 && std::memcmp(header + 3, "89a", 3) != 0))
        return nullptr;
    std::array<uint32_t, kPaletteSize> palette{};
    uint8_t screenPacked = header[10];
    if ((screenPacked & 0x80) && !readColourTable(in, 2 << (screenPacked & 7), palette))
        return nullptr;

    int transparent = -1;
    for (;;) {
        uint8_t block;
        if (!in.byte(block) || block == 0x3B)
            return nullptr;
        if (block == 0x21) {
            uint8_t label, length;
            if (!in.byte(label) || !in.byte(length))
                return nullptr;
            uint8_t data[kMaxSubBlock];
            if (!in.read(data, length))
                return nullptr;
            if (label == 0xF9 && length >= 4 && (data[0] & 1))
                transparent = data[3];
            if (length > 0 && !skipSubBlocks(in))
                return nullptr;
            continue;
        }
        if (block != 0x2C)
            continue;
        uint8_t descriptor[9];
        if (!in.read(descriptor, sizeof descriptor))
            return nullptr;
        int width = little16(descriptor + 4);
        int height = little16(descriptor + 6);
        uint8_t packed = descriptor[8];
        if ((packed & 0x80) && !readColourTable(in, 2 << (packed & 7), palette))
            return nullptr;
        bool interlaced = (packed & 0x40) != 0;
        if (width == 0 || height == 0 || width > kMaxImageDimension || height > kMaxImageDimension ||
            int64_t(width) * height > maxPixels)
            return nullptr;
        auto image = std::make_unique<ImageBuffer>(width, height);
        if (!decodeImageData(in, *image, interlaced, palette, transparent))
            return nullptr;
        return image;
    }
}

// ---------------------------------------------------------------- writing

// Pixel word -> palette index, open addressing with linear probing. It stops
// taking entries at half its capacity, so probing always ends.
class ColourCache {
public:
    explicit ColourCache(size_t expected) {
        size_t capacity = 64;
        while (capacity < 2 * expected)
            capacity <<= 1;
        m_mask = capacity - 1;
        m_keys.assign(capacity, 0);
        m_values.assign(capacity, 0);
    }
    // The index stored for the word, or -1.
    int find(uint32_t word) const {
        for (size_t slot = hash(word);; slot = (slot + 1) & m_mask) {
            if (m_values[slot] == 0)
                return -1;
            if (m_keys[slot] == word)
                return m_values[slot] - 1;
        }
    }
    void insert(uint32_t word, int index) {
        if (m_size >= (m_mask + 1) / 2)
            return;
        size_t slot = hash(word);
        while (m_values[slot] != 0 && m_keys[slot] != word)
            slot = (slot + 1) & m_mask;
        if (m_values[slot] == 0)
            ++m_size;
        m_keys[slot] = word;
        m_values[slot] = uint16_t(index + 1);
    }
    size_t size() const { return m_size; }

private:
    size_t hash(uint32_t word) const { return size_t((word * 0x9E3779B1u) ^ (word >> 15)) & m_mask; }

    std::vector<uint32_t> m_keys;
    std::vector<uint16_t> m_values;  // index + 1; 0 marks an empty slot
    size_t m_mask = 0;
    size_t m_size = 0;
};

struct Palette {
    std::array<uint32_t, kPaletteSize> entries{};
    int transparentEntry = -1;  // first entry with alpha 0, -1 without one
    bool popular = false;
};

// Up to 256 colours: the distinct words in order of first occurrence. Above
// that: the most popular 4-bit-per-channel bins (entry 0 kept transparent for
// pictures with real transparency).
Palette buildPalette(const ImageBuffer& image) {
    Palette palette;
    ColourCache seen(kPaletteSize + 1);
    int count = 0;
    for (uint32_t word : image.pixels) {
        if (seen.find(word) >= 0)
            continue;
        if (count == kPaletteSize) {
            palette.popular = true;
            break;
        }
        palette.entries[size_t(count)] = word;
        seen.insert(word, count);
        ++count;
    }
    if (palette.popular) {
        std::vector<uint32_t> bins(kBinCount, 0);
        for (uint32_t word : image.pixels) {
            if (!isSetPixel(word))
                continue;
            bins[((word >> 20) & 0xF) | ((word >> 12) & 0xF) << 4 | ((word >> 4) & 0xF) << 8]++;
        }
        std::vector<int> order(kBinCount);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return bins[size_t(a)] > bins[size_t(b)]; });
        int firstEntry = image.hasAlpha ? 1 : 0;
        palette.entries.fill(0);
        for (int i = firstEntry; i < kPaletteSize; ++i) {
            int key = order[size_t(i - firstEntry)];
            uint32_t red = uint32_t(key & 0xF) << 4, green = uint32_t((key >> 4) & 0xF) << 4,
                     blue = uint32_t((key >> 8) & 0xF) << 4;
            palette.entries[size_t(i)] = 0xFF000000u | red << 16 | green << 8 | blue;
        }
    }
    for (int i = 0; i < kPaletteSize; ++i) {
        if (!isSetPixel(palette.entries[size_t(i)])) {
            palette.transparentEntry = i;
            break;
        }
    }
    return palette;
}

// Maps pixels to palette indices. Transparent pixels take the first
// transparent entry (255 without one); others an equal entry, else the
// nearest opaque one by |dR| + |dG| + |dB|, the first on ties. A set pixel
// never lands on a transparent entry: that would make it vanish.
class PaletteMapper {
public:
    PaletteMapper(const Palette& palette, size_t pixelCount)
        : m_palette(palette), m_cache(std::min<size_t>(pixelCount, size_t(1) << 22)) {
        for (int i = 0; i < kPaletteSize; ++i) {
            uint32_t entry = palette.entries[size_t(i)];
            m_red[i] = int((entry >> 16) & 0xFF);
            m_green[i] = int((entry >> 8) & 0xFF);
            m_blue[i] = int(entry & 0xFF);
            if (!isSetPixel(entry))
                continue;
            m_byRed.push_back(i);
            if ((entry & 0x0F0F0F) == 0) {
                size_t bin = size_t((m_red[i] >> 4) | (m_green[i] >> 4) << 4 | (m_blue[i] >> 4) << 8);
                if (m_binEntry[bin] < 0)
                    m_binEntry[bin] = int16_t(i);
            }
        }
        std::stable_sort(m_byRed.begin(), m_byRed.end(), [&](int a, int b) { return m_red[a] < m_red[b]; });
        for (int i : m_byRed)
            m_sortedRed.push_back(m_red[i]);
        // Exact words first, in entry order, so an equal entry always wins.
        for (int i = kPaletteSize - 1; i >= 0; --i) {
            uint32_t entry = palette.entries[size_t(i)];
            if (isSetPixel(entry))
                m_cache.insert(entry, i);
        }
    }

    uint8_t index(uint32_t word) {
        if (!isSetPixel(word))
            return m_palette.transparentEntry >= 0 ? uint8_t(m_palette.transparentEntry) : uint8_t(kPaletteSize - 1);
        int cached = m_cache.find(word);
        if (cached >= 0)
            return uint8_t(cached);
        int best = nearest(word);
        m_cache.insert(word, best);
        return uint8_t(best);
    }

private:
    // Entries are visited outward from the pixel's red value and the walk
    // stops once the red difference alone exceeds the best distance; the
    // pixel's own 4-bit bin, when it is an entry, gives a close first guess.
    int nearest(uint32_t word) const {
        if (m_byRed.empty())
            return kPaletteSize - 1;
        const int r = int((word >> 16) & 0xFF), g = int((word >> 8) & 0xFF), b = int(word & 0xFF);
        int best = -1, bestDistance = 0;
        auto consider = [&](int i) {
            int d = std::abs(m_red[i] - r) + std::abs(m_green[i] - g) + std::abs(m_blue[i] - b);
            if (best < 0 || d < bestDistance || (d == bestDistance && i < best)) {
                best = i;
                bestDistance = d;
            }
        };
        int own = m_binEntry[size_t((r >> 4) | (g >> 4) << 4 | (b >> 4) << 8)];
        if (own >= 0)
            consider(own);
        const size_t count = m_byRed.size();
        size_t start = size_t(std::lower_bound(m_sortedRed.begin(), m_sortedRed.end(), r) - m_sortedRed.begin());
        for (size_t j = start; j < count && (best < 0 || m_sortedRed[j] - r <= bestDistance); ++j)
            consider(m_byRed[j]);
        for (size_t j = start; j > 0 && (best < 0 || r - m_sortedRed[j - 1] <= bestDistance); --j)
            consider(m_byRed[j - 1]);
        return best;
    }

    const Palette& m_palette;
    ColourCache m_cache;
    int m_red[kPaletteSize];
    int m_green[kPaletteSize];
    int m_blue[kPaletteSize];
    // Opaque entries ordered by red (then index), with their red values.
    std::vector<int> m_byRed;
    std::vector<int> m_sortedRed;
    // The entry whose colour is exactly a bin's colour, or -1.
    std::vector<int16_t> m_binEntry = std::vector<int16_t>(kBinCount, -1);
};

// Variable-length-code LZW, codes packed least significant bit first and sent
// in sub-blocks of up to 255 bytes.
class LzwWriter {
public:
    explicit LzwWriter(FILE* out) : m_out(out) { resetTable(); }

    void compress(const std::vector<uint8_t>& indices) {
        emit(kClearCode);
        int prefix = indices[0];
        for (size_t i = 1; i < indices.size(); ++i) {
            int pixel = indices[i];
            int key = prefix << 8 | pixel;
            int slot = prefix + (pixel << 4);
            if (slot > kHashSlots - 1)
                slot -= kHashSlots;
            if (m_keys[size_t(slot)] != key && m_keys[size_t(slot)] != -1) {
                int step = slot == 0 ? 1 : kHashSlots - slot;
                do {
                    slot -= step;
                    if (slot < 0)
                        slot += kHashSlots;
                } while (m_keys[size_t(slot)] != key && m_keys[size_t(slot)] != -1);
            }
            if (m_keys[size_t(slot)] == key) {
                prefix = m_codes[size_t(slot)];
                continue;
            }
            emit(prefix);
            if (m_nextFree < kMaxCodes) {
                m_codes[size_t(slot)] = uint16_t(m_nextFree++);
                m_keys[size_t(slot)] = key;
            } else {
                emit(kClearCode);
                resetTable();
            }
            prefix = pixel;
        }
        emit(prefix);
        emit(kEndCode);
        if (m_bitCount > 0)
            put(uint8_t(m_bits));
        flushBlock();
    }

private:
    static constexpr int kClearCode = 256;
    static constexpr int kEndCode = 257;

    void resetTable() {
        m_keys.fill(-1);
        m_width = 9;
        m_largest = (1 << m_width) - 1;
        m_nextFree = kClearCode + 2;
    }

    void emit(int code) {
        m_bits |= uint32_t(code) << m_bitCount;
        m_bitCount += m_width;
        while (m_bitCount >= 8) {
            put(uint8_t(m_bits));
            m_bits >>= 8;
            m_bitCount -= 8;
        }
        if (m_nextFree > m_largest && m_width < kMaxCodeWidth) {
            ++m_width;
            m_largest = (1 << m_width) - 1;
        }
    }

    void put(uint8_t byte) {
        m_block[size_t(m_blockLength++)] = byte;
        if (m_blockLength == kMaxSubBlock)
            flushBlock();
    }

    void flushBlock() {
        if (m_blockLength == 0)
            return;
        std::fputc(m_blockLength, m_out);
        std::fwrite(m_block.data(), 1, size_t(m_blockLength), m_out);
        m_blockLength = 0;
    }

    FILE* m_out;
    std::array<int32_t, kHashSlots> m_keys;
    std::array<uint16_t, kHashSlots> m_codes{};
    int m_width = 9;
    int m_largest = 511;
    int m_nextFree = kClearCode + 2;
    uint32_t m_bits = 0;
    int m_bitCount = 0;
    std::array<uint8_t, kMaxSubBlock> m_block{};
    int m_blockLength = 0;
};

void putLittle16(FILE* out, int value) {
    std::fputc(value & 0xFF, out);
    std::fputc((value >> 8) & 0xFF, out);
}

}  // namespace

ImagePtr decodeGif(const uint8_t* data, size_t size, int64_t maxPixels) {
    Input in(data, size);
    return decode(in, maxPixels);
}

ImagePtr GifFormat::load(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return nullptr;
    Input in(file);
    ImagePtr image = decode(in, kMaxGifPixels);
    std::fclose(file);
    return image;
}

bool GifFormat::save(const std::string& path, const ImageBuffer& image) {
    if (image.width <= 0 || image.height <= 0 || image.width > 0xFFFF || image.height > 0xFFFF ||
        image.pixelCount() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        return false;
    Palette palette = buildPalette(image);
    std::vector<uint8_t> indices(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    PaletteMapper mapper(palette, indices.size());
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = mapper.index(image.pixels[i]);

    ReplacementFile file(path);
    FILE* out = file.stream();
    if (!out)
        return false;
    bool transparency = image.hasAlpha != 0;
    std::fputs(transparency ? "GIF89a" : "GIF87a", out);
    putLittle16(out, image.width);
    putLittle16(out, image.height);
    const uint8_t screen[3] = {0xF7, 0, 0};
    std::fwrite(screen, 1, sizeof screen, out);
    for (uint32_t entry : palette.entries) {
        const uint8_t rgb[3] = {uint8_t(entry >> 16), uint8_t(entry >> 8), uint8_t(entry)};
        std::fwrite(rgb, 1, sizeof rgb, out);
    }
    if (transparency) {
        // Without a transparent entry no pixel is transparent, and naming
        // entry 0 would turn that colour's pixels transparent on reading.
        uint8_t present = palette.transparentEntry >= 0 ? 0x01 : 0x00;
        uint8_t index = palette.transparentEntry >= 0 ? uint8_t(palette.transparentEntry) : 0;
        const uint8_t control[8] = {0x21, 0xF9, 4, present, 0, 0, index, 0};
        std::fwrite(control, 1, sizeof control, out);
    }
    std::fputc(0x2C, out);
    putLittle16(out, 0);
    putLittle16(out, 0);
    putLittle16(out, image.width);
    putLittle16(out, image.height);
    std::fputc(0, out);
    std::fputc(8, out);
    LzwWriter(out).compress(indices);
    std::fputc(0x00, out);
    std::fputc(0x3B, out);
    return file.commit();
}

}  // namespace veltro
