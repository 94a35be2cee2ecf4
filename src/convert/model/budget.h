// What one document may become. A small hostile file can describe a huge
// model (a table row repeated hundreds of times with a cell repeated a
// thousand times, millions of empty paragraphs): readers charge what they
// add to the model as they build it, and past the limit the reading stops
// and the document fails with "the document is too large to convert: ...",
// long before memory runs out.
//
// The limit is an estimate of the model's memory, in proportion to the
// document's size plus an allowance for small documents: a paragraph or a
// table, a cell, an inline, a character and a picture's bytes each cost
// about what they take in memory (with room for the vectors' growth), and
// so does the parsed XML of a package's main part.
// Pictures are also counted, since each becomes a file.
#pragma once
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace nx::model {

struct block;

// Thrown by budget::spend past a limit; read_document turns it into the
// reading's error.
struct too_large : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class budget {
 public:
  // tree: the parsed XML a reader builds from (bytes: its size).
  enum class item { block, cell, inline_item, character, picture, tree };

  // Memory allowed per byte of the document, and for any document: with
  // the document's own bytes, a reading stays under ten times the size
  // plus 100 MB.
  static constexpr size_t per_byte = 8;
  static constexpr size_t allowance = size_t(64) << 20;
  // Each picture becomes a file beside the page.
  static constexpr size_t max_pictures = 20000;

  // Sets the limit for a document of size bytes (for a package, its main
  // part as inflated); a larger size than before raises it.
  void allow_for(size_t size);
  // Charges n items (bytes: a picture's size); throws too_large past the
  // limit.
  void spend(item what, size_t n = 1, size_t bytes = 0);
  size_t spent() const { return spent_; }
  size_t limit() const { return limit_; }

  // The budget of the reading in progress on this thread (read_document
  // installs it while the reader runs), so that the shared model pieces
  // (inline_sink, add_picture) charge it without a parameter through every
  // reader's calls; null outside a reading.
  static budget* active();
  class scope {
   public:
    explicit scope(budget& b);
    ~scope();
    scope(const scope&) = delete;
    scope& operator=(const scope&) = delete;

   private:
    budget* outer_;
  };

 private:
  [[noreturn]] void fail(item what) const;
  size_t limit_ = allowance, spent_ = 0;
  size_t blocks_ = 0, cells_ = 0, characters_ = 0, pictures_ = 0;
};

// Charges the active budget, if any.
inline void spend(budget::item what, size_t n = 1, size_t bytes = 0) {
  if (budget* b = budget::active()) b->spend(what, n, bytes);
}

// Charges the active budget for copies more of blocks and everything in
// them (a repeated table row or cell).
void spend_copies(const std::vector<block>& blocks, size_t copies);

}  // namespace nx::model
