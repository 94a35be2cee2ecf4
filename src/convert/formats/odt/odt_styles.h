// The styles of an OpenDocument text: paragraph and text styles with their
// parent chains, list styles and the outline (heading numbering) style,
// read from styles.xml and content.xml.
#pragma once
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "convert/model/document.h"
#include "convert/model/builder.h"

namespace nx::odt {

// What one style sets; unset properties come from its parent.
struct style_props : model::char_props {
  std::optional<model::align> alignment;
  std::optional<bool> rtl;
  std::optional<std::string> list_style;  // a paragraph style's list style
  std::optional<int> outline_level;       // a paragraph style's default heading level

  void inherit(const style_props& fallback);
};

// One level of a list style: how its items are numbered.
struct list_level {
  bool numbered = false;  // false: a bullet or picture bullet
  std::string format;     // "1", "a", "A", "i", "I"; empty: numbered but no number shown
  int start = 1;
  int display_levels = 1;  // how many levels the label shows ("1.2.3" shows three)
  std::string prefix, suffix;
  model::list_format kind() const;
};

inline constexpr int max_list_levels = 10;

struct list_style {
  std::array<list_level, max_list_levels> levels;
  const list_level& at(int level) const { return levels[size_t(std::clamp(level, 0, max_list_levels - 1))]; }
};

// A number in a list level's format ("3" as "c", "iii", "3").
std::string format_number(int n, const std::string& format);
// The label of an item at level whose counters (one per level, 1-based
// values) are given: prefix, the numbers of the shown levels, suffix.
std::string list_label(const list_style& style, int level, const std::array<int, max_list_levels>& counters);

class styles {
 public:
  // Reads the style definitions under an office:styles or
  // office:automatic-styles element; later definitions replace earlier ones.
  void read(pugi::xml_node container);

  // A paragraph style with its parents and the default paragraph style.
  const style_props& paragraph(std::string_view name);
  // A text style with its parents (nothing for an unknown name).
  const style_props& text(std::string_view name);
  // A list style by name; nullptr when unknown.
  const list_style* list(std::string_view name) const;
  const list_style& outline() const { return outline_; }

 private:
  struct entry {
    style_props own;
    std::string parent;
    std::optional<style_props> resolved;
  };
  using family = std::unordered_map<std::string, entry>;
  const style_props& resolve(family& f, std::string_view name, const style_props& root, int depth);

  family paragraph_, text_;
  style_props default_paragraph_, none_;
  std::unordered_map<std::string, list_style> lists_;
  list_style outline_;
};

}  // namespace nx::odt
