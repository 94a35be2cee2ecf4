// One reading of a document: what a reader is asked for, and what it says
// beside the document it fills. Every built-in reader has the shape of
// reader_fn.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "convert/model/budget.h"
#include "convert/model/document.h"

namespace nx::model {

struct document;
struct reading;

// What the readers are asked for, part of the options a conversion travels
// with (convert/options.h).
struct read_options {
  // Reads a document embedded in another (a .docx's altChunk part: HTML,
  // Rich Text, plain text, another package) by its kind; null: embedded
  // documents are left out.
  bool (*embedded)(std::string_view bytes, std::string_view name, document& doc, reading& r) = nullptr;
  bool pictures = true;   // false: pictures are left out (pages for checks and benchmarks)
  bool comments = false;  // a document's comments, with their marks and ranges; review notes stay
                          // out of a published page unless the template keeps them
};

struct reading {
  read_options options;
  // Why the document could not be read, when the reader returned false.
  std::string error;
  // What was left out of a document that was read ("the styles part is
  // damaged and was left out"): at most max_warnings, each once.
  std::vector<std::string> warnings;

  // Documents around this one that embed it; embedded ones past
  // max_embedding are left out.
  int embedding = 0;
  static constexpr int max_embedding = 4;
  // What the document may still become (model/budget.h).
  model::budget budget;

  static constexpr size_t max_warnings = 20;
  void warn(std::string text);
};

// A built-in reader: fills doc from a file's bytes; false, with the reason
// in r.error and doc empty, when the bytes are no document it can read.
using reader_fn = bool (*)(std::string_view bytes, document& doc, reading& r);

}  // namespace nx::model
