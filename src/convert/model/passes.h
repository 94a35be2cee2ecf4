// Passes over a finished document model, run on every document a reader
// gives before any writer sees it.
#pragma once
#include "convert/model/document.h"
#include "convert/model/reading.h"

namespace nx::model {

// Tables nested deeper than max_table_depth become their cells' blocks,
// in reading order.
void limit_table_depth(document& doc);

// Comments leave the document with their marks and ranges; the other
// notes keep theirs.
void drop_comments(document& doc);

// Runs a reader and the passes every document gets (comments only when
// r.options asks for them): the one way a document reaches a writer. The
// reader runs within r.budget, set for bytes (model/budget.h); past it, or
// when memory runs out, the document fails with a reason.
bool read_document(reader_fn read, std::string_view bytes, document& doc, reading& r);

}  // namespace nx::model
