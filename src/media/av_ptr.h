// Owning handles for every FFmpeg object the program holds.
//
// Each alias is a std::unique_ptr whose deleter releases the object through the library's own
// function (bound in the media function table), so an object is freed exactly once on every
// path, including exceptions. The Make* factories throw AvError instead of returning null.
#pragma once

#include <memory>

#include "media/av_error.h"
#include "media/media_loader.h"

namespace zembra::media {

// Closing an input also frees the I/O context of a "stream:" address (stream_io.h), which the
// library leaves to its maker; the stream itself is never freed.
struct InputFormatContextDeleter {
  void operator()(AVFormatContext* context) const;
};
// An output context closes its file (when the muxer writes one) before it is freed.
struct OutputFormatContextDeleter {
  void operator()(AVFormatContext* context) const {
    if (context->pb != nullptr && context->oformat != nullptr &&
        (context->oformat->flags & AVFMT_NOFILE) == 0) {
      ff.avio_closep(&context->pb);
    }
    ff.avformat_free_context(context);
  }
};
// A context from avformat_alloc_context that was never opened (option templates).
struct FormatContextDeleter {
  void operator()(AVFormatContext* context) const { ff.avformat_free_context(context); }
};
struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { ff.avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { ff.av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { ff.av_packet_free(&packet); }
};
struct FilterGraphDeleter {
  void operator()(AVFilterGraph* graph) const { ff.avfilter_graph_free(&graph); }
};
struct FilterInOutDeleter {
  void operator()(AVFilterInOut* inout) const { ff.avfilter_inout_free(&inout); }
};
struct SwrContextDeleter {
  void operator()(SwrContext* context) const { ff.swr_free(&context); }
};
struct SwsContextDeleter {
  void operator()(SwsContext* context) const { ff.sws_freeContext(context); }
};
// A custom I/O context owns the buffer it was created over; the library may have replaced
// that buffer, so the one it holds now is freed.
struct IoContextDeleter {
  void operator()(AVIOContext* context) const {
    ff.av_freep(static_cast<void*>(&context->buffer));
    ff.avio_context_free(&context);
  }
};
struct BsfContextDeleter {
  void operator()(AVBSFContext* context) const { ff.av_bsf_free(&context); }
};
struct AudioFifoDeleter {
  void operator()(AVAudioFifo* fifo) const { ff.av_audio_fifo_free(fifo); }
};

using InputFormatContextPtr = std::unique_ptr<AVFormatContext, InputFormatContextDeleter>;
using OutputFormatContextPtr = std::unique_ptr<AVFormatContext, OutputFormatContextDeleter>;
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;
using BsfContextPtr = std::unique_ptr<AVBSFContext, BsfContextDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

// An AVDictionary is handed to the library by address and may be replaced by it, so it is held
// by a small owner rather than a unique_ptr.
class Dictionary {
 public:
  Dictionary() = default;
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
  Dictionary(Dictionary&& other) noexcept : dict_(other.dict_) { other.dict_ = nullptr; }
  Dictionary& operator=(Dictionary&& other) noexcept {
    if (this != &other) {
      Reset();
      dict_ = other.dict_;
      other.dict_ = nullptr;
    }
    return *this;
  }
  ~Dictionary() { Reset(); }

  AVDictionary* get() const { return dict_; }
  AVDictionary** address() { return &dict_; }
  void Reset() {
    if (dict_ != nullptr) ff.av_dict_free(&dict_);
  }

 private:
  AVDictionary* dict_ = nullptr;
};

// A decoded subtitle: a value the decoder fills, whose rectangles the library frees.
class Subtitle {
 public:
  Subtitle() = default;
  Subtitle(const Subtitle&) = delete;
  Subtitle& operator=(const Subtitle&) = delete;
  ~Subtitle() { Reset(); }

  AVSubtitle* get() { return &subtitle_; }
  const AVSubtitle* get() const { return &subtitle_; }
  void Reset() {
    if (subtitle_.num_rects != 0 || subtitle_.rects != nullptr) ff.avsubtitle_free(&subtitle_);
    subtitle_ = AVSubtitle{};
  }

 private:
  AVSubtitle subtitle_{};
};

[[nodiscard]] FramePtr MakeFrame();
[[nodiscard]] PacketPtr MakePacket();
[[nodiscard]] CodecContextPtr MakeCodecContext(const AVCodec* codec);
[[nodiscard]] FilterGraphPtr MakeFilterGraph();

}  // namespace zembra::media
