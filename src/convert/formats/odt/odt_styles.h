// The styles of an OpenDocument text: paragraph and text styles with their
// parent chains and names, list styles and the outline (heading numbering)
// style as levels of the list engine, read from styles.xml and content.xml.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <pugixml.hpp>

#include "convert/common/numbering.h"
#include "convert/model/builder.h"
#include "convert/model/document.h"

namespace nx::odt {

// What one style sets; unset properties come from its parent.
struct style_props : model::char_props {
  std::optional<model::align> alignment;
  std::optional<bool> rtl;
  std::optional<std::string> list_style;  // a paragraph style's list style
  std::optional<int> outline_level;       // a paragraph style's default heading level (1-based)

  void inherit(const style_props& fallback);
};

// A list style's levels, max_list_levels of them; levels the style leaves
// out are bullets.
using list_levels = std::vector<list_level>;
// The levels of a list whose style is unknown: bullets.
const list_levels& bullet_list();

class styles {
 public:
  styles();

  // Reads the style definitions under an office:styles or
  // office:automatic-styles element; later definitions replace earlier ones.
  void read(pugi::xml_node container);

  // A paragraph style with its parents and the default paragraph style.
  const style_props& paragraph(std::string_view id) { return paragraph_.resolve(id, default_paragraph_); }
  // A text style with its parents (nothing for an unknown id).
  const style_props& text(std::string_view id) { return text_.resolve(id); }
  // The name a user sees for a paragraph or text style: that of the style
  // or, for an automatic style, of the nearest named style it is based on;
  // empty when there is none.
  std::string_view paragraph_name(std::string_view id) const { return shown_name(paragraph_, id); }
  std::string_view text_name(std::string_view id) const { return shown_name(text_, id); }
  // A list style by name; nullptr when unknown.
  const list_levels* list(std::string_view name) const;
  const list_levels& outline() const { return outline_; }
  // Whether a table-cell style draws borders.
  bool bordered_cell(std::string_view id) const { return bordered_cells_.count(std::string(id)) > 0; }

 private:
  using chain = model::style_chain<style_props>;
  static std::string_view shown_name(const chain& c, std::string_view id);
  static bool draws_border(pugi::xml_node cell_props);

  chain paragraph_, text_;
  style_props default_paragraph_;
  std::unordered_map<std::string, list_levels> lists_;
  list_levels outline_;
  std::unordered_set<std::string> bordered_cells_;
};

}  // namespace nx::odt
