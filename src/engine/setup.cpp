// Preparing a run after the files are open.
//
// Each output stream is given the input stream that feeds it: by the stream maps, or else the
// idle stream of its kind that the probe read most frames of (cover art never feeds video).
// Copied streams take over the input's parameters; encoded video gets a filter graph from the
// decoder's pictures to the encoder's size and format (deinterlacing, scaling and the user's
// filters in between), whose end decides the encoder's picture size. Then the encoders and
// decoders are opened, the chapters carried over and the headers written.
#include "engine/setup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "engine/engine_error.h"
#include "engine/output.h"

namespace zembra::engine {
namespace {

using media::ff;

int ParseInteger(const std::string& text) {
  std::size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) {
    throw EngineError("'" + text + "' is not a valid integer value");
  }
  return value;
}

bool IsCoverArt(const AVStream& stream) {
  return (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

bool InProgram(const AVFormatContext& context, int program_id, int stream_index) {
  for (unsigned p = 0; p < context.nb_programs; ++p) {
    const AVProgram& program = *context.programs[p];
    if (program.id != program_id) continue;
    for (unsigned s = 0; s < program.nb_stream_indexes; ++s) {
      if (static_cast<int>(program.stream_index[s]) == stream_index) return true;
    }
  }
  return false;
}

void BuildTables(JobContext& job) {
  job.input_streams.clear();
  for (std::size_t f = 0; f < job.input_files.size(); ++f) {
    InputFile& input = job.input_files[f];
    input.first_stream = static_cast<int>(job.input_streams.size());
    input.stream_count = static_cast<int>(input.streams.size());
    input.at_end = false;
    for (std::size_t s = 0; s < input.streams.size(); ++s) {
      InputStream& ist = input.streams[s];
      ist.file_no = static_cast<int>(f);
      ist.stream_no = static_cast<int>(s);
      ist.idle = true;
      if (input.rate_emu) ist.wall_start = ff.av_gettime();
      job.input_streams.push_back(&ist);
    }
  }
  for (const OutputFile& output : job.output_files) {
    if (output.context->nb_streams == 0 &&
        (output.context->oformat->flags & AVFMT_NOSTREAMS) == 0) {
      throw EngineError("Output file does not contain any stream");
    }
  }
}

void CheckStreamMaps(const JobContext& job) {
  if (job.stream_maps.empty()) return;
  if (job.stream_maps.size() != job.output_streams.size()) {
    throw EngineError("Number of stream maps must match number of output streams");
  }
  auto exists = [&](int file, int stream) {
    return file >= 0 && static_cast<std::size_t>(file) < job.input_files.size() && stream >= 0 &&
           stream < job.input_files[static_cast<std::size_t>(file)].stream_count;
  };
  for (const StreamMapEntry& map : job.stream_maps) {
    if (!exists(map.file_no, map.stream_no)) {
      throw EngineError(
          FormatMessage("Could not find input stream #%d.%d", map.file_no, map.stream_no));
    }
    if (!exists(map.sync_file_no, map.sync_stream_no)) {
      throw EngineError(
          FormatMessage("Could not find sync stream #%d.%d", map.sync_file_no, map.sync_stream_no));
    }
  }
}

int StreamPosition(const JobContext& job, int file, int stream) {
  return job.input_files[static_cast<std::size_t>(file)].first_stream + stream;
}

// Whether `ist` may feed an output stream of `type` when nothing maps it.
bool Qualifies(const InputStream& ist, AVMediaType type) {
  const AVStream& stream = *ist.stream;
  if (stream.codecpar->codec_type != type || stream.discard == AVDISCARD_ALL) return false;
  return type != AVMEDIA_TYPE_VIDEO || !IsCoverArt(stream);
}

void ChooseSources(JobContext& job) {
  const int program_id = job.options.ProgramID();
  for (std::size_t o = 0; o < job.output_streams.size(); ++o) {
    OutputStream& ost = job.output_streams[o];
    if (!job.stream_maps.empty()) {
      const StreamMapEntry& map = job.stream_maps[o];
      ost.source_no = StreamPosition(job, map.file_no, map.stream_no);
      const InputStream& ist = *job.input_streams[static_cast<std::size_t>(ost.source_no)];
      if (ist.stream->codecpar->codec_type != ost.type) {
        throw EngineError(FormatMessage("Codec type mismatch for mapping #%d.%d -> #%d.%d",
                                        map.file_no, map.stream_no, ost.file_no, ost.stream_no));
      }
      ost.sync_input = StreamPosition(job, map.sync_file_no, map.sync_stream_no);
    } else {
      // The library's own choice of its file's best stream of the kind (the one its probe saw
      // most of, a default one first) wins; then a default stream; then the first.
      int best = -1;
      int best_score = -1;
      for (std::size_t i = 0; i < job.input_streams.size(); ++i) {
        const InputStream& ist = *job.input_streams[i];
        if (!ist.idle || !Qualifies(ist, ost.type)) continue;
        AVFormatContext& context = *job.input_files[static_cast<std::size_t>(ist.file_no)].context;
        if (program_id != 0 && !InProgram(context, program_id, ist.stream_no)) continue;
        const int file_best = ff.av_find_best_stream(&context, ost.type, -1, -1, nullptr, 0);
        const int score = (file_best == ist.stream_no ? 2 : 0) +
                          ((ist.stream->disposition & AV_DISPOSITION_DEFAULT) != 0 ? 1 : 0);
        if (score > best_score) {
          best = static_cast<int>(i);
          best_score = score;
        }
      }
      if (best < 0 && program_id == 0) {
        for (std::size_t i = 0; i < job.input_streams.size(); ++i) {
          if (Qualifies(*job.input_streams[i], ost.type)) best = static_cast<int>(i);
        }
      }
      if (best < 0) throw EngineError("Could not find input stream matching output stream ");
      ost.source_no = best;
      ost.sync_input = best;
    }
    job.input_streams[static_cast<std::size_t>(ost.source_no)]->idle = false;
  }
}

void CopyMetadata(AVDictionary** to, const AVDictionary* from) {
  const AVDictionaryEntry* entry = nullptr;
  while ((entry = ff.av_dict_get(from, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
    ff.av_dict_set(to, entry->key, entry->value, AV_DICT_DONT_OVERWRITE);
  }
}

void SetUpStreamCopy(JobContext& job, const InputStream& ist, OutputStream& ost) {
  const AVStream& in = *ist.stream;
  AVStream& out = *ost.stream;
  const unsigned forced_tag = ost.encoder_context->codec_tag;
  if (ost.type == AVMEDIA_TYPE_AUDIO && job.options.AudioOptions().AudioVolume() != 256) {
    throw EngineError("-acodec copy and -vol are incompatible (frames are not decoded)");
  }
  if (in.codecpar->codec_type != AVMEDIA_TYPE_AUDIO &&
      in.codecpar->codec_type != AVMEDIA_TYPE_VIDEO &&
      in.codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) {
    throw EngineError("unknown codec type");
  }
  if (ff.avcodec_parameters_copy(out.codecpar, in.codecpar) < 0) {
    throw EngineError("failed to allocate extradata");
  }
  // Keep the input's tag only where the container accepts it for this codec.
  const AVOutputFormat& format = *job.output_files[ost.file_no].context->oformat;
  unsigned tag = forced_tag;
  if (tag == 0) {
    const unsigned input_tag = in.codecpar->codec_tag;
    unsigned known = 0;
    if (format.codec_tag == nullptr ||
        ff.av_codec_get_id(format.codec_tag, input_tag) == in.codecpar->codec_id ||
        ff.av_codec_get_tag2(format.codec_tag, in.codecpar->codec_id, &known) == 0) {
      tag = input_tag;
    }
  }
  out.codecpar->codec_tag = tag;
  if (ost.type == AVMEDIA_TYPE_AUDIO) {
    if ((out.codecpar->block_align == 1 && out.codecpar->codec_id == AV_CODEC_ID_MP3) ||
        out.codecpar->codec_id == AV_CODEC_ID_AC3) {
      out.codecpar->block_align = 0;
    }
  }
  if (ost.type == AVMEDIA_TYPE_VIDEO && ost.stream->sample_aspect_ratio.num == 0) {
    out.sample_aspect_ratio = in.sample_aspect_ratio;
  }
  out.time_base = in.time_base;
  out.avg_frame_rate = in.avg_frame_rate;
  out.r_frame_rate = in.r_frame_rate;
  // Packets are copied; the bitstream filters see the copied parameters.
  ost.bitstream_filters =
      ParseBitstreamFilters(ost.bitstream_filter_names, *out.codecpar, in.time_base);
  if (!ost.bitstream_filters.empty()) {
    media::Check(ff.avcodec_parameters_copy(out.codecpar, ost.bitstream_filters.back()->par_out),
                 "avcodec_parameters_copy");
  }
}

// The statistics file of a two-pass encode, in the conversion's own folder.
void SetUpPassLog(JobContext& job, OutputStream& ost, int position) {
  AVCodecContext& encoder = *ost.encoder_context;
  const bool first = (encoder.flags & AV_CODEC_FLAG_PASS1) != 0;
  const bool second = (encoder.flags & AV_CODEC_FLAG_PASS2) != 0;
  if (!first && !second) return;
  ost.pass_log_name =
      job.control->PassLogFolder() + "/" + FormatMessage("ffmpeg2pass-%d.log", position);
  // Encoders that keep their own statistics file (libx264) are pointed at the same folder.
  if (encoder.priv_data != nullptr &&
      ff.av_opt_find(encoder.priv_data, "stats", nullptr, 0, 0) != nullptr) {
    ff.av_opt_set(encoder.priv_data, "stats", ost.pass_log_name.c_str(), 0);
    return;
  }
  if (first) {
    ost.pass_log = std::fopen(ost.pass_log_name.c_str(), "wb");
    if (ost.pass_log == nullptr) {
      throw EngineError("Cannot open file \"" + ost.pass_log_name + "\". " + std::strerror(errno));
    }
    return;
  }
  std::ifstream in(ost.pass_log_name, std::ios::binary);
  if (!in) {
    throw EngineError("Cannot open file \"" + ost.pass_log_name + "\". " + std::strerror(errno));
  }
  std::ostringstream text;
  text << in.rdbuf();
  const std::string stats = text.str();
  char* buffer = static_cast<char*>(ff.av_malloc(stats.size() + 1));
  if (buffer == nullptr) throw EngineError("Could not allocate log buffer");
  std::memcpy(buffer, stats.data(), stats.size());
  buffer[stats.size()] = '\0';
  encoder.stats_in = buffer;
}

void SetUpEncoding(JobContext& job, InputStream& ist, OutputStream& ost, int position) {
  AVCodecContext& encoder = *ost.encoder_context;
  const AVCodecContext& decoder = *ist.decoder_context;
  ost.encode = true;
  ist.decode = true;
  switch (ost.type) {
    case AVMEDIA_TYPE_AUDIO: {
      // Unless the options fix them, the output follows the stream that feeds it, which need
      // not be the last one the inputs showed.
      const TAudioOptions& audio = job.options.AudioOptions();
      if (audio.AudioChannels() == 0 && decoder.ch_layout.nb_channels > 0 &&
          decoder.ch_layout.nb_channels != job.source.audio_channels) {
        ff.av_channel_layout_uninit(&encoder.ch_layout);
        if (decoder.ch_layout.order == AV_CHANNEL_ORDER_NATIVE) {
          media::Check(ff.av_channel_layout_copy(&encoder.ch_layout, &decoder.ch_layout),
                       "av_channel_layout_copy");
        } else {
          ff.av_channel_layout_default(&encoder.ch_layout, decoder.ch_layout.nb_channels);
        }
      }
      if (audio.AudioSampleRate() == 0 && decoder.sample_rate > 0 &&
          decoder.sample_rate != job.source.audio_sample_rate) {
        encoder.sample_rate = decoder.sample_rate;
        FitSampleRate(encoder, ost.encoder);
        encoder.time_base = AVRational{1, encoder.sample_rate};
      }
      ost.resampling = encoder.sample_rate != decoder.sample_rate ||
                       job.options.AudioOptions().AudioSyncMethod() > 1;
      break;
    }
    case AVMEDIA_TYPE_VIDEO: {
      const TVideoOptions& video = job.options.VideoOptions();
      if (video.FrameWidth() == 0 && video.FrameHeight() == 0 && decoder.width > 0 &&
          (decoder.width != job.source.frame_width || decoder.height != job.source.frame_height)) {
        encoder.width = decoder.width;
        encoder.height = decoder.height;
        AlignToChroma(encoder);
      }
      if (encoder.pix_fmt == AV_PIX_FMT_NONE) {
        throw EngineError("Video pixel format is unknown, stream can not be decoded");
      }
      ost.source_width = decoder.width;
      ost.source_height = decoder.height;
      ost.source_format = decoder.pix_fmt;
      if (BuildVideoFilterGraph(job, ist, ost) != 0) throw EngineError("Error opening filters!");
      ost.rescaled = encoder.width != decoder.width || encoder.height != decoder.height ||
                     encoder.pix_fmt != decoder.pix_fmt;
      if (ost.rescaled) encoder.bits_per_raw_sample = 0;
      break;
    }
    default:
      break;
  }
  SetUpPassLog(job, ost, position);
}

void OpenEncoder(JobContext& job, const InputStream& ist, OutputStream& ost, int position) {
  AVCodecContext& encoder = *ost.encoder_context;
  const AVCodec* codec = job.output_codecs[static_cast<std::size_t>(position)];
  if (codec == nullptr) codec = ost.encoder;
  if (codec == nullptr) codec = ff.avcodec_find_encoder(encoder.codec_id);
  if (codec == nullptr) throw EngineError("Unsupported codec for output stream ");
  const AVCodecContext& decoder = *ist.decoder_context;
  if (decoder.subtitle_header != nullptr && decoder.subtitle_header_size > 0) {
    encoder.subtitle_header = static_cast<std::uint8_t*>(
        ff.av_mallocz(static_cast<std::size_t>(decoder.subtitle_header_size) + 1));
    if (encoder.subtitle_header == nullptr) throw EngineError("can not alloc subtitle header");
    std::memcpy(encoder.subtitle_header, decoder.subtitle_header,
                static_cast<std::size_t>(decoder.subtitle_header_size));
    encoder.subtitle_header_size = decoder.subtitle_header_size;
  }
  if (ost.type == AVMEDIA_TYPE_SUBTITLE) {
    encoder.time_base = AVRational{1, 1000};
    encoder.width = decoder.width;
    encoder.height = decoder.height;
  }
  const int opened = ff.avcodec_open2(&encoder, codec, nullptr);
  if (opened < 0) {
    job.log(AV_LOG_ERROR, std::string(codec->name) + ": " + media::ErrorText(opened) + "\n");
    throw EngineError(
        "Error while opening codec for output stream - maybe incorrect parameters such as "
        "bit_rate, rate, width or height");
  }
  AVStream& stream = *ost.stream;
  media::Check(ff.avcodec_parameters_from_context(stream.codecpar, &encoder),
               "avcodec_parameters_from_context");
  stream.time_base = encoder.time_base;
  if (ost.type == AVMEDIA_TYPE_VIDEO) {
    stream.avg_frame_rate = encoder.framerate;
    if (stream.sample_aspect_ratio.num == 0) {
      stream.sample_aspect_ratio = encoder.sample_aspect_ratio;
    }
  }
  if (ost.type == AVMEDIA_TYPE_AUDIO && encoder.frame_size > 0 &&
      (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) == 0) {
    // Whole encoder frames are gathered here; the resampler feeds it.
  }
  ost.bitstream_filters =
      ParseBitstreamFilters(ost.bitstream_filter_names, *stream.codecpar, encoder.time_base);
  if (!ost.bitstream_filters.empty()) {
    media::Check(ff.avcodec_parameters_copy(stream.codecpar, ost.bitstream_filters.back()->par_out),
                 "avcodec_parameters_copy");
  }
}

void OpenDecoder(const JobContext& job, InputStream& ist) {
  AVCodecContext& decoder = *ist.decoder_context;
  const AVCodec* codec = ist.decoder;
  if (codec == nullptr) codec = ff.avcodec_find_decoder(decoder.codec_id);
  if (codec == nullptr) throw EngineError("Unsupported codec for input stream ");
  const int opened = ff.avcodec_open2(&decoder, codec, nullptr);
  if (opened < 0) {
    job.log(AV_LOG_ERROR, std::string(codec->name) + ": " + media::ErrorText(opened) + "\n");
    throw EngineError("Error while opening codec for input stream ");
  }
}

int TransferChapters(JobContext& job, const InputFile& input, OutputFile& output) {
  AVFormatContext& from = *input.context;
  AVFormatContext& to = *output.context;
  const std::int64_t recording = job.options.RecordingTime();
  for (unsigned c = 0; c < from.nb_chapters; ++c) {
    const AVChapter& chapter = *from.chapters[c];
    const AVRational microseconds{1, AV_TIME_BASE};
    const std::int64_t offset =
        ff.av_rescale_q(job.temp_start_time - input.ts_offset, microseconds, chapter.time_base);
    const std::int64_t limit = recording == kRecordingTimeUnlimited
                                   ? INT64_MAX
                                   : ff.av_rescale_q(recording, microseconds, chapter.time_base);
    if (chapter.end < offset) continue;
    if (limit != INT64_MAX && chapter.start > limit + offset) break;
    AVChapter* copy = static_cast<AVChapter*>(ff.av_mallocz(sizeof(AVChapter)));
    if (copy == nullptr) return AVERROR(ENOMEM);
    copy->id = chapter.id;
    copy->time_base = chapter.time_base;
    copy->start = std::max<std::int64_t>(0, chapter.start - offset);
    copy->end = std::min(limit, chapter.end - offset);
    CopyMetadata(&copy->metadata, chapter.metadata);
    void* grown = ff.av_realloc_array(to.chapters, to.nb_chapters + 1, sizeof(AVChapter*));
    if (grown == nullptr) {
      ff.av_dict_free(&copy->metadata);
      ff.av_free(copy);
      return AVERROR(ENOMEM);
    }
    to.chapters = static_cast<AVChapter**>(grown);
    to.chapters[to.nb_chapters++] = copy;
  }
  return 0;
}

void WriteHeaders(JobContext& job) {
  const TAVConvertOptions& options = job.options;
  for (OutputFile& output : job.output_files) {
    AVFormatContext& context = *output.context;
    media::Dictionary muxer_options;
    // Muxer options live in the muxer's own option table; offer what it knows.
    for (const auto& [name, value] : job.library_options.PrivateOptions()) {
      ff.av_dict_set(muxer_options.address(), name.c_str(), value.c_str(), 0);
    }
    ff.av_dict_set_int(muxer_options.address(), "preload",
                       std::lround(options.MuxerOptions().MuxPreload() * 1e6), 0);
    if (options.LoopOutput() >= 0) {
      ff.av_dict_set_int(muxer_options.address(), "loop", options.LoopOutput(), 0);
    }
    AVDictionary* offered = nullptr;
    // Keep only what this muxer has, so that the rest is not reported as unused.
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = ff.av_dict_get(muxer_options.get(), "", entry, AV_DICT_IGNORE_SUFFIX))) {
      // The muxer's private data exists only once the header is written; ask its class.
      const AVClass* const* muxer_class = &context.oformat->priv_class;
      if (*muxer_class != nullptr &&
          ff.av_opt_find(const_cast<const AVClass**>(muxer_class), entry->key, nullptr, 0,
                         AV_OPT_SEARCH_FAKE_OBJ) != nullptr) {
        ff.av_dict_set(&offered, entry->key, entry->value, 0);
      }
    }
    const int written = ff.avformat_write_header(&context, &offered);
    ff.av_dict_free(&offered);
    if (written < 0) {
      job.log(AV_LOG_ERROR, output.file_name + ": " + media::ErrorText(written) + "\n");
      throw EngineError("Could not write header for output file  (incorrect codec parameters ?)");
    }
    output.header_written = true;
  }
}

}  // namespace

void ParseStreamMaps(JobContext& job) {
  job.stream_maps.clear();
  for (const std::string& line : job.options.StreamMaps()) {
    if (job.stream_maps.size() >= 2000) break;
    const std::size_t equals = line.find('=');
    StreamMapEntry entry;
    entry.file_no = ParseInteger(equals == std::string::npos ? line : line.substr(0, equals));
    entry.stream_no = ParseInteger(equals == std::string::npos ? "" : line.substr(equals + 1));
    entry.sync_file_no = entry.file_no;
    entry.sync_stream_no = entry.stream_no;
    job.stream_maps.push_back(entry);
  }
}

int BuildVideoFilterGraph(JobContext& job, const InputStream& ist, OutputStream& ost) {
  const AVCodecContext& decoder = *ist.decoder_context;
  AVCodecContext& encoder = *ost.encoder_context;
  ost.filter_graph = media::MakeFilterGraph();
  AVFilterGraph& graph = *ost.filter_graph;
  graph.nb_threads = 1;

  std::int64_t sws_flags = SWS_BICUBIC;
  ff.av_opt_get_int(job.library_options.ScalerTemplate(), "sws_flags", 0, &sws_flags);
  const std::string scaler_flags = FormatMessage("flags=0x%X", static_cast<unsigned>(sws_flags));
  graph.scale_sws_opts = ff.av_strdup(scaler_flags.c_str());

  const AVRational time_base = ist.stream->time_base;
  AVRational aspect = decoder.sample_aspect_ratio;
  if (aspect.num <= 0 || aspect.den <= 0) aspect = AVRational{0, 1};
  const std::string source_args = FormatMessage(
      "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", decoder.width,
      decoder.height, decoder.pix_fmt, time_base.num, time_base.den, aspect.num, aspect.den);
  int result =
      ff.avfilter_graph_create_filter(&ost.filter_source, ff.avfilter_get_by_name("buffer"), "src",
                                      source_args.c_str(), nullptr, &graph);
  if (result < 0) return result;
  result = ff.avfilter_graph_create_filter(&ost.filter_sink, ff.avfilter_get_by_name("buffersink"),
                                           "out", nullptr, nullptr, &graph);
  if (result < 0) return result;
  const AVPixelFormat formats[] = {encoder.pix_fmt};
  result =
      ff.av_opt_set_bin(ost.filter_sink, "pix_fmts", reinterpret_cast<const std::uint8_t*>(formats),
                        sizeof formats, AV_OPT_SEARCH_CHILDREN);
  if (result < 0) return result;

  // The fixed chain from the decoder: deinterlacing, then the output size.
  AVFilterContext* last = ost.filter_source;
  auto append = [&](const char* name, const std::string& args) {
    AVFilterContext* filter = nullptr;
    int created = ff.avfilter_graph_create_filter(&filter, ff.avfilter_get_by_name(name), nullptr,
                                                  args.c_str(), nullptr, &graph);
    if (created < 0) return created;
    created = ff.avfilter_link(last, 0, filter, 0);
    if (created < 0) return created;
    last = filter;
    return 0;
  };
  if (job.options.VideoOptions().Deinterlace()) {
    result = append("yadif", "");
    if (result < 0) return result;
  }
  if (encoder.width != decoder.width || encoder.height != decoder.height) {
    result = append("scale",
                    FormatMessage("%d:%d:%s", encoder.width, encoder.height, scaler_flags.c_str()));
    if (result < 0) return result;
  }

  // The encoder takes what the graph's end gives; a pixel format that needs even sizes gets
  // them even when a user filter made them odd.
  AVFilterContext* end = ost.filter_sink;
  int shift_w = 0;
  int shift_h = 0;
  ff.av_pix_fmt_get_chroma_sub_sample(encoder.pix_fmt, &shift_w, &shift_h);
  const std::string& user_filters = job.options.FilterOptions().VideoFilters();
  if (!user_filters.empty()) {
    if (shift_w > 0 || shift_h > 0) {
      AVFilterContext* align = nullptr;
      result = ff.avfilter_graph_create_filter(
          &align, ff.avfilter_get_by_name("scale"), "align",
          FormatMessage("w=trunc(iw/%d)*%d:h=trunc(ih/%d)*%d", 1 << shift_w, 1 << shift_w,
                        1 << shift_h, 1 << shift_h)
              .c_str(),
          nullptr, &graph);
      if (result < 0) return result;
      result = ff.avfilter_link(align, 0, ost.filter_sink, 0);
      if (result < 0) return result;
      end = align;
    }
    // The user's filters see the source's own time (a subtitle file is timed against the whole
    // source), not the output's, which starts at the start time.
    const std::int64_t start_time = job.options.StartTime();
    if (start_time > 0) {
      const std::string seconds = FormatMessage("%.6f", static_cast<double>(start_time) / 1e6);
      result = append("setpts", "expr=PTS+" + seconds + "/TB");
      if (result < 0) return result;
      AVFilterContext* back = nullptr;
      result =
          ff.avfilter_graph_create_filter(&back, ff.avfilter_get_by_name("setpts"), "back",
                                          ("expr=PTS-" + seconds + "/TB").c_str(), nullptr, &graph);
      if (result < 0) return result;
      result = ff.avfilter_link(back, 0, end, 0);
      if (result < 0) return result;
      end = back;
    }
    AVFilterInOut* outputs = ff.avfilter_inout_alloc();
    AVFilterInOut* inputs = ff.avfilter_inout_alloc();
    media::FilterInOutPtr outputs_owner(outputs);
    media::FilterInOutPtr inputs_owner(inputs);
    if (outputs == nullptr || inputs == nullptr) return AVERROR(ENOMEM);
    outputs->name = ff.av_strdup("in");
    outputs->filter_ctx = last;
    outputs->pad_idx = 0;
    inputs->name = ff.av_strdup("out");
    inputs->filter_ctx = end;
    inputs->pad_idx = 0;
    AVFilterInOut* open_inputs = inputs_owner.release();
    AVFilterInOut* open_outputs = outputs_owner.release();
    result = ff.avfilter_graph_parse_ptr(&graph, user_filters.c_str(), &open_inputs, &open_outputs,
                                         nullptr);
    ff.avfilter_inout_free(&open_inputs);
    ff.avfilter_inout_free(&open_outputs);
    if (result < 0) {
      job.log(AV_LOG_ERROR,
              "Video filters \"" + user_filters + "\": " + media::ErrorText(result) + "\n");
      return result;
    }
  } else {
    result = ff.avfilter_link(last, 0, ost.filter_sink, 0);
    if (result < 0) return result;
  }
  result = ff.avfilter_graph_config(&graph, nullptr);
  if (result < 0) {
    job.log(AV_LOG_ERROR, "Video filters: " + media::ErrorText(result) + "\n");
    return result;
  }
  encoder.width = ff.av_buffersink_get_w(ost.filter_sink);
  encoder.height = ff.av_buffersink_get_h(ost.filter_sink);
  const AVRational sink_aspect = ff.av_buffersink_get_sample_aspect_ratio(ost.filter_sink);
  if (sink_aspect.num > 0 && encoder.sample_aspect_ratio.num == 0) {
    encoder.sample_aspect_ratio = sink_aspect;
  }
  return 0;
}

void SetUpTranscoding(JobContext& job) {
  BuildTables(job);
  CheckStreamMaps(job);
  ChooseSources(job);

  for (std::size_t o = 0; o < job.output_streams.size(); ++o) {
    OutputStream& ost = job.output_streams[o];
    InputStream& ist = *job.input_streams[static_cast<std::size_t>(ost.source_no)];
    CopyMetadata(&ost.stream->metadata, ist.stream->metadata);
    ost.stream->disposition = ist.stream->disposition & ~AV_DISPOSITION_ATTACHED_PIC;
    ost.encoder_context->bits_per_raw_sample = ist.decoder_context->bits_per_raw_sample;
    ost.encoder_context->chroma_sample_location = ist.decoder_context->chroma_sample_location;
    if (ost.copy) {
      SetUpStreamCopy(job, ist, ost);
    } else {
      SetUpEncoding(job, ist, ost, static_cast<int>(o));
    }
  }
  for (InputStream* ist : job.input_streams) {
    if (ist->decode) OpenDecoder(job, *ist);
  }
  for (std::size_t o = 0; o < job.output_streams.size(); ++o) {
    OutputStream& ost = job.output_streams[o];
    if (!ost.encode) continue;
    OpenEncoder(job, *job.input_streams[static_cast<std::size_t>(ost.source_no)], ost,
                static_cast<int>(o));
  }
  for (InputStream* ist : job.input_streams) {
    const AVRational rate = ist->stream->avg_frame_rate;
    const int delay = ist->decoder_context->has_b_frames;
    ist->time =
        rate.num != 0 && rate.den != 0 ? -std::llround(delay * 1000000.0 * rate.den / rate.num) : 0;
    ist->next_time = kNoTime;
    ist->starting = true;
  }
  for (const InputFile& input : job.input_files) {
    if (input.context->nb_chapters == 0) continue;
    for (OutputFile& output : job.output_files) {
      if (TransferChapters(job, input, output) < 0) throw EngineError("Copy chapters failed");
    }
  }
  WriteHeaders(job);
  job.timer_start = ff.av_gettime();
}

}  // namespace zembra::engine
