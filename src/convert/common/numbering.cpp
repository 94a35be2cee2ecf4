#include "convert/common/numbering.h"

#include <algorithm>
#include <utility>

#include "services/text.h"

namespace nx {

std::string roman_numeral(int n, bool upper) {
  static const std::pair<int, const char*> parts[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"},
                                                      {100, "c"},  {90, "xc"},  {50, "l"},  {40, "xl"},
                                                      {10, "x"},   {9, "ix"},   {5, "v"},   {4, "iv"},
                                                      {1, "i"}};
  std::string s;
  for (auto& [v, t] : parts)
    while (n >= v && s.size() < 40) { s += t; n -= v; }
  if (upper)
    for (char& c : s) c = char(c - 32);
  return s;
}

number_format word_number_format(int nfc) {
  switch (nfc) {
    case 1: return number_format::upper_roman;
    case 2: return number_format::lower_roman;
    case 3: return number_format::upper_letter;
    case 4: return number_format::lower_letter;
    case 22: return number_format::decimal_zero;
    case 23: return number_format::bullet;
    case 255: return number_format::none;
    default: return number_format::decimal;
  }
}

number_format ooxml_number_format(std::string_view name) {
  if (name == "bullet") return number_format::bullet;
  if (name == "none") return number_format::none;
  if (name == "lowerRoman") return number_format::lower_roman;
  if (name == "upperRoman") return number_format::upper_roman;
  if (name == "lowerLetter") return number_format::lower_letter;
  if (name == "upperLetter") return number_format::upper_letter;
  if (name == "decimalZero") return number_format::decimal_zero;
  return number_format::decimal;
}

number_format odf_number_format(std::string_view format) {
  if (format.empty()) return number_format::none;
  switch (format[0]) {
    case 'a': return number_format::lower_letter;
    case 'A': return number_format::upper_letter;
    case 'i': return number_format::lower_roman;
    case 'I': return number_format::upper_roman;
    default: return number_format::decimal;
  }
}

model::list_format list_format_of(number_format f) {
  switch (f) {
    case number_format::lower_roman: return model::list_format::lower_roman;
    case number_format::upper_roman: return model::list_format::upper_roman;
    case number_format::lower_letter: return model::list_format::lower_alpha;
    case number_format::upper_letter: return model::list_format::upper_alpha;
    case number_format::bullet:
    case number_format::none: return model::list_format::bullet;
    default: return model::list_format::decimal;
  }
}

int clamp_list_start(long long start) { return int(std::clamp<long long>(start, 0, max_list_start)); }

std::string format_number(int n, number_format f) {
  switch (f) {
    case number_format::bullet:
    case number_format::none: return "";
    case number_format::lower_roman:
    case number_format::upper_roman:
      return n > 0 && n < 4000 ? roman_numeral(n, f == number_format::upper_roman) : std::to_string(n);
    case number_format::lower_letter:
    case number_format::upper_letter: {
      if (n < 1) return std::to_string(n);
      char letter = char((f == number_format::upper_letter ? 'A' : 'a') + (n - 1) % 26);
      return std::string(size_t(std::min((n - 1) / 26 + 1, max_letters)), letter);
    }
    case number_format::decimal_zero: return (n >= 0 && n < 10 ? "0" : "") + std::to_string(n);
    case number_format::decimal: break;
  }
  return std::to_string(n);
}

std::vector<label_part> percent_label(std::string_view text) {
  std::vector<label_part> out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      out.push_back({{}, text[++i] - '1'});
    } else {
      if (out.empty() || out.back().level >= 0) out.emplace_back();
      out.back().text += text[i];
    }
  }
  return out;
}

std::vector<label_part> placeholder_label(std::u32string_view text) {
  std::vector<label_part> out;
  for (char32_t c : text) {
    if (c < 9) {
      out.push_back({{}, int(c)});
    } else if (c >= 0x20) {
      if (out.empty() || out.back().level >= 0) out.emplace_back();
      append_utf8(out.back().text, c);
    }
  }
  return out;
}

std::vector<label_part> odf_label(std::string_view prefix, int level, int shown, std::string_view suffix) {
  std::vector<label_part> out;
  if (!prefix.empty()) out.push_back({std::string(prefix), -1});
  shown = std::clamp(shown, 1, level + 1);
  for (int k = level - shown + 1; k <= level; ++k) {
    if (k > level - shown + 1) out.push_back({".", -1});
    out.push_back({{}, k});
  }
  if (!suffix.empty()) out.push_back({std::string(suffix), -1});
  return out;
}

int list_counter::current(std::span<const list_level> levels, int level) const {
  return counts_[size_t(level)] == not_started ? levels[size_t(level)].start : counts_[size_t(level)];
}

list_item_number list_counter::next(std::span<const list_level> levels, int level) {
  list_item_number out;
  if (level < 0 || level >= int(levels.size()) || level >= max_list_levels) {
    out.shown = false;
    return out;
  }
  const list_level& def = levels[size_t(level)];
  int& count = counts_[size_t(level)];
  count = count == not_started ? def.start : std::min(count + 1, max_list_start * 1000);
  for (size_t d = size_t(level) + 1; d < levels.size() && d < counts_.size(); ++d) {
    int restart = levels[d].restart_after;
    if (restart < 0 || (restart > 0 && level < restart)) counts_[d] = not_started;
  }
  out.kind = list_format_of(def.format);
  out.number = out.kind == model::list_format::bullet ? 0 : count;
  out.shown = def.format != number_format::none && !def.label.empty();
  for (const label_part& part : def.label) {
    if (part.level < 0) {
      out.label += part.text;
    } else if (part.level < int(levels.size()) && part.level < max_list_levels) {
      number_format f = def.legal && part.level < level ? number_format::decimal : levels[size_t(part.level)].format;
      out.label += format_number(current(levels, part.level), f);
    }
    if (out.label.size() >= max_label) break;
  }
  if (out.label.size() > max_label) {
    out.label.resize(max_label);
    // Never end inside a UTF-8 sequence.
    while (!out.label.empty() && (static_cast<unsigned char>(out.label.back()) & 0xC0) == 0x80) out.label.pop_back();
    if (!out.label.empty() && static_cast<unsigned char>(out.label.back()) >= 0xC0) out.label.pop_back();
  }
  return out;
}

void list_counter::restart(int level, int value) {
  if (level >= 0 && level < max_list_levels) counts_[size_t(level)] = clamp_list_start(value) - 1;
}

void word_lists::define(int definition, std::vector<list_level> levels) {
  if (levels.size() > size_t(max_list_levels)) levels.resize(size_t(max_list_levels));
  definitions_[definition] = {std::move(levels), {}};
}

void word_lists::add_instance(int instance, int definition, std::map<int, int> start_overrides,
                              std::map<int, list_level> level_overrides) {
  instances_[instance] = {definition, std::move(start_overrides), std::move(level_overrides), false};
}

bool word_lists::next(int instance_id, int level, list_item_number& out) {
  auto it = instances_.find(instance_id);
  if (it == instances_.end()) return false;
  instance& inst = it->second;
  auto def = definitions_.find(inst.definition);
  if (def == definitions_.end() || level < 0 || size_t(level) >= def->second.levels.size()) return false;
  definition& d = def->second;
  if (!inst.used) {
    inst.used = true;
    for (auto [k, start] : inst.start_overrides) d.counter.restart(k, start);
  }
  if (inst.level_overrides.empty()) {
    out = d.counter.next(d.levels, level);
  } else {
    std::vector<list_level> levels = d.levels;
    for (const auto& [k, l] : inst.level_overrides)
      if (k >= 0 && size_t(k) < levels.size()) levels[size_t(k)] = l;
    out = d.counter.next(levels, level);
  }
  return true;
}

}  // namespace nx
