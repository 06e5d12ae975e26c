// A capture run over FFmpeg: the camera through libavdevice's V4L2 input (or
// the lavfi test source for the synthetic camera), sound through the PulseAudio
// or ALSA input, and the recording through libavformat's AVI muxer. Two
// threads: the worker reads pictures, previews and writes them; a sound
// thread it owns reads and writes sound. The muxer is shared under a mutex.
#include "movie/capture_session.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace veltro {

namespace {

using Clock = std::chrono::steady_clock;

// The camera is taken for lost when it delivers nothing for this long.
constexpr auto kDeviceSilence = std::chrono::seconds(5);
// How long a read waits before looking at the stop request again.
constexpr auto kPollPause = std::chrono::milliseconds(5);
// Motion JPEG quality of encoded frames (FFmpeg's qscale, 2 best .. 31).
constexpr int kJpegQuality = 3;
// The synthetic camera's tone.
constexpr int kToneFrequency = 440;

std::string ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void registerDevices() {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

// Reads that would block return EAGAIN, so stop requests are seen; the
// interrupt callback also ends reads that block in spite of that.
int interruptRead(void* opaque) { return static_cast<std::atomic<bool>*>(opaque)->load() ? 1 : 0; }

AVFormatContext* openInput(const char* formatName, const std::string& url, AVDictionary** options,
                           std::atomic<bool>* stop, std::string* error) {
    registerDevices();
    const AVInputFormat* format = av_find_input_format(formatName);
    if (!format) {
        if (error)
            *error = std::string("FFmpeg has no ") + formatName + " input";
        av_dict_free(options);
        return nullptr;
    }
    AVFormatContext* context = avformat_alloc_context();
    if (!context) {
        av_dict_free(options);
        return nullptr;
    }
    context->flags |= AVFMT_FLAG_NONBLOCK;
    context->interrupt_callback.callback = interruptRead;
    context->interrupt_callback.opaque = stop;
    const int opened = avformat_open_input(&context, url.c_str(), format, options);
    av_dict_free(options);
    if (opened < 0) {
        if (error)
            *error = url + ": " + ffmpegError(opened);
        return nullptr;  // avformat_open_input freed the context
    }
    return context;
}

// The first stream of a kind, or -1.
int streamOf(const AVFormatContext* context, AVMediaType type) {
    for (unsigned i = 0; i < context->nb_streams; ++i)
        if (context->streams[i]->codecpar->codec_type == type)
            return static_cast<int>(i);
    return -1;
}

AVCodecContext* openDecoder(const AVStream& stream) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec)
        return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context)
        return nullptr;
    if (avcodec_parameters_to_context(context, stream.codecpar) < 0 || avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return nullptr;
    }
    return context;
}

// Writes the recording's frame interval into the AVI main header
// (dwMicroSecPerFrame, right after "RIFF....AVI LIST....hdrlavih...."):
// FFmpeg's muxer truncates 1000000 / rate, the recording keeps the rounded
// value (66667 for 15 frames a second). False when the header is not there.
bool writeFrameInterval(const std::string& path, int microseconds) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file)
        return false;
    unsigned char header[36] = {};
    bool ok = std::fread(header, 1, sizeof header, file) == sizeof header && std::memcmp(header, "RIFF", 4) == 0 &&
              std::memcmp(header + 8, "AVI ", 4) == 0 && std::memcmp(header + 12, "LIST", 4) == 0 &&
              std::memcmp(header + 20, "hdrl", 4) == 0 && std::memcmp(header + 24, "avih", 4) == 0;
    if (ok) {
        const auto us = static_cast<uint32_t>(microseconds);
        const unsigned char value[4] = {static_cast<unsigned char>(us), static_cast<unsigned char>(us >> 8),
                                        static_cast<unsigned char>(us >> 16), static_cast<unsigned char>(us >> 24)};
        ok = std::fseek(file, 32, SEEK_SET) == 0 && std::fwrite(value, 1, 4, file) == 4;
    }
    return std::fclose(file) == 0 && ok;
}

}  // namespace

// Everything FFmpeg of one run; released by the destructor in reverse order.
struct CaptureSession::Pipeline {
    ~Pipeline() {
        sws_freeContext(previewScaler);
        sws_freeContext(encodeScaler);
        swr_free(&resampler);
        avcodec_free_context(&videoDecoder);
        avcodec_free_context(&encoder);
        avcodec_free_context(&audioDecoder);
        av_frame_free(&picture);
        av_frame_free(&encodePicture);
        av_frame_free(&sound);
        av_packet_free(&packet);
        av_packet_free(&encoded);
        av_packet_free(&audioPacket);
        avformat_close_input(&videoInput);
        avformat_close_input(&audioInput);
        if (output) {
            if (output->pb)
                avio_closep(&output->pb);
            avformat_free_context(output);
        }
    }

    AVFormatContext* videoInput = nullptr;
    int videoStream = -1;
    AVCodecContext* videoDecoder = nullptr;
    SwsContext* previewScaler = nullptr;
    SwsContext* encodeScaler = nullptr;
    AVCodecContext* encoder = nullptr;  // none when the camera's JPEG passes through
    AVFrame* picture = nullptr;
    AVFrame* encodePicture = nullptr;
    AVPacket* packet = nullptr;
    AVPacket* encoded = nullptr;

    AVFormatContext* audioInput = nullptr;
    int audioStream = -1;
    AVCodecContext* audioDecoder = nullptr;
    SwrContext* resampler = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* audioPacket = nullptr;

    AVFormatContext* output = nullptr;
    AVStream* videoOut = nullptr;
    AVStream* audioOut = nullptr;
    std::mutex outputMutex;
    bool headerWritten = false;
    std::string writeError;

    std::thread audioThread;
    std::atomic<bool> audioStop{false};
    bool noMicrophone = false;
};

const char* captureNoticeText(CaptureNotice what) {
    switch (what) {
    case CaptureNotice::NoMicrophone: return "No microphone was found: recording video only.";
    case CaptureNotice::CameraLost: break;
    }
    return "The camera stopped sending pictures. The recording keeps what was recorded until then.";
}

CaptureSession::CaptureSession(CaptureDeviceInfo device, CaptureFormat format, CaptureListener* listener)
    : m_device(std::move(device)), m_format(std::move(format)), m_listener(listener) {}

CaptureSession::~CaptureSession() { stop(); }

bool CaptureSession::start(const CaptureSettings& settings, std::string* error) {
    if (m_running.load() || m_worker.joinable())
        stop();
    if (!isValidCaptureRate(settings.rate)) {
        if (error)
            *error = "Bad rate.";
        return false;
    }
    m_settings = settings;
    m_stopRequested = false;
    m_frames = 0;
    m_result = {};
    auto pipeline = std::make_unique<Pipeline>();
    Pipeline& p = *pipeline;
    const bool recording = !settings.outputPath.empty();

    // The pictures.
    AVDictionary* options = nullptr;
    if (m_device.kind == CaptureDeviceKind::Synthetic) {
        const int width = m_format.width > 0 ? m_format.width : 320;
        const int height = m_format.height > 0 ? m_format.height : 240;
        const int rate = recording || m_format.frameMicroseconds <= 0
                             ? settings.rate
                             : rateForFrameInterval(m_format.frameMicroseconds);
        const std::string graph = "testsrc=size=" + std::to_string(width) + "x" + std::to_string(height) +
                                  ":rate=" + std::to_string(rate) +
                                  (m_device.path.empty() ? "" : ":" + m_device.path) + ",realtime";
        p.videoInput = openInput("lavfi", graph, &options, &m_stopRequested, error);
    } else {
        if (m_format.width > 0 && m_format.height > 0)
            av_dict_set(&options, "video_size",
                        (std::to_string(m_format.width) + "x" + std::to_string(m_format.height)).c_str(), 0);
        if (!m_format.pixelFormat.empty())
            av_dict_set(&options, "input_format", m_format.pixelFormat.c_str(), 0);
        if (recording)
            av_dict_set(&options, "framerate", std::to_string(settings.rate).c_str(), 0);
        else if (m_format.frameMicroseconds > 0)
            av_dict_set(&options, "framerate",
                        std::to_string(rateForFrameInterval(m_format.frameMicroseconds)).c_str(), 0);
        p.videoInput = openInput("video4linux2", m_device.path, &options, &m_stopRequested, error);
    }
    if (!p.videoInput)
        return false;
    p.videoStream = streamOf(p.videoInput, AVMEDIA_TYPE_VIDEO);
    if (p.videoStream < 0 || !(p.videoDecoder = openDecoder(*p.videoInput->streams[p.videoStream]))) {
        if (error)
            *error = m_device.name + ": the device delivers no pictures this program can read";
        return false;
    }
    const AVCodecParameters& in = *p.videoInput->streams[p.videoStream]->codecpar;
    if (in.width <= 0 || in.height <= 0 || in.width > 8192 || in.height > 8192) {
        if (error)
            *error = m_device.name + ": the device reports no usable picture size";
        return false;
    }
    p.picture = av_frame_alloc();
    p.packet = av_packet_alloc();
    if (!p.picture || !p.packet)
        return false;

    if (recording && !openRecording(p, settings, error))
        return false;

    m_pipeline = std::move(pipeline);
    m_running = true;
    m_worker = std::thread([this] { work(); });
    return true;
}

bool CaptureSession::openRecording(Pipeline& p, const CaptureSettings& settings, std::string* error) {
    const AVCodecParameters& in = *p.videoInput->streams[p.videoStream]->codecpar;
    const AVRational frameTime{1, settings.rate};
    if (avformat_alloc_output_context2(&p.output, nullptr, "avi", settings.outputPath.c_str()) < 0 || !p.output) {
        if (error)
            *error = "FFmpeg has no AVI writer";
        return false;
    }
    p.videoOut = avformat_new_stream(p.output, nullptr);
    if (!p.videoOut)
        return false;
    p.videoOut->time_base = frameTime;
    p.videoOut->avg_frame_rate = AVRational{settings.rate, 1};
    AVCodecParameters& out = *p.videoOut->codecpar;
    out.codec_type = AVMEDIA_TYPE_VIDEO;
    out.codec_id = AV_CODEC_ID_MJPEG;
    out.width = in.width;
    out.height = in.height;
    if (in.codec_id != AV_CODEC_ID_MJPEG) {
        // Anything but the camera's own JPEG is encoded here.
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
        p.encoder = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (!p.encoder)
            return false;
        p.encoder->width = in.width;
        p.encoder->height = in.height;
        // Full-range 4:2:0, as JPEG stores it.
        p.encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        p.encoder->color_range = AVCOL_RANGE_JPEG;
        p.encoder->time_base = frameTime;
        p.encoder->flags |= AV_CODEC_FLAG_QSCALE;
        p.encoder->global_quality = FF_QP2LAMBDA * kJpegQuality;
        if (avcodec_open2(p.encoder, codec, nullptr) < 0 ||
            avcodec_parameters_from_context(&out, p.encoder) < 0) {
            if (error)
                *error = "the Motion JPEG encoder cannot be opened";
            return false;
        }
        p.encodePicture = av_frame_alloc();
        if (!p.encodePicture)
            return false;
        p.encodePicture->format = AV_PIX_FMT_YUV420P;
        p.encodePicture->color_range = AVCOL_RANGE_JPEG;
        p.encodePicture->width = in.width;
        p.encodePicture->height = in.height;
        if (av_frame_get_buffer(p.encodePicture, 0) < 0)
            return false;
    }
    p.encoded = av_packet_alloc();
    if (!p.encoded)
        return false;

    if (settings.audio)
        openSound(p, settings);

    if (!(p.output->oformat->flags & AVFMT_NOFILE)) {
        const int opened = avio_open(&p.output->pb, settings.outputPath.c_str(), AVIO_FLAG_WRITE);
        if (opened < 0) {
            if (error)
                *error = settings.outputPath + ": " + ffmpegError(opened);
            return false;
        }
    }
    const int written = avformat_write_header(p.output, nullptr);
    if (written < 0) {
        if (error)
            *error = settings.outputPath + ": " + ffmpegError(written);
        return false;
    }
    p.headerWritten = true;
    return true;
}

void CaptureSession::openSound(Pipeline& p, const CaptureSettings&) {
    AVDictionary* options = nullptr;
    if (m_device.kind == CaptureDeviceKind::Synthetic) {
        const std::string graph = "sine=frequency=" + std::to_string(kToneFrequency) +
                                  ":sample_rate=" + std::to_string(kCaptureSampleRate) + ",arealtime";
        p.audioInput = openInput("lavfi", graph, &options, &p.audioStop, nullptr);
    } else {
        // The desktop's sound server first, then the ALSA default device.
        for (const char* input : {"pulse", "alsa"}) {
            av_dict_set(&options, "sample_rate", std::to_string(kCaptureSampleRate).c_str(), 0);
            av_dict_set(&options, "channels", "1", 0);
            p.audioInput = openInput(input, "default", &options, &p.audioStop, nullptr);
            if (p.audioInput)
                break;
        }
    }
    if (p.audioInput) {
        p.audioStream = streamOf(p.audioInput, AVMEDIA_TYPE_AUDIO);
        if (p.audioStream >= 0)
            p.audioDecoder = openDecoder(*p.audioInput->streams[p.audioStream]);
        if (p.audioDecoder) {
            AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
            if (swr_alloc_set_opts2(&p.resampler, &mono, AV_SAMPLE_FMT_S16, kCaptureSampleRate,
                                    &p.audioDecoder->ch_layout, p.audioDecoder->sample_fmt,
                                    p.audioDecoder->sample_rate, 0, nullptr) < 0 ||
                swr_init(p.resampler) < 0)
                swr_free(&p.resampler);
        }
        p.sound = av_frame_alloc();
        p.audioPacket = av_packet_alloc();
    }
    if (!p.resampler || !p.sound || !p.audioPacket) {
        avformat_close_input(&p.audioInput);
        p.noMicrophone = true;
        return;
    }
    p.audioOut = avformat_new_stream(p.output, nullptr);
    if (!p.audioOut) {
        avformat_close_input(&p.audioInput);
        p.noMicrophone = true;
        return;
    }
    p.audioOut->time_base = AVRational{1, kCaptureSampleRate};
    AVCodecParameters& out = *p.audioOut->codecpar;
    out.codec_type = AVMEDIA_TYPE_AUDIO;
    out.codec_id = AV_CODEC_ID_PCM_S16LE;
    out.sample_rate = kCaptureSampleRate;
    av_channel_layout_default(&out.ch_layout, 1);
    out.bits_per_coded_sample = 16;
    out.block_align = 2;
    out.bit_rate = int64_t{kCaptureSampleRate} * 16;
}

CaptureResult CaptureSession::stop() {
    m_stopRequested = true;
    return wait();
}

CaptureResult CaptureSession::wait() {
    if (m_worker.joinable())
        m_worker.join();
    m_pipeline.reset();
    return m_result;
}

// Writes one packet of the recording; false when the file refuses it.
bool CaptureSession::writePacket(AVPacket& packet) {
    Pipeline& p = *m_pipeline;
    std::lock_guard lock(p.outputMutex);
    const int written = av_interleaved_write_frame(p.output, &packet);
    if (written < 0 && p.writeError.empty())
        p.writeError = "the recording could not be written: " + ffmpegError(written);
    return written >= 0;
}

void CaptureSession::soundWork() {
    Pipeline& p = *m_pipeline;
    const int64_t limit = m_settings.seconds > 0 ? std::llround(m_settings.seconds * kCaptureSampleRate) : -1;
    int64_t written = 0;
    std::vector<int16_t> samples;
    while (!p.audioStop.load() && (limit < 0 || written < limit)) {
        const int read = av_read_frame(p.audioInput, p.audioPacket);
        if (read == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(kPollPause);
            continue;
        }
        if (read < 0)
            break;
        if (p.audioPacket->stream_index == p.audioStream && avcodec_send_packet(p.audioDecoder, p.audioPacket) >= 0) {
            while (avcodec_receive_frame(p.audioDecoder, p.sound) >= 0) {
                const int room = swr_get_out_samples(p.resampler, p.sound->nb_samples);
                samples.resize(static_cast<size_t>(std::max(room, 0)));
                uint8_t* target = reinterpret_cast<uint8_t*>(samples.data());
                const int made = swr_convert(p.resampler, &target, room,
                                             const_cast<const uint8_t**>(p.sound->extended_data),
                                             p.sound->nb_samples);
                av_frame_unref(p.sound);
                int count = made;
                if (limit >= 0)
                    count = static_cast<int>(std::min<int64_t>(count, limit - written));
                if (count <= 0)
                    continue;
                AVPacket* out = av_packet_alloc();
                if (!out || av_new_packet(out, count * 2) < 0) {
                    av_packet_free(&out);
                    continue;
                }
                std::memcpy(out->data, samples.data(), static_cast<size_t>(count) * 2);
                out->stream_index = p.audioOut->index;
                out->pts = out->dts = av_rescale_q(written, AVRational{1, kCaptureSampleRate}, p.audioOut->time_base);
                out->duration = av_rescale_q(count, AVRational{1, kCaptureSampleRate}, p.audioOut->time_base);
                written += count;
                const bool ok = writePacket(*out);
                av_packet_free(&out);
                if (!ok)
                    return;
            }
        }
        av_packet_unref(p.audioPacket);
    }
}

// Hands a preview picture of the decoded frame to the listener.
void CaptureSession::preview(const AVFrame& frame) {
    Pipeline& p = *m_pipeline;
    if (!m_listener)
        return;
    p.previewScaler = sws_getCachedContext(p.previewScaler, frame.width, frame.height,
                                           static_cast<AVPixelFormat>(frame.format), frame.width, frame.height,
                                           AV_PIX_FMT_BGRA, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!p.previewScaler)
        return;
    ImageBuffer image(frame.width, frame.height);
    uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(image.data()), nullptr, nullptr, nullptr};
    int strides[4] = {frame.width * 4, 0, 0, 0};
    if (sws_scale(p.previewScaler, frame.data, frame.linesize, 0, frame.height, planes, strides) <= 0)
        return;
    for (uint32_t& pixel : image.pixels)
        pixel |= 0xFF000000u;
    m_listener->previewFrame(image);
}

// Encodes the decoded frame as recording frame index.
bool CaptureSession::encode(const AVFrame& frame, int64_t index) {
    Pipeline& p = *m_pipeline;
    if (av_frame_make_writable(p.encodePicture) < 0)
        return false;
    p.encodeScaler = sws_getCachedContext(p.encodeScaler, frame.width, frame.height,
                                          static_cast<AVPixelFormat>(frame.format), p.encoder->width,
                                          p.encoder->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr,
                                          nullptr);
    if (!p.encodeScaler)
        return false;
    const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
    const bool fullIn = frame.color_range == AVCOL_RANGE_JPEG || frame.format == AV_PIX_FMT_RGB24 ||
                        frame.format == AV_PIX_FMT_BGR24 || frame.format == AV_PIX_FMT_BGRA;
    sws_setColorspaceDetails(p.encodeScaler, coefficients, fullIn ? 1 : 0, coefficients, 1, 0, 1 << 16, 1 << 16);
    if (sws_scale(p.encodeScaler, frame.data, frame.linesize, 0, frame.height, p.encodePicture->data,
                  p.encodePicture->linesize) <= 0)
        return false;
    p.encodePicture->pts = index;
    if (avcodec_send_frame(p.encoder, p.encodePicture) < 0)
        return false;
    bool ok = true;
    while (avcodec_receive_packet(p.encoder, p.encoded) >= 0) {
        p.encoded->stream_index = p.videoOut->index;
        av_packet_rescale_ts(p.encoded, p.encoder->time_base, p.videoOut->time_base);
        ok = writePacket(*p.encoded) && ok;
        av_packet_unref(p.encoded);
    }
    return ok;
}

void CaptureSession::work() {
    Pipeline& p = *m_pipeline;
    const bool recording = p.output != nullptr;
    const AVStream& stream = *p.videoInput->streams[p.videoStream];
    const bool passThrough = recording && !p.encoder;
    if (recording && p.audioInput)
        p.audioThread = std::thread([this] { soundWork(); });
    if (p.noMicrophone && m_listener)
        m_listener->notice(CaptureNotice::NoMicrophone);

    const int64_t frameLimit = m_settings.seconds > 0 ? std::llround(m_settings.seconds * m_settings.rate) : -1;
    int64_t firstPts = AV_NOPTS_VALUE;
    int64_t lastIndex = -1;
    Clock::time_point lastPicture = Clock::now();
    Clock::time_point lastPreview{};
    bool lost = false;
    bool failed = false;
    std::string failure;

    while (!m_stopRequested.load()) {
        const int read = av_read_frame(p.videoInput, p.packet);
        if (read == AVERROR(EAGAIN)) {
            if (Clock::now() - lastPicture > kDeviceSilence) {
                lost = true;
                break;
            }
            std::this_thread::sleep_for(kPollPause);
            continue;
        }
        if (read < 0) {
            // Only a stop request ends reads on purpose; anything else is the
            // camera going away (ENODEV, EIO) or the source drying up.
            if (!m_stopRequested.load())
                lost = true;
            break;
        }
        if (p.packet->stream_index != p.videoStream) {
            av_packet_unref(p.packet);
            continue;
        }
        lastPicture = Clock::now();
        const int64_t pts = p.packet->pts != AV_NOPTS_VALUE ? p.packet->pts : p.packet->dts;
        if (firstPts == AV_NOPTS_VALUE)
            firstPts = pts;
        // The recording frame this picture falls on, by its own timestamp:
        // pictures that come faster than the rate are dropped, gaps in a
        // slower camera become empty samples that repeat the last picture.
        int64_t index = lastIndex + 1;
        if (pts != AV_NOPTS_VALUE && firstPts != AV_NOPTS_VALUE) {
            const double seconds = static_cast<double>(pts - firstPts) * av_q2d(stream.time_base);
            index = std::llround(seconds * m_settings.rate);
        }
        if (frameLimit >= 0 && index >= frameLimit) {
            av_packet_unref(p.packet);
            break;
        }
        const bool record = recording && index > lastIndex;
        const bool previewDue =
            m_listener && Clock::now() - lastPreview >= std::chrono::milliseconds(kPreviewIntervalMilliseconds);
        bool decoded = false;
        if ((previewDue || (record && !passThrough)) && avcodec_send_packet(p.videoDecoder, p.packet) >= 0)
            decoded = avcodec_receive_frame(p.videoDecoder, p.picture) >= 0;
        if (record) {
            bool ok;
            if (passThrough) {
                AVPacket* copy = av_packet_clone(p.packet);
                ok = copy != nullptr;
                if (copy) {
                    copy->stream_index = p.videoOut->index;
                    copy->pts = copy->dts = av_rescale_q(index, AVRational{1, m_settings.rate}, p.videoOut->time_base);
                    copy->duration = av_rescale_q(1, AVRational{1, m_settings.rate}, p.videoOut->time_base);
                    copy->flags |= AV_PKT_FLAG_KEY;
                    ok = writePacket(*copy);
                    av_packet_free(&copy);
                }
            } else {
                ok = decoded && encode(*p.picture, index);
            }
            if (ok) {
                lastIndex = index;
                ++m_frames;
                if (m_listener)
                    m_listener->frameRecorded(m_frames.load());
            } else if (!p.writeError.empty()) {
                failed = true;
                failure = p.writeError;
                av_packet_unref(p.packet);
                break;
            }
        }
        if (decoded && previewDue) {
            preview(*p.picture);
            lastPreview = Clock::now();
        }
        if (decoded)
            av_frame_unref(p.picture);
        av_packet_unref(p.packet);
    }

    if (p.audioThread.joinable()) {
        p.audioStop = true;
        p.audioThread.join();
    }
    CaptureResult result;
    result.frames = m_frames.load();
    result.audio = recording && p.audioInput != nullptr;
    result.deviceLost = lost;
    if (recording) {
        if (p.encoder && avcodec_send_frame(p.encoder, nullptr) >= 0) {
            while (avcodec_receive_packet(p.encoder, p.encoded) >= 0) {
                p.encoded->stream_index = p.videoOut->index;
                av_packet_rescale_ts(p.encoded, p.encoder->time_base, p.videoOut->time_base);
                writePacket(*p.encoded);
                av_packet_unref(p.encoded);
            }
        }
        std::lock_guard lock(p.outputMutex);
        const int trailer = av_write_trailer(p.output);
        const int closed = avio_closep(&p.output->pb);
        if (!failed && (trailer < 0 || closed < 0)) {
            failed = true;
            failure = "the recording could not be finished: " + ffmpegError(trailer < 0 ? trailer : closed);
        }
        if (!failed && !writeFrameInterval(m_settings.outputPath, microsecondsPerFrame(m_settings.rate))) {
            failed = true;
            failure = "the recording's header could not be completed";
        }
    }
    result.ok = !failed;
    if (failed)
        result.error = failure;
    else if (lost)
        result.error = captureNoticeText(CaptureNotice::CameraLost);
    if (lost && m_listener)
        m_listener->notice(CaptureNotice::CameraLost);
    m_result = result;
    m_running = false;
    if (m_listener)
        m_listener->finished(result);
}

CaptureResult recordClip(const CaptureDeviceInfo& device, const CaptureFormat& format,
                         const CaptureSettings& settings, CaptureListener* listener) {
    CaptureSession session(device, format, listener);
    std::string error;
    if (settings.seconds <= 0 || settings.outputPath.empty()) {
        CaptureResult result;
        result.error = "a recording needs a file and a length";
        return result;
    }
    if (!session.start(settings, &error)) {
        CaptureResult result;
        result.error = error;
        return result;
    }
    return session.wait();
}

}  // namespace veltro
