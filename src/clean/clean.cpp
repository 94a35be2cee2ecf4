#include "clean/clean.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "clean/charset.h"
#include "clean/find_byte.h"
#include "clean/lists.h"
#include "clean/primitives.h"
#include "clean/sanitize.h"
#include "clean/tag_lexer.h"
#include "clean/tokenizer.h"
#include "services/files.h"
#include "services/flags.h"
#include "services/ini.h"
#include "services/text.h"
#include "templates/template.h"

namespace nx {
namespace {

constexpr size_t npos = std::string_view::npos;

struct rule_set {
  tag_patterns tags;       // dropped with the text after them
  attribute_names attrs;   // removed from every kept tag
  tag_patterns empty;      // dropped when their text is empty
  tag_patterns remove;     // the tag goes, its text stays
  // Whether an attribute name may stand at a tag's very start; only then can
  // removing attributes change a tag before its first space.
  bool attr_at_start = false;
  std::string target;
  std::string quotation;
  bool find_replace_in_use = false;
  string_list finds, replaces;
  bool rebuild_lists = false;
  bool safe_html = false;  // the sanitiser runs over the result
};

std::string_view tail(std::string_view line, size_t n) {
  return n < line.size() ? line.substr(n) : std::string_view();
}

bool names_tag_start(const string_list& names) {
  for (const std::string& n : names)
    if (trim_spaces(remove_all(n, '"')).starts_with('<')) return true;
  return false;
}

rule_set read_rules(const std::string& template_path) {
  rule_set r;
  if (template_path.empty()) {
    const cTemplate d = default_template();
    r.tags = tag_patterns(d.colTags);
    r.attrs = attribute_names(d.colAttr);
    r.attr_at_start = names_tag_start(d.colAttr);
    r.empty = tag_patterns(d.colEmpty);
    r.remove = tag_patterns(d.colRemove);
    r.target = d.strTarget;
    r.quotation = d.strQuotation;
    r.rebuild_lists = d.blnRebuildLists;
    r.safe_html = d.blnSafeHtml;
    return r;
  }
  const string_list attrs = read_attributes(template_path, true);
  r.attrs = attribute_names(attrs);
  r.attr_at_start = names_tag_start(attrs);
  r.tags = tag_patterns(read_tags(template_path, true));
  r.empty = tag_patterns(read_section(template_path, "REMOVE_EMPTY_TAGS", true));
  r.remove = tag_patterns(read_section(template_path, "REMOVE_TAGS", true));
  r.target = ini_read(template_path, "TEMPLATE", "DEFAULT_TARGET", "");
  r.quotation = ini_read(template_path, "TEMPLATE", "QUOTATION", "");
  r.rebuild_lists = ini_read(template_path, "TEMPLATE", rebuild_lists_key, "") == "1";
  r.safe_html = ini_read(template_path, "TEMPLATE", safe_html_key, "") == "1";
  const string_list lines = read_findreplace(template_path);
  r.find_replace_in_use = !lines.empty();
  for (size_t k = 0; k + 1 < lines.size(); k += 2) {
    r.finds.emplace_back(tail(lines[k], 5));      // "find:"
    r.replaces.emplace_back(tail(lines[k + 1], 8));  // "replace:"
  }
  return r;
}

bool is_break(char c) { return c == '\r' || c == '\n' || c == '\t'; }

// The first line break or tab at or after from, npos when none. Bytes
// below 14, as those three are, are looked for sixteen at a time (the last
// sixteen overlapping), in a short tag in its first and last eight or four.
size_t next_break(std::string_view s, size_t from) {
  const size_t n = s.size();
  size_t i = from;
#ifdef __SSE2__
  if (n - i >= 16) {
    const __m128i top = _mm_set1_epi8(13);
    for (;;) {
      const bool last = n - i <= 16;
      const size_t at = last ? n - 16 : i;
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + at));
      unsigned low = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, top), v)));
      low &= ~0u << (i - at);
      for (; low; low &= low - 1) {
        const size_t k = at + size_t(__builtin_ctz(low));
        if (is_break(s[k])) return k;
      }
      if (last) return npos;
      i += 16;
    }
  }
#endif
  // Whether any of the eight, or four, bytes at k is below 14.
  auto low_in_8 = [&](size_t k) {
    uint64_t w;
    std::memcpy(&w, s.data() + k, 8);
    return ((w - 0x0E0E0E0E0E0E0E0Eull) & ~w & 0x8080808080808080ull) != 0;
  };
  auto low_in_4 = [&](size_t k) {
    uint32_t w;
    std::memcpy(&w, s.data() + k, 4);
    return ((w - 0x0E0E0E0Eu) & ~w & 0x80808080u) != 0;
  };
  if (n - i >= 8 ? !low_in_8(i) && !low_in_8(n - 8) : n - i >= 4 && !low_in_4(i) && !low_in_4(n - 4)) return npos;
  for (; i < n; ++i)
    if (is_break(s[i])) return i;
  return npos;
}

// Every line break (CR LF, LF or CR) and tab in a tag becomes one space.
std::string_view join_lines(std::string_view tag, std::string& scratch) {
  size_t i = next_break(tag, 0);
  if (i == npos) return tag;
  scratch.assign(tag.substr(0, i));
  while (i != npos) {
    const size_t from = i + (tag.substr(i, 2) == "\r\n" ? 2 : 1);
    i = next_break(tag, from);
    scratch += ' ';
    scratch.append(tag.substr(from, (i == npos ? tag.size() : i) - from));
  }
  return scratch;
}

// Two line breaks in a row become one (CR LF CR LF or LF LF), in a single
// left-to-right pass.
std::string_view halve_breaks(std::string_view text, std::string& scratch) {
  size_t i = find_byte(text, '\n');
  while (i != npos && !(i + 1 < text.size() && text[i + 1] == '\n') &&
         !(i > 0 && text[i - 1] == '\r' && text.substr(i + 1, 2) == "\r\n"))
    i = find_byte(text, '\n', i + 1);
  if (i == npos) return text;
  scratch.clear();
  for (size_t k = 0; k < text.size();) {
    if (text.substr(k, 4) == "\r\n\r\n") {
      scratch += "\r\n";
      k += 4;
    } else if (text.substr(k, 2) == "\n\n") {
      scratch += '\n';
      k += 2;
    } else {
      scratch += text[k++];
    }
  }
  return scratch;
}

// The link target goes just before the tag's closing ">" or "/>"; nothing
// else in the tag changes. A link that has a target attribute, or whose
// end a browser would read inside a value, is left alone.
void add_target(std::string& tag, const std::string& target) {
  thread_local lexed_tag lx;
  if (!istarts_with(tag, "<a ") || !lex_tag(tag, lx) || !lx.complete) return;
  for (const tag_attribute& a : lx.attributes)
    if (a.name_end - a.name == 6 && istarts_with_lower(std::string_view(tag).substr(a.name), "target")) return;
  tag.insert(tag.size() - (lx.self_closing ? 2 : 1), " target=\"" + target + "\"");
}

// A single space left before the closing ">", "/>" or "-->" is taken out,
// except in a and img start tags.
void put_tag(std::string& out, std::string_view tag) {
  const size_t n = tag.size();
  // Only a space in one of the last four places can go.
  auto space_at_end = [&](size_t k) { return n >= k && tag[n - k] == ' '; };
  if (!space_at_end(2) && !space_at_end(3) && !space_at_end(4)) {
    out.append(tag);
    return;
  }
  if (tag.find(' ') == npos || tag.substr(1, 4) == "img " || tag.substr(1, 2) == "a ") {
    out.append(tag);
    return;
  }
  std::string_view close;
  size_t space_at;
  if (tag.ends_with("/>")) {
    close = "/>";
    space_at = 3;
  } else if (tag.ends_with("-->")) {
    close = "-->";
    space_at = 4;
  } else {
    close = ">";
    space_at = 2;
  }
  if (n >= space_at && tag[n - space_at] == ' ') {
    out.append(tag.substr(0, tag.rfind(' ')));
    out.append(close);
  } else {
    out.append(tag);
  }
}

// Whether a file holds ASCII bytes only (false when it cannot be read).
bool ascii_file(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string buffer(size_t(1) << 20, '\0');
  bool ascii = true;
  for (size_t n; ascii && (n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0;)
    ascii = !has_non_ascii(std::string_view(buffer.data(), n));
  const bool read = !std::ferror(f);
  std::fclose(f);
  return ascii && read;
}

class progress_reporter {
 public:
  explicit progress_reporter(iProgress* p) : p_(p) {}
  void set(int percent) {
    if (p_ && percent != last_) p_->set_progress(percent);
    last_ = percent;
  }
  void pump() {
    if (p_) p_->pump();
  }

 private:
  iProgress* p_;
  int last_ = -1;
};

}  // namespace

bool clean_html_into(const std::string& html_path, new_file& work, const std::string& template_path,
                     iProgress* progress) {
  progress_reporter bar(progress);
  bar.set(1);
  bar.pump();
  if (cancel_requested || !work.ok()) return false;

  const rule_set rules = read_rules(template_path);

  token_reader doc;
  if (!doc.open(html_path)) return false;

  // The output goes out in large pieces, unless the find/replace pass or
  // the sanitiser needs it whole.
  const bool whole = rules.find_replace_in_use || rules.safe_html;
  const size_t piece = whole ? npos : size_t(1) << 18;
  std::string out;
  out.reserve(whole ? doc.total() + doc.total() / 8 + 64 : piece + piece / 4);
  bool written = true;
  // A page read in a known encoding is written in UTF-8 and says so once it
  // holds a byte outside ASCII: the output is held up to that byte, then its
  // declarations say utf-8, or a byte-order mark goes first when it has
  // none; declarations in later pieces are changed as they go out.
  // A page of ASCII bytes only (the built-in converter's) stays ASCII unless
  // a rule adds a byte outside it: nothing to hold it back for.
  const bool rules_add_ascii =
      !has_non_ascii(rules.target) && !has_non_ascii(rules.quotation) &&
      std::none_of(rules.replaces.begin(), rules.replaces.end(), [](const std::string& r) { return has_non_ascii(r); });
  const bool stays_ascii = ascii_compatible(doc.encoding()) && rules_add_ascii && ascii_file(html_path);
  enum class utf8_mark { no, pending, done } mark =
      doc.encoding().empty() || stays_ascii ? utf8_mark::no : utf8_mark::pending;
  bool non_ascii = false;  // in the output held while pending
  auto write_out = [&] {
    if (mark == utf8_mark::pending && (non_ascii || has_non_ascii(out))) {
      if (mark_as_utf8(out)) written = written && work.write("\xEF\xBB\xBF");
      mark = utf8_mark::done;
    } else if (mark == utf8_mark::done) {
      declare_utf8(out);
    }
    written = written && work.write(out);
    out.clear();
  };
  std::string joined, tag, rewritten, text_scratch;
  bool cancelled = false;
  const bool one_mark = rules.quotation.size() == 1;

  // The rules for one token (its tag with line breaks joined). Tags of the
  // usual shape are rewritten in one pass each, the others by the rules.
  auto apply = [&](std::string_view token_tag, std::string_view token_text) {
    // The tag as the rules leave it: the token's own as long as none changes
    // it. Without "=" neither quoting nor attribute removal changes a tag.
    std::string_view cur = token_tag;
    const size_t first_eq = find_byte(token_tag, '=');
    bool has_eq = first_eq != npos, cleared = false;
    if (!rules.quotation.empty() && has_eq) {
      // Quoting changes nothing before the first value: a tag whose fate
      // shows there, dropped or its start matched by a remove pattern, is
      // not quoted.
      const size_t first_space = find_byte(token_tag, ' ');
      if (first_space < first_eq && !rules.attr_at_start && token_tag.front() == '<' && token_tag.back() == '>' &&
          (rules.target.empty() || !istarts_with(token_tag, "<a "))) {
        const int dropped = rules.tags.matches_within(token_tag, first_eq + 1);
        if (dropped == 1) return;
        cleared = dropped == 0 && rules.remove.matches(token_tag.substr(0, first_space));
      }
      if (!cleared) {
        if (!one_mark || !try_quote_attributes(token_tag, rules.quotation[0], tag))
          tag = quote_attributes(std::string(token_tag), rules.quotation);
        cur = tag;
      }
    }
    if (!rules.target.empty() && istarts_with(cur, "<a ")) {
      if (cur.data() != tag.data()) tag.assign(cur);
      add_target(tag, rules.target);
      cur = tag;
      has_eq = has_eq || find_byte(cur, '=') != npos;
    }
    if (!cleared && rules.tags.matches(cur)) return;
    const std::string_view text = halve_breaks(token_text, text_scratch);
    // Attribute removal keeps everything before the first space, so a tag
    // that a remove pattern matches there goes whatever it would remove.
    if (cleared || (!rules.attr_at_start && rules.remove.matches(cur.substr(0, find_byte(cur, ' '))))) {
      cur = {};
    } else {
      if (!rules.attrs.empty() && has_eq) {
        remove_attributes_into(rules.attrs, cur, rewritten);
        tag.swap(rewritten);
        cur = tag;
      }
      if (rules.remove.matches(cur)) cur = {};
    }
    if (text.empty() && rules.empty.matches(cur)) return;
    const size_t before = out.size();
    put_tag(out, cur);
    out.append(text);
    if (mark == utf8_mark::pending && !non_ascii)
      non_ascii = has_non_ascii(std::string_view(out).substr(before));
    if (out.size() >= piece && (mark != utf8_mark::pending || non_ascii)) write_out();
  };
  // List rebuilding comes first: it reads the styles the rules may remove.
  std::optional<list_rebuilder> lists;
  if (rules.rebuild_lists) lists.emplace(apply);

  html_token t;
  // The per cent changes only once done() reaches next_percent_at.
  const uint64_t total = doc.total();
  uint64_t next_percent_at = 0;
  for (uint64_t i = 1; doc.next(t); ++i) {
    const uint64_t done = doc.done();
    if (total == 0) {
      bar.set(100);
    } else if (done >= next_percent_at) {
      const int percent = int(std::min<uint64_t>(100, done * 100 / total));
      bar.set(percent);
      next_percent_at = ((uint64_t(percent) + 1) * total + 99) / 100;
    }
    if (i % 10 != 0) bar.pump();
    if (cancel_requested) {
      cancelled = true;
      break;
    }
    const std::string_view token_tag = join_lines(t.tag, joined);
    if (lists)
      lists->feed(token_tag, t.text);
    else
      apply(token_tag, t.text);
  }
  if (lists && !cancelled) lists->finish();
  if (doc.failed()) written = false;  // the document could not be read to its end

  if (!cancelled) {
    bar.set(100);
    bar.pump();
    cancelled = cancel_requested;
  }
  if (rules.find_replace_in_use) {
    out = find_replace_all(std::move(out), rules.finds, rules.replaces);
    out += "\r\n";
  }
  if (rules.safe_html && !cancelled) out = sanitize_html(out);
  write_out();
  return written && !cancelled;
}

std::string clean_html(const std::string& html_path, const std::string& name_path,
                       const std::string& template_path, iProgress* progress) {
  new_file work(name_path);
  if (!clean_html_into(html_path, work, template_path, progress)) return {};
  return work.release();
}

}  // namespace nx
