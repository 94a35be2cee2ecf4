#include "convert/model/budget.h"

#include <algorithm>

#include "convert/model/document.h"

namespace nx::model {
namespace {

thread_local budget* active_budget = nullptr;

// What one item takes in memory, about twice its size where vectors and
// strings hold it (they grow by doubling).
constexpr size_t block_cost = 240, cell_cost = 96, inline_cost = 176, character_cost = 2, picture_cost = 224;

// "1234567" -> "1,234,567".
std::string grouped(size_t n) {
  std::string s = std::to_string(n);
  for (int i = int(s.size()) - 3; i > 0; i -= 3) s.insert(size_t(i), ",");
  return s;
}

}  // namespace

void budget::allow_for(size_t size) {
  limit_ = std::max(limit_, allowance + std::min(size, size_t(1) << 40) * per_byte);
}

void budget::spend(item what, size_t n, size_t bytes) {
  size_t cost = 0;
  switch (what) {
    case item::block: blocks_ += n; cost = block_cost; break;
    case item::cell: cells_ += n; cost = cell_cost; break;
    case item::inline_item: cost = inline_cost; break;
    case item::character: characters_ += n; cost = character_cost; break;
    case item::picture: pictures_ += n; cost = picture_cost; break;
    case item::tree: break;
  }
  spent_ += n * cost + bytes;
  if (pictures_ > max_pictures || spent_ > limit_) fail(what);
}

void budget::fail(item what) const {
  std::string why = "the document is too large to convert: ";
  if (what == item::picture && pictures_ > max_pictures)
    throw too_large(why + "it has more than " + grouped(max_pictures) + " pictures");
  throw too_large(why + "its " + grouped(blocks_) + " paragraphs and tables, " + grouped(cells_) + " table cells, " +
                  grouped(characters_) + " characters and " + grouped(pictures_) +
                  " pictures would take more than " + grouped(limit_ >> 20) + " MB");
}

namespace {

struct tally {
  size_t blocks = 0, cells = 0, inlines = 0, characters = 0;
  void add(const std::vector<block>& blocks_in) {
    for (const block& b : blocks_in) {
      ++blocks;
      inlines += b.para.inlines.size();
      for (const inline_item& it : b.para.inlines) characters += it.text.size() + it.guide.size();
      for (const row& r : b.tab.rows) {
        cells += r.cells.size();
        for (const cell& c : r.cells) add(c.blocks);
      }
    }
  }
};

}  // namespace

void spend_copies(const std::vector<block>& blocks, size_t copies) {
  budget* b = budget::active();
  if (!b || copies == 0) return;
  tally t;
  t.add(blocks);
  b->spend(budget::item::block, t.blocks * copies);
  b->spend(budget::item::cell, t.cells * copies);
  b->spend(budget::item::inline_item, t.inlines * copies);
  b->spend(budget::item::character, t.characters * copies);
}

budget* budget::active() { return active_budget; }

budget::scope::scope(budget& b) : outer_(active_budget) { active_budget = &b; }
budget::scope::~scope() { active_budget = outer_; }

}  // namespace nx::model
