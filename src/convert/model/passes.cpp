#include "convert/model/passes.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace nx::model {
namespace {

void flatten_into(std::vector<block>& out, block&& b);

// depth: tables around these blocks.
void limit_blocks(std::vector<block>& blocks, int depth) {
  bool deep = false;
  for (const block& b : blocks) deep = deep || (b.what == block::kind::table && depth >= max_table_depth);
  if (deep) {
    std::vector<block> kept;
    for (block& b : blocks) {
      if (b.what == block::kind::table) flatten_into(kept, std::move(b));
      else kept.push_back(std::move(b));
    }
    blocks = std::move(kept);
    return;
  }
  for (block& b : blocks)
    for (row& r : b.tab.rows)
      for (cell& c : r.cells) limit_blocks(c.blocks, depth + 1);
}

void flatten_into(std::vector<block>& out, block&& b) {
  if (b.what != block::kind::table) {
    out.push_back(std::move(b));
    return;
  }
  for (row& r : b.tab.rows)
    for (cell& c : r.cells)
      for (block& inner : c.blocks) flatten_into(out, std::move(inner));
}

void drop_comment_marks(std::vector<block>& blocks, const std::vector<int>& renumber) {
  for (block& b : blocks) {
    if (b.what == block::kind::table) {
      for (row& r : b.tab.rows)
        for (cell& c : r.cells) drop_comment_marks(c.blocks, renumber);
      continue;
    }
    auto refers = [&](const inline_item& it) {
      return (it.kind == inline_kind::note_ref || it.kind == inline_kind::range_start ||
              it.kind == inline_kind::range_end) &&
             it.ref >= 0 && size_t(it.ref) < renumber.size();
    };
    std::erase_if(b.para.inlines, [&](const inline_item& it) { return refers(it) && renumber[size_t(it.ref)] < 0; });
    for (inline_item& it : b.para.inlines)
      if (refers(it)) it.ref = renumber[size_t(it.ref)];
  }
}

}  // namespace

void drop_comments(document& doc) {
  if (std::none_of(doc.notes.begin(), doc.notes.end(), [](const note& n) { return n.kind == note_kind::comment; }))
    return;
  std::vector<int> renumber(doc.notes.size(), -1);
  std::vector<note> kept;
  for (size_t i = 0; i < doc.notes.size(); ++i) {
    if (doc.notes[i].kind == note_kind::comment) continue;
    renumber[i] = int(kept.size());
    kept.push_back(std::move(doc.notes[i]));
  }
  doc.notes = std::move(kept);
  drop_comment_marks(doc.body, renumber);
  for (note& n : doc.notes) drop_comment_marks(n.blocks, renumber);
}

void limit_table_depth(document& doc) {
  limit_blocks(doc.body, 0);
  for (note& n : doc.notes) limit_blocks(n.blocks, 0);
}

bool read_document(reader_fn read, std::string_view bytes, document& doc, reading& r) {
  doc = document();
  r.error.clear();
  r.budget = budget();
  r.budget.allow_for(bytes.size());
  bool ok = false;
  try {
    budget::scope counting(r.budget);
    ok = read(bytes, doc, r);
  } catch (const too_large& e) {
    r.error = e.what();
  } catch (const std::bad_alloc&) {
    r.error = "the document is too large to convert: there is not enough memory";
  }
  if (!ok) {
    doc = document();
    if (r.error.empty()) r.error = "the document cannot be read";
    return false;
  }
  limit_table_depth(doc);
  if (!r.options.comments) drop_comments(doc);
  return true;
}

void reading::warn(std::string text) {
  if (warnings.size() >= max_warnings) return;
  for (const std::string& w : warnings)
    if (w == text) return;
  warnings.push_back(std::move(text));
}

}  // namespace nx::model
