// Movie decoding on FFmpeg's libraries. The demuxer reads through an I/O
// context over the library's file functions, so any file table the program
// installs (an archive, memory) plays movies too. Packets are kept in one
// queue per stream: reading on for sound may pass video packets and the
// other way round, and each decoder takes its own in order.
#include "platform/device/record.h"
#include "platform/media/movie_codec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <deque>
#include <string_view>
#include <vector>

namespace {

constexpr int IoBufferBytes = 32768;
constexpr int64_t Micro = 1000000;
// Times are kept within about 30 years either way, so that no sum or
// difference of two of them can overflow whatever a file claims.
constexpr int64_t TimeLimitUs = int64_t{1} << 50;

int64_t ClampTime(int64_t us) { return std::clamp(us, -TimeLimitUs, TimeLimitUs); }

// A key frame met while decoding on from a trusted time: `pos` is where a
// byte seek picks the stream up again before it, `us` its time as decoded.
struct KeyFrame {
    int64_t pos, us;
};

}  // namespace

struct PlatMovie {
    PlatMovieSource source;
    AVFormatContext* format;
    AVIOContext* io;
    int videoIndex, audioIndex;       // stream numbers; audio -1 without sound
    AVCodecContext* video;
    AVCodecContext* audio;
    std::deque<AVPacket*> videoPackets, audioPackets;
    int demuxEnded;                   // the demuxer has nothing more
    int videoDrained, audioDrained;   // the decoder was told the stream ended
    int64_t originUs;                 // the video stream's first time
    int64_t resyncPos;                // the last video packet's byte position known, or -1
    std::vector<KeyFrame> keys;       // in order of time and position
    KeyFrame lastKey;                 // the last one met, though it left the index
    int seeksByByte;                  // MPEG program and transport streams
    int64_t frameUs;

    AVFrame* current;                 // the frame shown
    AVFrame* next;                    // decoded ahead, not yet due
    int64_t currentUs, nextUs, lastUs;
    int haveCurrent, haveNext, videoEnded;
    int turn;                         // clockwise quarter turns from the frames to the picture
    std::vector<uint8_t> upright;     // a frame converted before it is turned
    SwsContext* scaler;

    AVFrame* sound;                   // scratch for decoded sound
    SwrContext* resampler;
    AVChannelLayout inLayout;         // what the resampler was made for
    int inFormat, inRate;
    PlatPcmFormat out;
    std::vector<uint8_t> pcm;         // resampled and not yet read
    size_t pcmRead;
    int64_t dropUntilUs;              // sound before this time is skipped (after a seek)
    int audioEnded;
};

namespace {

int IoRead(void* opaque, uint8_t* buffer, int size) {
    PlatMovieSource* s = static_cast<PlatMovieSource*>(opaque);
    size_t got = s->read(buffer, 1, static_cast<size_t>(size), s->file);
    return got ? static_cast<int>(got) : AVERROR_EOF;
}

int64_t IoSeek(void* opaque, int64_t offset, int whence) {
    PlatMovieSource* s = static_cast<PlatMovieSource*>(opaque);
    if (whence & AVSEEK_SIZE) {
        int32_t here = s->tell(s->file);
        if (here < 0 || s->seek(s->file, 0, SEEK_END) != 0) return -1;
        int32_t size = s->tell(s->file);
        s->seek(s->file, here, SEEK_SET);
        return size;
    }
    whence &= ~AVSEEK_FORCE;
    if (offset > INT32_MAX || offset < INT32_MIN) return -1;
    if (s->seek(s->file, static_cast<int32_t>(offset), whence) != 0) return -1;
    return s->tell(s->file);
}

// The image demuxers take a single picture from a file, and take it from
// files the library's own image decoders rightly refuse: such a file is a
// damaged image, not a movie.
bool StillImageDemuxer(const AVInputFormat* format) {
    std::string_view name = format->name;
    return name == "image2" || name == "image2pipe" || name.ends_with("_pipe");
}

// The clockwise quarter turns a stream's display matrix asks for; 0 without
// one. Phones record upright pictures sideways with such a matrix.
int QuarterTurns(const AVStream* stream) {
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(int32_t)) return 0;
    double counterclockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (!std::isfinite(counterclockwise)) return 0;
    return static_cast<int>((std::lround(-counterclockwise / 90) % 4 + 4) % 4);
}

// Copies a `width` x `height` picture of `bytes`-byte pixels turned by
// `turn` clockwise quarter turns. Each row of the result is read from one
// row or column of the source with a fixed step.
void TurnPicture(const uint8_t* from, int fromPitch, int width, int height, int turn, int bytes,
                 uint8_t* to, int toPitch) {
    int outWidth = turn % 2 ? height : width, outHeight = turn % 2 ? width : height;
    ptrdiff_t pitch = fromPitch;
    for (int y = 0; y < outHeight; ++y) {
        const uint8_t* source;
        ptrdiff_t step;
        if (turn == 1) {
            source = from + (height - 1) * pitch + ptrdiff_t{y} * bytes;
            step = -pitch;
        } else if (turn == 2) {
            source = from + (height - 1 - y) * pitch + ptrdiff_t{width - 1} * bytes;
            step = -bytes;
        } else {
            source = from + ptrdiff_t{width - 1 - y} * bytes;
            step = pitch;
        }
        uint8_t* row = to + ptrdiff_t{y} * toPitch;
        for (int x = 0; x < outWidth; ++x, source += step)
            std::memcpy(row + x * bytes, source, static_cast<size_t>(bytes));
    }
}

// Containers that name other files (playlists, concatenations) get nothing:
// a movie is the one file it was opened from.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

AVCodecContext* OpenDecoder(AVStream* stream, int threads) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context) return nullptr;
    context->thread_count = threads;
    if (avcodec_parameters_to_context(context, stream->codecpar) < 0 ||
        avcodec_open2(context, codec, nullptr) < 0)
        avcodec_free_context(&context);
    return context;
}

void ClearQueue(std::deque<AVPacket*>* queue) {
    for (AVPacket* packet : *queue) av_packet_free(&packet);
    queue->clear();
}

// One packet from the demuxer into its stream's queue. 0, or -1 at the end.
int ReadPacket(PlatMovie* m) {
    if (m->demuxEnded) return -1;
    AVPacket* packet = av_packet_alloc();
    if (!packet) return -1;
    int result = av_read_frame(m->format, packet);
    if (result == AVERROR(EAGAIN)) {
        av_packet_free(&packet);
        return 0;
    }
    if (result < 0) {
        av_packet_free(&packet);
        m->demuxEnded = 1;
        return -1;
    }
    if (packet->stream_index == m->videoIndex) {
        // A frame that begins inside a program stream packet has no position
        // of its own: it is found again by reading from that packet's start.
        if (packet->pos >= 0) m->resyncPos = packet->pos;
        packet->pos = m->resyncPos;
        m->videoPackets.push_back(packet);
    } else if (packet->stream_index == m->audioIndex && m->audio)
        m->audioPackets.push_back(packet);
    else
        av_packet_free(&packet);
    return 0;
}

// The next frame of one decoder. A damaged packet is passed over; at the
// end of the packets the decoder is drained. 1 with a frame, 0 at the end.
int Decode(PlatMovie* m, AVCodecContext* decoder, std::deque<AVPacket*>* queue, int* drained,
           AVFrame* frame) {
    for (;;) {
        int result = avcodec_receive_frame(decoder, frame);
        if (result == 0) return 1;
        if (result == AVERROR_EOF) return 0;
        if (queue->empty()) {
            if (ReadPacket(m) == 0) continue;
            if (*drained) return 0;
            *drained = 1;
            avcodec_send_packet(decoder, nullptr);
            continue;
        }
        AVPacket* packet = queue->front();
        queue->pop_front();
        avcodec_send_packet(decoder, packet);
        av_packet_free(&packet);
    }
}

// The frame's time from the movie's start; false when it carries none.
bool FrameTime(const PlatMovie* m, const AVFrame* frame, int index, int64_t* us) {
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) return false;
    *us = ClampTime(av_rescale_q(pts, m->format->streams[index]->time_base,
                                 AVRational{1, Micro})) -
          m->originUs;
    return true;
}

int DecodeNextVideo(PlatMovie* m) {
    if (!Decode(m, m->video, &m->videoPackets, &m->videoDrained, m->next)) return 0;
    int64_t at = 0;
    // Frames without a time follow the one before.
    if (!FrameTime(m, m->next, m->videoIndex, &at))
        at = m->lastUs < 0 ? 0 : m->lastUs + m->frameUs;
    m->nextUs = std::clamp<int64_t>(at, 0, TimeLimitUs);
    m->lastUs = m->nextUs;
    // Only a key frame with a time stamp of its own is read again with that
    // time; the demuxer counts the others on from where it lands.
    if (m->seeksByByte && m->next->key_frame && m->next->pts != AV_NOPTS_VALUE &&
        m->next->pkt_pos > m->lastKey.pos && m->nextUs > m->lastKey.us) {
        m->lastKey = {m->next->pkt_pos, m->nextUs};
        m->keys.push_back(m->lastKey);
    }
    return 1;
}

// (Re)makes the resampler for sound in the given layout, sample format and
// rate: a damaged or odd stream may change them from one frame to the next.
bool SetUpResampler(PlatMovie* m, const AVChannelLayout* layout, int format, int rate) {
    if (m->resampler && m->inFormat == format && m->inRate == rate &&
        av_channel_layout_compare(&m->inLayout, layout) == 0)
        return true;
    swr_free(&m->resampler);
    av_channel_layout_uninit(&m->inLayout);
    if (layout->nb_channels <= 0 || rate <= 0 || format < 0) return false;
    AVChannelLayout outLayout;
    av_channel_layout_default(&outLayout, m->out.channels);
    AVSampleFormat sample = m->out.bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
    if (av_channel_layout_copy(&m->inLayout, layout) != 0 ||
        swr_alloc_set_opts2(&m->resampler, &outLayout, sample, m->out.rate, &m->inLayout,
                            static_cast<AVSampleFormat>(format), rate, 0, nullptr) != 0 ||
        swr_init(m->resampler) != 0) {
        swr_free(&m->resampler);
        av_channel_layout_uninit(&m->inLayout);
        return false;
    }
    m->inFormat = format;
    m->inRate = rate;
    return true;
}

// Resamples one decoded sound frame onto the end of `pcm`, leaving out what
// lies before dropUntilUs.
void AppendSound(PlatMovie* m, const AVFrame* frame) {
    int bytesPerFrame = m->out.channels * m->out.bits / 8;
    if (!SetUpResampler(m, &frame->ch_layout, frame->format, frame->sample_rate)) return;
    int room = swr_get_out_samples(m->resampler, frame->nb_samples);
    if (room <= 0) return;
    m->pcm.erase(m->pcm.begin(), m->pcm.begin() + static_cast<ptrdiff_t>(m->pcmRead));
    m->pcmRead = 0;
    size_t start = m->pcm.size();
    m->pcm.resize(start + static_cast<size_t>(room) * bytesPerFrame);
    uint8_t* target = m->pcm.data() + start;
    int made = swr_convert(m->resampler, &target, room,
                           const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    made = std::max(made, 0);
    m->pcm.resize(start + static_cast<size_t>(made) * bytesPerFrame);
    int64_t at = 0;
    if (m->dropUntilUs > INT64_MIN && FrameTime(m, frame, m->audioIndex, &at)) {
        int64_t early = std::clamp<int64_t>(m->dropUntilUs - at, 0, TimeLimitUs);
        int64_t drop = std::min<int64_t>(av_rescale(early, m->out.rate, Micro), made);
        m->pcm.erase(m->pcm.begin() + static_cast<ptrdiff_t>(start),
                     m->pcm.begin() + static_cast<ptrdiff_t>(start + drop * bytesPerFrame));
        if (drop < made) m->dropUntilUs = INT64_MIN;
    }
}

AVPixelFormat PixelFormatOf(const ColorFormat* f) {
    if (f->ColorBitDepth == 16 && f->redMask == 0xF800 && f->greenMask == 0x07E0 &&
        f->blueMask == 0x001F)
        return AV_PIX_FMT_RGB565LE;
    if (f->ColorBitDepth == 16 && f->redMask == 0x7C00 && f->greenMask == 0x03E0 &&
        f->blueMask == 0x001F)
        return AV_PIX_FMT_RGB555LE;
    bool bgr = f->redMask == 0xFF0000 && f->greenMask == 0xFF00 && f->blueMask == 0xFF;
    if (bgr && f->ColorBitDepth == 24) return AV_PIX_FMT_BGR24;
    if (bgr && f->ColorBitDepth == 32) return AV_PIX_FMT_BGR0;
    return AV_PIX_FMT_NONE;
}

void Release(PlatMovie* m) {
    ClearQueue(&m->videoPackets);
    ClearQueue(&m->audioPackets);
    avcodec_free_context(&m->video);
    avcodec_free_context(&m->audio);
    av_frame_free(&m->current);
    av_frame_free(&m->next);
    av_frame_free(&m->sound);
    sws_freeContext(m->scaler);
    swr_free(&m->resampler);
    av_channel_layout_uninit(&m->inLayout);
    avformat_close_input(&m->format);
    if (m->io) av_freep(&m->io->buffer);
    avio_context_free(&m->io);
    delete m;
}

int OpenStreams(PlatMovie* m, const char* name, const PlatPcmFormat* audio, int threads) {
    uint8_t* buffer = static_cast<uint8_t*>(av_malloc(IoBufferBytes));
    if (!buffer) return MovieNotOpened;
    m->io = avio_alloc_context(buffer, IoBufferBytes, 0, &m->source, IoRead, nullptr, IoSeek);
    m->format = avformat_alloc_context();
    if (!m->io || !m->format) {
        if (!m->io) av_free(buffer);
        return MovieNotOpened;
    }
    m->format->pb = m->io;
    m->format->io_open = RefuseNestedOpen;
    m->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&m->format, name, nullptr, nullptr) < 0) return MovieNotOpened;
    if (StillImageDemuxer(m->format->iformat)) return MovieStillImage;
    if (avformat_find_stream_info(m->format, nullptr) < 0) return MovieNotOpened;

    m->videoIndex = av_find_best_stream(m->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (m->videoIndex < 0) return MovieNoVideo;
    AVStream* stream = m->format->streams[m->videoIndex];
    AVCodecParameters* p = stream->codecpar;
    if (p->width <= 0 || p->height <= 0) return MovieNotOpened;
    if (p->width > MovieMaxSide || p->height > MovieMaxSide ||
        int64_t{p->width} * p->height * 4 > MovieMaxFrameBytes)
        return MovieTooLarge;
    m->video = OpenDecoder(stream, threads);
    if (!m->video) return MovieNotOpened;
    m->turn = QuarterTurns(stream);
    std::string_view container = m->format->iformat->name;
    m->seeksByByte = container == "mpeg" || container == "mpegts";
    if (stream->start_time != AV_NOPTS_VALUE)
        m->originUs =
            ClampTime(av_rescale_q(stream->start_time, stream->time_base, AVRational{1, Micro}));
    AVRational rate = av_guess_frame_rate(m->format, stream, nullptr);
    m->frameUs = rate.num > 0 && rate.den > 0 ? av_rescale(Micro, rate.den, rate.num) : 40000;
    if (m->frameUs <= 0 || m->frameUs > Micro) m->frameUs = 40000;

    m->audioIndex = -1;
    int found = audio ? av_find_best_stream(m->format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)
                      : -1;
    if (found >= 0) {
        m->audio = OpenDecoder(m->format->streams[found], threads);
        m->out = *audio;
        if (m->audio && SetUpResampler(m, &m->audio->ch_layout, m->audio->sample_fmt,
                                       m->audio->sample_rate))
            m->audioIndex = found;
        else
            avcodec_free_context(&m->audio);
    }
    m->current = av_frame_alloc();
    m->next = av_frame_alloc();
    m->sound = av_frame_alloc();
    return m->current && m->next && m->sound ? 0 : MovieNotOpened;
}

}  // namespace

PlatMovie* PlatMovieOpen(const PlatMovieSource* source, const char* name,
                         const PlatPcmFormat* audio, int threads, PlatMovieInfo* info,
                         int* error) {
    RecordUse(RecordUsesMovies);
    // The decoders' complaints about damaged files would go to the terminal;
    // a failure is the library's to report, in its own log.
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
    PlatMovie* m = new PlatMovie{};
    m->source = *source;
    m->currentUs = m->lastUs = m->resyncPos = -1;
    m->lastKey = {-1, -1};
    m->dropUntilUs = INT64_MIN;
    *error = OpenStreams(m, name, audio, threads);
    if (*error == 0 && !PlatMovieAdvance(m, 0, 1)) *error = MovieNotOpened;
    if (*error) {
        Release(m);
        return nullptr;
    }
    AVStream* stream = m->format->streams[m->videoIndex];
    info->width = m->turn % 2 ? stream->codecpar->height : stream->codecpar->width;
    info->height = m->turn % 2 ? stream->codecpar->width : stream->codecpar->height;
    info->frameUs = m->frameUs;
    // Containers that keep no index can only estimate; the longer of the
    // stream's and the file's own figure is the nearer.
    info->lengthUs = 0;
    if (stream->duration > 0)
        info->lengthUs = ClampTime(
            av_rescale_q(stream->duration, stream->time_base, AVRational{1, Micro}));
    if (m->format->duration > 0) {
        int64_t start = m->format->start_time != AV_NOPTS_VALUE ? m->format->start_time : 0;
        info->lengthUs = std::max(info->lengthUs, ClampTime(m->format->duration) +
                                                      ClampTime(start) - m->originUs);
    }
    info->lengthUs = std::clamp<int64_t>(info->lengthUs, 0, TimeLimitUs);
    info->hasAudio = m->audioIndex >= 0;
    return m;
}

void PlatMovieClose(PlatMovie* movie) {
    if (movie) Release(movie);
}

int PlatMovieAdvance(PlatMovie* m, int64_t timeUs, int maxFrames) {
    int taken = 0;
    while (taken < maxFrames) {
        if (!m->haveNext) {
            if (m->videoEnded || !DecodeNextVideo(m)) {
                m->videoEnded = 1;
                break;
            }
            m->haveNext = 1;
        }
        if (m->haveCurrent && m->nextUs > timeUs) break;
        std::swap(m->current, m->next);
        m->currentUs = m->nextUs;
        m->haveCurrent = 1;
        m->haveNext = 0;
        ++taken;
    }
    return taken;
}

int64_t PlatMovieFrameUs(const PlatMovie* m) { return m->haveCurrent ? m->currentUs : -1; }

int PlatMovieAtEnd(const PlatMovie* m) { return m->videoEnded && !m->haveNext; }

namespace {

// Puts the demuxer at a key frame at or before `timeUs`, where the
// container can tell, or else at byte `bytePos` when that is not negative,
// and starts both decoders afresh from there. Nothing is cleared when the
// demuxer refuses.
int Reposition(PlatMovie* m, int64_t timeUs, int64_t bytePos, int64_t dropUntilUs) {
    AVStream* stream = m->format->streams[m->videoIndex];
    int64_t at = av_rescale_q(timeUs + m->originUs, AVRational{1, Micro}, stream->time_base);
    int result =
        bytePos >= 0
            ? avformat_seek_file(m->format, -1, bytePos, bytePos, bytePos, AVSEEK_FLAG_BYTE)
            : avformat_seek_file(m->format, m->videoIndex, INT64_MIN, at, at, 0);
    if (result < 0) return -1;
    m->resyncPos = -1;
    ClearQueue(&m->videoPackets);
    ClearQueue(&m->audioPackets);
    avcodec_flush_buffers(m->video);
    if (m->audio) avcodec_flush_buffers(m->audio);
    m->demuxEnded = m->videoDrained = m->audioDrained = 0;
    m->haveCurrent = m->haveNext = m->videoEnded = m->audioEnded = 0;
    m->lastUs = -1;
    m->pcm.clear();
    m->pcmRead = 0;
    m->dropUntilUs = dropUntilUs;
    if (m->resampler) swr_init(m->resampler);
    return 0;
}

// Reads again from a key frame of the index and takes it as the next
// frame, once it comes out with the time it had when it was indexed; frames
// before it are pieces of ones begun before the position.
// From the key frame on, the demuxer's times are as they were then.
bool ResumeAtKey(PlatMovie* m, const KeyFrame& key, int64_t dropUntilUs) {
    if (Reposition(m, 0, key.pos, dropUntilUs) != 0) return false;
    while (Decode(m, m->video, &m->videoPackets, &m->videoDrained, m->next)) {
        if (!m->next->key_frame) continue;
        int64_t at = 0;
        if (!FrameTime(m, m->next, m->videoIndex, &at) ||
            std::clamp<int64_t>(at, 0, TimeLimitUs) != key.us)
            return false;
        m->nextUs = m->lastUs = key.us;
        m->haveNext = 1;
        return true;
    }
    return false;
}

// MPEG program and transport streams keep no index: a seek by time stamp
// lands past the key frame due, and after any jump into a program stream,
// whose packets carry a time only where a frame begins inside them, the
// demuxer may guess the times a frame off until the next such packet. Their
// frames are decoded on from the one shown, from the last key frame met
// before the time due, or from the first byte. A key frame that comes out
// with another time than before leaves the index, so that each costs one
// wasted group of pictures at most, and the one before it is tried.
int SeekByDecoding(PlatMovie* m, int64_t timeUs) {
    auto key = std::upper_bound(m->keys.begin(), m->keys.end(), timeUs,
                                [](int64_t t, const KeyFrame& k) { return t < k.us; });
    if (m->haveCurrent && m->currentUs <= timeUs &&
        (key == m->keys.begin() || std::prev(key)->us <= m->currentUs)) {
        m->pcm.clear();
        m->pcmRead = 0;
        m->dropUntilUs = timeUs;
    } else {
        bool resumed = false;
        while (!resumed && key != m->keys.begin()) {
            resumed = ResumeAtKey(m, *--key, timeUs);
            if (!resumed) key = m->keys.erase(key);
        }
        if (!resumed && Reposition(m, 0, 0, timeUs) != 0) return -1;
    }
    PlatMovieAdvance(m, timeUs, INT_MAX);
    return m->haveCurrent ? 0 : -1;
}

// Some containers land past the time asked for: each retry starts further
// back, and the last one at the file's first byte, until a frame not later
// than `timeUs` comes out. Past the end, that is the last frame.
int SeekTo(PlatMovie* m, int64_t timeUs) {
    if (m->seeksByByte) return SeekByDecoding(m, timeUs);
    for (int64_t back = 0;; back = back ? back * 2 : Micro) {
        int64_t from = std::max<int64_t>(0, timeUs - back);
        if (Reposition(m, from, -1, timeUs) == 0) {
            PlatMovieAdvance(m, timeUs, INT_MAX);
            if (m->haveCurrent && m->currentUs <= timeUs) return 0;
        }
        if (from == 0) break;
    }
    if (Reposition(m, 0, 0, timeUs) != 0) return -1;
    PlatMovieAdvance(m, timeUs, INT_MAX);
    return m->haveCurrent ? 0 : -1;
}

}  // namespace

int PlatMovieSeek(PlatMovie* m, int64_t timeUs) {
    int64_t shown = std::max<int64_t>(0, m->currentUs);
    if (SeekTo(m, timeUs) == 0) return 0;
    SeekTo(m, shown);
    return -1;
}

int PlatMovieConvert(PlatMovie* m, uint8_t* pixels, int pitch, const ColorFormat* format,
                     int width, int height) {
    AVPixelFormat target = PixelFormatOf(format);
    const AVFrame* f = m->current;
    if (target == AV_PIX_FMT_NONE || !m->haveCurrent || f->width <= 0 || f->height <= 0 ||
        width <= 0 || height <= 0)
        return -1;
    // A turned picture is converted upright first, into a scratch picture.
    int uprightWidth = m->turn % 2 ? height : width, uprightHeight = m->turn % 2 ? width : height;
    int bytes = format->bytesPerPixel;
    uint8_t* into = pixels;
    int intoPitch = pitch;
    if (m->turn) {
        intoPitch = uprightWidth * bytes;
        m->upright.resize(static_cast<size_t>(intoPitch) * uprightHeight);
        into = m->upright.data();
    }
    m->scaler = sws_getCachedContext(m->scaler, f->width, f->height,
                                     static_cast<AVPixelFormat>(f->format), uprightWidth,
                                     uprightHeight, target, SWS_BILINEAR, nullptr, nullptr,
                                     nullptr);
    if (!m->scaler) return -1;
    uint8_t* planes[4] = {into, nullptr, nullptr, nullptr};
    int pitches[4] = {intoPitch, 0, 0, 0};
    if (sws_scale(m->scaler, f->data, f->linesize, 0, f->height, planes, pitches) <= 0) return -1;
    if (m->turn)
        TurnPicture(into, intoPitch, uprightWidth, uprightHeight, m->turn, bytes, pixels, pitch);
    return 0;
}

int PlatMovieReadAudio(PlatMovie* m, uint8_t* out, int frames) {
    if (m->audioIndex < 0) return 0;
    size_t bytesPerFrame = static_cast<size_t>(m->out.channels * m->out.bits / 8);
    size_t want = static_cast<size_t>(frames) * bytesPerFrame;
    while (m->pcm.size() - m->pcmRead < want && !m->audioEnded) {
        if (Decode(m, m->audio, &m->audioPackets, &m->audioDrained, m->sound))
            AppendSound(m, m->sound);
        else
            m->audioEnded = 1;
    }
    size_t take = std::min(want, m->pcm.size() - m->pcmRead);
    take -= take % bytesPerFrame;
    if (take) std::memcpy(out, m->pcm.data() + m->pcmRead, take);
    m->pcmRead += take;
    return static_cast<int>(take / bytesPerFrame);
}
