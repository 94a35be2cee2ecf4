// Word package reader, inner parts: run and paragraph properties, styles
// with inheritance, and list numbering (numbering.xml). Names are matched
// with the prefixes of ooxml_namespaces().
#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "convert/model/document.h"

namespace nx::docx {

// Run properties; unset fields inherit.
struct run_props {
  std::optional<bool> bold, italic, underline, strike, hidden;
  std::optional<int> vert;  // 0 baseline, 1 superscript, 2 subscript
  void read(pugi::xml_node rpr);
  // Fields set in over win.
  void merge(const run_props& over);
  model::format format() const;
};

// Paragraph properties; unset fields inherit.
struct para_props {
  std::optional<int> outline;  // 0-8; 9 is body text
  std::optional<model::align> alignment;
  std::optional<bool> rtl;
  std::optional<int> num_id, level;
  void read(pugi::xml_node ppr);
  void merge(const para_props& over);
};

// The styles part: each style's properties with its basedOn chain folded in.
class styles {
 public:
  void load(pugi::xml_node root);
  // The document defaults, under every style.
  const run_props& default_run() const { return defaults_run_; }
  const para_props& default_para_props() const { return defaults_para_; }
  // A style's run properties with its chain folded in (empty for an empty
  // or unknown id).
  const run_props& run(std::string_view id) const;
  // A paragraph style's properties with its chain folded in; empty or
  // unknown id: the default paragraph style's.
  const para_props& para(std::string_view id) const;
  // The default paragraph style's id.
  const std::string& default_para() const { return default_para_; }
  // The numbering instance a numbering style links to (0: none).
  int numbering_style_num(std::string_view id) const;

 private:
  struct style {
    std::string name, based_on;
    run_props run;
    para_props para;
    bool done = false;
  };
  const style* resolve(const std::string& id, int depth);

  std::map<std::string, style, std::less<>> styles_;
  run_props defaults_run_, no_run_;
  para_props defaults_para_, no_para_;
  std::string default_para_;
};

// The numbering part: list levels and the counters that number paragraphs
// in document order.
class numbering {
 public:
  void load(pugi::xml_node root, const styles& st);
  struct item {
    model::list_info info;  // list = the numbering instance
    std::string label;      // the number as the level's text shows it ("1.2.")
    bool shown = false;     // false: the level draws no number or bullet
  };
  // Counts the next paragraph of instance num at level; false when the
  // instance or level does not exist.
  bool next(int num, int level, item& out);

 private:
  struct level {
    int start = 1;
    std::string format = "decimal";  // numFmt
    std::string text;                // lvlText
    int restart = -1;                // lvlRestart; -1 after any shallower level
    bool legal = false;              // isLgl: numbers of shallower levels in decimal
  };
  struct abstract {
    std::vector<level> levels;
    std::vector<int> counts;  // per level; 0: not started
    std::string style_link;   // numStyleLink: the levels of another list
  };
  struct instance {
    int abstract_id = -1;
    std::map<int, int> start_overrides;
    std::map<int, level> level_overrides;
    bool used = false;
  };
  abstract* abstract_of(instance& inst, int depth);

  std::map<int, abstract> abstracts_;
  std::map<int, instance> instances_;
  std::map<std::string, int, std::less<>> style_links_;  // styleLink name -> abstract id
  const styles* styles_ = nullptr;
};

// A number in a level's format ("decimal", "lowerRoman", "upperLetter", ...).
std::string format_number(int n, std::string_view format);

int int_attr(pugi::xml_node n, const char* name, int fallback);
// A toggle or on/off property: absent val or "1"/"true"/"on" is on.
bool on_off(pugi::xml_node n);

}  // namespace nx::docx
