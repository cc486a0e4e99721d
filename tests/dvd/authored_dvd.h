// A small PAL video DVD authored at test time, once per test process.
//
// Title 1 (title set 1): four seconds of MPEG-2 in four chapters with two AC-3 tracks, English
// and French. Title 2 (title set 2): two seconds in two chapters with one MPEG audio track,
// Spanish. The disc exists as a VIDEO_TS folder and as a UDF/ISO 9660 image labelled
// "ZEMBRA_TEST", made with ffmpeg, dvdauthor and genisoimage.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/media_fixtures.h"

namespace zembra::testing {

inline constexpr const char* kTestDvdLabel = "ZEMBRA_TEST";

struct AuthoredDvd {
  bool ok = false;
  std::string error;   // the failed step, when not ok
  std::string folder;  // holds VIDEO_TS
  std::string image;   // the .iso
  std::string video_ts() const { return folder + "/VIDEO_TS"; }
};

namespace detail {

inline bool Run(const std::string& command, std::string& error) {
  if (std::system((command + " > /dev/null 2>&1").c_str()) == 0) return true;
  error = "fixture command failed (are ffmpeg, dvdauthor and genisoimage installed?): " + command;
  return false;
}

inline AuthoredDvd Author(const TempFolder& temp) {
  AuthoredDvd dvd;
  const std::string base = temp.path().string();
  // PAL at CIF size keeps encoding short; a key frame every second lets chapters fall there.
  const std::string video =
      " -target pal-dvd -s 352x288 -aspect 4:3 -b:v 800k -g 12"
      " -force_key_frames 'expr:gte(t,n_forced)'";
  const std::string ffmpeg = "ffmpeg -nostdin -y -hide_banner -loglevel error";
  if (!Run(ffmpeg + " -f lavfi -i testsrc=size=352x288:rate=25:duration=4" +
               " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=4" +
               " -f lavfi -i sine=frequency=660:sample_rate=48000:duration=4" +
               " -map 0:v -map 1:a -map 2:a" + video + " -c:a ac3 -ac 2 -b:a 96k '" + base +
               "/title1.mpg'",
           dvd.error) ||
      !Run(ffmpeg + " -f lavfi -i testsrc2=size=352x288:rate=25:duration=2" +
               " -f lavfi -i sine=frequency=880:sample_rate=48000:duration=2" + video +
               " -c:a mp2 -b:a 128k '" + base + "/title2.mpg'",
           dvd.error)) {
    return dvd;
  }
  std::ofstream(base + "/dvd.xml") << R"(<dvdauthor dest="disc">
  <vmgm />
  <titleset>
    <titles>
      <video format="pal" resolution="352x288" aspect="4:3"/>
      <audio lang="en"/>
      <audio lang="fr"/>
      <pgc><vob file="title1.mpg" chapters="0,1,2,3"/></pgc>
    </titles>
  </titleset>
  <titleset>
    <titles>
      <video format="pal" resolution="352x288" aspect="4:3"/>
      <audio lang="es"/>
      <pgc><vob file="title2.mpg" chapters="0,1"/></pgc>
    </titles>
  </titleset>
</dvdauthor>
)";
  if (!Run("cd '" + base + "' && VIDEO_FORMAT=PAL dvdauthor -x dvd.xml", dvd.error) ||
      !Run("genisoimage -quiet -dvd-video -V " + std::string(kTestDvdLabel) + " -o '" + base +
               "/disc.iso' '" + base + "/disc'",
           dvd.error)) {
    return dvd;
  }
  dvd.folder = base + "/disc";
  dvd.image = base + "/disc.iso";
  dvd.ok = std::filesystem::exists(dvd.video_ts() + "/VIDEO_TS.IFO");
  if (!dvd.ok) dvd.error = "dvdauthor wrote no VIDEO_TS.IFO";
  return dvd;
}

}  // namespace detail

// The disc, authored on first use; it lives until the process ends.
inline const AuthoredDvd& TestDvd() {
  static const TempFolder folder;
  static const AuthoredDvd dvd = detail::Author(folder);
  return dvd;
}

}  // namespace zembra::testing
