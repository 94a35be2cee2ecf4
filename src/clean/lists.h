// Rebuilds the lists of a Word page. Word writes a list item as a paragraph
// whose style holds "mso-list:lN levelM lfoK", with its number or bullet as
// text inside <![if !supportLists]>...<![endif]> (or a <span> styled
// "mso-list:Ignore"). Consecutive list paragraphs become nested <ul>/<ol>
// with <li> items: the level gives the nesting, the marker the kind (a
// bullet, or "1." "a)" "(i)" ... with its type and start), and the marker
// itself goes. A new lfo, or anything but a list paragraph between, ends a
// list.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nx {

class list_rebuilder {
 public:
  // Receives the rebuilt tokens in order: a tag (maybe empty: text alone)
  // and the text after it.
  using sink = std::function<void(std::string_view tag, std::string_view text)>;
  explicit list_rebuilder(sink out) : out_(std::move(out)) {}

  // The next token of the page, its tag with line breaks already spaces.
  void feed(std::string_view tag, std::string_view text);
  // The end of the page: closes what is open.
  void finish();

  // What an item's marker says about its list.
  struct list_kind {
    bool ordered = false;
    char type = '1';  // "1", "a", "A", "i" or "I"
    long start = 1;
  };

 private:
  struct list_level {
    list_kind kind;
    std::string tag;  // "<ol type=\"a\" start=\"3\">"
  };
  void start_item(std::string_view tag, std::string_view text, int level, long lfo);
  void head_token(std::string_view tag, std::string_view text);
  void marker_token(std::string_view tag, std::string_view text);
  void begin_item();
  void end_item(std::string_view text);
  void end_list();
  void emit(std::string_view tag, std::string_view text) { out_(tag, text); }

  sink out_;
  enum class state { outside, head, marker, item, after_item } state_ = state::outside;
  std::vector<list_level> open_;  // one per nesting depth
  long lfo_ = -1;
  // The item being started: its tag, level and the tokens before its marker.
  std::string item_tag_, item_text_;
  int item_level_ = 0;
  long item_lfo_ = 0;
  bool has_marker_ = false;
  std::vector<std::pair<std::string, std::string>> held_;
  size_t held_bytes_ = 0;
  std::string marker_;
  bool marker_span_ = false;  // the marker is a "mso-list:Ignore" span
  int span_depth_ = 0;
  std::string between_;  // blanks after the last item, written where the list goes on
};

}  // namespace nx
