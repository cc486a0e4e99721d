// Video filters a conversion may carry: a picture logo, an overlay text, burned-in subtitles
// and the standard operations (flips, a drawn box, negation, rotation).
//
// Each filter holds its parameters as published properties and describes what it does as
// structured filter steps (filters/filter_graph.h); BuildFilterGraph joins the steps of an
// ordered list into the one graph text stored in the conversion's VideoFilters, so any list,
// in any order, gives a graph from "in" to "out" that applies the filters in list order. A
// filter with nothing to do (no switch on, no text, no file) contributes nothing.
//
// Setters store values as given. Colours are stored as 0x00BBGGRR; a set top byte (a system
// colour) is dropped when the colour is written into a filter.
//
// The dialogs that create and edit filters belong to the user interface, which installs them
// with SetFilterDialogHost; filters themselves never touch widgets.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/persistent.h"
#include "filters/filter_graph.h"

namespace zembra::filters {

class TAVFilter : public engine::TPersistent {
 public:
  // The filter on its own as a whole graph text from "in" to "out"; empty when it has
  // nothing to do.
  virtual std::string GetFilterText() const;
  // The display name.
  virtual std::string GetFilterName() const = 0;
  // Opens the filter's dialog with the dialog's initial fields; on OK takes its values and
  // returns true, otherwise changes nothing and returns false.
  virtual bool NewByDialog() = 0;
  // The same with the dialog filled from the properties.
  virtual bool EditByDialog() = 0;
  // What the filter applies, in order; empty when it has nothing to do.
  virtual FilterSteps GetFilterSteps() const = 0;

 protected:
  TAVFilter() = default;
};

using TAVFilterList = std::vector<std::unique_ptr<TAVFilter>>;

// The graph text applying `filters` in list order (null entries skipped); empty when none of
// them has anything to do.
std::string BuildFilterGraph(std::span<const TAVFilter* const> filters);
std::string BuildFilterGraph(const TAVFilterList& filters);

class TLogoFilter : public TAVFilter {
 public:
  TLogoFilter() = default;
  std::string_view ClassName() const override { return "TLogoFilter"; }
  void Assign(const TPersistent& source) override;
  std::span<const engine::PropertyInfo> PublishedProperties() const override;
  std::string GetFilterName() const override { return "Logo Filter"; }
  bool NewByDialog() override;
  bool EditByDialog() override;
  FilterSteps GetFilterSteps() const override;

  // The logo's top-left corner in pixels.
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, X, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, Y, 0)
  ZEMBRA_PLAIN_PROPERTY(std::string, LogoFile, {})
};

class TSubtitleFilter : public TAVFilter {
 public:
  TSubtitleFilter() = default;
  std::string_view ClassName() const override { return "TSubtitleFilter"; }
  void Assign(const TPersistent& source) override;
  std::span<const engine::PropertyInfo> PublishedProperties() const override;
  std::string GetFilterName() const override { return "Hard Subtitle Filter"; }
  bool NewByDialog() override;
  bool EditByDialog() override;
  FilterSteps GetFilterSteps() const override;

  ZEMBRA_PLAIN_PROPERTY(std::string, SubtitleFile, {})
  ZEMBRA_PLAIN_PROPERTY(std::string, FontFile, {})
  // The subtitle file's character set (an iconv name); empty = UTF-8.
  ZEMBRA_PLAIN_PROPERTY(std::string, CodePage, {})
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, FontColor, 0)
};

class TOverlayTextFilter : public TAVFilter {
 public:
  TOverlayTextFilter() = default;
  std::string_view ClassName() const override { return "TOverlayTextFilter"; }
  void Assign(const TPersistent& source) override;
  std::span<const engine::PropertyInfo> PublishedProperties() const override;
  std::string GetFilterName() const override { return "Overlay Text Filter"; }
  bool NewByDialog() override;
  bool EditByDialog() override;
  FilterSteps GetFilterSteps() const override;

  // Lines end in CR LF or LF.
  ZEMBRA_PLAIN_PROPERTY(std::string, Text, {})
  // Pixels; 0 or less leaves the library's size.
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, FontSize, 0)
  ZEMBRA_PLAIN_PROPERTY(std::string, FontFile, {})
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, X, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, Y, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, FontColor, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, BgColor, 0)
};

class TVideoStdFilter : public TAVFilter {
 public:
  TVideoStdFilter() = default;
  std::string_view ClassName() const override { return "TVideoStdFilter"; }
  void Assign(const TPersistent& source) override;
  std::span<const engine::PropertyInfo> PublishedProperties() const override;
  std::string GetFilterName() const override { return "Standar Filters"; }
  bool NewByDialog() override;
  bool EditByDialog() override;
  FilterSteps GetFilterSteps() const override;

  ZEMBRA_PLAIN_PROPERTY(bool, VerticalFilp, false)
  ZEMBRA_PLAIN_PROPERTY(bool, HorizontalFilip, false)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, BHeight, 0)
  ZEMBRA_PLAIN_PROPERTY(bool, DrawBox, false)
  ZEMBRA_PLAIN_PROPERTY(bool, Rotate, false)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, BWidth, 0)
  ZEMBRA_PLAIN_PROPERTY(bool, Negate, false)
  // A colour name the media libraries know ("Red", "Navy", ...).
  ZEMBRA_PLAIN_PROPERTY(std::string, BColor, {})
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, BX, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, BY, 0)
  // Clockwise.
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, Degree, 0)
};

// The filter dialogs, installed by the user interface (user-interface thread only). Each
// call shows the dialog of the given filter modally; kNew starts from the dialog's initial
// fields, kEdit from the filter's properties. On OK the dialog writes its values into the
// filter and returns true; otherwise it leaves the filter unchanged and returns false.
enum class FilterDialogMode { kNew, kEdit };

class FilterDialogHost {
 public:
  virtual ~FilterDialogHost() = default;
  virtual bool Run(TLogoFilter& filter, FilterDialogMode mode) = 0;
  virtual bool Run(TOverlayTextFilter& filter, FilterDialogMode mode) = 0;
  virtual bool Run(TSubtitleFilter& filter, FilterDialogMode mode) = 0;
  virtual bool Run(TVideoStdFilter& filter, FilterDialogMode mode) = 0;
};

// Installs `host` (not owned; null removes it). Without a host the dialog operations return
// false and change nothing.
void SetFilterDialogHost(FilterDialogHost* host);

}  // namespace zembra::filters
