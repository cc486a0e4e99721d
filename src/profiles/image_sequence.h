// File names of image sequences.
//
// An image profile's extension names the first file ("clip1.jpg"), but the muxer that writes
// one file per frame ("image2") needs a numbered pattern and refuses to write a second frame
// to a plain name. Whoever hands the output name to the muxer turns it into a pattern here, and
// sets the muxer option "start_number" to the start number, so that the files become
// clip1.jpg, clip2.jpg, ... (clip007.jpg, clip008.jpg, ... when the number has leading zeros).
// The rest of the name is taken literally: any "%" in it is escaped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zembra::profiles {

// The short name of the muxer that writes image sequences.
inline constexpr char kImageSequenceMuxer[] = "image2";

struct ImageSequenceName {
  std::string pattern;            // "/out/clip%d.jpg"
  std::int32_t start_number = 1;  // the number the first file carries

  // The name of the file that carries `number` ("/out/clip2.jpg").
  std::string FileName(std::int32_t number) const;
  friend bool operator==(const ImageSequenceName&, const ImageSequenceName&) = default;
};

// The number at the end of the file name's stem becomes the frame number; a stem without one
// gets the number 1 appended ("clip.bmp" -> "clip%d.bmp", from 1).
ImageSequenceName MakeImageSequenceName(std::string_view file_name);

}  // namespace zembra::profiles
