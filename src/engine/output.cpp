// Creating the outputs of a run.
//
// For each output file: the container (forced or guessed from the name), the kinds of stream it
// gets (what the container does by default, what the options ask for, and what the inputs hold),
// one video, audio and subtitle stream at most with an encoder context of its own filled from
// the options and from what the inputs carried, the file metadata, and the file itself (its
// folder created when missing). Encoders are opened by the set-up stage, once the filter graph
// has fixed the picture size.
#include "engine/output.h"

#include <cmath>
#include <filesystem>

#include "engine/engine_error.h"
#include "engine/input.h"
#include "media/reporting.h"

namespace zembra::engine {
namespace {

using media::ff;

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool IsCoverArt(const AVStream& stream) {
  return (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

bool IsTextSubtitle(AVCodecID id) {
  const AVCodecDescriptor* descriptor = ff.avcodec_descriptor_get(id);
  return descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_TEXT_SUB) != 0;
}

struct InputKinds {
  bool video = false;
  bool cover_art_only = false;  // pictures, but all of them cover art
  bool audio = false;
  bool subtitle = false;
  bool text_subtitle = false;
  bool bitmap_subtitle = false;
};

// What the inputs hold. A picture attached to an audio file is cover art, not video.
InputKinds CheckInputKinds(const JobContext& job) {
  InputKinds kinds;
  bool cover_art = false;
  for (const InputFile& input : job.input_files) {
    for (const InputStream& stream : input.streams) {
      const AVCodecParameters& parameters = *stream.stream->codecpar;
      switch (parameters.codec_type) {
        case AVMEDIA_TYPE_VIDEO:
          if (IsCoverArt(*stream.stream)) {
            cover_art = true;
          } else {
            kinds.video = true;
          }
          break;
        case AVMEDIA_TYPE_AUDIO:
          kinds.audio = true;
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          kinds.subtitle = true;
          (IsTextSubtitle(parameters.codec_id) ? kinds.text_subtitle : kinds.bitmap_subtitle) =
              true;
          break;
        default:
          break;
      }
    }
  }
  kinds.cover_art_only = cover_art && !kinds.video;
  return kinds;
}

// The encoder for a new stream: by name, or the container's default for the kind.
const AVCodec* ChooseEncoder(const JobContext& job, const AVOutputFormat& format,
                             const std::string& file_name, const std::string& name,
                             AVMediaType type) {
  if (name.empty()) {
    const AVCodecID id = ff.av_guess_codec(&format, nullptr, file_name.c_str(), nullptr, type);
    return ff.avcodec_find_encoder(id);
  }
  FindCodec(name, type, true);  // throws for unknown names and other kinds
  (void)job;
  return ff.avcodec_find_encoder_by_name(name.c_str());
}

void SetLanguage(AVStream& stream, const std::string& language) {
  if (!language.empty()) ff.av_dict_set(&stream.metadata, "language", language.c_str(), 0);
}

// The sample aspect ratio that gives the options' display aspect ratio at the output size.
AVRational SampleAspect(double frame_aspect, int width, int height) {
  if (frame_aspect <= 0 || width <= 0 || height <= 0) return AVRational{0, 1};
  return ff.av_d2q(height * frame_aspect / width, 255);
}

// The common start of every new stream: the stream, its slot in the encoder list, the encoder
// and its context with the thread count and a forced codec tag (0: none).
OutputStream& AddStream(JobContext& job, OutputFile& output, AVMediaType type, bool copy,
                        const std::string& encoder_name, const TStringList& bitstream_filter_names,
                        std::int32_t codec_tag) {
  AVFormatContext& context = *output.context;
  AVStream* stream = ff.avformat_new_stream(&context, nullptr);
  if (stream == nullptr) throw EngineError("Could not alloc stream");
  stream->id = static_cast<int>(context.nb_streams) - 1;
  job.output_codecs.push_back(nullptr);

  OutputStream ost;
  ost.file_no = static_cast<int>(job.output_files.size()) - 1;  // `output` is the last one
  ost.stream_no = stream->index;
  ost.stream = stream;
  ost.type = type;
  ost.copy = copy;
  if (!copy) {
    ost.encoder = ChooseEncoder(job, *context.oformat, output.file_name, encoder_name, type);
    if (!encoder_name.empty()) job.output_codecs.back() = ost.encoder;
  }
  ost.encoder_context = media::MakeCodecContext(ost.encoder);
  ost.encoder_context->codec_type = type;
  if (ost.encoder == nullptr && !copy) {
    ost.encoder_context->codec_id =
        ff.av_guess_codec(context.oformat, nullptr, output.file_name.c_str(), nullptr, type);
  } else if (ost.encoder != nullptr) {
    ost.encoder_context->codec_id = ost.encoder->id;
  }
  for (const std::string& name : bitstream_filter_names) {
    if (!name.empty()) ost.bitstream_filter_names.push_back(name);
  }
  ost.encoder_context->thread_count = job.options.ThreadCount();
  if (codec_tag != 0) ost.encoder_context->codec_tag = static_cast<unsigned>(codec_tag);
  job.output_streams.push_back(std::move(ost));
  return job.output_streams.back();
}

void SetGlobalHeader(AVCodecContext& encoder, AVCodecContext* template_context) {
  encoder.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (template_context != nullptr) template_context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

// The recorded library options whose flags fit, and the encoder's own options by name.
void ApplyRecordedOptions(JobContext& job, OutputStream& ost, AVCodecContext* template_context,
                          int mask) {
  AVCodecContext& encoder = *ost.encoder_context;
  job.library_options.ApplyContextOptions(&encoder, template_context, mask);
  for (const std::string& name : job.library_options.ApplyPrivateOptions(encoder.priv_data)) {
    job.log(AV_LOG_WARNING, "Invalid value for encoder option " + name + "\n");
  }
}

void AddVideoStream(JobContext& job, OutputFile& output) {
  const TVideoOptions& video = job.options.VideoOptions();
  OutputStream& ost = AddStream(
      job, output, AVMEDIA_TYPE_VIDEO, video.VideoStreamCopy(), video.EncoderVideoCodecName(),
      job.options.MuxerOptions().VideoBitstreamFilters(), video.VideoCodecTag());
  AVCodecContext& encoder = *ost.encoder_context;
  AVCodecContext* video_template = job.library_options.CodecTemplate(AVMEDIA_TYPE_VIDEO);

  const int global_header = video.VideoGlobalHeader();
  if ((global_header & 1) != 0 ||
      (global_header == 0 && (output.context->oformat->flags & AVFMT_GLOBALHEADER) != 0)) {
    SetGlobalHeader(encoder, video_template);
  }
  if ((global_header & 2) != 0) {
    encoder.flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    video_template->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
  }

  const int width = job.source.frame_width;
  const int height = job.source.frame_height;
  if (ost.copy) {
    ost.stream->sample_aspect_ratio = SampleAspect(video.FrameAspectRatio(), width, height);
  } else {
    AVRational rate{video.FrameRate().num(), video.FrameRate().den()};
    if (rate.num == 0 || rate.den == 0) rate = AVRational{25, 1};
    ApplyRecordedOptions(job, ost, video_template,
                         AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    if (ost.encoder != nullptr) {
      if (ost.encoder->supported_framerates != nullptr && !video.ForceFPS()) {
        rate = ost.encoder->supported_framerates[ff.av_find_nearest_q_idx(
            rate, ost.encoder->supported_framerates)];
      }
    }
    encoder.time_base = AVRational{rate.den, rate.num};
    encoder.framerate = rate;
    encoder.width = width;
    encoder.height = height;
    encoder.sample_aspect_ratio = SampleAspect(video.FrameAspectRatio(), width, height);
    ost.stream->sample_aspect_ratio = encoder.sample_aspect_ratio;
    encoder.pix_fmt = static_cast<AVPixelFormat>(video.FramePixFormat());
    FitPixelFormat(encoder, ost.encoder);
    AlignToChroma(encoder);
    if (video.IntraOnly()) encoder.gop_size = 0;
    if (video.VideoQscale() != 0 || video.SameQuality()) {
      encoder.flags |= AV_CODEC_FLAG_QSCALE;
      ost.quality = video.VideoQscale() * FF_QP2LAMBDA;
      encoder.global_quality = static_cast<int>(std::lround(ost.quality));
    }
    if (!video.IntraMatrix().Empty()) {
      encoder.intra_matrix = static_cast<std::uint16_t*>(ff.av_mallocz(64 * sizeof(std::uint16_t)));
      std::copy(video.IntraQuantMatrix().begin(), video.IntraQuantMatrix().end(),
                encoder.intra_matrix);
    }
    if (!video.InterMatrix().Empty()) {
      encoder.inter_matrix = static_cast<std::uint16_t*>(ff.av_mallocz(64 * sizeof(std::uint16_t)));
      std::copy(video.InterQuantMatrix().begin(), video.InterQuantMatrix().end(),
                encoder.inter_matrix);
    }
    encoder.rc_override_count = 0;
    if (encoder.rc_initial_buffer_occupancy == 0) {
      encoder.rc_initial_buffer_occupancy = encoder.rc_buffer_size * 3 / 4;
    }
    encoder.intra_dc_precision = video.IntraDcPrecision() - 8;
    if (job.options.DoPSNR()) encoder.flags |= AV_CODEC_FLAG_PSNR;
    if (video.Pass() == 1) {
      encoder.flags |= AV_CODEC_FLAG_PASS1;
    } else if (video.Pass() != 0) {
      encoder.flags |= AV_CODEC_FLAG_PASS2;
    }
  }
  SetLanguage(*ost.stream, Trimmed(video.VideoLanguage()));
}

void AddAudioStream(JobContext& job, OutputFile& output) {
  const TAudioOptions& audio = job.options.AudioOptions();
  OutputStream& ost = AddStream(
      job, output, AVMEDIA_TYPE_AUDIO, audio.AudioStreamCopy(), audio.EncoderAudioCodecName(),
      job.options.MuxerOptions().AudioBitstreamFilters(), audio.AudioCodecTag());
  AVCodecContext& encoder = *ost.encoder_context;
  AVCodecContext* audio_template = job.library_options.CodecTemplate(AVMEDIA_TYPE_AUDIO);
  if ((output.context->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
    SetGlobalHeader(encoder, audio_template);
  }
  const int channels = std::max(1, job.source.audio_channels);
  const int rate = job.source.audio_sample_rate > 0 ? job.source.audio_sample_rate : 44100;
  if (!ost.copy) {
    ApplyRecordedOptions(job, ost, audio_template,
                         AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    if (audio.AudioQScale() > -99999.0F) {
      encoder.flags |= AV_CODEC_FLAG_QSCALE;
      ost.quality = audio.AudioQScale() * FF_QP2LAMBDA;
      encoder.global_quality = static_cast<int>(std::lround(ost.quality));
    }
    // The input's layout when it has the asked number of channels, else the usual one.
    ff.av_channel_layout_uninit(&encoder.ch_layout);
    if (job.source.channel_layout != 0 &&
        __builtin_popcountll(job.source.channel_layout) == channels) {
      media::Check(ff.av_channel_layout_from_mask(&encoder.ch_layout, job.source.channel_layout),
                   "av_channel_layout_from_mask");
    } else {
      ff.av_channel_layout_default(&encoder.ch_layout, channels);
    }
    encoder.sample_fmt = job.source.audio_sample_fmt;
    encoder.sample_rate = rate;
    FitSampleFormat(encoder, ost.encoder);
    FitSampleRate(encoder, ost.encoder);
  }
  encoder.time_base = AVRational{1, encoder.sample_rate > 0 ? encoder.sample_rate : rate};
  SetLanguage(*ost.stream, Trimmed(audio.AudioLanguage()));
}

void AddSubtitleStream(JobContext& job, OutputFile& output) {
  const TSubtitleOptions& subtitle = job.options.SubtitleOptions();
  OutputStream& ost =
      AddStream(job, output, AVMEDIA_TYPE_SUBTITLE, subtitle.SubtitleStreamCopy(),
                Trimmed(subtitle.SubtitleCodecName()),
                job.options.MuxerOptions().SubtitleBitstreamFilters(), subtitle.SubtitleCodecTag());
  AVCodecContext& encoder = *ost.encoder_context;
  AVCodecContext* subtitle_template = job.library_options.CodecTemplate(AVMEDIA_TYPE_SUBTITLE);
  if ((output.context->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
    SetGlobalHeader(encoder, subtitle_template);
  }
  if (!ost.copy) {
    ApplyRecordedOptions(job, ost, subtitle_template,
                         AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  }
  SetLanguage(*ost.stream, subtitle.SubtitleLanguage());
}

// The subtitle encoder the container would use takes text or pictures; an input whose
// subtitles are of the other kind cannot feed it.
bool SubtitleEncoderFits(const InputKinds& kinds, const AVOutputFormat& format,
                         const std::string& file_name, const std::string& encoder_name) {
  AVCodecID id = AV_CODEC_ID_NONE;
  if (encoder_name.empty()) {
    id = ff.av_guess_codec(&format, nullptr, file_name.c_str(), nullptr, AVMEDIA_TYPE_SUBTITLE);
  } else if (const AVCodec* codec = ff.avcodec_find_encoder_by_name(encoder_name.c_str())) {
    id = codec->id;
  }
  if (id == AV_CODEC_ID_NONE) return true;  // the name is checked, with its message, later
  return IsTextSubtitle(id) ? kinds.text_subtitle : kinds.bitmap_subtitle;
}

}  // namespace

void AlignToChroma(AVCodecContext& encoder) {
  int shift_w = 0;
  int shift_h = 0;
  if (encoder.pix_fmt == AV_PIX_FMT_NONE ||
      ff.av_pix_fmt_get_chroma_sub_sample(encoder.pix_fmt, &shift_w, &shift_h) < 0) {
    return;
  }
  const int step_w = 1 << shift_w;
  const int step_h = 1 << shift_h;
  // The nearest accepted size, rounding halves down.
  auto align = [](int value, int step) {
    const int down = value / step * step;
    return value - down <= step / 2 || down == 0 ? std::max(down, step) : down + step;
  };
  encoder.width = align(encoder.width, step_w);
  encoder.height = align(encoder.height, step_h);
}

void FitPixelFormat(AVCodecContext& encoder_context, const AVCodec* encoder) {
  if (encoder == nullptr || encoder->pix_fmts == nullptr) return;
  const AVPixelFormat* candidates = encoder->pix_fmts;
  static constexpr AVPixelFormat kMjpegFormats[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P,
                                                    AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P,
                                                    AV_PIX_FMT_NONE};
  static constexpr AVPixelFormat kLjpegFormats[] = {
      AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV420P,
      AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV444P,  AV_PIX_FMT_BGRA,     AV_PIX_FMT_NONE};
  // Today's MJPEG encoder lists limited-range formats too but refuses them unless unofficial
  // output is allowed; within the rules it takes only the full-range ones.
  static constexpr AVPixelFormat kMjpegFullRange[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P,
                                                      AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_NONE};
  if (encoder_context.strict_std_compliance < FF_COMPLIANCE_NORMAL) {
    if (encoder->id == AV_CODEC_ID_MJPEG) candidates = kMjpegFormats;
    if (encoder->id == AV_CODEC_ID_LJPEG) candidates = kLjpegFormats;
  } else if (encoder->id == AV_CODEC_ID_MJPEG &&
             encoder_context.strict_std_compliance > FF_COMPLIANCE_UNOFFICIAL) {
    candidates = kMjpegFullRange;
  }
  for (const AVPixelFormat* format = candidates; *format != AV_PIX_FMT_NONE; ++format) {
    if (*format == encoder_context.pix_fmt) return;
  }
  encoder_context.pix_fmt = candidates == kMjpegFullRange ? candidates[0] : encoder->pix_fmts[0];
}

void FitSampleFormat(AVCodecContext& encoder_context, const AVCodec* encoder) {
  if (encoder == nullptr || encoder->sample_fmts == nullptr) return;
  for (const AVSampleFormat* format = encoder->sample_fmts; *format != AV_SAMPLE_FMT_NONE;
       ++format) {
    if (*format == encoder_context.sample_fmt) return;
  }
  encoder_context.sample_fmt = encoder->sample_fmts[0];
}

void FitSampleRate(AVCodecContext& encoder_context, const AVCodec* encoder) {
  if (encoder == nullptr || encoder->supported_samplerates == nullptr) return;
  const int* best = encoder->supported_samplerates;
  for (const int* rate = encoder->supported_samplerates; *rate != 0; ++rate) {
    if (std::abs(encoder_context.sample_rate - *rate) <
        std::abs(encoder_context.sample_rate - *best)) {
      best = rate;
    }
  }
  if (*best != encoder_context.sample_rate) {
    ff.av_log(&encoder_context, AV_LOG_WARNING,
              "Requested sampling rate unsupported using closest supported (%d)\n", *best);
  }
  encoder_context.sample_rate = *best;
}

BitstreamFilterChain ParseBitstreamFilters(const std::vector<std::string>& names,
                                           const AVCodecParameters& parameters,
                                           AVRational time_base) {
  BitstreamFilterChain chain;
  const AVCodecParameters* input = &parameters;
  AVRational input_time_base = time_base;
  for (const std::string& name : names) {
    const AVBitStreamFilter* filter = ff.av_bsf_get_by_name(name.c_str());
    AVBSFContext* raw = nullptr;
    if (filter == nullptr || ff.av_bsf_alloc(filter, &raw) < 0) {
      media::ShowError("Invalid BitstreamFilter " + name);
      continue;
    }
    media::BsfContextPtr context(raw);
    if (ff.avcodec_parameters_copy(context->par_in, input) < 0) continue;
    context->time_base_in = input_time_base;
    if (ff.av_bsf_init(context.get()) < 0) {
      // Known, but not for this stream's codec.
      media::ShowError("Invalid BitstreamFilter " + name);
      continue;
    }
    input = context->par_out;
    input_time_base = context->time_base_out;
    chain.push_back(std::move(context));
  }
  return chain;
}

void OpenOutputFile(JobContext& job, const std::string& file_name, int index) {
  if (static_cast<std::size_t>(index) != job.output_files.size()) {
    throw std::logic_error("outputs are opened in order");
  }
  const TAVConvertOptions& options = job.options;
  const TAudioOptions& audio = options.AudioOptions();
  const TVideoOptions& video = options.VideoOptions();
  const TSubtitleOptions& subtitle = options.SubtitleOptions();

  // What the options ask for wins over what the inputs carried.
  if (audio.AudioChannels() != 0) {
    job.source.audio_channels = audio.AudioChannels();
    job.source.channel_layout = 0;
  }
  if (audio.AudioSampleRate() != 0) job.source.audio_sample_rate = audio.AudioSampleRate();
  if (audio.AudioSampleFmt() != TAVAudioSampleFormat::sfAuto) {
    job.source.audio_sample_fmt =
        static_cast<AVSampleFormat>(static_cast<int>(audio.AudioSampleFmt()) - 1);
  }
  if (video.FrameWidth() != 0) job.source.frame_width = video.FrameWidth();
  if (video.FrameHeight() != 0) job.source.frame_height = video.FrameHeight();
  if (job.source.frame_width < 0 || job.source.frame_height < 0) {
    media::ShowError("crop dimensions are outside the range of the original image.");
  }

  // A forced container holds for every output; otherwise each output's own name decides.
  const AVOutputFormat* guessed = job.file_oformat != nullptr
                                      ? job.file_oformat
                                      : ff.av_guess_format(nullptr, file_name.c_str(), nullptr);
  if (guessed == nullptr) {
    throw EngineError(
        FormatMessage("Unable to find a suitable output format for %s", file_name.c_str()));
  }
  OutputFile output;
  output.file_name = file_name;
  output.context.reset(ff.avformat_alloc_context());
  if (!output.context) throw media::AvError(AVERROR(ENOMEM), "avformat_alloc_context");
  AVFormatContext& context = *output.context;
  context.oformat = guessed;
  context.url = ff.av_strdup(file_name.c_str());
  const AVOutputFormat& format = *guessed;

  bool want_video = format.video_codec != AV_CODEC_ID_NONE || video.VideoStreamCopy() ||
                    !video.EncoderVideoCodecName().empty();
  bool want_audio = format.audio_codec != AV_CODEC_ID_NONE || audio.AudioStreamCopy() ||
                    !audio.EncoderAudioCodecName().empty();
  bool want_subtitle = format.subtitle_codec != AV_CODEC_ID_NONE || subtitle.SubtitleStreamCopy() ||
                       !Trimmed(subtitle.SubtitleCodecName()).empty();
  if (!job.input_files.empty()) {
    const InputKinds kinds = CheckInputKinds(job);
    if (want_video && kinds.cover_art_only) {
      job.log(AV_LOG_WARNING,
              "The input's only picture is cover art: the output gets no video stream\n");
    }
    want_video = want_video && kinds.video;
    want_audio = want_audio && kinds.audio;
    want_subtitle =
        want_subtitle && kinds.subtitle &&
        (subtitle.SubtitleStreamCopy() ||
         SubtitleEncoderFits(kinds, format, file_name, Trimmed(subtitle.SubtitleCodecName())));
  }
  if (video.VideoDisable()) want_video = false;
  if (audio.AudioDisable()) want_audio = false;
  if (subtitle.SubtitleDisable()) want_subtitle = false;

  job.output_files.push_back(std::move(output));
  OutputFile& added = job.output_files.back();
  if (want_video) AddVideoStream(job, added);
  if (want_audio) AddAudioStream(job, added);
  if (want_subtitle) AddSubtitleStream(job, added);

  for (const std::string& line : options.MetaData()) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    ff.av_dict_set(&context.metadata, line.substr(0, equals).c_str(),
                   line.substr(equals + 1).c_str(), 0);
  }

  if ((format.flags & AVFMT_NEEDNUMBER) != 0 && !ff.av_filename_number_test(file_name.c_str())) {
    throw EngineError("unexpected error");
  }
  if ((format.flags & AVFMT_NOFILE) == 0) {
    const std::filesystem::path folder = std::filesystem::path(file_name).parent_path();
    if (!folder.empty()) {
      std::error_code error;
      std::filesystem::create_directories(folder, error);
    }
    const int opened = ff.avio_open2(&context.pb, file_name.c_str(), AVIO_FLAG_WRITE,
                                     &context.interrupt_callback, nullptr);
    if (opened < 0) {
      job.log(AV_LOG_ERROR, file_name + ": " + media::ErrorText(opened) + "\n");
      throw EngineError("Could not open file");
    }
  }
  context.max_delay = static_cast<int>(std::lround(options.MuxerOptions().MuxMaxDelay() * 1e6));
  context.flags |= AVFMT_FLAG_NONBLOCK;
  job.library_options.ApplyContextOptions(&context, job.library_options.FormatTemplate(),
                                          AV_OPT_FLAG_ENCODING_PARAM);
}

}  // namespace zembra::engine
