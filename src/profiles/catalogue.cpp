#include "profiles/catalogue.h"

#include <memory>
#include <span>

namespace zembra::profiles {

const std::array<std::string_view, 21> kCategoryCaptions = {
    "视频",        "HD Video", "音频",           "Mobile",        "MP4",      "MP3",  "AVI",
    "Flash Video", "Images",   "IPad",           "IPhone",        "IPod",     "Zune", "PSP",
    "PS3",         "Xbox",     "Windows Mobile", "Android Phone", "Apple TV", "VCD",  "DV"};

namespace {

enum class Kind { kVcd, kSVcd, kDvd, kDv, kDv50, kImage, kAudio, kVideo };

struct AudioRow {
  std::int32_t sample_rate;
  TCustomAudioEncoder encoder;
  TCustomAudioChannels channels;
  double kbits;
};

struct VideoRow {
  std::int32_t width;
  std::int32_t height;
  TCustomVideoEncoder encoder;
  TCustomFrameRate rate;
  std::int32_t kbits;
};

struct Entry {
  Kind kind;
  std::string_view description;
  std::string_view extension;  // empty: the class's own
  std::string_view category;
  TAVTarget target = TAVTarget::pal;
  TAVImageType image = TAVImageType::bitmap;
  AudioRow audio = {};
  TCustomAVFormat format = TCustomAVFormat::F_NONE;
  VideoRow video = {};
  TAVAspectRatio aspect = TAVAspectRatio::AR_NONE;
  std::span<const std::string_view> options = {};
};

constexpr Entry Fixed(Kind kind, std::string_view description, std::string_view extension,
                      std::string_view category, TAVTarget target) {
  return {kind, description, extension, category, target};
}

constexpr Entry Image(std::string_view description, std::string_view extension,
                      std::string_view category, TAVImageType image) {
  return {Kind::kImage, description, extension, category, TAVTarget::pal, image};
}

constexpr Entry Audio(std::string_view description, std::string_view extension,
                      std::string_view category, AudioRow audio, TCustomAVFormat format) {
  return {Kind::kAudio, description, extension, category, {}, {}, audio, format};
}

constexpr Entry Video(std::string_view description, std::string_view extension,
                      std::string_view category, AudioRow audio, TCustomAVFormat format,
                      VideoRow video, TAVAspectRatio aspect = TAVAspectRatio::AR_NONE,
                      std::span<const std::string_view> options = {}) {
  return {Kind::kVideo, description, extension, category, {},     {},
          audio,        format,      video,     aspect,   options};
}

using enum TAVTarget;
using enum TAVImageType;
using enum TCustomAudioEncoder;
using enum TCustomAudioChannels;
using enum TCustomAVFormat;
using enum TCustomVideoEncoder;
using enum TCustomFrameRate;
using enum TAVAspectRatio;
using enum Kind;

// The rate control the MPEG-4 Part 2 entries for Apple's players share.
constexpr std::string_view kMpeg4RateControl[] = {"maxrate=1000000", "qmin=3", "qmax=5",
                                                  "bufsize=4096k", "g=300"};
constexpr std::string_view kBitExact[] = {"flags=bitexact"};

// clang-format off
constexpr Entry kCatalogue[] = {
  // Never listed.
  Fixed(kVcd, "VCD", "", "", pal),
  Fixed(kDv, "DV", "", "", pal),
  Fixed(kDv50, "DV50", "", "", pal),
  Fixed(kDvd, "DVD", "", "", pal),
  Fixed(kSVcd, "SVCD", "", "", pal),
  Image("Image Sequence Profile", ".bmp", "", bitmap),

  Audio("AAC Audio", ".mp4", "音频", {48000, AAC, stereo2, 128}, F_NONE),
  Audio("MP3 Audio", ".mp3", "音频", {48000, MP3, stereo2, 192}, F_NONE),

  Video("Apple TV H264 Video(320x240)", ".mp4", "Apple TV", {48000, AAC, stereo2, 64}, F_NONE, {320, 240, H264, r2997, 1500}),
  Video("Apple TV H264 video(640x480)", ".mp4", "Apple TV", {48000, AAC, stereo2, 64}, F_NONE, {640, 480, H264, r2997, 2000}),
  Video("Apple TV H264 video(1280x720)", ".mp4", "Apple TV", {48000, AAC, stereo2, 64}, F_NONE, {1280, 720, H264, r2997, 2500}),
  Video("Apple TV MPEG-4 high quality video(640x480)", ".mp4", "Apple TV", {44100, AAC, stereo2, 128}, F_NONE, {640, 480, MPEG4, r2997, 1500}),
  Video("Apple TV MPEG-4 video(640x480)", ".mp4", "Apple TV", {44100, AAC, stereo2, 96}, F_NONE, {640, 480, MPEG4, r2997, 1200}),
  Video("Apple TV MPEG-4 low quality video(640x480)", ".mp4", "Apple TV", {44100, AAC, stereo2, 64}, F_NONE, {640, 480, MPEG4, r2997, 768}),

  Video("Zune MPEG4 Video(320x240)", ".mp4", "Zune", {44100, AAC, stereo2, 64}, F_NONE, {320, 240, MPEG4, r25, 768}),
  Video("Zune H264 Video(320x240)", ".mp4", "Zune", {44100, AAC, stereo2, 64}, F_NONE, {320, 240, H264, r25, 768}),
  Video("Zune Windows Media WMV(320x240)", ".wmv", "Zune", {48000, WMAV2, stereo2, 128}, F_NONE, {320, 240, WMV2, r25, 1500}),

  Video("Dell Axim X51 Video", ".wmv", "Windows Mobile", {32000, WMAV2, stereo2, 128}, F_NONE, {320, 240, WMV2, r25, 768}),
  Video("Dell Axim X51v Video", ".wmv", "Windows Mobile", {48000, WMAV2, stereo2, 128}, F_NONE, {320, 240, WMV2, r25, 1000}),
  Video("General Pocket PC Video", ".wmv", "Windows Mobile", {32000, WMAV2, stereo2, 128}, F_NONE, {320, 240, WMV2, r25, 768}),
  Video("General Pocket PC Video(Low Quality)", ".wmv", "Windows Mobile", {32000, WMAV2, stereo2, 128}, F_NONE, {176, 144, WMV2, r25, 384}),
  Video("HP iPAQ hw6500", ".wmv", "Windows Mobile", {32000, WMAV2, stereo2, 128}, F_NONE, {240, 240, WMV2, r25, 384}),
  Video("HP iPAQ hx2000/rx3000/rx1900", ".wmv", "Windows Mobile", {32000, WMAV2, stereo2, 128}, F_NONE, {320, 240, WMV2, r25, 768}),
  Video("HP iPAQ hx4700", ".wmv", "Windows Mobile", {48000, WMAV2, stereo2, 128}, F_NONE, {640, 480, WMV2, r25, 1200}),

  Video("PS3 1080 HD Video", ".mp4", "PS3", {48000, AAC, stereo2, 128}, F_NONE, {1920, 1080, H264, r2997, 35000}),
  Video("PS3 720p Video", ".mp4", "PS3", {48000, AAC, stereo2, 128}, F_NONE, {1280, 720, H264, r2997, 15000}),
  Video("PS3 480p Video", ".mp4", "PS3", {48000, AAC, stereo2, 80}, F_NONE, {720, 480, H264, r2997, 5000}),

  Video("PSP MPEG4 Video", ".mp4", "PSP", {48000, AAC, stereo2, 64}, F_PSP, {368, 208, XVID, r2997, 512}),
  Video("PSP AVC Video", ".mp4", "PSP", {48000, AAC, stereo2, 64}, F_PSP, {368, 208, H264, r2997, 512}),
  Video("PSP 480p Video", ".mp4", "PSP", {48000, AAC, stereo2, 80}, F_PSP, {368, 208, H264, r2997, 1200}),

  Video("IPhone H264 Video", ".mp4", "IPhone", {48000, AAC, stereo2, 128}, F_MP4, {480, 320, H264, r2997, 1000}, AR4_3),
  Video("IPhone H264 Television Video", ".mp4", "IPhone", {48000, AAC, stereo2, 128}, F_MP4, {640, 480, H264, r2997, 1800}),
  Video("IPhone MPEG4 Video", ".mp4", "IPhone", {48000, AAC, stereo2, 128}, F_MP4, {480, 320, MPEG4, r2997, 1000}, AR4_3, kMpeg4RateControl),
  Video("IPhone MPEG4 Television Video", ".mp4", "IPhone", {48000, AAC, stereo2, 128}, F_MP4, {640, 480, XVID, r2997, 1800}, AR_NONE, kMpeg4RateControl),
  Video("IPhone MPEG4 Wide Screen Video", ".mp4", "IPhone", {44100, AAC, stereo2, 128}, F_MP4, {720, 480, XVID, r2997, 1500}, AR_NONE, kMpeg4RateControl),

  Video("IPod 320x240 Video", ".mp4", "IPod", {48000, AAC, stereo2, 128}, F_IPOD, {320, 240, XVID, r2997, 768}, AR4_3),
  Video("IPod 320x240 High Quality Video", ".mp4", "IPod", {48000, AAC, stereo2, 192}, F_IPOD, {320, 240, XVID, r2997, 1000}, AR4_3),
  Video("IPod 320x240 Low Quality Video", ".mp4", "IPod", {48000, AAC, stereo2, 64}, F_IPOD, {320, 240, XVID, r2997, 512}, AR4_3),

  Video("3GPP", ".3gp", "Mobile", {8000, AMR_NB, mono1, 12.2}, F_3GP, {176, 144, H263, rOriginal, 128}),
  Audio("AC3 Dolby Audio", ".ac3", "音频", {48000, AC3, stereo2, 192}, F_AC3),
  Video("3GPP2", ".3g2", "Mobile", {16000, AAC, stereo2, 32}, F_3GP2, {176, 144, MPEG4, r1499, 192}, AR_NONE, kBitExact),
  Video("3GPP2 High Quality", ".3g2", "Mobile", {16000, AAC, stereo2, 32}, F_3GP2, {320, 240, MPEG4, r1499, 384}, AR_NONE, kBitExact),

  Video("IPad H264 Video", ".mp4", "IPad", {44100, AAC, stereo2, 128}, F_NONE, {720, 576, H264, r25, 1800}),
  Video("IPad H264 Hiqh Quality", ".mp4", "IPad", {48000, AAC, stereo2, 160}, F_NONE, {1280, 720, H264, r25, 4000}),

  Video("Xbox360 HD H264 Video", ".mp4", "XBox", {48000, AAC, stereo2, 128}, F_NONE, {640, 480, H264, r2997, 1500}),
  Video("Xbox360 MCE HD MPEG2 Video", ".mpg", "Xbox", {48000, AC3, stereo2, 224}, F_NONE, {1440, 1080, MPEG2VIDEO, r30, 8000}),

  Video("DVD MPEG TS(PAL) (*.vob)", ".vob", "视频", {48000, AC3, stereo2, 448}, F_DVD, {0, 0, MPEG2VIDEO, r25, 6000}),
  Video("DVD MPEG2 PS(NTSC)(*.vob) ", ".vob", "视频", {48000, AC3, stereo2, 448}, F_DVD, {0, 0, MPEG2VIDEO, r2997, 6000}),

  Image("JPEG Sequence", "1.jpg", "Images", jpeg),
  Image("GIF Sequence", "1.gif", "Images", gif),
  Image("PNG Sequence", "1.png", "Images", png),
  Image("BMP Sequence", "1.bmp", "Images", bitmap),
  Image("TIFF Sequence", "1.tif", "Images", tiff),

  Video("iPod Video MPEG-4(*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {320, 240, MPEG4, r30, 900}, AR4_3),
  Video("iPod Video H.264((*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_MP4, {320, 240, H264, r30, 512}),
  Video("iPod Touch MPEG-4(*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {480, 320, MPEG4, r30, 1000}),
  Video("iPod Touch  H.264 640x480(*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {640, 480, H264, r30, 1000}),
  Video("iPod Touch MPEG-4 640x480(*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {640, 480, MPEG4, r30, 2000}),
  Video("iPod Touch 640x480(*.mov)", ".mov", "IPod", {44100, AAC, stereo2, 128}, F_IPOD, {640, 480, MPEG4, r2997, 1200}),
  Video("iPod Touch 640x480(*.m4v)", ".m4v", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {640, 480, H264, r2997, 1000}),
  Video("iPod Touch (640x480) for TV(*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {640, 480, MPEG4, r30, 2500}),
  Video("iPod Touch(768x576) for TV(*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {768, 576, MPEG4, r30, 2500}),
  Video("iPod Nano MPEG-4(*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {320, 240, MPEG4, r30, 900}),
  Video("iPod Nano 4 H.264 640x480(*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {640, 480, H264, r30, 900}),
  Video("iPod Nano 4 MPEG-4 640x480(*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {640, 480, MPEG4, r30, 2000}),
  Video("iPod Nano 4 640x480(*.mov)", ".mov", "IPod", {44100, AAC, stereo2, 128}, F_MOV, {640, 480, MPEG4, r2997, 1200}),
  Video("iPod Nano 4 640x480(*.m4v)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {640, 480, H264, r2997, 1000}),
  Video("iPod Classic MPEG-4(*.mp4)", ".mp4", "IPod", {44100, AAC, stereo2, 96}, F_IPOD, {320, 240, MPEG4, r30, 900}),

  Audio("WMA- Windows Media Audio(*.wma)", ".wma", "音频", {44100, WMAV2, stereo2, 192}, F_NONE),
  Audio("AMR - Adaptive Multi-Rate (*.amr)", ".amr", "音频", {8000, AMR_NB, mono1, 7.4}, F_NONE),
  Audio("M4A - MPEG-4 Audio (*.m4a)", ".m4a", "音频", {44100, AAC, stereo2, 192}, F_NONE),
  Audio("MP2-MPEG Layer-2 Audio(*.mp2)", ".mp2", "音频", {44100, MP2, stereo2, 192}, F_NONE),
  Audio("MKA-Matroska Audio(*.mka)", ".mka", "音频", {44100, AAC, stereo2, 192}, F_NONE),

  Video("DVD Video - SECAM (*.vob) ", ".vob", "视频", {44100, MP2, stereo2, 192}, F_DVD, {0, 0, MPEG2VIDEO, r25, 6000}),
  Video(" Matroska Video (*.MKV)", ".mkv", "视频", {48000, MP3, stereo2, 128}, F_NONE, {0, 0, H264, r25, 1200}),

  Video("VOB MPEG2 PS Format (*.vob)", ".vob", "VCD", {44100, MP2, stereo2, 256}, F_DVD, {720, 480, MPEG2VIDEO, r2997, 6000}),
  Fixed(kSVcd, "SVCD PAL (*.mpg)", ".mpg", "VCD", pal),
  Fixed(kSVcd, "SVCD NTSC (*.mpg)", ".mpg", "VCD", ntsc),
  Fixed(kSVcd, "SVCD Film (*.mpg)", ".mpg", "VCD", film),
  Fixed(kVcd, "VCD PAL (*.mpg)", ".mpg", "VCD", pal),
  Fixed(kVcd, "VCD NTSC (*.mpg)", ".mpg", "VCD", ntsc),
  Fixed(kVcd, "VCD Film (*.mpg)", ".mpg", "VCD", film),

  Fixed(kDv, "DV PAL (*.dv)", ".dv", "DV", pal),
  Fixed(kDv, "DV NTSC (*.dv)", ".dv", "DV", ntsc),
  Fixed(kDv, "DV  Film (*.dv)", ".dv", "DV", film),

  Video("Gphone MPEG4 Video(*.mp4)", ".mp4", "Android Phone", {32000, AAC, stereo2, 128}, F_NONE, {320, 240, MPEG4, r2397, 768}),
  Video("Gphone H.264/MPEG4 AVC Video (*.mp4)", ".mp4", "Android Phone", {32000, AAC, stereo2, 96}, F_NONE, {320, 0, H264, r2397, 768}),
  Video("Gphone WMV - Windows Media Video (*.wmv)", ".wmv", "Android Phone", {48000, WMAV2, stereo2, 96}, F_NONE, {640, 480, WMV2, r30, 1200}),
  Video("Gphone H.263 3GP Video (*.3gp)", ".3gp", "Android Phone", {32000, AAC, stereo2, 128}, F_NONE, {352, 288, H263, r2397, 768}),

  Video("PS3 H.264 HD Video(720p)(*.mp4)", ".mp4", "HD Video", {44100, AAC, stereo2, 128}, F_MP4, {1280, 720, H264, r2997, 4000}),
  Video("PS3 H.264 HD Video(1080p)(*.mp4)", ".mp4", "HD Video", {44100, AAC, stereo2, 128}, F_MP4, {1920, 1080, H264, r2997, 4000}),
  Video("PS3 DivX HD Video (*.avi)", ".avi", "HD Video", {44100, AAC, stereo2, 128}, F_AVI, {1280, 720, MPEG4, r2997, 5000}),
  Video("PS3 MPEG2-PS HD Video (*.mpg)", ".mpg", "HD Video", {44100, MP2, stereo2, 128}, F_NONE, {1280, 720, MPEG2VIDEO, r2997, 6000}),
  Video("PS3 MPEG2-TS HD Video (*.ts)", ".ts", "HD Video", {44100, MP2, stereo2, 128}, F_NONE, {1280, 720, MPEG2VIDEO, r2997, 6000}),
  Video("Xbox360 WMV HD Video (*.wmv)", ".wmv", "HD Video", {44100, WMAV2, stereo2, 128}, F_NONE, {1280, 720, WMV2, rOriginal, 4000}),
  Video("Xbox360 HD MPEG4 Video (*.mp4)", ".mp4", "HD Video", {44100, AAC, stereo2, 128}, F_MP4, {1280, 720, MPEG4, rOriginal, 5000}),
  Video("Xbox360 H.264 HD Video (*.mp4)", ".mp4", "HD Video", {44100, AAC, stereo2, 128}, F_MP4, {1280, 720, H264, r2997, 4000}),
  Video("Xbox360 DivX HD Video (*.avi)", ".avi", "HD Video", {44100, MP3, stereo2, 128}, F_AVI, {1280, 720, MPEG4, r2997, 5000}),
  Video("Xbox360 MPEG2-PS HD Video (*.mpg)", ".mpg", "HD Video", {44100, MP2, stereo2, 128}, F_NONE, {1280, 720, MPEG2VIDEO, r2997, 6000}),
  Video("Xbox360 MPEG2-TS HD Video (*.ts)", ".ts", "HD Video", {44100, MP2, stereo2, 128}, F_NONE, {1280, 720, MPEG2VIDEO, r2997, 6000}),
  Video("Xbox360 XviD HD Video (*.avi)", ".avi", "HD Video", {44100, MP3, stereo2, 128}, F_AVI, {1280, 720, XVID, r2997, 5000}),
  Video("HD MPEG-4 Video (*.mp4)", ".mp4", "HD Video", {44100, AAC, stereo2, 128}, F_MP4, {1920, 1080, MPEG4, r2997, 10000}),
  Video("HD MPEG-4 TS HD Video (*.ts)", ".ts", "HD Video", {44100, AAC, stereo2, 128}, F_NONE, {0, 0, MPEG4, r2997, 10000}),
  Video("HD H.264/MPEG-4 AVC Video (*.mp4)", ".mp4", "HD Video", {44100, AAC, stereo2, 128}, F_MP4, {1920, 1080, H264, r2997, 8000}),
  Video("HD MOV Video (*.mov)", ".mov", "HD Video", {44100, AAC, stereo2, 192}, F_MOV, {1920, 1080, MPEG4, r2997, 10000}),
  Video("HD AVI Video (*.avi)", ".avi", "HD Video", {44100, MP3, stereo2, 192}, F_AVI, {1920, 1080, MPEG4, r2997, 12000}),
  Video("DivX HD Video (*.avi)", ".avi", "HD Video", {44100, MP3, stereo2, 128}, F_AVI, {1920, 1080, MPEG4, r2997, 10000}),
  Video("XviD HD Video (*.avi)", ".avi", "HD Video", {44100, MP3, stereo2, 128}, F_AVI, {1920, 1080, XVID, r2997, 10000}),
  Video("HD ASF Video (*.asf)", ".asf", "HD Video", {48000, WMAV2, stereo2, 128}, F_ASF, {1920, 1080, WMV2, r2997, 10000}),
  Video("HD WMV Video (*.wmv)", ".wmv", "HD Video", {48000, WMAV2, stereo2, 128}, F_NONE, {1920, 1080, WMV2, r2997, 8000}),
  Video("MPEG2-PS HD Video (*.mpg)", ".mpg", "HD Video", {44100, MP2, stereo2, 128}, F_NONE, {1920, 1080, MPEG2VIDEO, r2997, 12000}),
  Video("MPEG2-TS HD Video (*.ts)", ".ts", "HD Video", {44100, MP2, stereo2, 128}, F_NONE, {1920, 1080, MPEG2VIDEO, r2997, 12000}),
  Video("HD VOB Video (*.vob)", ".vob", "HD Video", {44100, MP2, stereo2, 384}, F_DVD, {1920, 1080, MPEG2VIDEO, r2997, 12000}),
  Video("HD MKV Video Format (*.mkv)", ".mkv", "HD Video", {44100, MP3, stereo2, 128}, F_MKV, {1920, 1080, H264, r30, 8000}),

  Video("FLV - Flash Video Format (*.flv)", ".flv", "Flash Video", {44100, MP3, stereo2, 64}, F_FLV, {320, 240, FLV, r1499, 512}),
  Video("Flash H264 Video (*.flv)", ".flv", "Flash Video", {44100, AAC, stereo2, 64}, F_FLV, {320, 240, H264, r1499, 512}),
  Video("SWF - SWF Format (*.swf)", ".swf", "Flash Video", {44100, MP3, stereo2, 64}, F_NONE, {320, 240, FLV, r1499, 512}),
  Video("YouTube Video (*.flv)", ".flv", "Flash Video", {44100, MP3, stereo2, 64}, F_FLV, {320, 240, FLV, r1499, 512}),

  Video("MTS-MPEG-2 Transport Stream (*.m2ts)", ".m2ts", "HD Video", {48000, AC3, stereo2, 256}, F_NONE, {1440, 1080, H264, r25, 8000}),
  Video("F4V - Flash Video (*.f4v)", ".f4v", "Flash Video", {44100, AAC, stereo2, 128}, F_FLV, {640, 480, H264, r2997, 1500}),

  Audio("MP3 192 (*.mp3)", ".mp3", "MP3", {44100, MP3, stereo2, 192}, F_NONE),
  Audio("MP3 256 (*.mp3)", ".mp3", "MP3", {44100, MP3, stereo2, 256}, F_NONE),

  Video("H.264 AVI (*.avi)", ".avi", "AVI", {44100, MP3, stereo2, 128}, F_AVI, {640, 480, H264, r2997, 2000}),
  Video("DivX Video (*.avi)", ".avi", "AVI", {44100, MP3, stereo2, 128}, F_AVI, {640, 480, MPEG4, r2997, 1500}),
  Video("XviD Video (*.avi)", ".avi", "AVI", {44100, MP3, stereo2, 128}, F_AVI, {640, 480, XVID, r2997, 1500}),

  Audio("MP3 128 (*.mp3)", ".mp3", "MP3", {44100, MP3, stereo2, 128}, F_NONE),

  Video("MPEG-4 Video (*.mp4)", ".mp4", "MP4", {44100, AAC, stereo2, 96}, F_MP4, {640, 480, MPEG4, r2997, 1200}),
  Video("H.264/MPEG-4 AVC Video (*.mp4)", ".mp4", "MP4", {44100, AAC, stereo2, 96}, F_MP4, {640, 480, H264, r2997, 900}),

  Video(" Flash Video (*.flv)", ".flv", "视频", {44100, MP3, stereo2, 64}, F_FLV, {0, 0, FLV, r1499, 384}),
  Video("Apple Quicktime Video(*.mov) ", ".mov", "视频", {44100, AAC, stereo2, 192}, F_MOV, {0, 0, MPEG4, r25, 2000}),
  Video("MPEG-4 Video (*.mp4)", ".mp4", "视频", {44100, AAC, stereo2, 96}, F_MP4, {0, 0, MPEG4, r2997, 1200}),
  Video("H.264/MPEG-4 AVC Video (*.mp4)", ".mp4", "视频", {44100, AAC, stereo2, 96}, F_MP4, {0, 0, H264, r2997, 900}),
  Video("M4V MPEG-4 Video (*.m4v)", ".m4v", "视频", {44100, AAC, stereo2, 96}, F_NONE, {0, 0, MPEG4, r2997, 1500}),
  Video("H.264 AVI - Audio Video Interleaved (*.avi)", ".avi", "视频", {44100, MP3, stereo2, 128}, F_AVI, {0, 0, H264, r2997, 2000}),
  Video("DivX Video (*.avi)", ".avi", "视频", {44100, MP3, stereo2, 128}, F_AVI, {0, 0, MPEG4, r2997, 1500}),
  Video("XviD Video (*.avi)", ".avi", "视频", {44100, MP3, stereo2, 128}, F_AVI, {0, 0, XVID, r2997, 1500}),
  Video("ASF - Advanced Streaming Format (*.asf)", ".asf", "视频", {44100, WMAV2, stereo2, 128}, F_ASF, {0, 0, MSMPEGV3, r2997, 1500}),
  Video("WMV - Windows Media Video (*.wmv)", ".wmv", "视频", {44100, WMAV2, stereo2, 128}, F_NONE, {0, 0, WMV2, r2997, 1500}),
  Video("MPEG-2 Video (*.mpg)", ".mpg", "视频", {44100, MP2, stereo2, 128}, F_NONE, {0, 0, MPEG2VIDEO, r2997, 2000}),
  Video("手机3GP- 单声道Mono (*.3gp)", ".3gp", "视频", {8000, AMR_NB, mono1, 7.4}, F_3GP, {176, 144, H263, r1499, 256}),
  Video("手机3GP - 双声道Stereo(*.3gp)", ".3gp", "视频", {22050, AAC, stereo2, 64}, F_3GP, {176, 144, H263, r1499, 256}),
  Video("手机3GP - 单声道Mono (*.3g2)", ".3g2", "视频", {8000, AMR_NB, mono1, 7.4}, F_3GP2, {0, 0, MPEG4, r1499, 128}),
  Video("手机3GP - 双声道Stereo (*.3g2)", ".3g2", "视频", {22050, AAC, stereo2, 64}, F_3GP2, {0, 0, MPEG4, r1499, 128}),
  Video("FLV - Flash Video Format (*.flv)", ".flv", "视频", {44100, MP3, stereo2, 64}, F_FLV, {0, 0, FLV, r1499, 512}),
  Video("Flash H264 Video (*.flv)", ".flv", "视频", {44100, AAC, stereo2, 64}, F_FLV, {0, 0, H264, r1499, 512}),
  Video("SWF - SWF Format (*.swf)", ".swf", "视频", {44100, MP3, stereo2, 64}, F_NONE, {0, 0, FLV, r1499, 512}),

  Video("MTS-H264 Transport Stream (*.mts)", ".mts", "HD Video", {48000, AC3, stereo2, 256}, F_NONE, {0, 0, H264, r25, 8000}),
};
// clang-format on

static_assert(std::size(kCatalogue) == kCatalogueSize);

std::unique_ptr<TAVProfile> MakeTarget(Kind kind, TAVTarget target) {
  std::unique_ptr<TAVTargetProfile> profile;
  switch (kind) {
    case kVcd:
      profile = std::make_unique<TAVVcdProfile>();
      break;
    case kSVcd:
      profile = std::make_unique<TAVSVcdProfile>();
      break;
    case kDvd:
      profile = std::make_unique<TAVDvdProfile>();
      break;
    case kDv:
      profile = std::make_unique<TAVDvProfile>();
      break;
    default:
      profile = std::make_unique<TAVDv50Profile>();
      break;
  }
  profile->SetTarget(target);
  return profile;
}

void SetAudio(TAVCustomAudioProfile& profile, const Entry& entry) {
  profile.SetSampleRate(entry.audio.sample_rate);
  profile.SetAudioEncoder(entry.audio.encoder);
  profile.SetAudioChannels(entry.audio.channels);
  profile.SetAudioBitrate(entry.audio.kbits);
  profile.SetFormat(entry.format);
  engine::TStringList options;
  for (const std::string_view line : entry.options) options.Add(std::string(line));
  profile.SetOptions(options);
}

std::unique_ptr<TAVProfile> MakeProfile(const Entry& entry) {
  std::unique_ptr<TAVProfile> made;
  switch (entry.kind) {
    case kImage: {
      auto profile = std::make_unique<TAVImageProfile>();
      profile->SetImageType(entry.image);
      made = std::move(profile);
      break;
    }
    case kAudio: {
      auto profile = std::make_unique<TAVCustomAudioProfile>();
      SetAudio(*profile, entry);
      made = std::move(profile);
      break;
    }
    case kVideo: {
      auto profile = std::make_unique<TAVCustomVideoProfile>();
      SetAudio(*profile, entry);
      profile->SetFrameWidth(entry.video.width);
      profile->SetFrameHeight(entry.video.height);
      profile->SetVideoEncoder(entry.video.encoder);
      profile->SetFrameRate(entry.video.rate);
      profile->SetVideoBitrate(entry.video.kbits);
      profile->SetFrameAspectRatio(entry.aspect);
      made = std::move(profile);
      break;
    }
    default:
      made = MakeTarget(entry.kind, entry.target);
      break;
  }
  made->SetDescription(std::string(entry.description));
  if (!entry.extension.empty()) made->SetExtension(std::string(entry.extension));
  made->SetCategory(std::string(entry.category));
  return made;
}

}  // namespace

void BuildCatalogue(TAVProfileList& list) {
  engine::TStringList categories;
  for (const std::string_view caption : kCategoryCaptions) categories.Add(std::string(caption));
  list.SetCategories(categories);
  for (const Entry& entry : kCatalogue) list.Add(MakeProfile(entry));
}

}  // namespace zembra::profiles
