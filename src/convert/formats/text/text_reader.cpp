#include "convert/formats/text/text_reader.h"

#include <algorithm>

#include "convert/common/text_encoding.h"
#include "convert/detect/document_kind.h"
#include "services/text.h"

namespace nx {
namespace {

bool starts(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool is_blank(char32_t c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

bool valid_utf8(std::string_view b) {
  size_t i = 0;
  while (i < b.size()) {
    const auto c = static_cast<unsigned char>(b[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > b.size()) return false;
    // Overlong forms, surrogates and values past U+10FFFF are invalid too.
    const auto c1 = n > 1 ? static_cast<unsigned char>(b[i + 1]) : 0x80;
    if ((n == 2 && c < 0xC2) || (n == 3 && c == 0xE0 && c1 < 0xA0) || (n == 3 && c == 0xED && c1 > 0x9F) ||
        (n == 4 && c == 0xF0 && c1 < 0x90) || (n == 4 && (c > 0xF4 || (c == 0xF4 && c1 > 0x8F))))
      return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(b[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

enum class text_encoding { utf8, utf16le, utf16be, cp1252 };

// Lines to paragraphs, one character at a time: a run of non-blank lines is
// a paragraph, its line ends kept as breaks. Only the blanks that start a
// line wait until the line shows whether it is blank.
class paragraphs {
 public:
  explicit paragraphs(model::block_sink& sink) : sink_(sink) {}
  void put(char32_t c) {
    if (c == '\n' && after_cr_) {
      after_cr_ = false;
      return;
    }
    after_cr_ = c == '\r';
    if (c == '\r' || c == '\n') {
      end_line();
      return;
    }
    if (!line_shown_) {
      if (is_blank(c)) {
        blanks_ += char(c);
        return;
      }
      if (in_paragraph_) {
        flush_text();
        model::inline_item br;
        br.kind = model::inline_kind::line_break;
        para_.para.inlines.push_back(std::move(br));
      }
      in_paragraph_ = line_shown_ = true;
      text_ += blanks_;
      blanks_.clear();
    }
    append_utf8(text_, c);
  }
  void finish() {
    if (!blanks_.empty()) end_line();  // a last line of blanks
    end_paragraph();
  }

 private:
  void flush_text() {
    if (text_.empty()) return;
    model::inline_item it;
    it.text = std::move(text_);
    text_.clear();
    para_.para.inlines.push_back(std::move(it));
  }
  void end_paragraph() {
    if (!in_paragraph_) return;
    flush_text();
    sink_.block(std::move(para_));
    para_ = model::block();
    in_paragraph_ = false;
  }
  void end_line() {
    if (!line_shown_) end_paragraph();
    line_shown_ = false;
    blanks_.clear();
  }
  model::block_sink& sink_;
  model::block para_;
  std::string text_, blanks_;
  bool in_paragraph_ = false, line_shown_ = false, after_cr_ = false;
};

class collect : public model::block_sink {
 public:
  explicit collect(std::vector<model::block>& into) : into_(into) {}
  void block(model::block&& b) override {
    model::spend(model::budget::item::block);
    model::spend(model::budget::item::inline_item, b.para.inlines.size());
    for (const model::inline_item& it : b.para.inlines) model::spend(model::budget::item::character, it.text.size());
    into_.push_back(std::move(b));
  }

 private:
  std::vector<model::block>& into_;
};

}  // namespace

void read_text(std::string_view bytes, model::block_sink& sink) {
  text_encoding enc = text_encoding::cp1252;
  if (starts(bytes, "\xEF\xBB\xBF")) {
    bytes.remove_prefix(3);
    enc = text_encoding::utf8;
  } else if (starts(bytes, "\xFF\xFE") || starts(bytes, "\xFE\xFF")) {
    enc = bytes[0] == '\xFF' ? text_encoding::utf16le : text_encoding::utf16be;
    bytes.remove_prefix(2);
  } else if (int order = utf16_without_mark(bytes)) {
    enc = order == 1 ? text_encoding::utf16le : text_encoding::utf16be;
  } else if (valid_utf8(bytes)) {
    enc = text_encoding::utf8;
  }
  // Decoded a piece at a time, never splitting a character.
  constexpr size_t piece = size_t(1) << 16;
  paragraphs out(sink);
  for (size_t at = 0; at < bytes.size();) {
    size_t end = std::min(bytes.size(), at + piece);
    std::u32string chars;
    switch (enc) {
      case text_encoding::utf8:
        while (end < bytes.size() && end > at && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
        chars = decode_utf8(bytes.substr(at, end - at));
        break;
      case text_encoding::utf16le:
      case text_encoding::utf16be: {
        const bool big = enc == text_encoding::utf16be;
        if (end < bytes.size()) {
          end -= (end - at) % 2;
          // Keep a high surrogate with its partner.
          const auto hi = static_cast<unsigned char>(bytes[end - (big ? 2 : 1)]);
          if (hi >= 0xD8 && hi <= 0xDB) end -= 2;
        }
        chars = decode_utf16(bytes.substr(at, end - at), big);
        break;
      }
      case text_encoding::cp1252: chars = decode_codepage(bytes.substr(at, end - at), 1252); break;
    }
    for (char32_t c : chars) out.put(c);
    at = end;
  }
  out.finish();
}

bool read_text(std::string_view bytes, model::document& doc, model::reading&) {
  collect sink(doc.body);
  read_text(bytes, sink);
  return true;
}

}  // namespace nx
