// List numbering as word processors do it, for every reader: number
// formats, level labels ("%1.%2."), the counters of a list with their
// restarts, and Word's lists (definitions whose items share counters,
// instances that override start values or levels). Values from a document
// are clamped here, once: no start, count or label can grow without bound.
#pragma once
#include <array>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/model/document.h"

namespace nx {

// A number in roman numerals ("xiv"); upper case when upper.
std::string roman_numeral(int n, bool upper);

enum class number_format : uint8_t {
  decimal,
  decimal_zero,  // "01" ... "09", "10"
  lower_roman, upper_roman,
  lower_letter, upper_letter,  // a ... z, aa ... zz, aaa ...
  bullet,        // a bullet, no number
  none,          // no number and no bullet
};

// Word's number format codes (.doc, Rich Text \levelnfc, Word 2003 XML
// w:nfc); unknown codes count in decimal.
number_format word_number_format(int nfc);
// Office Open XML w:numFmt values ("lowerRoman", "upperLetter", ...).
number_format ooxml_number_format(std::string_view name);
// OpenDocument style:num-format values ("1", "a", "A", "i", "I"; "" is none).
number_format odf_number_format(std::string_view format);
model::list_format list_format_of(number_format f);

// Levels of a list; Word has 9, OpenDocument 10.
inline constexpr int max_list_levels = 10;
// Starts and restarts beyond this are damage (Word's own limit).
inline constexpr int max_list_start = 32767;
// A label is cut here; letters repeat at most max_letters times.
inline constexpr size_t max_label = 100;
inline constexpr int max_letters = 10;

int clamp_list_start(long long start);
// n in the format: "iv", "c", "cc", "07"; roman numerals from 1 to 3999,
// decimal outside; "" for bullets and none.
std::string format_number(int n, number_format f);

// A level's label: text, and the numbers of levels (0-based) in it.
struct label_part {
  std::string text;  // when level < 0
  int level = -1;
};
// "%1.%2." as Office Open XML and Word 2003 XML write level texts.
std::vector<label_part> percent_label(std::string_view text);
// Level texts of .doc and Rich Text: characters 0 to 8 stand for the
// numbers of those levels.
std::vector<label_part> placeholder_label(std::u32string_view text);
// OpenDocument: prefix, the numbers of the last `shown` levels up to level
// joined by ".", suffix.
std::vector<label_part> odf_label(std::string_view prefix, int level, int shown, std::string_view suffix);

struct list_level {
  number_format format = number_format::decimal;
  int start = 1;
  std::vector<label_part> label;  // empty: the level shows no number
  // Which shallower items restart this level's count: -1 any, 0 none, k
  // (1-based) those at levels shallower than k.
  int restart_after = -1;
  bool legal = false;  // the numbers of other levels in the label in decimal
};

// A counted item: its number, what its label reads, how it is drawn.
struct list_item_number {
  int number = 0;        // 0 for bullets
  std::string label;     // "2.1.", "iv)"; "" when the level shows none
  model::list_format kind = model::list_format::bullet;
  bool shown = true;     // false: the level draws no number or bullet
};

// The counters of one list, one per level.
class list_counter {
 public:
  list_counter() { counts_.fill(not_started); }
  // Counts the next item at level of a list with these levels: deeper
  // levels restart as their restart_after says.
  list_item_number next(std::span<const list_level> levels, int level);
  // The next item at level counts from value.
  void restart(int level, int value);

 private:
  static constexpr int not_started = -1000000;
  int current(std::span<const list_level> levels, int level) const;
  std::array<int, max_list_levels> counts_;
};

// Word's lists: definitions whose items share counters, and instances that
// paragraphs refer to, which may start levels afresh or replace them.
class word_lists {
 public:
  void define(int definition, std::vector<list_level> levels);
  // start_overrides: level -> start, applied when the instance is first
  // used; level_overrides replace a definition's levels for this instance.
  void add_instance(int instance, int definition, std::map<int, int> start_overrides = {},
                    std::map<int, list_level> level_overrides = {});
  bool has_instance(int instance) const { return instances_.count(instance) > 0; }
  // Counts a paragraph of instance at level; false when the instance or
  // its level does not exist.
  bool next(int instance, int level, list_item_number& out);

 private:
  struct definition {
    std::vector<list_level> levels;
    list_counter counter;
  };
  struct instance {
    int definition = -1;
    std::map<int, int> start_overrides;
    std::map<int, list_level> level_overrides;
    bool used = false;
  };
  std::map<int, definition> definitions_;
  std::map<int, instance> instances_;
};

}  // namespace nx
