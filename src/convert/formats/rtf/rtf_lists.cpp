#include "convert/formats/rtf/rtf_lists.h"

#include <algorithm>
#include <map>
#include <span>

#include "convert/common/text_encoding.h"

namespace nx::rtf {

list_level level_reading::level() const {
  list_level l;
  l.format = word_number_format(nfcn >= 0 ? nfcn : nfc);
  l.start = clamp_list_start(start);
  l.restart_after = no_restart ? 0 : -1;
  l.legal = legal;
  if (!text.empty()) {
    // The text's length comes first; the ';' that ends the group is no part
    // of it, and a length beyond the text takes what there is.
    std::u32string_view body = std::u32string_view(text).substr(1);
    if (!body.empty() && body.back() == ';') body.remove_suffix(1);
    l.label = placeholder_label(body.substr(0, std::min<size_t>(text[0], body.size())));
  }
  return l;
}

void list_tables::end_list_level() {
  if (list_.levels.size() < size_t(list_levels)) list_.levels.push_back(level.level());
  level = {};
}

void list_tables::end_list() {
  lists_.define(list_.id, std::move(list_.levels));
  list_ = {};
}

void list_tables::begin_override_level() {
  ++override_.seen;
  if (override_.levels.size() < size_t(list_levels)) override_.levels.emplace_back();
}

list_tables::override_level* list_tables::current_override_level() {
  if (override_.seen == 0 || override_.seen > int(override_.levels.size())) return nullptr;
  return &override_.levels.back();
}

void list_tables::override_start() {
  if (override_level* l = current_override_level()) l->restarts = true;
}

void list_tables::override_start_at(long long start) {
  if (override_level* l = current_override_level()) l->start = start;
}

void list_tables::override_format() {
  if (override_level* l = current_override_level()) l->replaces = true;
}

void list_tables::end_override_level_format() {
  if (override_level* l = current_override_level()) l->replacement = level.level();
  level = {};
}

void list_tables::end_override() {
  if (override_.instance < 0) return;
  std::map<int, int> starts;
  std::map<int, list_level> replaced;
  for (size_t k = 0; k < override_.levels.size(); ++k) {
    const override_level& l = override_.levels[k];
    if (l.replaces && l.replacement) replaced[int(k)] = *l.replacement;
    if (l.restarts)
      starts[int(k)] = clamp_list_start(l.start ? *l.start : l.replacement ? l.replacement->start : 1);
  }
  lists_.add_instance(override_.instance, override_.list, std::move(starts), std::move(replaced));
  override_ = {};
}

namespace {

list_level pn_level(const pn_reading& pn, int level) {
  list_level l;
  bool bullet = pn.what == pn_reading::kind::bullet;
  l.format = bullet ? number_format::bullet : pn.format;
  l.start = clamp_list_start(pn.start);
  std::string before = encode_utf8(pn.before), after = encode_utf8(pn.after);
  if (bullet && before.empty() && after.empty()) before = "\xE2\x80\xA2";  // a bullet that names none
  if (!before.empty()) l.label.push_back({std::move(before), -1});
  if (!bullet) l.label.push_back({{}, level});
  if (!after.empty()) l.label.push_back({std::move(after), -1});
  return l;
}

}  // namespace

bool pn_numbering::next(const pn_reading* pn, list_item_number& out, int& level) {
  using kind = pn_reading::kind;
  if (!pn) {
    running_ = false;
    return false;
  }
  if (pn->what == kind::cont) return false;
  if (pn->what == kind::outline) {
    running_ = false;
    level = std::clamp(pn->outline, 1, list_levels) - 1;
    outline_levels_[size_t(level)] = pn_level(*pn, level);
    out = outline_.next(outline_levels_, level);
    return out.shown;
  }
  level = 0;
  list_level def = pn_level(*pn, 0);
  // A run starts afresh where it begins or changes its kind of number.
  if (!running_ || def.format != run_level_.format) run_ = list_counter();
  run_level_ = std::move(def);
  running_ = true;
  out = run_.next(std::span<const list_level>(&run_level_, 1), 0);
  return out.shown;
}

}  // namespace nx::rtf
