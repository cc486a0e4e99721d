// DVD titles for zembra-cli: listing a disc's titles and reading one as a conversion's input.
//
// A title is named "dvd:PATH#TITLE[:FIRST-LAST[@ANGLE]]": PATH a device, an ISO image or a
// folder holding VIDEO_TS; TITLE from 1; FIRST-LAST the chapters (all when left out); ANGLE
// from 1.
#pragma once

#include <optional>
#include <string>

#include "cli/arguments.h"

namespace zembra::cli {

struct DvdAddress {
  std::string path;
  int title = 1;
  int first_chapter = 0;  // 0: from the first chapter
  int last_chapter = 0;   // 0: to the last chapter
  int angle = 1;
};

// Nothing when `text` does not start with "dvd:"; throws UsageError when it does but is
// malformed.
std::optional<DvdAddress> ParseDvdAddress(const std::string& text);

int RunDvd(const Request& request);

}  // namespace zembra::cli
