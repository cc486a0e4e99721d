// Profiles against the real media libraries: what they ask for exists, their codec options are
// accepted by the option templates and by the encoders' and muxers' own options, the encoders
// open with the profile's settings, the container writes its header, and the H.264 presets
// reach libx264 with their intended settings.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "engine/library_options.h"
#include "media/av_error.h"
#include "media/av_ptr.h"
#include "media/media_loader.h"
#include "profiles/catalogue.h"
#include "profiles/image_sequence.h"
#include "profiles/profile.h"
#include "profiles/x264_preset.h"
#include "support/media_fixtures.h"
#include "support/report_capture.h"

namespace zembra::profiles {
namespace {

using media::ff;

// The source a conversion is imagined from: MakeTestClip's picture and tone.
constexpr int kSourceWidth = 320;
constexpr int kSourceHeight = 240;
constexpr int kSourceSampleRate = 44100;
constexpr int kSourceChannels = 1;

class ProfileMediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    media::LoadMediaLibraries();
    ff.av_log_set_level(AV_LOG_ERROR);
  }
};

std::vector<TAVProfile*> AllProfiles(const TAVProfileList& list) {
  std::vector<TAVProfile*> profiles;
  for (int i = 0; i < list.Count(); ++i) profiles.push_back(&list.Profiles(i));
  return profiles;
}

TEST_F(ProfileMediaTest, EveryBuiltInProfileIsAvailableExceptThoseNeedingAmrNb) {
  TAVProfileList list;
  BuildCatalogue(list);
  std::vector<std::string> unavailable;
  for (const TAVProfile* profile : AllProfiles(list)) {
    const ProfileAvailability availability = profile->Availability();
    if (availability.available) {
      EXPECT_TRUE(availability.reason.empty());
      continue;
    }
    unavailable.push_back(profile->Description());
    EXPECT_EQ(availability.reason,
              "The audio encoder \"libopencore_amrnb\" is not available in the loaded media "
              "libraries.");
  }
  EXPECT_EQ(unavailable, (std::vector<std::string>{"3GPP", "AMR - Adaptive Multi-Rate (*.amr)",
                                                   "手机3GP- 单声道Mono (*.3gp)",
                                                   "手机3GP - 单声道Mono (*.3g2)"}));
}

TEST_F(ProfileMediaTest, ACustomProfileThatCannotRunSaysWhy) {
  struct Case {
    const char* extension;
    TCustomAVFormat format;
    TCustomVideoEncoder video;
    TCustomAudioEncoder audio;
    const char* reason;
  };
  const Case cases[] = {
      {".xyz", TCustomAVFormat::F_NONE, TCustomVideoEncoder::MPEG4, TCustomAudioEncoder::AAC,
       "No container of the loaded media libraries writes files ending in \".xyz\"."},
      {".webm", TCustomAVFormat::F_WEBM, TCustomVideoEncoder::H263, TCustomAudioEncoder::AAC,
       "The container \"webm\" cannot hold video encoded by \"h263\"."},
      {".flv", TCustomAVFormat::F_FLV, TCustomVideoEncoder::FLV, TCustomAudioEncoder::AC3,
       "The container \"flv\" cannot hold audio encoded by \"ac3\"."},
      {".mp4", TCustomAVFormat::F_MP4, TCustomVideoEncoder::MPEG4, TCustomAudioEncoder::AAC, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extension);
    TAVCustomVideoProfile profile;
    profile.SetExtension(c.extension);
    profile.SetFormat(c.format);
    profile.SetVideoEncoder(c.video);
    profile.SetAudioEncoder(c.audio);
    const ProfileAvailability availability = profile.Availability();
    EXPECT_EQ(availability.available, *c.reason == '\0');
    EXPECT_EQ(availability.reason, c.reason);
  }
}

// --- Opening what a profile describes

std::string Describe(int result, std::string_view call) {
  return std::string(call) + ": " + media::ErrorText(result);
}

template <typename T, typename End>
bool Contains(const T* list, End end, T value) {
  if (list == nullptr) return true;  // the encoder takes any
  for (; *list != end; ++list) {
    if (*list == value) return true;
  }
  return false;
}

// Applies the library options to a new encoder context and checks that its own options take
// every private option that names one of them.
media::CodecContextPtr MakeEncoder(const AVCodec* codec, const engine::LibraryOptions& library,
                                   AVMediaType type) {
  media::CodecContextPtr context = media::MakeCodecContext(codec);
  const int mask = AV_OPT_FLAG_ENCODING_PARAM |
                   (type == AVMEDIA_TYPE_VIDEO ? AV_OPT_FLAG_VIDEO_PARAM : AV_OPT_FLAG_AUDIO_PARAM);
  library.ApplyContextOptions(context.get(), library.CodecTemplate(type), mask);
  EXPECT_EQ(library.ApplyPrivateOptions(context->priv_data), std::vector<std::string>{})
      << codec->name << " refused private options";
  return context;
}

const AVCodec* EncoderFor(const std::string& name, AVCodecID fallback) {
  if (!name.empty()) return ff.avcodec_find_encoder_by_name(name.c_str());
  return fallback == AV_CODEC_ID_NONE ? nullptr : ff.avcodec_find_encoder(fallback);
}

// What an independent reader finds in a file.
struct Probed {
  std::string format_name;
  std::vector<std::map<std::string, std::string>> streams;
};

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t read = 0;
  while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, read);
  pclose(pipe);
  return output;
}

// ffprobe's view of `file`: one "key=value|key=value" line per stream and one for the format.
Probed Probe(const std::string& file) {
  const std::string output = RunCommand(
      "ffprobe -v error -show_entries "
      "stream=codec_type,codec_name,width,height,r_frame_rate,sample_rate,channels:"
      "format=format_name "
      "-of compact=p=0 '" +
      file + "' 2>&1");
  Probed probed;
  std::size_t position = 0;
  while (position < output.size()) {
    std::size_t end = output.find('\n', position);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(position, end - position);
    position = end + 1;
    std::map<std::string, std::string> fields;
    std::size_t field_start = 0;
    while (field_start < line.size()) {
      std::size_t field_end = line.find('|', field_start);
      if (field_end == std::string::npos) field_end = line.size();
      const std::string field = line.substr(field_start, field_end - field_start);
      const std::size_t equals = field.find('=');
      if (equals != std::string::npos) fields[field.substr(0, equals)] = field.substr(equals + 1);
      field_start = field_end + 1;
    }
    if (fields.count("format_name") != 0) {
      probed.format_name = fields["format_name"];
    } else if (fields.count("codec_type") != 0) {
      probed.streams.push_back(fields);
    } else if (!line.empty()) {
      ADD_FAILURE() << "ffprobe: " << line;
    }
  }
  return probed;
}

// The same view through the loaded libraries' demuxers: as independent of the code under test,
// and without starting a process per file.
Probed ReadBack(const std::string& file) {
  Probed probed;
  AVFormatContext* raw = nullptr;
  const int opened = ff.avformat_open_input(&raw, file.c_str(), nullptr, nullptr);
  if (opened < 0) {
    ADD_FAILURE() << Describe(opened, "avformat_open_input " + file);
    return probed;
  }
  media::InputFormatContextPtr input(raw);
  const int found = ff.avformat_find_stream_info(input.get(), nullptr);
  EXPECT_GE(found, 0) << Describe(found, "avformat_find_stream_info " + file);
  probed.format_name = input->iformat->name;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVCodecParameters& parameters = *input->streams[i]->codecpar;
    std::map<std::string, std::string> fields;
    fields["codec_name"] = ff.avcodec_get_name(parameters.codec_id);
    if (parameters.codec_type == AVMEDIA_TYPE_VIDEO) {
      fields["codec_type"] = "video";
      fields["width"] = std::to_string(parameters.width);
      fields["height"] = std::to_string(parameters.height);
      const AVRational rate = input->streams[i]->r_frame_rate;
      fields["r_frame_rate"] = std::to_string(rate.num) + "/" + std::to_string(rate.den);
    } else if (parameters.codec_type == AVMEDIA_TYPE_AUDIO) {
      fields["codec_type"] = "audio";
      fields["sample_rate"] = std::to_string(parameters.sample_rate);
      fields["channels"] = std::to_string(parameters.ch_layout.nb_channels);
    } else {
      fields["codec_type"] = "other";
    }
    probed.streams.push_back(fields);
  }
  return probed;
}

// The name ffprobe gives the format a muxer writes.
std::string DemuxerName(const AVOutputFormat& muxer, const AVCodec& video_encoder) {
  const std::string name = muxer.name;
  if (name == "ipod" || name == "psp") return "mp4";
  if (name == "vcd" || name == "svcd" || name == "dvd" || name == "vob") return "mpeg";
  if (name == "mp2") return "mp3";
  if (name == kImageSequenceMuxer) {
    // One picture file reads as a single image.
    const std::string codec = ff.avcodec_get_name(video_encoder.id);
    return (codec == "mjpeg" ? std::string("jpeg") : codec) + "_pipe";
  }
  return name;
}

bool ListHas(const std::string& list, const std::string& name) {
  return ("," + list + ",").find("," + name + ",") != std::string::npos;
}

// Fills every byte of a frame's buffers: mid grey for pictures, silence for most sample formats.
void Fill(AVFrame& frame, int value) {
  for (AVBufferRef* buffer : frame.buf) {
    if (buffer != nullptr) std::memset(buffer->data, value, buffer->size);
  }
}

// Sends `frame` (null: the end) and writes every packet the encoder hands back.
void EncodeAndWrite(AVCodecContext& encoder, AVFrame* frame, AVFormatContext& output,
                    int stream_index) {
  const int sent = ff.avcodec_send_frame(&encoder, frame);
  ASSERT_GE(sent, 0) << Describe(sent, std::string("avcodec_send_frame ") + encoder.codec->name);
  media::PacketPtr packet = media::MakePacket();
  while (ff.avcodec_receive_packet(&encoder, packet.get()) >= 0) {
    packet->stream_index = stream_index;
    ff.av_packet_rescale_ts(packet.get(), encoder.time_base,
                            output.streams[stream_index]->time_base);
    const int written = ff.av_interleaved_write_frame(&output, packet.get());
    ASSERT_GE(written, 0) << Describe(written, "av_interleaved_write_frame");
  }
}

// Sets up the encoders and the container for `profile` as a conversion of MakeTestClip's
// source would, codes a few frames of a grey picture and of silence, and checks with ffprobe
// that the file holds what the profile asks for.
enum class Reader { kFfprobe, kLibraries };

// `read`, when given, receives what the reader found.
void ConvertSyntheticFrames(const TAVProfile& profile, const testing::TempFolder& folder,
                            Reader reader = Reader::kLibraries, Probed* read = nullptr) {
  testing::ReportCapture reports;
  engine::TAVConvertOptions options;
  ASSERT_TRUE(profile.ApplyTo(options));
  engine::LibraryOptions library(options.SwsFlags());
  library.ApplyCodecOptions(options.CodecOptions());
  EXPECT_EQ(reports.error_boxes, std::vector<std::string>{}) << "codec options refused";

  const std::string file = folder.File("output" + profile.Extension());
  const bool sequence = options.OutputFormat() == kImageSequenceMuxer;
  const std::string muxer_file = sequence ? MakeImageSequenceName(file).pattern : file;
  AVFormatContext* raw_output = nullptr;
  int result = ff.avformat_alloc_output_context2(
      &raw_output, nullptr,
      options.OutputFormat().empty() ? nullptr : options.OutputFormat().c_str(),
      muxer_file.c_str());
  ASSERT_GE(result, 0) << Describe(result, "avformat_alloc_output_context2");
  media::OutputFormatContextPtr output(raw_output);
  const AVOutputFormat* muxer = output->oformat;
  const bool global_header = (muxer->flags & AVFMT_GLOBALHEADER) != 0;

  media::CodecContextPtr video_encoder;
  media::CodecContextPtr audio_encoder;
  const engine::TVideoOptions& video = options.VideoOptions();
  if (const AVCodec* codec = video.VideoDisable()
                                 ? nullptr
                                 : EncoderFor(video.EncoderVideoCodecName(), muxer->video_codec)) {
    media::CodecContextPtr context = MakeEncoder(codec, library, AVMEDIA_TYPE_VIDEO);
    context->width = video.FrameWidth() > 0 ? video.FrameWidth() : kSourceWidth;
    context->height = video.FrameHeight() > 0 ? video.FrameHeight() : kSourceHeight;
    context->pix_fmt = video.FramePixFormat() >= 0
                           ? static_cast<AVPixelFormat>(video.FramePixFormat())
                           : codec->pix_fmts[0];
    EXPECT_TRUE(Contains(codec->pix_fmts, AV_PIX_FMT_NONE, context->pix_fmt)) << codec->name;
    context->framerate = {video.FrameRate().num(), video.FrameRate().den()};
    context->time_base = {video.FrameRate().den(), video.FrameRate().num()};
    if (video.FrameAspectRatio() > 0) {
      context->sample_aspect_ratio =
          ff.av_d2q(video.FrameAspectRatio() * context->height / context->width, 255);
    }
    if (video.Bitrate() > 0) context->bit_rate = video.Bitrate();
    context->thread_count = options.ThreadCount();
    // After the library options: a flags option copied from the template replaces all flags.
    if (global_header) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    result = ff.avcodec_open2(context.get(), codec, nullptr);
    ASSERT_GE(result, 0) << Describe(result, std::string("avcodec_open2 ") + codec->name);
    video_encoder = std::move(context);
  }
  const engine::TAudioOptions& audio = options.AudioOptions();
  if (const AVCodec* codec = audio.AudioDisable()
                                 ? nullptr
                                 : EncoderFor(audio.EncoderAudioCodecName(), muxer->audio_codec)) {
    media::CodecContextPtr context = MakeEncoder(codec, library, AVMEDIA_TYPE_AUDIO);
    context->sample_rate =
        audio.AudioSampleRate() > 0 ? audio.AudioSampleRate() : kSourceSampleRate;
    EXPECT_TRUE(Contains(codec->supported_samplerates, 0, context->sample_rate))
        << codec->name << " at " << context->sample_rate << " Hz";
    const int channels = audio.AudioChannels() > 0 ? audio.AudioChannels() : kSourceChannels;
    context->ch_layout.order = AV_CHANNEL_ORDER_NATIVE;
    context->ch_layout.nb_channels = channels;
    context->ch_layout.u.mask = channels == 1 ? AV_CH_LAYOUT_MONO : AV_CH_LAYOUT_STEREO;
    context->sample_fmt = codec->sample_fmts[0];
    context->time_base = {1, context->sample_rate};
    if (audio.Bitrate() > 0) context->bit_rate = audio.Bitrate();
    if (global_header) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    result = ff.avcodec_open2(context.get(), codec, nullptr);
    ASSERT_GE(result, 0) << Describe(result, std::string("avcodec_open2 ") + codec->name);
    audio_encoder = std::move(context);
  }
  ASSERT_TRUE(video_encoder || audio_encoder);

  int video_index = -1;
  int audio_index = -1;
  for (AVCodecContext* encoder : {video_encoder.get(), audio_encoder.get()}) {
    if (encoder == nullptr) continue;
    AVStream* stream = ff.avformat_new_stream(output.get(), nullptr);
    ASSERT_NE(stream, nullptr);
    ASSERT_GE(ff.avcodec_parameters_from_context(stream->codecpar, encoder), 0);
    stream->time_base = encoder->time_base;
    (encoder == video_encoder.get() ? video_index : audio_index) = stream->index;
  }
  library.ApplyContextOptions(output.get(), library.FormatTemplate(), AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(library.ApplyPrivateOptions(output->priv_data), std::vector<std::string>{})
      << muxer->name << " refused private options";
  if ((muxer->flags & AVFMT_NOFILE) == 0) {
    result = ff.avio_open(&output->pb, muxer_file.c_str(), AVIO_FLAG_WRITE);
    ASSERT_GE(result, 0) << Describe(result, "avio_open");
  }
  result = ff.avformat_write_header(output.get(), nullptr);
  ASSERT_GE(result, 0) << Describe(result, std::string("avformat_write_header ") + muxer->name);

  // Three pictures, and a fifth of a second of sound: enough for every container to hold a
  // complete frame of each stream.
  constexpr int kPictures = 3;
  if (video_encoder) {
    for (int i = 0; i < kPictures; ++i) {
      media::FramePtr frame = media::MakeFrame();
      frame->format = video_encoder->pix_fmt;
      frame->width = video_encoder->width;
      frame->height = video_encoder->height;
      ASSERT_GE(ff.av_frame_get_buffer(frame.get(), 0), 0);
      Fill(*frame, 128);
      frame->pts = i;
      ASSERT_NO_FATAL_FAILURE(EncodeAndWrite(*video_encoder, frame.get(), *output, video_index));
    }
    ASSERT_NO_FATAL_FAILURE(EncodeAndWrite(*video_encoder, nullptr, *output, video_index));
  }
  if (audio_encoder) {
    const int frame_size =
        audio_encoder->frame_size > 0 ? audio_encoder->frame_size : audio_encoder->sample_rate / 50;
    for (std::int64_t samples = 0; samples < audio_encoder->sample_rate / 5;
         samples += frame_size) {
      media::FramePtr frame = media::MakeFrame();
      frame->format = audio_encoder->sample_fmt;
      frame->nb_samples = frame_size;
      frame->sample_rate = audio_encoder->sample_rate;
      frame->ch_layout = audio_encoder->ch_layout;
      ASSERT_GE(ff.av_frame_get_buffer(frame.get(), 0), 0);
      Fill(*frame, 0);
      frame->pts = samples;
      ASSERT_NO_FATAL_FAILURE(EncodeAndWrite(*audio_encoder, frame.get(), *output, audio_index));
    }
    ASSERT_NO_FATAL_FAILURE(EncodeAndWrite(*audio_encoder, nullptr, *output, audio_index));
  }
  result = ff.av_write_trailer(output.get());
  ASSERT_GE(result, 0) << Describe(result, "av_write_trailer");
  output.reset();
  EXPECT_EQ(reports.error_boxes, std::vector<std::string>{});

  // A sequence is read back from its first file; the second must be there too.
  std::string first_file = file;
  if (sequence) {
    const ImageSequenceName name = MakeImageSequenceName(file);
    first_file = name.FileName(name.start_number);
    EXPECT_TRUE(std::filesystem::exists(name.FileName(name.start_number + 1)));
  }
  const Probed probed = reader == Reader::kFfprobe ? Probe(first_file) : ReadBack(first_file);
  const std::string container =
      DemuxerName(*muxer, video_encoder ? *video_encoder->codec : *audio_encoder->codec);
  EXPECT_TRUE(ListHas(probed.format_name, container))
      << probed.format_name << " is not " << container;
  // Containers may add streams of their own (DVD navigation packets); sound and picture are
  // the ones written.
  std::vector<std::map<std::string, std::string>> media_streams;
  for (const auto& stream : probed.streams) {
    const auto type = stream.find("codec_type");
    if (type != stream.end() && (type->second == "video" || type->second == "audio")) {
      media_streams.push_back(stream);
    }
  }
  const auto count = [&](const char* type) {
    return std::count_if(media_streams.begin(), media_streams.end(),
                         [&](const auto& stream) { return stream.at("codec_type") == type; });
  };
  ASSERT_EQ(count("video"), video_encoder ? 1 : 0);
  // DV50 frames carry two stereo pairs, read back as two streams of the same kind.
  ASSERT_EQ(count("audio") >= 1, audio_encoder != nullptr);
  if (read != nullptr) *read = {probed.format_name, media_streams};
  for (const auto& stream : media_streams) {
    const auto field = [&](const char* name) {
      const auto it = stream.find(name);
      return it == stream.end() ? std::string() : it->second;
    };
    if (field("codec_type") == "video") {
      ASSERT_TRUE(video_encoder);
      EXPECT_EQ(field("codec_name"), ff.avcodec_get_name(video_encoder->codec_id));
      EXPECT_EQ(field("width"), std::to_string(video_encoder->width));
      EXPECT_EQ(field("height"), std::to_string(video_encoder->height));
    } else {
      ASSERT_TRUE(audio_encoder);
      EXPECT_EQ(field("codec_type"), "audio");
      EXPECT_EQ(field("codec_name"), ff.avcodec_get_name(audio_encoder->codec_id));
      EXPECT_EQ(field("sample_rate"), std::to_string(audio_encoder->sample_rate));
      EXPECT_EQ(field("channels"), std::to_string(audio_encoder->ch_layout.nb_channels));
    }
  }
}

// One case per category (the hidden entries form the last), so they run side by side.
class CategoryTest : public ProfileMediaTest, public ::testing::WithParamInterface<int> {};

TEST_P(CategoryTest, AvailableProfilesWriteFilesThatReadBackAsAsked) {
  TAVProfileList list;
  BuildCatalogue(list);
  std::vector<TAVProfile*> profiles;
  if (GetParam() < static_cast<int>(kCategoryCaptions.size())) {
    profiles = list.ProfilesInCategory(kCategoryCaptions[static_cast<std::size_t>(GetParam())]);
  } else {
    for (TAVProfile* profile : AllProfiles(list)) {
      if (profile->Category().empty()) profiles.push_back(profile);
    }
  }
  ASSERT_FALSE(profiles.empty());
  for (const TAVProfile* profile : profiles) {
    if (!profile->Availability().available) continue;
    SCOPED_TRACE(profile->Description());
    testing::TempFolder folder;
    ConvertSyntheticFrames(*profile, folder);
  }
}

std::string CategoryCaseName(const ::testing::TestParamInfo<int>& param) {
  std::string name = "c";
  name += std::to_string(param.param);
  if (param.param >= static_cast<int>(kCategoryCaptions.size())) return name + "_hidden";
  name += '_';
  for (const char c : kCategoryCaptions[static_cast<std::size_t>(param.param)]) {
    if (std::isalnum(static_cast<unsigned char>(c))) name += c;
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CategoryTest,
                         ::testing::Range(0, static_cast<int>(kCategoryCaptions.size()) + 1),
                         CategoryCaseName);

// The profiles whose settings were adjusted so that they make valid files, read back by ffprobe.
TEST_F(ProfileMediaTest, AdjustedProfilesMakeFilesFfprobeReads) {
  TAVProfileList list;
  BuildCatalogue(list);
  struct Case {
    const char* category;
    const char* description;
    const char* format;
    std::vector<std::string> codecs;  // video first
    const char* rate;                 // the video's frame rate; "" when not checked
  };
  const Case cases[] = {
      {"DV", "DV  Film (*.dv)", "dv", {"dvvideo", "pcm_s16le"}, "30000/1001"},
      {"VCD", "SVCD PAL (*.mpg)", "mpeg", {"mpeg2video", "mp2"}, "25/1"},
      {"Images", "JPEG Sequence", "jpeg_pipe", {"mjpeg"}, ""},
      {"Images", "GIF Sequence", "gif", {"gif"}, ""},
      {"MP4", "H.264/MPEG-4 AVC Video (*.mp4)", "mov,mp4,m4a,3gp,3g2,mj2", {"h264", "aac"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const TAVProfile* profile = nullptr;
    for (const TAVProfile* candidate : list.ProfilesInCategory(c.category)) {
      if (candidate->Description() == c.description) profile = candidate;
    }
    ASSERT_NE(profile, nullptr);
    testing::TempFolder folder;
    Probed probed;
    ConvertSyntheticFrames(*profile, folder, Reader::kFfprobe, &probed);
    EXPECT_EQ(probed.format_name, c.format);
    std::vector<std::string> codecs;
    for (const auto& stream : probed.streams) codecs.push_back(stream.at("codec_name"));
    EXPECT_EQ(codecs, c.codecs);
    if (*c.rate != '\0' && !probed.streams.empty()) {
      EXPECT_EQ(probed.streams[0].at("r_frame_rate"), c.rate);
    }
  }
}

// --- H.264 settings as libx264 takes them

// Encodes one small frame with the options of `profile` and returns libx264's settings
// string from the stream ("cabac=1 ref=3 ..."), split into its fields, and the SPS level.
struct X264Settings {
  std::map<std::string, std::string> fields;
  int level = -1;
};

X264Settings EncodeOneFrame(const TAVProfile& profile) {
  testing::ReportCapture reports;
  engine::TAVConvertOptions options;
  profile.ApplyTo(options);
  engine::LibraryOptions library(options.SwsFlags());
  library.ApplyCodecOptions(options.CodecOptions());
  EXPECT_EQ(reports.error_boxes, std::vector<std::string>{});

  const AVCodec* codec = ff.avcodec_find_encoder_by_name("libx264");
  media::CodecContextPtr context = MakeEncoder(codec, library, AVMEDIA_TYPE_VIDEO);
  context->width = 64;
  context->height = 48;
  context->pix_fmt = AV_PIX_FMT_YUV420P;
  context->time_base = {1, 25};
  context->bit_rate = 500000;
  context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int opened = ff.avcodec_open2(context.get(), codec, nullptr);
  EXPECT_GE(opened, 0) << Describe(opened, "avcodec_open2 libx264");
  X264Settings settings;
  if (opened < 0) return settings;

  // The SPS in the global header: 00 00 01, NAL type 7, profile, constraints, level.
  const std::string_view header(reinterpret_cast<const char*>(context->extradata),
                                static_cast<std::size_t>(context->extradata_size));
  const std::size_t sps = header.find(std::string_view("\0\0\1\x67", 4));
  if (sps != std::string_view::npos && sps + 6 < header.size()) {
    settings.level = static_cast<unsigned char>(header[sps + 6]);
  }

  media::FramePtr frame = media::MakeFrame();
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = 64;
  frame->height = 48;
  EXPECT_GE(ff.av_frame_get_buffer(frame.get(), 0), 0);
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? frame->height : frame->height / 2;
    std::memset(frame->data[plane], 128, static_cast<std::size_t>(frame->linesize[plane] * rows));
  }
  frame->pts = 0;
  EXPECT_GE(ff.avcodec_send_frame(context.get(), frame.get()), 0);
  EXPECT_GE(ff.avcodec_send_frame(context.get(), nullptr), 0);
  std::string stream;
  media::PacketPtr packet = media::MakePacket();
  while (ff.avcodec_receive_packet(context.get(), packet.get()) >= 0) {
    stream.append(reinterpret_cast<const char*>(packet->data),
                  static_cast<std::size_t>(packet->size));
    ff.av_packet_unref(packet.get());
  }
  const std::size_t start = stream.find("options: ");
  EXPECT_NE(start, std::string::npos) << "no x264 settings in the stream";
  if (start == std::string::npos) return settings;
  const std::string text = stream.substr(start + 9, stream.find('\0', start) - start - 9);
  std::size_t position = 0;
  while (position < text.size()) {
    std::size_t end = text.find(' ', position);
    if (end == std::string::npos) end = text.size();
    const std::string field = text.substr(position, end - position);
    const std::size_t equals = field.find('=');
    if (equals != std::string::npos) {
      settings.fields[field.substr(0, equals)] = field.substr(equals + 1);
    }
    position = end + 1;
  }
  return settings;
}

TEST_F(ProfileMediaTest, EachH264PresetReachesLibx264WithItsSettings) {
  struct Case {
    TPreset preset;
    const char* ref;
    const char* bframes;
    const char* me;
    const char* subme;
    const char* me_range;
    const char* trellis;
    const char* dct8x8;
    const char* mixed_ref;
    const char* fast_pskip;
    const char* weightp;
    const char* inter;  // the partitions x264 analyses in P and B frames
    const char* b_adapt;
    const char* direct;
    const char* weightb;
    bool lossless;
  };
  const Case cases[] = {
      {TPreset::basic, "3", "3", "hex", "7", "16", "1", "1", "1", "1", "2", "0x113", "1", "1", "1",
       false},
      {TPreset::FastFirstPass, "1", "3", "dia", "2", "16", "0", "0", "0", "1", "2", "0", "1", "3",
       "0", false},
      {TPreset::SlowFirstPass, "1", "3", "hex", "6", "16", "0", "1", "0", "1", "2", "0x113", "2",
       "3", "1", false},
      {TPreset::Common, "2", "3", "hex", "6", "16", "0", "1", "0", "1", "2", "0x113", "1", "3", "1",
       false},
      {TPreset::HighQuality, "4", "3", "umh", "8", "16", "1", "1", "1", "1", "2", "0x113", "2", "3",
       "1", false},
      {TPreset::Best, "16", "3", "tesa", "10", "24", "2", "1", "1", "0", "2", "0x133", "2", "3",
       "1", false},
      // Lossless coding: x264 itself turns fast P-skip off, whatever it is asked.
      {TPreset::LosslessFast, "1", "0", "hex", "3", "16", "0", "0", "0", "0", "0", "0x11", "", "",
       "", true},
      {TPreset::LosslessMedium, "1", "0", "hex", "5", "16", "0", "0", "0", "0", "2", "0x31", "", "",
       "", true},
      {TPreset::LosslessSlow, "2", "0", "umh", "6", "16", "0", "1", "0", "0", "2", "0x33", "", "",
       "", true},
      {TPreset::LosslessSlower, "4", "0", "umh", "8", "16", "0", "1", "1", "0", "2", "0x33", "", "",
       "", true},
      {TPreset::LosslessMax, "16", "0", "esa", "8", "16", "0", "1", "1", "0", "2", "0x33", "", "",
       "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(kPresetNames[static_cast<std::size_t>(c.preset)]);
    TAVX264Profile profile;
    profile.Setpreset(c.preset);
    const X264Settings settings = EncodeOneFrame(profile);
    const auto& f = settings.fields;
    auto field = [&](const char* name) {
      const auto it = f.find(name);
      return it == f.end() ? std::string("<none>") : it->second;
    };
    EXPECT_EQ(field("ref"), c.ref);
    EXPECT_EQ(field("bframes"), c.bframes);
    EXPECT_EQ(field("me"), c.me);
    EXPECT_EQ(field("subme"), c.subme);
    EXPECT_EQ(field("me_range"), c.me_range);
    EXPECT_EQ(field("trellis"), c.trellis);
    EXPECT_EQ(field("8x8dct"), c.dct8x8);
    EXPECT_EQ(field("mixed_ref"), c.mixed_ref);
    EXPECT_EQ(field("fast_pskip"), c.fast_pskip);
    EXPECT_EQ(field("weightp"), c.weightp);
    const std::string analyse = field("analyse");
    EXPECT_EQ(analyse.substr(analyse.find(':') + 1), c.inter);
    EXPECT_EQ(field("cabac"), "1");
    EXPECT_EQ(field("chroma_me"), "1");
    EXPECT_EQ(field("keyint"), "250");
    EXPECT_EQ(field("keyint_min"), "25");
    EXPECT_EQ(field("scenecut"), "40");
    if (*c.b_adapt != '\0') {
      EXPECT_EQ(field("b_adapt"), c.b_adapt);
      EXPECT_EQ(field("direct"), c.direct);
      EXPECT_EQ(field("weightb"), c.weightb);
      EXPECT_EQ(field("b_pyramid"), "0");
    }
    if (c.lossless) {
      EXPECT_EQ(field("rc"), "cqp");
      EXPECT_EQ(field("qp"), "0");
    } else {
      EXPECT_EQ(field("rc"), "abr");
      EXPECT_EQ(field("qcomp"), "0.60");
      EXPECT_EQ(field("qpmin"), "10");
      EXPECT_EQ(field("qpmax"), "51");
      EXPECT_EQ(field("qpstep"), "4");
      EXPECT_EQ(field("ip_ratio"), "1.41");
    }
  }
}

TEST_F(ProfileMediaTest, CustomH264ProfilesEncodeAtLevel41) {
  TAVCustomVideoProfile profile;
  profile.SetVideoEncoder(TCustomVideoEncoder::H264);
  const X264Settings settings = EncodeOneFrame(profile);
  EXPECT_EQ(settings.level, 41);
  EXPECT_EQ(settings.fields.at("ref"), "3");
  EXPECT_EQ(settings.fields.at("subme"), "7");
}

// The names MakeImageSequenceName makes are read by the image muxer as intended.
TEST(ImageSequenceFiles, ThePatternNumbersTheFilesFromTheGivenName) {
  const std::pair<const char*, std::vector<const char*>> cases[] = {
      {"clip 50%1.jpg", {"clip 50%1.jpg", "clip 50%2.jpg", "clip 50%3.jpg"}},
      {"clip007.png", {"clip007.png", "clip008.png", "clip009.png"}},
  };
  for (const auto& [name, files] : cases) {
    SCOPED_TRACE(name);
    testing::TempFolder folder;
    const ImageSequenceName sequence = MakeImageSequenceName(name);
    testing::MakeMedia(folder, sequence.pattern,
                       "-f lavfi -i testsrc=size=64x48:rate=25 -frames:v 3 -start_number " +
                           std::to_string(sequence.start_number) + " -f image2");
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
      written.push_back(entry.path().filename().string());
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, std::vector<std::string>(files.begin(), files.end()));
  }
}

}  // namespace
}  // namespace zembra::profiles
