// Opening the inputs of a run.
//
// Each input is opened through the shared input helper with the recorded format options, the
// forced decoders and the capture parameters, its streams are analysed, the start-time seek is
// made, and a decoder context is prepared per stream (opened later by the set-up stage). What
// the last input carried is written back into the options and the source parameters, which the
// output stage reads.
#include "engine/input.h"

#include <stdexcept>

#include "engine/engine_error.h"
#include "media/input_open.h"

namespace zembra::engine {
namespace {

using media::ff;

int InterruptWhenStopped(void* opaque) {
  const auto* stop = static_cast<const std::atomic<bool>*>(opaque);
  return stop != nullptr && stop->load(std::memory_order_relaxed) ? 1 : 0;
}

void SetDictionaryEntry(media::Dictionary& dictionary, const char* key, const std::string& value) {
  ff.av_dict_set(dictionary.address(), key, value.c_str(), 0);
}

// The capture parameters (size, rate, pixel format, channel and standard) for demuxers that take
// them: raw video, image sequences, grabbing devices. Demuxers without them leave them unused.
void AddFormatParameters(const JobContext& job, media::Dictionary& dictionary) {
  const TVideoOptions& video = job.options.VideoOptions();
  const TGrabOptions& grab = job.options.GrabOptions();
  SetDictionaryEntry(dictionary, "sample_rate", "44100");
  SetDictionaryEntry(dictionary, "channels", "1");
  if (video.FrameRate().num() > 0 && video.FrameRate().den() > 0) {
    SetDictionaryEntry(
        dictionary, "framerate",
        std::to_string(video.FrameRate().num()) + "/" + std::to_string(video.FrameRate().den()));
  }
  if (job.source.frame_width > 0 && job.source.frame_height > 0) {
    SetDictionaryEntry(
        dictionary, "video_size",
        std::to_string(job.source.frame_width) + "x" + std::to_string(job.source.frame_height));
  }
  if (video.FramePixFormat() >= 0) {
    if (const char* name =
            ff.av_get_pix_fmt_name(static_cast<AVPixelFormat>(video.FramePixFormat())))
      SetDictionaryEntry(dictionary, "pixel_format", name);
  }
  if (grab.VideoChannel() != 0) {
    SetDictionaryEntry(dictionary, "channel", std::to_string(grab.VideoChannel()));
  }
  if (!grab.VideoStandard().empty())
    SetDictionaryEntry(dictionary, "standard", grab.VideoStandard());
}

const AVCodec* FindDecoder(const std::string& name, AVMediaType type) {
  if (FindCodec(name, type, false) == AV_CODEC_ID_NONE) return nullptr;
  return ff.avcodec_find_decoder_by_name(name.c_str());
}

void SelectProgram(AVFormatContext& context, int program_id) {
  for (unsigned i = 0; i < context.nb_streams; ++i) context.streams[i]->discard = AVDISCARD_ALL;
  bool found = false;
  for (unsigned p = 0; p < context.nb_programs; ++p) {
    AVProgram& program = *context.programs[p];
    if (program.id == program_id) {
      for (unsigned s = 0; s < program.nb_stream_indexes; ++s) {
        context.streams[program.stream_index[s]]->discard = AVDISCARD_DEFAULT;
      }
      found = true;
    } else {
      program.discard = AVDISCARD_ALL;
    }
  }
  if (!found) throw EngineError("Specified program id not found");
}

void SetUpAudioStream(JobContext& job, AVStream& stream, AVCodecContext& decoder) {
  job.library_options.ApplyContextOptions(
      &decoder, job.library_options.CodecTemplate(AVMEDIA_TYPE_AUDIO), kAudioDecodingMask);
  job.source.audio_channels = decoder.ch_layout.nb_channels;
  job.source.channel_layout =
      decoder.ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? decoder.ch_layout.u.mask : 0;
  job.source.audio_sample_rate = decoder.sample_rate;
  job.source.audio_sample_fmt = decoder.sample_fmt;
  if (job.options.AudioOptions().AudioDisable()) stream.discard = AVDISCARD_ALL;
  if (decoder.lowres > 0) job.source.audio_sample_rate >>= decoder.lowres;
}

void SetUpVideoStream(JobContext& job, int index, AVStream& stream, AVCodecContext& decoder) {
  TVideoOptions& video = job.options.VideoOptions();
  job.library_options.ApplyContextOptions(
      &decoder, job.library_options.CodecTemplate(AVMEDIA_TYPE_VIDEO), kVideoDecodingMask);
  job.source.frame_height = decoder.height;
  job.source.frame_width = decoder.width;

  const AVRational sample_aspect = stream.sample_aspect_ratio.num != 0
                                       ? stream.sample_aspect_ratio
                                       : decoder.sample_aspect_ratio;
  const double aspect =
      decoder.height > 0 ? av_q2d(sample_aspect) * decoder.width / decoder.height : 0.0;
  video.SetFrameAspectRatio(static_cast<float>(aspect));
  video.SetFramePixFormat(decoder.pix_fmt);

  if (decoder.lowres > 0) {
    // Decoding at reduced size: the output follows unless the caller chose a size.
    const int width = video.FrameWidth() != 0 ? video.FrameWidth() : decoder.width;
    const int height = video.FrameHeight() != 0 ? video.FrameHeight() : decoder.height;
    video.SetFrameWidth(width >> decoder.lowres);
    video.SetFrameHeight(height >> decoder.lowres);
    decoder.width = video.FrameWidth();
    decoder.height = video.FrameHeight();
  }

  // The rate the stream's frames average against the rate its timestamps are based on: when
  // they disagree (variable rate, pulldown, a mislabelled container) the output uses the latter.
  const AVRational average = stream.avg_frame_rate;
  const AVRational base = stream.r_frame_rate;
  if (average.num > 0 && average.den > 0 && base.num > 0 && base.den > 0 &&
      av_cmp_q(average, base) != 0) {
    job.log(AV_LOG_ERROR,
            FormatMessage("Seems stream %d codec frame rate differs from container frame rate: "
                          "%2.2f (%d/%d) -> %2.2f (%d/%d)\n",
                          index, av_q2d(average), average.num, average.den, av_q2d(base), base.num,
                          base.den));
  }
  video.FrameRate().Setnum(base.num);
  video.FrameRate().Setden(base.den);

  if (video.VideoDisable()) {
    stream.discard = AVDISCARD_ALL;
  } else if (video.VideoDiscard() != 0) {
    stream.discard = static_cast<AVDiscard>(video.VideoDiscard());
  }
}

}  // namespace

void ResolveFormats(JobContext& job) {
  const std::string& input_format = job.options.InputFormat();
  const std::string& output_format = job.options.OutputFormat();
  if (input_format.empty() && output_format.empty()) return;
  job.file_iformat = input_format.empty() ? nullptr : ff.av_find_input_format(input_format.c_str());
  job.file_oformat =
      output_format.empty() ? nullptr : ff.av_guess_format(output_format.c_str(), nullptr, nullptr);
  if (job.file_iformat == nullptr && job.file_oformat == nullptr) {
    throw EngineError(FormatMessage("Unknown input %s or Output format %s", input_format.c_str(),
                                    output_format.c_str()));
  }
}

AVCodecID FindCodec(const std::string& name, AVMediaType type, bool encoder) {
  if (name.empty()) return AV_CODEC_ID_NONE;
  const AVCodec* codec = encoder ? ff.avcodec_find_encoder_by_name(name.c_str())
                                 : ff.avcodec_find_decoder_by_name(name.c_str());
  if (codec == nullptr) throw EngineError("Unknown Codec Name");
  if (codec->type != type) throw EngineError("Invalid codec type");
  return codec->id;
}

void OpenInputFile(JobContext& job, const std::string& file_name, int index) {
  if (static_cast<std::size_t>(index) != job.input_files.size()) {
    throw std::logic_error("inputs are opened in order");
  }
  TAVConvertOptions& options = job.options;

  media::InputOpenRequest request;
  request.url = file_name;
  request.format = job.file_iformat;
  request.context.reset(ff.avformat_alloc_context());
  if (!request.context) throw media::AvError(AVERROR(ENOMEM), "avformat_alloc_context");
  AVFormatContext& preallocated = *request.context;

  media::Dictionary format_options;
  AddFormatParameters(job, format_options);
  job.library_options.CollectContextOptions(format_options.address(),
                                            job.library_options.FormatTemplate(), kDecodingMask);

  const AVCodec* video_decoder =
      FindDecoder(options.VideoOptions().DecoderVideoCodecName(), AVMEDIA_TYPE_VIDEO);
  const AVCodec* audio_decoder =
      FindDecoder(options.AudioOptions().DecoderAudioCodecName(), AVMEDIA_TYPE_AUDIO);
  // The subtitle codec name names the output's encoder; forcing it as the decoder too would
  // feed an SRT stream to the mov_text decoder. Subtitles are decoded by what they are.
  const AVCodec* subtitle_decoder = nullptr;
  if (video_decoder != nullptr) {
    preallocated.video_codec_id = video_decoder->id;
    preallocated.video_codec = video_decoder;
  }
  if (audio_decoder != nullptr) {
    preallocated.audio_codec_id = audio_decoder->id;
    preallocated.audio_codec = audio_decoder;
  }
  if (subtitle_decoder != nullptr) {
    preallocated.subtitle_codec_id = subtitle_decoder->id;
    preallocated.subtitle_codec = subtitle_decoder;
  }
  preallocated.flags |= AVFMT_FLAG_NONBLOCK;
  preallocated.interrupt_callback.callback = InterruptWhenStopped;
  preallocated.interrupt_callback.opaque =
      const_cast<void*>(static_cast<const void*>(job.stop_requested));
  request.options = format_options.address();

  InputFile input;
  const int opened = media::OpenInput(std::move(request), input.context);
  if (opened < 0) {
    job.log(AV_LOG_ERROR, file_name + ": " + media::ErrorText(opened) + "\n");
    throw EngineError(
        FormatMessage("Could not open file:%s error(%d)!", file_name.c_str(), opened));
  }
  AVFormatContext& context = *input.context;

  if ((context.ctx_flags & AVFMTCTX_NOHEADER) != 0) {
    // Streams appear while reading: look further before deciding what the input holds.
    context.probesize *= 10;
    context.max_analyze_duration *= 10;
  }
  if (options.ProgramID() != 0) SelectProgram(context, options.ProgramID());
  input.loop = options.LoopInput();
  input.rate_emu = options.RateEmu();

  const int analysed = ff.avformat_find_stream_info(&context, nullptr);
  if (analysed < 0) {
    input.context.reset();
    throw EngineError(FormatMessage("Could not find codec parameters:%d!", analysed));
  }

  std::int64_t timestamp = options.StartTime();
  job.temp_start_time = options.StartTime();
  if (context.start_time != AV_NOPTS_VALUE) timestamp += context.start_time;
  if (job.temp_start_time != 0) {
    // A failed seek leaves the input where the library put it; the run starts from there.
    ff.av_seek_frame(&context, -1, timestamp, AVSEEK_FLAG_BACKWARD);
    job.temp_start_time = 0;
  }
  if (context.duration != AV_NOPTS_VALUE) job.duration = context.duration / 1000000.0;

  input.streams.resize(context.nb_streams);
  input.ts_scale.assign(context.nb_streams, 0.0);
  for (unsigned i = 0; i < context.nb_streams; ++i) {
    AVStream& stream = *context.streams[i];
    InputStream& entry = input.streams[i];
    entry.stream = &stream;
    const AVCodecParameters& parameters = *stream.codecpar;
    switch (parameters.codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        entry.decoder = video_decoder;
        break;
      case AVMEDIA_TYPE_AUDIO:
        entry.decoder = audio_decoder;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        entry.decoder = subtitle_decoder;
        break;
      default:
        break;
    }
    if (entry.decoder == nullptr) entry.decoder = ff.avcodec_find_decoder(parameters.codec_id);
    entry.decoder_context = media::MakeCodecContext(entry.decoder);
    AVCodecContext& decoder = *entry.decoder_context;
    media::Check(ff.avcodec_parameters_to_context(&decoder, &parameters),
                 "avcodec_parameters_to_context");
    decoder.pkt_timebase = stream.time_base;
    // SVQ3 decodes wrongly with several threads.
    decoder.thread_count = parameters.codec_id == AV_CODEC_ID_SVQ3 ? 1 : options.ThreadCount();

    switch (parameters.codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        SetUpAudioStream(job, stream, decoder);
        break;
      case AVMEDIA_TYPE_VIDEO:
        SetUpVideoStream(job, static_cast<int>(i), stream, decoder);
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (options.SubtitleOptions().SubtitleDisable()) stream.discard = AVDISCARD_ALL;
        break;
      default:
        break;
    }
  }

  input.ts_offset =
      options.CopyTS() ? options.InputTSOffset() : options.InputTSOffset() - timestamp;
  job.input_files.push_back(std::move(input));
}

void ApplyInputTSScales(JobContext& job) {
  for (const TInputTSScale& entry : job.options.InputTSScale()) {
    if (entry.file_index < 0 || entry.stream_index < 0) continue;
    const auto file = static_cast<std::size_t>(entry.file_index);
    const auto stream = static_cast<std::size_t>(entry.stream_index);
    if (file >= job.input_files.size() || stream >= job.input_files[file].ts_scale.size()) {
      job.log(AV_LOG_WARNING, FormatMessage("No input stream #%d.%d to scale timestamps of\n",
                                            entry.file_index, entry.stream_index));
      continue;
    }
    job.input_files[file].ts_scale[stream] = entry.scale;
  }
}

std::int64_t InputFileSize(const JobContext& job, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= job.input_files.size()) return -1;
  const AVFormatContext* context = job.input_files[static_cast<std::size_t>(index)].context.get();
  if (context == nullptr || context->pb == nullptr) return -1;
  return ff.avio_size(context->pb);
}

}  // namespace zembra::engine
