#include "engine/library_options.h"

#include <mutex>
#include <unordered_map>

#include "media/reporting.h"

namespace zembra::engine {
namespace {

using media::ff;

// Flags an option found by name on the video template must carry to be set on the template of
// each media type.
constexpr std::array<int, 5> kTypeMasks = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                           AV_OPT_FLAG_SUBTITLE_PARAM, 0};

struct SetResult {
  const AVOption* option = nullptr;  // null when the name is not an option of the context
  int result = 0;
};

SetResult SetOn(void* context, const std::string& name, const std::string& value) {
  SetResult set;
  set.option = ff.av_opt_find(context, name.c_str(), nullptr, 0, 0);
  if (set.option != nullptr) set.result = ff.av_opt_set(context, name.c_str(), value.c_str(), 0);
  return set;
}

bool ClassHasOption(const AVClass* const* av_class, const char* name) {
  return av_class != nullptr && *av_class != nullptr &&
         ff.av_opt_find(const_cast<const AVClass**>(av_class), name, nullptr, 0,
                        AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

bool SearchPrivateOptions(const std::string& name) {
  void* iterator = nullptr;
  while (const AVCodec* codec = ff.av_codec_iterate(&iterator)) {
    if (ClassHasOption(&codec->priv_class, name.c_str())) return true;
  }
  iterator = nullptr;
  while (const AVOutputFormat* format = ff.av_muxer_iterate(&iterator)) {
    if (ClassHasOption(&format->priv_class, name.c_str())) return true;
  }
  iterator = nullptr;
  while (const AVInputFormat* format = ff.av_demuxer_iterate(&iterator)) {
    if (ClassHasOption(&format->priv_class, name.c_str())) return true;
  }
  return false;
}

}  // namespace

bool IsPrivateLibraryOption(std::string_view name) {
  // The codec and format lists do not change while the libraries are loaded.
  static std::mutex mutex;
  static std::unordered_map<std::string, bool> known;
  const std::string key(name);
  std::lock_guard lock(mutex);
  auto it = known.find(key);
  if (it == known.end()) it = known.emplace(key, SearchPrivateOptions(key)).first;
  return it->second;
}

LibraryOptions::LibraryOptions(int sws_flags) {
  for (std::size_t type = 0; type < avcodec_opts_.size(); ++type) {
    avcodec_opts_[type] = media::MakeCodecContext(nullptr);
    avcodec_opts_[type]->codec_type = static_cast<AVMediaType>(type);
  }
  avformat_opts_.reset(ff.avformat_alloc_context());
  sws_opts_.reset(ff.sws_alloc_context());
  if (!avformat_opts_ || !sws_opts_) throw media::AvError(AVERROR(ENOMEM), "option templates");
  ff.av_opt_set_int(sws_opts_.get(), "sws_flags", sws_flags, 0);
}

AVCodecContext* LibraryOptions::CodecTemplate(AVMediaType type) const {
  const int index = static_cast<int>(type);
  if (index < 0 || index >= static_cast<int>(avcodec_opts_.size())) return nullptr;
  return avcodec_opts_[static_cast<std::size_t>(index)].get();
}

int LibraryOptions::SetLibraryOption(std::string_view name_view, std::string_view value_view) {
  const std::string name(name_view);
  const std::string value(value_view);
  SetResult set;

  AVCodecContext* video_template = avcodec_opts_[0].get();
  if (name == "b") {
    // The video bit rate. Today's "b" is also an audio option, but the audio bit rate arrives
    // as "ab" and must not be overwritten by it.
    set = SetOn(video_template, name, value);
    if (set.result < 0) {
      media::ShowError("Invalid value for Option!");
      return -1;
    }
    opt_names_.emplace_back(set.option->name);
    return 0;
  }
  for (std::size_t type = 0; type < avcodec_opts_.size(); ++type) {
    const AVOption* option = ff.av_opt_find(video_template, name.c_str(), nullptr, 0, 0);
    if (option == nullptr || (option->flags & kTypeMasks[type]) != kTypeMasks[type]) continue;
    set = SetOn(avcodec_opts_[type].get(), name, value);
    if (set.result < 0) break;
  }
  if (set.option == nullptr) set = SetOn(avformat_opts_.get(), name, value);
  if (set.option == nullptr) set = SetOn(sws_opts_.get(), name, value);
  if (set.option == nullptr && name.size() > 1) {
    // "ab", "vb", "sbsf"...: the first letter names the media type of a codec option.
    void* typed_template = nullptr;
    switch (name[0]) {
      case 'a':
        typed_template = avcodec_opts_[AVMEDIA_TYPE_AUDIO].get();
        break;
      case 'v':
        typed_template = avcodec_opts_[AVMEDIA_TYPE_VIDEO].get();
        break;
      case 's':
        typed_template = avcodec_opts_[AVMEDIA_TYPE_SUBTITLE].get();
        break;
      default:
        break;
    }
    if (typed_template != nullptr) set = SetOn(typed_template, name.substr(1), value);
  }

  // A name that belongs to one codec or format (or a value only its own option accepts, such
  // as libx264's "profile=high") is kept for the contexts that know it.
  if ((set.option == nullptr || set.result < 0) && IsPrivateLibraryOption(name)) {
    for (auto& entry : private_options_) {
      if (entry.first == name) {
        entry.second = value;
        return 0;
      }
    }
    private_options_.emplace_back(name, value);
    return 0;
  }

  if (set.option == nullptr) return -1;
  if (set.result < 0) {
    media::ShowError("Invalid value for Option!");
    return -1;
  }
  opt_names_.emplace_back(set.option->name);
  return 0;
}

void LibraryOptions::ApplyCodecOptions(const TStringList& lines) {
  for (std::size_t i = 0; i < lines.Count(); ++i) {
    const std::string& line = lines[i];
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
      SetLibraryOption(line, "");
    } else {
      SetLibraryOption(line.substr(0, equals), line.substr(equals + 1));
    }
  }
}

namespace {

// Calls `apply(name, value)` for every recorded option the template holds with fitting flags.
template <typename Apply>
void ForEachFittingOption(const std::vector<std::string>& names, void* template_context, int mask,
                          Apply apply) {
  for (const std::string& name : names) {
    const AVOption* option = ff.av_opt_find(template_context, name.c_str(), nullptr, 0, 0);
    if (option == nullptr || (option->flags & mask) != mask) continue;
    std::uint8_t* value = nullptr;
    if (ff.av_opt_get(template_context, name.c_str(), 0, &value) < 0 || value == nullptr) continue;
    apply(name, reinterpret_cast<const char*>(value));
    ff.av_free(value);
  }
}

}  // namespace

void LibraryOptions::ApplyContextOptions(void* target, void* template_context, int mask) const {
  ForEachFittingOption(opt_names_, template_context, mask,
                       [target](const std::string& name, const char* value) {
                         ff.av_opt_set(target, name.c_str(), value, 0);
                       });
}

void LibraryOptions::CollectContextOptions(AVDictionary** dictionary, void* template_context,
                                           int mask) const {
  ForEachFittingOption(opt_names_, template_context, mask,
                       [dictionary](const std::string& name, const char* value) {
                         ff.av_dict_set(dictionary, name.c_str(), value, 0);
                       });
  for (const auto& [name, value] : private_options_) {
    ff.av_dict_set(dictionary, name.c_str(), value.c_str(), 0);
  }
}

std::vector<std::string> LibraryOptions::ApplyPrivateOptions(void* private_data) const {
  std::vector<std::string> refused;
  if (private_data == nullptr) return refused;  // a codec or format without options of its own
  for (const auto& [name, value] : private_options_) {
    if (ff.av_opt_find(private_data, name.c_str(), nullptr, 0, 0) == nullptr) continue;
    if (ff.av_opt_set(private_data, name.c_str(), value.c_str(), 0) < 0) refused.push_back(name);
  }
  return refused;
}

}  // namespace zembra::engine
