// A filter graph set up the way the engine sets up its video graph (a picture source whose
// open output is "in", a sink whose open input is "out"), to parse filter texts with the real
// library, look at what it built and run frames through it.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "media/av_ptr.h"
#include "media/media_loader.h"

namespace zembra::testing {

using media::ff;

// The library's log lines while an instance lives (one at a time).
class LibraryLog {
 public:
  LibraryLog() {
    Lines().clear();
    media::SetMediaLogCallback(&Collect);
  }
  ~LibraryLog() { media::SetMediaLogCallback(nullptr); }
  LibraryLog(const LibraryLog&) = delete;
  LibraryLog& operator=(const LibraryLog&) = delete;

  std::string Text() const {
    std::lock_guard lock(Mutex());
    std::string text;
    for (const std::string& line : Lines()) text += line;
    return text;
  }

 private:
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static void Collect(void* avcl, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING) return;
    char line[2048];
    int print_prefix = 1;
    ff.av_log_format_line2(avcl, level, format, args, line, sizeof line, &print_prefix);
    std::lock_guard lock(Mutex());
    Lines().emplace_back(line);
  }
};

class TestGraph {
 public:
  TestGraph(int width = 320, int height = 240) : width_(width), height_(height) {
    media::LoadMediaLibraries();
    graph_ = media::MakeFilterGraph();
    const std::string arguments =
        "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
        ":pix_fmt=" + std::to_string(AV_PIX_FMT_YUV420P) + ":time_base=1/25:pixel_aspect=1/1";
    EXPECT_GE(ff.avfilter_graph_create_filter(&source_, ff.avfilter_get_by_name("buffer"), "src",
                                              arguments.c_str(), nullptr, graph_.get()),
              0);
    EXPECT_GE(ff.avfilter_graph_create_filter(&sink_, ff.avfilter_get_by_name("buffersink"), "sink",
                                              nullptr, nullptr, graph_.get()),
              0);
    const AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P};
    EXPECT_GE(ff.av_opt_set_bin(sink_, "pix_fmts", reinterpret_cast<const std::uint8_t*>(formats),
                                sizeof formats, AV_OPT_SEARCH_CHILDREN),
              0);
  }

  // Parses `text` between the source and the sink; the library's result.
  int Parse(const std::string& text) {
    AVFilterInOut* outputs = ff.avfilter_inout_alloc();
    AVFilterInOut* inputs = ff.avfilter_inout_alloc();
    outputs->name = ff.av_strdup("in");
    outputs->filter_ctx = source_;
    inputs->name = ff.av_strdup("out");
    inputs->filter_ctx = sink_;
    const int result =
        ff.avfilter_graph_parse_ptr(graph_.get(), text.c_str(), &inputs, &outputs, nullptr);
    ff.avfilter_inout_free(&inputs);
    ff.avfilter_inout_free(&outputs);
    return result;
  }

  int Configure() { return ff.avfilter_graph_config(graph_.get(), nullptr); }

  // The filters the text added, in creation order (the source and sink left out).
  std::vector<AVFilterContext*> Added() const {
    std::vector<AVFilterContext*> filters;
    for (unsigned i = 0; i < graph_->nb_filters; ++i) {
      AVFilterContext* filter = graph_->filters[i];
      if (filter != source_ && filter != sink_) filters.push_back(filter);
    }
    return filters;
  }
  std::vector<std::string> AddedNames() const {
    std::vector<std::string> names;
    for (AVFilterContext* filter : Added()) names.emplace_back(filter->filter->name);
    return names;
  }
  AVFilterContext* Find(const std::string& filter_name) const {
    for (AVFilterContext* filter : Added()) {
      if (filter_name == filter->filter->name) return filter;
    }
    return nullptr;
  }
  // The filters a picture passes from the source to the sink, by the main input of each;
  // conversions the library inserts itself are left out. Call after Configure.
  std::vector<std::string> PicturePath() const {
    std::vector<std::string> names;
    AVFilterContext* filter = source_;
    while (filter != sink_ && filter->nb_outputs > 0 && filter->outputs[0] != nullptr) {
      filter = filter->outputs[0]->dst;
      if (filter != sink_ && std::strncmp(filter->name, "auto_", 5) != 0) {
        names.emplace_back(filter->filter->name);
      }
    }
    return names;
  }

  static std::string Option(AVFilterContext* filter, const char* key) {
    if (filter == nullptr) return "<no filter>";
    std::uint8_t* value = nullptr;
    if (ff.av_opt_get(filter, key, AV_OPT_SEARCH_CHILDREN, &value) < 0) return "<no option>";
    std::string text = value != nullptr ? reinterpret_cast<const char*>(value) : "";
    ff.av_free(value);
    return text;
  }

  // Feeds `count` frames whose luma is `luma` everywhere (chroma neutral), `paint` adjusting
  // each, then the end; returns every frame the sink gave.
  std::vector<media::FramePtr> Run(int count, int luma = 16,
                                   const std::function<void(AVFrame&)>& paint = nullptr) {
    std::vector<media::FramePtr> frames;
    for (int i = 0; i <= count; ++i) {
      int result = 0;
      if (i < count) {
        media::FramePtr frame = media::MakeFrame();
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = width_;
        frame->height = height_;
        frame->sample_aspect_ratio = AVRational{1, 1};
        EXPECT_GE(ff.av_frame_get_buffer(frame.get(), 0), 0);
        for (int plane = 0; plane < 3; ++plane) {
          const int rows = plane == 0 ? height_ : height_ / 2;
          for (int row = 0; row < rows; ++row) {
            std::memset(frame->data[plane] + row * frame->linesize[plane], plane == 0 ? luma : 128,
                        static_cast<std::size_t>(plane == 0 ? width_ : width_ / 2));
          }
        }
        if (paint) paint(*frame);
        frame->pts = i;
        result = ff.av_buffersrc_add_frame_flags(source_, frame.get(), 0);
      } else {
        result = ff.av_buffersrc_add_frame_flags(source_, nullptr, 0);
      }
      EXPECT_GE(result, 0) << "frame " << i;
      while (true) {
        media::FramePtr out = media::MakeFrame();
        if (ff.av_buffersink_get_frame(sink_, out.get()) < 0) break;
        frames.push_back(std::move(out));
      }
    }
    return frames;
  }

  static int Luma(const AVFrame& frame, int x, int y) {
    return frame.data[0][y * frame.linesize[0] + x];
  }

 private:
  int width_;
  int height_;
  media::FilterGraphPtr graph_;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
};

}  // namespace zembra::testing
