#include "convert/writers/text_writer.h"

#include <vector>

#include "convert/common/math.h"
#include "convert/writers/note_labels.h"

namespace nx {
namespace {

using namespace model;

class text_writer {
 public:
  text_writer(const document& doc, const text_options& options)
      : doc_(doc), options_(options), labels_(note_labels(doc)) {}

  std::string run() {
    blocks(doc_.body);
    if (!options_.notes) return std::move(out_);
    bool first = true;
    for (note_kind kind : {note_kind::footnote, note_kind::endnote, note_kind::comment}) {
      for (size_t k = 0; k < doc_.notes.size(); ++k) {
        const note& n = doc_.notes[k];
        if (n.kind != kind) continue;
        if (first) out_ += '\n';
        first = false;
        out_ += labels_[k] + ' ';
        if (!n.author.empty()) out_ += n.author + ": ";
        lead_ = true;
        current_note_ = int(k);
        blocks(n.blocks);
        current_note_ = -1;
        if (lead_) out_ += '\n';  // a note without paragraphs
        lead_ = false;
      }
    }
    return std::move(out_);
  }

 private:
  void blocks(const std::vector<block>& list) {
    for (const block& b : list) {
      if (b.what == block::kind::table) {
        for (const row& r : b.tab.rows)
          for (const cell& c : r.cells) blocks(c.blocks);
      } else {
        paragraph_line(b.para);
      }
    }
  }

  void paragraph_line(const paragraph& p) {
    if (!lead_) {
      if (p.list.list >= 0 && p.heading == 0) {
        out_.append(size_t(4 * (p.list.level + 1)), ' ');
        out_ += p.number.empty() || p.list.kind == list_format::bullet ? "\xE2\x80\xA2" : p.number;
        out_ += ' ';
      } else if (p.heading > 0 && !p.number.empty()) {
        out_ += p.number + ' ';
      }
    }
    lead_ = false;
    for (const inline_item& it : p.inlines) {
      switch (it.kind) {
        case inline_kind::text:
        case inline_kind::ruby: out_ += it.text; break;
        case inline_kind::line_break: out_ += '\n'; break;
        case inline_kind::note_ref:
          // Inside the note itself the mark is the label it starts with.
          if (it.ref >= 0 && size_t(it.ref) < labels_.size() && it.ref != current_note_) out_ += labels_[size_t(it.ref)];
          break;
        case inline_kind::math:
          if (it.ref >= 0 && size_t(it.ref) < doc_.equations.size())
            out_ += linear_math(doc_.equations[size_t(it.ref)].root);
          break;
        default: break;
      }
    }
    out_ += '\n';
  }

  const document& doc_;
  const text_options& options_;
  std::vector<std::string> labels_;
  std::string out_;
  bool lead_ = false;  // the next paragraph starts a note, after its label
  int current_note_ = -1;
};

}  // namespace

std::string write_text(const model::document& doc, const text_options& options) {
  return text_writer(doc, options).run();
}

}  // namespace nx
