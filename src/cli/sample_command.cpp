// zembra-cli without arguments: converts a short clip the media libraries generate (a test
// pattern and a tone) and shows what the result holds. The README's main job.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "cli/commands.h"
#include "cli/profiles_command.h"
#include "engine/converter.h"

namespace zembra::cli {

namespace {

constexpr char kSampleProfile[] = "HD H.264/MPEG-4 AVC Video (*.mp4)";

}  // namespace

int RunSample() {
  const char* home = std::getenv("HOME");
  const std::filesystem::path folder =
      std::filesystem::path(home != nullptr && *home != '\0' ? home : ".") / "Conversion";
  Request request;
  request.command = Command::kConvert;
  request.input =
      "testsrc2=size=1280x720:rate=25:duration=5[out0];"
      "sine=frequency=440:sample_rate=48000:duration=5[out1]";
  request.output = (folder / "zembra-sample.mp4").string();
  std::fprintf(stderr, "Converting a generated 5 s 720p clip to %s\n", request.output.c_str());
  profiles::TAVProfileList list;
  LoadAllProfiles(list);
  const profiles::TAVProfile* profile = FindProfile(list, kSampleProfile);
  std::fprintf(stderr, "Profile: %s\n",
               profile != nullptr ? kSampleProfile : "(none: MP4 defaults)");
  const int status = RunConversion(request, [&](engine::TAVConverter& converter) {
    if (profile != nullptr) profile->ApplyTo(converter);
    converter.ConvertOptions().SetInputFormat("lavfi");
    converter.ConvertOptions().SetOutputFormat("mp4");
  });
  if (status != kExitCompleted) return status;
  std::printf("Output: %s\n", request.output.c_str());
  Request probe;
  probe.command = Command::kProbe;
  probe.input = request.output;
  return RunProbe(probe);
}

}  // namespace zembra::cli
