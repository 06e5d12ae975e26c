// Test fixtures for the movie readers, made at test time with FFmpeg's own
// muxers and encoders: clips whose every picture carries its frame number as
// a bar code, raw AVI files built sample by sample, and small patches of AVI
// headers for damaged-file cases. Header-only, included by the tests alone.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "image/image_buffer.h"

namespace veltro::fixtures {

// Bits of the frame-number bar code (frame numbers 0 .. 255).
inline constexpr int kCodeBits = 8;

// Paints frame number n into an RGB24 picture: a red band on top, a blue band
// at the bottom (so flipped rows and swapped channels show), and between them
// kCodeBits vertical bars, light for a set bit and dark for a clear one, most
// significant bit first (not full white and black, so that MPEG-1 P-frames can
// code a change in one step).
inline void paintCode(uint8_t* rgb, int width, int height, int stride, int n) {
    const int barWidth = width / kCodeBits;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rgb + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            uint8_t r = 0, g = 0, b = 0;
            if (y < height / 4) {
                r = 255;
            } else if (y >= height * 3 / 4) {
                b = 255;
            } else {
                const int bit = std::min(x / barWidth, kCodeBits - 1);
                r = g = b = ((n >> (kCodeBits - 1 - bit)) & 1) ? 208 : 48;
            }
            row[3 * x] = r;
            row[3 * x + 1] = g;
            row[3 * x + 2] = b;
        }
    }
}

// Reads the frame number back from a decoded picture; -1 when the bands are
// not where they belong (flipped, swapped or sheared picture).
inline int readCode(const ImageBuffer& image) {
    if (image.width < kCodeBits || image.height < 8)
        return -1;
    auto channel = [](uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xFF); };
    const uint32_t top = image.at(image.width / 2, image.height / 8);
    const uint32_t bottom = image.at(image.width / 2, image.height * 7 / 8);
    if (channel(top, 16) < 160 || channel(top, 0) > 96 || channel(bottom, 0) < 160 ||
        channel(bottom, 16) > 96)
        return -1;
    const int barWidth = image.width / kCodeBits;
    int n = 0;
    for (int bit = 0; bit < kCodeBits; ++bit) {
        for (int y : {image.height * 3 / 8, image.height * 5 / 8}) {
            const uint32_t p = image.at(bit * barWidth + barWidth / 2, y);
            const int level = (channel(p, 16) + channel(p, 8) + channel(p, 0)) / 3;
            if (level > 88 && level < 168)
                return -1;  // a smeared bar: the rows are sheared or misread
        }
        const uint32_t p = image.at(bit * barWidth + barWidth / 2, image.height / 2);
        n = n << 1 | ((channel(p, 16) + channel(p, 8) + channel(p, 0)) / 3 > 127 ? 1 : 0);
    }
    return n;
}

// An encoded clip to write.
struct ClipSpec {
    std::string path;
    const char* container = nullptr;  // guessed from the path when none
    AVCodecID codec = AV_CODEC_ID_MJPEG;
    AVPixelFormat pixelFormat = AV_PIX_FMT_YUVJ420P;
    int width = 64;
    int height = 48;
    int frames = 30;
    AVRational rate{30, 1};
    int gop = 10;
    int bFrames = 0;
    // Explicit presentation times in units of 1/timeScale (one per frame) and
    // the last frame's duration; empty means one frame every 1/rate.
    std::vector<int64_t> times;
    int timeScale = 0;
    int64_t lastDuration = 1;
    // PCM audio streams written before the video stream, and their length
    // in 8 kHz samples (0: as long as the video).
    int audioStreamsFirst = 0;
    int64_t audioSamples = 0;
    // Encoder options, e.g. {"preset", "veryfast"}.
    std::vector<std::pair<std::string, std::string>> options;
};

namespace detail {

inline bool writeAudio(AVFormatContext* out, int streams, int64_t from, int64_t to) {
    const int64_t count = to - from;
    if (count <= 0)
        return true;
    for (int s = 0; s < streams; ++s) {
        AVPacket* packet = av_packet_alloc();
        if (av_new_packet(packet, static_cast<int>(count * 2)) < 0)
            return false;
        std::memset(packet->data, 0, packet->size);
        packet->stream_index = s;
        packet->pts = packet->dts = from;
        packet->duration = count;
        packet->flags |= AV_PKT_FLAG_KEY;
        av_packet_rescale_ts(packet, AVRational{1, 8000}, out->streams[s]->time_base);
        const int written = av_interleaved_write_frame(out, packet);
        av_packet_free(&packet);
        if (written < 0)
            return false;
    }
    return true;
}

inline bool drain(AVCodecContext* encoder, AVFormatContext* out, AVStream* stream,
                  const ClipSpec& spec) {
    AVPacket* packet = av_packet_alloc();
    bool ok = true;
    while (avcodec_receive_packet(encoder, packet) >= 0) {
        if (!spec.times.empty()) {
            // Durations follow the explicit times (uneven sample lengths).
            for (size_t i = 0; i < spec.times.size(); ++i)
                if (spec.times[i] == packet->pts)
                    packet->duration = i + 1 < spec.times.size()
                                           ? spec.times[i + 1] - spec.times[i]
                                           : spec.lastDuration;
        }
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(out, packet) < 0)
            ok = false;
    }
    av_packet_free(&packet);
    return ok;
}

}  // namespace detail

// Encodes the clip; false when FFmpeg refuses any step.
inline bool writeClip(const ClipSpec& spec) {
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, spec.container, spec.path.c_str()) < 0)
        return false;
    bool ok = true;
    for (int s = 0; s < spec.audioStreamsFirst; ++s) {
        AVStream* audio = avformat_new_stream(out, nullptr);
        audio->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
        audio->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
        audio->codecpar->sample_rate = 8000;
        av_channel_layout_default(&audio->codecpar->ch_layout, 1);
        audio->codecpar->bits_per_coded_sample = 16;
        audio->codecpar->block_align = 2;
        audio->codecpar->bit_rate = 128000;
        audio->time_base = AVRational{1, 8000};
    }
    const AVCodec* codec = avcodec_find_encoder(spec.codec);
    AVCodecContext* encoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVStream* stream = avformat_new_stream(out, nullptr);
    if (!encoder || !stream) {
        avcodec_free_context(&encoder);
        avformat_free_context(out);
        return false;
    }
    encoder->width = spec.width;
    encoder->height = spec.height;
    encoder->pix_fmt = spec.pixelFormat;
    encoder->time_base = spec.times.empty() ? av_inv_q(spec.rate) : AVRational{1, spec.timeScale};
    encoder->framerate = spec.rate;
    encoder->gop_size = spec.gop;
    encoder->max_b_frames = spec.bFrames;
    encoder->thread_count = 1;
    encoder->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    if (out->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    for (const auto& [key, value] : spec.options)
        av_dict_set(&options, key.c_str(), value.c_str(), 0);
    ok = avcodec_open2(encoder, codec, &options) >= 0;
    av_dict_free(&options);
    ok = ok && avcodec_parameters_from_context(stream->codecpar, encoder) >= 0;
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = spec.rate;
    ok = ok && avio_open(&out->pb, spec.path.c_str(), AVIO_FLAG_WRITE) >= 0;
    ok = ok && avformat_write_header(out, nullptr) >= 0;

    AVFrame* picture = av_frame_alloc();
    picture->format = spec.pixelFormat;
    picture->width = spec.width;
    picture->height = spec.height;
    ok = ok && av_frame_get_buffer(picture, 0) >= 0;
    SwsContext* scaler = sws_getContext(spec.width, spec.height, AV_PIX_FMT_RGB24, spec.width,
                                        spec.height, spec.pixelFormat, SWS_POINT, nullptr, nullptr,
                                        nullptr);
    std::vector<uint8_t> rgb(static_cast<size_t>(spec.width) * spec.height * 3);
    const int64_t audioTotal =
        spec.audioSamples > 0 ? spec.audioSamples
                              : av_rescale_q(spec.frames, av_inv_q(spec.rate), AVRational{1, 8000});
    int64_t audioDone = 0;
    for (int n = 0; ok && n < spec.frames; ++n) {
        paintCode(rgb.data(), spec.width, spec.height, spec.width * 3, n);
        const uint8_t* planes[1] = {rgb.data()};
        const int strides[1] = {spec.width * 3};
        ok = av_frame_make_writable(picture) >= 0 && scaler &&
             sws_scale(scaler, planes, strides, 0, spec.height, picture->data, picture->linesize) > 0;
        picture->pts = spec.times.empty() ? n : spec.times[n];
        ok = ok && avcodec_send_frame(encoder, picture) >= 0 &&
             detail::drain(encoder, out, stream, spec);
        const int64_t audioDue = std::min(
            audioTotal, av_rescale_q(n + 1, av_inv_q(spec.rate), AVRational{1, 8000}));
        ok = ok && detail::writeAudio(out, spec.audioStreamsFirst, audioDone, audioDue);
        audioDone = std::max(audioDone, audioDue);
    }
    ok = ok && avcodec_send_frame(encoder, nullptr) >= 0 && detail::drain(encoder, out, stream, spec);
    ok = ok && detail::writeAudio(out, spec.audioStreamsFirst, audioDone, audioTotal);
    ok = ok && av_write_trailer(out) >= 0;
    sws_freeContext(scaler);
    av_frame_free(&picture);
    avcodec_free_context(&encoder);
    avio_closep(&out->pb);
    avformat_free_context(out);
    return ok;
}

namespace detail {

// Appends bits, most significant first.
struct BitWriter {
    std::vector<uint8_t> bytes;
    int used = 8;
    void put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() |= ((value >> i) & 1) << (7 - used++);
        }
    }
};

// A placeholder picture ("not coded" P-VOP) as DivX wrote after packed
// B-frames: it tells a decoder to show the picture it holds back.
inline std::vector<uint8_t> notCodedVop(int timeResolution, int tick) {
    int bits = 1;
    while ((1 << bits) < timeResolution)
        ++bits;
    BitWriter w;
    w.bytes = {0, 0, 1, 0xB6};
    w.put(1, 2);                               // P
    w.put(0, 1);                               // no whole seconds
    w.put(1, 1);                               // marker
    w.put(tick % timeResolution, bits);        // time increment
    w.put(1, 1);                               // marker
    w.put(0, 1);                               // not coded
    w.put(0, 1);                               // stuffing to the byte end
    while (w.used != 8)
        w.put(1, 1);
    return w.bytes;
}

inline int vopType(const uint8_t* data, int size) {
    for (int i = 0; i + 4 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6)
            return data[i + 4] >> 6;
    return -1;
}

}  // namespace detail

// An MPEG-4 Part 2 AVI with "packed" B-frames, as DivX and XviD stored them
// for Video for Windows (one picture out per sample in): each P-frame that
// B-frames lead shares its sample with the first of them, the other
// B-frames follow one per sample, then a placeholder sample. Sample n then
// shows frame n. spec.codec must be MPEG-4 with B-frames; the stream carries
// the packed-stream mark in its user data.
inline bool writePackedMpeg4Avi(ClipSpec spec) {
    const std::string target = spec.path;
    spec.path = target + ".unpacked.avi";
    spec.container = "avi";
    if (!writeClip(spec))
        return false;
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, spec.path.c_str(), nullptr, nullptr) < 0)
        return false;
    struct Picture {
        std::vector<uint8_t> bytes;
        int type = -1;
    };
    std::vector<Picture> decodeOrder;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(in, packet) >= 0) {
        if (packet->size > 0)
            decodeOrder.push_back({std::vector<uint8_t>(packet->data, packet->data + packet->size),
                                   detail::vopType(packet->data, packet->size)});
        av_packet_unref(packet);
    }
    AVFormatContext* out = nullptr;
    bool ok = avformat_alloc_output_context2(&out, nullptr, "avi", target.c_str()) >= 0;
    AVStream* stream = ok ? avformat_new_stream(out, nullptr) : nullptr;
    ok = stream && avcodec_parameters_copy(stream->codecpar, in->streams[0]->codecpar) >= 0;
    const int resolution = spec.rate.num;
    avformat_close_input(&in);
    std::remove(spec.path.c_str());
    if (!ok) {
        av_packet_free(&packet);
        avformat_free_context(out);
        return false;
    }
    stream->time_base = av_inv_q(spec.rate);
    ok = avio_open(&out->pb, target.c_str(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(out, nullptr) >= 0;
    int64_t slot = 0;
    auto writeSample = [&](std::vector<uint8_t> bytes, bool key) {
        ok = ok && av_new_packet(packet, static_cast<int>(bytes.size())) >= 0;
        if (!ok)
            return;
        std::memcpy(packet->data, bytes.data(), bytes.size());
        packet->stream_index = 0;
        packet->pts = packet->dts = slot++;
        packet->duration = 1;
        packet->flags = key ? AV_PKT_FLAG_KEY : 0;
        ok = av_write_frame(out, packet) >= 0;
        av_packet_unref(packet);
    };
    static const char kMark[] = "\0\0\1\xB2" "DivX503b1393p";
    for (size_t i = 0; ok && i < decodeOrder.size(); ++i) {
        std::vector<uint8_t> sample = decodeOrder[i].bytes;
        if (i == 0) {
            // The packed-stream mark goes before the first picture.
            const size_t vop = std::search(sample.begin(), sample.end(), "\0\0\1\xB6",
                                           "\0\0\1\xB6" + 4) - sample.begin();
            sample.insert(sample.begin() + static_cast<ptrdiff_t>(vop), kMark, kMark + sizeof kMark - 1);
        }
        const bool key = decodeOrder[i].type == 0;
        size_t b = i + 1;
        while (b < decodeOrder.size() && decodeOrder[b].type == 2)
            ++b;
        if (b == i + 1) {
            writeSample(sample, key);
            continue;
        }
        // The reference picture with the first B-frame, the others alone,
        // then the placeholder that shows the held-back reference picture.
        sample.insert(sample.end(), decodeOrder[i + 1].bytes.begin(), decodeOrder[i + 1].bytes.end());
        writeSample(sample, key);
        for (size_t k = i + 2; k < b; ++k)
            writeSample(decodeOrder[k].bytes, false);
        writeSample(detail::notCodedVop(resolution, static_cast<int>(slot)), false);
        i = b - 1;
    }
    ok = ok && av_write_trailer(out) >= 0;
    av_packet_free(&packet);
    avio_closep(&out->pb);
    avformat_free_context(out);
    return ok;
}

// An uncompressed AVI to write sample by sample.
struct RawAviSpec {
    std::string path;
    int width = 65;
    int height = 48;
    int bitCount = 24;   // 8, 16 or 24
    int frames = 12;
    bool bottomUp = true;
    // The colour table of 8-bit files as 0x00RRGGBB words (256 entries are
    // written; paletteEntries shortens the stored table).
    std::vector<uint32_t> palette;
    int paletteEntries = 256;
    // The bytes of sample n, rows padded to four bytes, in file row order.
    std::function<std::vector<uint8_t>(int n)> sample;
};

namespace detail {

inline std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

inline void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Offset of the data of the first chunk with this id after a "strh" whose
// type is "vids"; 0 when there is none.
inline size_t videoChunk(const std::vector<uint8_t>& file, const char* id) {
    for (size_t i = 0; i + 16 < file.size(); ++i)
        if (!std::memcmp(&file[i], "strh", 4) && !std::memcmp(&file[i + 8], "vids", 4)) {
            if (!std::strcmp(id, "strh"))
                return i + 8;
            for (size_t j = i; j + 8 < file.size(); ++j)
                if (!std::memcmp(&file[j], id, 4))
                    return j + 8;
        }
    return 0;
}

}  // namespace detail

// Muxes the samples with FFmpeg's AVI muxer, then sets the row order and
// shortens the colour table in the header as the fixture description asks.
inline bool writeRawAvi(const RawAviSpec& spec) {
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, "avi", spec.path.c_str()) < 0)
        return false;
    AVStream* stream = avformat_new_stream(out, nullptr);
    AVCodecParameters* p = stream->codecpar;
    p->codec_type = AVMEDIA_TYPE_VIDEO;
    p->codec_id = AV_CODEC_ID_RAWVIDEO;
    p->codec_tag = 0;
    p->width = spec.width;
    p->height = spec.height;
    p->bits_per_coded_sample = spec.bitCount;
    p->format = spec.bitCount == 8 ? AV_PIX_FMT_PAL8
                : spec.bitCount == 16 ? AV_PIX_FMT_RGB555LE
                                      : AV_PIX_FMT_BGR24;
    stream->time_base = AVRational{1, 30};
    bool ok = avio_open(&out->pb, spec.path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
              avformat_write_header(out, nullptr) >= 0;
    for (int n = 0; ok && n < spec.frames; ++n) {
        const std::vector<uint8_t> bytes = spec.sample(n);
        AVPacket* packet = av_packet_alloc();
        ok = av_new_packet(packet, static_cast<int>(bytes.size())) >= 0;
        if (ok) {
            std::memcpy(packet->data, bytes.data(), bytes.size());
            packet->pts = packet->dts = n;
            packet->duration = 1;
            packet->flags |= AV_PKT_FLAG_KEY;
            if (spec.bitCount == 8 && n == 0) {
                uint8_t* side = av_packet_new_side_data(packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
                for (int i = 0; i < 256; ++i) {
                    const uint32_t entry =
                        0xFF000000u | (i < static_cast<int>(spec.palette.size()) ? spec.palette[i] : 0);
                    std::memcpy(side + 4 * i, &entry, 4);
                }
            }
            ok = av_write_frame(out, packet) >= 0;
        }
        av_packet_free(&packet);
    }
    ok = ok && av_write_trailer(out) >= 0;
    avio_closep(&out->pb);
    avformat_free_context(out);
    if (!ok)
        return false;

    std::vector<uint8_t> file = detail::readAll(spec.path);
    const size_t strf = detail::videoChunk(file, "strf");
    if (!strf || strf + 40 > file.size())
        return false;
    const int32_t height = static_cast<int32_t>(detail::le32(&file[strf + 8]));
    detail::putLe32(&file[strf + 8],
                    static_cast<uint32_t>(spec.bottomUp ? std::abs(height) : -std::abs(height)));
    if (spec.bitCount == 8 && spec.paletteEntries < 255) {
        // The table ends early; the rest of the old table becomes a JUNK chunk.
        const uint32_t kept = 40 + 4 * spec.paletteEntries;
        const uint32_t oldSize = detail::le32(&file[strf - 4]);
        if (oldSize < kept + 8)
            return false;
        detail::putLe32(&file[strf - 4], kept);
        std::memcpy(&file[strf + kept], "JUNK", 4);
        detail::putLe32(&file[strf + kept + 4], oldSize - kept - 8);
        detail::putLe32(&file[strf + 32], spec.paletteEntries);  // biClrUsed
    }
    detail::writeAll(spec.path, file);
    return true;
}

// Makes the video stream header claim a length of frames samples.
inline bool patchAviVideoLength(const std::string& path, uint32_t frames) {
    std::vector<uint8_t> file = detail::readAll(path);
    const size_t strh = detail::videoChunk(file, "strh");
    if (!strh || strh + 36 > file.size())
        return false;
    detail::putLe32(&file[strh + 32], frames);
    detail::writeAll(path, file);
    return true;
}

// Sets the video stream header's time scale and rate (samples per second =
// rate / scale).
inline bool patchAviVideoRate(const std::string& path, uint32_t scale, uint32_t rate) {
    std::vector<uint8_t> file = detail::readAll(path);
    const size_t strh = detail::videoChunk(file, "strh");
    if (!strh || strh + 28 > file.size())
        return false;
    detail::putLe32(&file[strh + 20], scale);
    detail::putLe32(&file[strh + 24], rate);
    detail::writeAll(path, file);
    return true;
}

// Writes bytes as the whole file.
inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Cuts the file to its first keep bytes.
inline void truncateFile(const std::string& path, size_t keep) {
    std::vector<uint8_t> file = detail::readAll(path);
    file.resize(std::min(keep, file.size()));
    detail::writeAll(path, file);
}

inline size_t fileSize(const std::string& path) { return detail::readAll(path).size(); }

// A fresh directory for one test program's files.
inline std::string scratchDirectory(const std::string& name) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("veltro_movie_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

}  // namespace veltro::fixtures
