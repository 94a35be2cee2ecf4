#include "convert/formats/doc/word2_reader.h"

#include <algorithm>
#include <map>
#include <memory>

#include "convert/common/text_encoding.h"
#include "convert/formats/doc/doc_fields.h"
#include "convert/formats/doc/doc_format.h"
#include "convert/model/builder.h"
#include "services/text.h"

namespace nx {
namespace {

using namespace model;
using doc::u16;
using doc::u32;

// Where the Word 2.0 File Information Block keeps what this reader needs.
// Its (fc, cb) pairs have 16-bit sizes, unlike later versions.
constexpr uint16_t word2_ident = 0xA5DB;
constexpr size_t fib_size = 0x140;
constexpr size_t at_lid = 0x06, at_flags = 0x0A, at_fc_min = 0x18, at_fc_mac = 0x1C, at_ccp_text = 0x34,
                 at_ccp_ftn = 0x38, at_fnd_ref = 0x64, at_fnd_txt = 0x6A, at_clx = 0x118;
constexpr uint16_t flag_complex = 0x0004, flag_encrypted = 0x0100;

class reader {
 public:
  reader(std::string_view file, document& doc) : file_(file), doc_(doc) {}
  bool run(std::string& error);

 private:
  void read_text();
  void story(uint32_t cp0, uint32_t cp1, std::vector<block>& out, bool main);

  std::string_view file_;
  document& doc_;
  std::u32string text_;                  // by character position
  std::map<uint32_t, size_t> note_at_;   // reference position -> footnote
};

// The characters of the document in its code page: one run from fcMin, or
// the pieces of a fast-saved file's piece table.
void reader::read_text() {
  uint32_t fc_min = u32(file_, at_fc_min), fc_mac = std::max(u32(file_, at_fc_mac), fc_min);
  int codepage = doc::codepage_for_lid(u16(file_, at_lid));
  doc::clx clx;
  bool pieces = (u16(file_, at_flags) & flag_complex) &&
                doc::read_clx(file_, u32(file_, at_clx), u16(file_, at_clx + 4), file_.size(), false, clx) &&
                !clx.pieces.empty();
  if (!pieces) {
    text_ = decode_codepage(doc::slice(file_, fc_min, fc_mac - fc_min), codepage);
    return;
  }
  for (const doc::piece& pc : clx.pieces) {
    if (pc.cp0 > text_.size()) text_.resize(pc.cp0, U' ');
    text_.resize(pc.cp0);
    text_ += decode_codepage(doc::slice(file_, pc.fc, pc.cp1 - pc.cp0), codepage);
  }
}

// Paragraphs of the characters [cp0, cp1). Field codes are hidden and
// their results shown (linked where the code says so); cell and page ends
// end paragraphs.
void reader::story(uint32_t cp0, uint32_t cp1, std::vector<block>& out, bool main) {
  cp1 = std::min<uint32_t>(cp1, uint32_t(text_.size()));
  doc::field_stack fields;
  block b;
  auto sink = std::make_unique<inline_sink>(b.para.inlines);
  auto end_paragraph = [&] {
    model::spend(model::budget::item::block);
    out.push_back(std::move(b));
    b = block();
    sink = std::make_unique<inline_sink>(b.para.inlines);
  };
  std::string utf8;
  for (uint32_t cp = cp0; cp < cp1; ++cp) {
    char32_t c = text_[cp];
    if (fields.mark(c, doc_)) continue;
    if (c == 0x0D || c == 0x07 || c == 0x0C) {
      end_paragraph();
      continue;
    }
    if (fields.code(c)) continue;
    if (main && note_at_.count(cp)) {
      sink->add(make_inline(inline_kind::note_ref, format(), -1, int(note_at_[cp])));
    } else if (c == 0x0B) {
      sink->add(make_inline(inline_kind::line_break, format(), fields.link()));
    } else if (c == 0x1E || c == 0x09 || c >= 0x20) {
      utf8.clear();
      append_utf8(utf8, c == 0x1E ? U'\u2011' : c);  // 0x1E: a non-breaking hyphen
      sink->literal(utf8, format(), fields.link());
    }
  }
  if (!b.para.inlines.empty()) end_paragraph();
}

bool reader::run(std::string& error) {
  if (file_.size() < fib_size || u16(file_, 0) != word2_ident) {
    error = "the document header is truncated";
    return false;
  }
  if (u16(file_, at_flags) & flag_encrypted) {
    error = "the document is encrypted (password-protected)";
    return false;
  }
  read_text();
  uint32_t ccp_text = std::min<uint32_t>(u32(file_, at_ccp_text), uint32_t(text_.size()));
  uint32_t ccp_ftn = u32(file_, at_ccp_ftn);
  doc::plc refs = doc::read_plc(file_, u32(file_, at_fnd_ref), u16(file_, at_fnd_ref + 4), 2);
  doc::plc texts = doc::read_plc(file_, u32(file_, at_fnd_txt), u16(file_, at_fnd_txt + 4), 0);
  for (size_t k = 0; k < refs.data.size() && k + 1 < texts.cps.size() && ccp_ftn > 0; ++k) {
    if (refs.cps[k] >= ccp_text || note_at_.count(refs.cps[k])) continue;
    note_at_[refs.cps[k]] = doc_.notes.size();
    doc_.notes.emplace_back();
    uint64_t from = uint64_t(ccp_text) + texts.cps[k], to = uint64_t(ccp_text) + std::min(texts.cps[k + 1], ccp_ftn);
    if (from < to && to <= text_.size()) story(uint32_t(from), uint32_t(to), doc_.notes.back().blocks, false);
  }
  story(0, ccp_text, doc_.body, true);
  return true;
}

}  // namespace

bool read_word2(std::string_view bytes, document& doc, model::reading& r) {
  std::string& error = r.error;
  doc = document();
  reader rd(bytes, doc);
  if (rd.run(error)) return true;
  doc = document();
  return false;
}

}  // namespace nx
