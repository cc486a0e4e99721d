#include "filters/filter_graph.h"

namespace zembra::filters {

namespace {

// The blanks both parsers drop at the ends of a value unless escaped.
constexpr std::string_view kBlanks = " \n\t\r";

// Backslashes every character the parser would not take literally: the escape and quote
// characters, `terminators`, and blanks at either end.
std::string EscapeToken(std::string_view text, std::string_view terminators) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  const std::size_t last = text.find_last_not_of(kBlanks);
  std::string escaped;
  escaped.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\0') continue;
    const bool at_end = first == std::string_view::npos || i < first || i > last;
    if (c == '\\' || c == '\'' || terminators.find(c) != std::string_view::npos ||
        (at_end && kBlanks.find(c) != std::string_view::npos)) {
      escaped += '\\';
    }
    escaped += c;
  }
  return escaped;
}

std::string RenderChain(const std::vector<FilterSpec>& chain) {
  std::string text;
  for (const FilterSpec& filter : chain) {
    if (!text.empty()) text += ',';
    text += RenderFilter(filter);
  }
  return text;
}

}  // namespace

std::string EscapeOptionValue(std::string_view value) { return EscapeToken(value, ":"); }

std::string EscapeFilterArguments(std::string_view text) { return EscapeToken(text, "[],;"); }

std::string RenderFilter(const FilterSpec& filter) {
  std::string arguments;
  for (const FilterOption& option : filter.options) {
    if (!arguments.empty()) arguments += ':';
    arguments += option.key + '=' + EscapeOptionValue(option.value);
  }
  if (arguments.empty()) return filter.name;
  return filter.name + '=' + EscapeFilterArguments(arguments);
}

std::string RenderFilterGraph(const FilterSteps& steps) {
  if (steps.empty()) return {};
  // A chain runs on with commas until a filter needs a second input; then the running
  // picture gets a label, the second input's source chain is written with a label of its
  // own, and a new chain starts from both labels.
  std::string text = "[in]";
  bool chain_started = false;
  int links = 0;
  int second_inputs = 0;
  for (const FilterStep& step : steps) {
    if (step.second_input.empty()) {
      if (chain_started) text += ',';
      text += RenderFilter(step.filter);
      chain_started = true;
      continue;
    }
    std::string running;
    if (chain_started) {
      running = "[v" + std::to_string(++links) + "]";
      text += running + ';';
    } else {
      running = text;  // "[in]", nothing applied yet
      text.clear();
    }
    const std::string second = "[aux" + std::to_string(++second_inputs) + "]";
    text += RenderChain(step.second_input) + second + ';';
    text += running + second + RenderFilter(step.filter);
    chain_started = true;
  }
  return text + "[out]";
}

}  // namespace zembra::filters
