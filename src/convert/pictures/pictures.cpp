#include "convert/pictures/pictures.h"

#include <charconv>
#include <set>

#include "convert/model/builder.h"
#include "convert/pictures/conversion.h"
#include "convert/pictures/isolation.h"

namespace nx::pictures {
namespace {

using model::picture_format;

// What a child sends back: the bytes, then "\n<width> <height> <svg|png>"
// (last, so that neither side copies the bytes to add or drop it).
void encode(converted& c, std::string& out) {
  out = std::move(c.bytes);
  out += '\n' + std::to_string(c.width) + ' ' + std::to_string(c.height) + ' ' +
         (c.format == picture_format::svg ? "svg" : "png");
}
constexpr size_t max_encoded_tail = 32;

struct converted_view {
  picture_format format = picture_format::unknown;
  std::string_view bytes;
  int width = 0, height = 0;
};

// c from message, its bytes a view into it.
bool decode(std::string_view message, converted_view& c) {
  const size_t eol = message.rfind('\n');
  if (eol == std::string::npos || message.size() - eol > max_encoded_tail) return false;
  const char* p = message.data() + eol + 1;
  const char* end = message.data() + message.size();
  auto [after_w, e1] = std::from_chars(p, end, c.width);
  if (e1 != std::errc() || after_w == end) return false;
  auto [after_h, e2] = std::from_chars(after_w + 1, end, c.height);
  if (e2 != std::errc() || after_h == end) return false;
  const std::string_view kind(after_h + 1, size_t(end - after_h - 1));
  c.format = kind == "svg" ? picture_format::svg : kind == "png" ? picture_format::png : picture_format::unknown;
  c.bytes = message.substr(0, eol);
  // The child is ours, but what it ran is not to be trusted.
  return c.width > 0 && c.height > 0 && c.format != picture_format::unknown &&
         model::picture_format_of(c.bytes) == c.format;
}

// A picture's input: "<format> <width> <height>\n", then its bytes.
bool convert_in_worker(std::string_view input, std::string& out) {
  const size_t eol = input.find('\n');
  const char* p = input.data();
  const char* end = input.data() + (eol == std::string_view::npos ? 0 : eol);
  int fields[3] = {};  // format, width, height
  for (int k = 0; k < 3; ++k) {
    auto [after, e] = std::from_chars(p, end, fields[k]);
    if (e != std::errc() || (k < 2 && after == end)) {
      out = "its converter failed";
      return false;
    }
    p = after + 1;
  }
  converted c;
  if (!convert_picture(picture_format(fields[0]), input.substr(eol + 1), fields[1], fields[2], c, out)) return false;
  encode(c, out);
  return true;
}

std::string reason(const task_result& r) {
  switch (r.end) {
    case task_end::failed: return std::string(r.output);
    case task_end::crashed: return "its converter crashed";
    case task_end::too_slow: return "it took too long";
    case task_end::too_large: return "it is too large converted";
    case task_end::not_run: return "the document's pictures took too long";
    case task_end::stopped: return "the conversion was cancelled";
    case task_end::done: break;
  }
  return "its converter failed";
}

// "image3.emf" as "image3.svg", unless another picture has that name.
std::string renamed(const std::string& name, picture_format format, const std::set<std::string>& taken) {
  const size_t dot = name.rfind('.');
  const std::string stem = name.substr(0, dot), ending = std::string(".") + model::picture_extension(format);
  std::string candidate = stem + ending;
  for (int n = 2; taken.count(candidate); ++n) candidate = stem + "-" + std::to_string(n) + ending;
  return candidate;
}

}  // namespace

void convert_pictures(model::document& doc, model::reading& r, const picture_limits& limits,
                      const std::function<bool()>& waiting) {
  std::vector<size_t> todo;
  for (size_t i = 0; i < doc.pictures.size(); ++i)
    if (needs_conversion(doc.pictures[i])) todo.push_back(i);
  if (todo.empty()) return;
  const isolation_limits isolation{limits.per_picture, limits.per_document, limits.memory,
                                   limits.output + max_encoded_tail, limits.parallel};
  std::vector<task_input> inputs;
  for (size_t i : todo) {
    const model::picture& p = doc.pictures[i];
    inputs.push_back({std::to_string(int(p.format)) + ' ' + std::to_string(p.width) + ' ' + std::to_string(p.height) + '\n',
                      p.bytes});
  }
  const task_results results = run_isolated(inputs, convert_in_worker, isolation, waiting);
  std::set<std::string> taken;
  for (const model::picture& p : doc.pictures) taken.insert(p.file_name);
  for (size_t k = 0; k < todo.size(); ++k) {
    model::picture& p = doc.pictures[todo[k]];
    converted_view c;
    const bool ok = results[k].end == task_end::done && decode(results[k].output, c);
    if (!ok) {
      r.warn("the picture " + p.file_name + " could not be converted (" +
             (results[k].end == task_end::done ? std::string("its converter failed") : reason(results[k])) + ")");
      continue;
    }
    // What a conversion adds counts against the document's budget.
    if (c.bytes.size() > p.bytes.size()) r.budget.spend(model::budget::item::picture, 0, c.bytes.size() - p.bytes.size());
    p.file_name = renamed(p.file_name, c.format, taken);
    taken.insert(p.file_name);
    p.format = c.format;
    p.converted = c.bytes;
    p.converted_memory = results.memory;
    std::string().swap(p.bytes);
    p.width = c.width;
    p.height = c.height;
  }
}

}  // namespace nx::pictures
