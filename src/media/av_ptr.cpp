#include "media/av_ptr.h"

#include <cerrno>

#include "media/stream_io.h"

namespace zembra::media {
namespace {

template <typename Ptr>
Ptr NotNull(Ptr ptr, std::string_view what) {
  if (!ptr) throw AvError(AVERROR(ENOMEM), what);
  return ptr;
}

}  // namespace

void InputFormatContextDeleter::operator()(AVFormatContext* context) const {
  // Freed after the input is closed, when it leaves this scope.
  IoContextPtr stream_io(IsStreamIo(context->pb) ? context->pb : nullptr);
  ff.avformat_close_input(&context);
}

FramePtr MakeFrame() { return NotNull(FramePtr(ff.av_frame_alloc()), "av_frame_alloc"); }

PacketPtr MakePacket() { return NotNull(PacketPtr(ff.av_packet_alloc()), "av_packet_alloc"); }

CodecContextPtr MakeCodecContext(const AVCodec* codec) {
  return NotNull(CodecContextPtr(ff.avcodec_alloc_context3(codec)), "avcodec_alloc_context3");
}

FilterGraphPtr MakeFilterGraph() {
  return NotNull(FilterGraphPtr(ff.avfilter_graph_alloc()), "avfilter_graph_alloc");
}

}  // namespace zembra::media
