// The first-run sample clip: drawn frame by frame and encoded with FFmpeg's
// Motion-JPEG encoder into an AVI container.
#include "app/shell/sample_clip.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace veltro {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kBallRadius = 20;

uint32_t rgb(double r, double g, double b) {
    auto c = [](double v) { return static_cast<uint32_t>(std::clamp(v, 0.0, 255.0)); };
    return 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
}

// The track: left to right across the picture, a gentle wave.
void trackPoint(double t, double* x, double* y) {
    *x = 36.0 + t * (kSampleWidth - 72.0);
    *y = 130.0 + 55.0 * std::sin(t * 2.0 * kPi * 1.25);
}

// A wooden table top: warm stripes with fine grain, and the track drawn in.
uint32_t background(int x, int y) {
    double grain = std::sin(x * 0.07 + std::sin(y * 0.05) * 3.0) * 18.0 + std::sin(x * 0.9 + y * 0.13) * 5.0;
    double shade = 1.0 - 0.25 * (static_cast<double>(y) / kSampleHeight);
    return rgb((170 + grain) * shade, (120 + grain * 0.7) * shade, (70 + grain * 0.4) * shade);
}

}  // namespace

ImageBuffer sampleFrame(int index) {
    ImageBuffer frame(kSampleWidth, kSampleHeight);
    for (int y = 0; y < kSampleHeight; ++y)
        for (int x = 0; x < kSampleWidth; ++x)
            frame.pixels[static_cast<size_t>(y) * kSampleWidth + x] = background(x, y);
    // The groove the ball runs in.
    for (int step = 0; step <= 600; ++step) {
        double gx = 0, gy = 0;
        trackPoint(step / 600.0, &gx, &gy);
        for (int dy = -2; dy <= 2; ++dy) {
            int px = static_cast<int>(gx), py = static_cast<int>(gy) + kBallRadius + dy;
            if (px >= 0 && px < kSampleWidth && py >= 0 && py < kSampleHeight)
                frame.pixels[static_cast<size_t>(py) * kSampleWidth + px] = rgb(90, 60, 35);
        }
    }
    double t = kSampleFrameCount > 1 ? static_cast<double>(index) / (kSampleFrameCount - 1) : 0.0;
    double cx = 0, cy = 0;
    trackPoint(t, &cx, &cy);
    // Rolling: the ball turns by the distance travelled over its radius.
    double travelled = t * (kSampleWidth - 72.0);
    double angle = travelled / kBallRadius;
    for (int y = -kBallRadius - 4; y <= kBallRadius + 4; ++y) {
        for (int x = -kBallRadius - 4; x <= kBallRadius + 4; ++x) {
            int px = static_cast<int>(cx) + x, py = static_cast<int>(cy) + y;
            if (px < 0 || px >= kSampleWidth || py < 0 || py >= kSampleHeight)
                continue;
            uint32_t& pixel = frame.pixels[static_cast<size_t>(py) * kSampleWidth + px];
            double d = std::sqrt(double(x * x + y * y));
            if (d > kBallRadius) {
                // A soft shadow below and to the right.
                double sx = x - 4, sy = y - 5;
                if (std::sqrt(sx * sx + sy * sy) <= kBallRadius) {
                    uint32_t p = pixel;
                    pixel = rgb(((p >> 16) & 0xFF) * 0.6, ((p >> 8) & 0xFF) * 0.6, (p & 0xFF) * 0.6);
                }
                continue;
            }
            // A red ball with a white band that turns as it rolls, lit from the top left.
            double u = x * std::cos(angle) + y * std::sin(angle);
            bool band = std::fabs(u) < kBallRadius * 0.28;
            double light = 0.55 + 0.45 * std::max(0.0, 1.0 - std::hypot(x + 7.0, y + 7.0) / (kBallRadius * 1.6));
            pixel = band ? rgb(245 * light, 240 * light, 230 * light) : rgb(215 * light, 40 * light, 45 * light);
        }
    }
    return frame;
}

bool writeSampleClip(const std::string& path, std::string* error) {
    auto fail = [&](const char* why) {
        if (error)
            *error = why;
        return false;
    };
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, "avi", path.c_str()) < 0 || !out)
        return fail("the AVI container is not available");
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* encoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVStream* stream = avformat_new_stream(out, nullptr);
    AVFrame* picture = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    SwsContext* scaler = nullptr;
    bool ok = encoder && stream && picture && packet;
    const char* why = ok ? nullptr : "the Motion-JPEG encoder is not available";
    if (ok) {
        encoder->width = kSampleWidth;
        encoder->height = kSampleHeight;
        encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
        encoder->time_base = AVRational{1, kSampleFramesPerSecond};
        encoder->framerate = AVRational{kSampleFramesPerSecond, 1};
        encoder->thread_count = 1;
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = FF_QP2LAMBDA * 4;
        ok = avcodec_open2(encoder, codec, nullptr) >= 0 &&
             avcodec_parameters_from_context(stream->codecpar, encoder) >= 0;
        stream->time_base = encoder->time_base;
        stream->avg_frame_rate = encoder->framerate;
        ok = ok && avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
        if (!ok)
            why = "the file could not be created";
        ok = ok && avformat_write_header(out, nullptr) >= 0;
    }
    if (ok) {
        picture->format = encoder->pix_fmt;
        picture->width = kSampleWidth;
        picture->height = kSampleHeight;
        ok = av_frame_get_buffer(picture, 0) >= 0;
        scaler = sws_getContext(kSampleWidth, kSampleHeight, AV_PIX_FMT_BGRA, kSampleWidth, kSampleHeight,
                                encoder->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
        ok = ok && scaler;
    }
    auto drain = [&] {
        int status = 0;
        while ((status = avcodec_receive_packet(encoder, packet)) >= 0) {
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(out, packet) < 0)
                return false;
        }
        return status == AVERROR(EAGAIN) || status == AVERROR_EOF;
    };
    for (int n = 0; ok && n < kSampleFrameCount; ++n) {
        ImageBuffer frame = sampleFrame(n);
        // The pixel words are stored blue, green, red, alpha in memory.
        const uint8_t* planes[1] = {reinterpret_cast<const uint8_t*>(frame.pixels.data())};
        const int strides[1] = {kSampleWidth * 4};
        ok = av_frame_make_writable(picture) >= 0 &&
             sws_scale(scaler, planes, strides, 0, kSampleHeight, picture->data, picture->linesize) > 0;
        picture->pts = n;
        ok = ok && avcodec_send_frame(encoder, picture) >= 0 && drain();
    }
    ok = ok && avcodec_send_frame(encoder, nullptr) >= 0 && drain();
    ok = ok && av_write_trailer(out) >= 0;
    if (!ok && !why)
        why = "writing the clip failed";
    sws_freeContext(scaler);
    av_packet_free(&packet);
    av_frame_free(&picture);
    avcodec_free_context(&encoder);
    if (out->pb)
        avio_closep(&out->pb);
    avformat_free_context(out);
    return ok ? true : fail(why);
}

}  // namespace veltro
