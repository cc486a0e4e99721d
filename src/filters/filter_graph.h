// Filter graphs as structured values, and the one place where they become text.
//
// A filter is a name with ordered options. A step applies one filter to the running picture,
// optionally with a second input made by a source chain of its own (a picture read from a
// file). RenderFilterGraph joins steps, in order, into one graph from the open output "in" to
// the open input "out" that the engine provides, labelling links only where a second input
// joins; any sequence of steps gives a graph the media libraries parse.
//
// Values are escaped here and nowhere else, for both parsers they pass: the filter's option
// parser (":" ends a value) and the graph parser ("[", "]", "," and ";" end a filter's
// arguments). Both take a backslash before any character literally, treat a single quote as
// the start of a quoted run, and drop unescaped blanks at the ends of a value, so every such
// character is preceded by a backslash at each level. A value therefore reaches the filter
// exactly as given and can never end its option or filter early.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zembra::filters {

struct FilterOption {
  std::string key;
  std::string value;
};

struct FilterSpec {
  std::string name;
  std::vector<FilterOption> options;
};

struct FilterStep {
  FilterSpec filter;
  // When not empty, a source chain whose output becomes the filter's second input.
  std::vector<FilterSpec> second_input;
};

using FilterSteps = std::vector<FilterStep>;

// `value` escaped for a filter's option parser: it arrives as one literal value. NUL
// characters cannot travel through the libraries' C strings and are dropped.
std::string EscapeOptionValue(std::string_view value);

// `text` escaped for the graph parser, so that it arrives as one filter's argument string.
std::string EscapeFilterArguments(std::string_view text);

// "name" or "name=key=value:key=value" with every value escaped for both parsers.
std::string RenderFilter(const FilterSpec& filter);

// The whole graph "[in]...[out]", or an empty text when there are no steps.
std::string RenderFilterGraph(const FilterSteps& steps);

}  // namespace zembra::filters
