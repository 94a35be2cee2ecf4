#include "convert/formats/doc/doc_fields.h"

#include "convert/common/fields.h"
#include "services/text.h"

namespace nx::doc {

bool field_stack::take_mark(char32_t c, model::document& doc) {
  if (c == begin) {
    open_.emplace_back();
    if (open_.size() > max_open) open_.erase(open_.begin());
  } else if (c == separator) {
    if (!open_.empty() && !open_.back().result) {
      field& f = open_.back();
      f.result = true;
      field_code code = parse_field(f.code);
      std::string href = field_link(code);
      if (!href.empty()) {
        doc.links.push_back({std::move(href)});
        f.link = int(doc.links.size()) - 1;
      }
      if (code.kind != field_kind::eq) f.code = std::string();
    }
  } else if (!open_.empty()) {
    field& f = open_.back();
    if (!f.shown && parse_field(f.code).kind == field_kind::eq) ended_eq_ = std::move(f.code);
    open_.pop_back();
  }
  return true;
}

bool field_stack::code(char32_t c) {
  if (!open_.empty() && open_.back().result) open_.back().shown = true;
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
    if (it->result) continue;
    // A control character separates words.
    if (it->code.size() < max_field_code) append_utf8(it->code, c < 0x20 ? U' ' : c);
    return true;
  }
  return false;
}

int field_stack::link() const {
  for (auto it = open_.rbegin(); it != open_.rend(); ++it)
    if (it->link >= 0) return it->link;
  return -1;
}

}  // namespace nx::doc
