// Fields in the text of Word's binary formats: 0x13 opens a field, 0x14
// ends its code and starts its result, 0x15 closes it. Codes are hidden;
// results are shown, linked where the code says so (common/fields.h).
#pragma once
#include <string>
#include <vector>

#include "convert/model/document.h"

namespace nx::doc {

class field_stack {
 public:
  static constexpr size_t max_open = 64;  // deeper nesting is damage; the outermost are dropped

  // True when c is a field mark, which the stack takes. At the end of a
  // code the code is read, and a link it names joins doc.links.
  bool mark(char32_t c, model::document& doc) { return c >= begin && c <= end && take_mark(c, doc); }
  // True while c belongs to a code (of the innermost field still in its
  // code), which the stack takes.
  bool code(char32_t c);
  // The link of the innermost open result that has one; -1 for none.
  int link() const;
  // The code of an EQ field that just closed without showing a result
  // (what it shows is in its code), once; "" otherwise.
  std::string take_ended_eq() { return std::move(ended_eq_); }
  void clear() { open_.clear(); }

 private:
  static constexpr char32_t begin = 0x13, separator = 0x14, end = 0x15;
  bool take_mark(char32_t c, model::document& doc);

  struct field {
    bool result = false;
    std::string code;  // UTF-8
    int link = -1;
    bool shown = false;  // a character of its result
  };
  std::vector<field> open_;
  std::string ended_eq_;
};

}  // namespace nx::doc
