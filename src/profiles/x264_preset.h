// The H.264 presets: libx264 settings as codec options.
//
// Each preset is kept in the terms it was designed in (the option names of the older
// libavcodec x264 wrapper: partitions as flags, me_method, flags2 with mixed_refs, wpred,
// dct8x8..., directpred, cqp) and translated here into what the libx264 wrapper of FFmpeg 5.1
// accepts: its own private options (partitions as a list, direct-pred, qp, weightb,
// mixed-refs, 8x8dct, fast-pskip, mbtree, b-pyramid) next to the generic codec options that it
// still forwards (g, bf, refs, subq, me_range, trellis, qmin...). The older wrapper took every
// setting from the codec context, so a setting a preset did not name had libavcodec's default
// (no B-frames, one reference frame, no trellis); the 5.1 wrapper leaves such settings to
// x264's own "medium" preset instead, so the translation names them explicitly. Every line it
// writes is accepted by the option templates and by libx264's private options.
#pragma once

#include <string>
#include <vector>

#include "engine/options.h"
#include "profiles/profile.h"

namespace zembra::profiles {

struct CodecOptionLine {
  std::string name;
  std::string value;
  friend bool operator==(const CodecOptionLine&, const CodecOptionLine&) = default;
};

// The codec options of `preset`, in the order they are set; empty for a value outside the
// enumeration.
std::vector<CodecOptionLine> X264PresetOptions(TPreset preset);

// Sets each of them with SetAdvancedOption.
void WriteX264Preset(TPreset preset, engine::TAVConvertOptions& options);

}  // namespace zembra::profiles
