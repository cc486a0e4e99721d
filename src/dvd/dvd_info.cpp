#include "dvd/dvd_info.h"

#include "dvd/dvd_navigator.h"
#include "media/media_loader.h"

namespace zembra::dvd {
namespace {

// How many blocks from a title's start are looked at for scrambled data.
constexpr int kScrambleCheckBlocks = 32;

}  // namespace

TDvdInfo::TDvdInfo(const std::string& path) : path_(path) {
  // The title streams of the disc go to the media libraries next.
  media::LoadMediaLibraries();

  DvdNavigator navigator(path);
  volume_label_ = navigator.VolumeLabel();
  for (int number = 1; number <= navigator.TitleCount(); ++number) {
    std::optional<TDvdTitle> title = navigator.ScanTitle(number);
    if (!title) continue;
    if (navigator.Start(number, 1)) {
      title->angle_count = navigator.AngleCount();
      navigator.Stop();
    }
    titles_.push_back(std::move(*title));
  }

  // CSS protects a whole disc: the first title that has blocks tells.
  for (const TDvdTitle& title : titles_) {
    if (!navigator.Start(title.number, 1)) continue;
    const bool scrambled = navigator.LooksScrambled(kScrambleCheckBlocks);
    navigator.Stop();
    if (scrambled) throw DvdError(kEncryptedDvd, navigator.LibraryLog());
    break;
  }
}

}  // namespace zembra::dvd
