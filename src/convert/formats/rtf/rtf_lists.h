// Numbered paragraphs as Rich Text writes them, handed to the shared list
// engine (common/numbering.h): Word's list table and override table, read
// group by group, and the older numbering of {\pn} groups, counted run by
// run.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "convert/common/numbering.h"

namespace nx::rtf {

// Word has nine list levels.
inline constexpr int list_levels = 9;
// A \leveltext is a length character and at most 255 more.
inline constexpr size_t max_level_text = 256;

// A \listlevel as it is read.
struct level_reading {
  int nfc = 0;
  int nfcn = -1;        // \levelnfcn; set, it wins over \levelnfc
  long long start = 1;  // \levelstartat
  bool no_restart = false, legal = false;
  std::u32string text;  // \leveltext: its length first, then the text

  list_level level() const;
};

// \listtable and \listoverridetable: each \list defines a list, each
// \listoverride an instance (\ls) of one, which may start levels afresh
// (\lfolevel with \listoverridestartat) or replace them
// (\listoverrideformat with a \listlevel).
class list_tables {
 public:
  level_reading level;  // the \listlevel being read, in a \list or an \lfolevel

  void begin_level() { level = {}; }
  void begin_list() { list_ = {}; }
  void list_id(int id) { list_.id = id; }
  void end_list_level();
  void end_list();

  void begin_override() { override_ = {}; }
  void override_list(int id) { override_.list = id; }
  void override_instance(int ls) { override_.instance = ls; }
  void begin_override_level();         // \lfolevel: the next level
  void override_start();               // \listoverridestartat
  void override_start_at(long long s); // \levelstartat in an \lfolevel
  void override_format();              // \listoverrideformat
  void end_override_level_format();    // the \listlevel in an \lfolevel ends
  void end_override();

  word_lists& lists() { return lists_; }

 private:
  struct list_reading {
    int id = 0;
    std::vector<list_level> levels;
  };
  struct override_level {
    bool restarts = false, replaces = false;
    std::optional<long long> start;
    std::optional<list_level> replacement;
  };
  struct override_reading {
    int list = 0, instance = -1;
    int seen = 0;  // \lfolevel groups so far; those past the ninth are passed over
    std::vector<override_level> levels;
  };
  override_level* current_override_level();

  list_reading list_;
  override_reading override_;
  word_lists lists_;
};

// A paragraph's {\pn} group.
struct pn_reading {
  enum class kind : uint8_t { body, bullet, outline, cont };
  kind what = kind::body;
  int outline = 1;  // \pnlvl: 1-9
  number_format format = number_format::decimal;
  long long start = 1;
  std::u32string before, after;  // \pntxtb, \pntxta
};

// The older numbering of one story. Numbered body paragraphs (\pnlvlbody,
// \pnlvlblt) count on while they follow each other (\pnlvlcont passes its
// turn without ending the run); outline-numbered ones (\pnlvl N) count
// through the story, deeper levels restarting under shallower ones.
class pn_numbering {
 public:
  // Counts a paragraph with its group, or one without (pn null, which ends
  // a run); false when the paragraph shows no number. level: the item's
  // list level.
  bool next(const pn_reading* pn, list_item_number& out, int& level);

 private:
  list_counter run_;
  list_level run_level_;
  bool running_ = false;
  list_counter outline_;
  std::array<list_level, list_levels> outline_levels_{};
};

}  // namespace nx::rtf
