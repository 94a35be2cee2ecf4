#include "convert/container/zip_package.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>

#include "services/text.h"

namespace nx {
namespace {

// Inflated in steps of this size, so a limit stops a bomb early.
constexpr size_t read_step = size_t(16) << 10;

bool starts(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string_view prefix_of(std::string_view qualified) {
  size_t colon = qualified.find(':');
  return colon == std::string_view::npos ? std::string_view() : qualified.substr(0, colon);
}

struct binding {
  std::string_view prefix, uri;
  int depth;
};

// The prefix the reader expects for the namespace that prefix is bound to
// here; nullptr when it stays as it is.
const std::string_view* wanted_prefix(std::string_view prefix, const std::vector<binding>& scope,
                                      std::span<const xml_namespace> table) {
  for (auto b = scope.rbegin(); b != scope.rend(); ++b) {
    if (b->prefix != prefix) continue;
    for (const xml_namespace& ns : table)
      if (ns.uri == b->uri) return ns.prefix == prefix ? nullptr : &ns.prefix;
    return nullptr;
  }
  return nullptr;
}

std::string renamed(std::string_view prefix, std::string_view qualified) {
  std::string name(prefix);
  if (!name.empty()) name += ':';
  name += local_name(qualified);
  return name;
}

// Binds the element's namespace declarations and gives the element and its
// attributes the prefixes the reader expects.
void rename_to_expected(pugi::xml_node element, int depth, std::vector<binding>& scope,
                        std::span<const xml_namespace> table) {
  while (!scope.empty() && scope.back().depth >= depth) scope.pop_back();
  for (pugi::xml_attribute a : element.attributes()) {
    std::string_view name = a.name();
    if (name == "xmlns") scope.push_back({"", a.value(), depth});
    else if (starts(name, "xmlns:")) scope.push_back({name.substr(6), a.value(), depth});
  }
  if (const std::string_view* want = wanted_prefix(prefix_of(element.name()), scope, table))
    element.set_name(renamed(*want, element.name()).c_str());
  for (pugi::xml_attribute a : element.attributes()) {
    std::string_view prefix = prefix_of(a.name());
    if (prefix.empty() || prefix == "xmlns" || prefix == "xml") continue;
    if (const std::string_view* want = wanted_prefix(prefix, scope, table))
      a.set_name(renamed(*want, a.name()).c_str());
  }
}

// True when some namespace declaration in the text binds a listed namespace
// to another prefix than the expected one. Producers nearly always use the
// expected prefixes, and then the tree need not be walked for renaming.
bool needs_renaming(std::string_view text, std::span<const xml_namespace> table) {
  for (size_t at = text.find("xmlns"); at != std::string_view::npos; at = text.find("xmlns", at + 5)) {
    size_t eq = text.find('=', at), quote = eq == std::string_view::npos ? eq : eq + 1;
    while (quote < text.size() && (text[quote] == ' ' || text[quote] == '\t' || text[quote] == '\n' || text[quote] == '\r'))
      ++quote;
    if (quote >= text.size() || (text[quote] != '"' && text[quote] != '\'')) return true;
    size_t end = text.find(text[quote], quote + 1);
    if (end == std::string_view::npos) return true;
    std::string_view name = trim_spaces(text.substr(at, eq - at)), uri = text.substr(quote + 1, end - quote - 1);
    std::string_view prefix = name.size() > 6 && name[5] == ':' ? name.substr(6) : std::string_view();
    for (const xml_namespace& ns : table)
      if (ns.uri == uri && ns.prefix != prefix) return true;
    at = end;
  }
  return false;
}

}  // namespace

zip_package::~zip_package() {
  if (zip_) zip_discard(zip_);
  if (inflater_) libdeflate_free_decompressor(inflater_);
}

bool zip_package::has_signature(std::string_view data) {
  return starts(data, "PK\x03\x04") || starts(data, "PK\x05\x06");
}

bool zip_package::open(std::string_view data, std::string& error, const package_limits& limits) {
  limits_ = limits;
  archive_size_ = data.size();
  if (!has_signature(data)) {
    error = "the document is no package";
    return false;
  }
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* source = zip_source_buffer_create(data.data(), data.size(), 0, &ze);
  if (source) zip_ = zip_open_from_source(source, ZIP_RDONLY, &ze);
  if (!zip_) {
    if (source) zip_source_free(source);
    error = zip_error_code_zip(&ze) == ZIP_ER_MEMORY ? "the package is too large"
                                                     : "the package is damaged or incomplete";
    zip_error_fini(&ze);
    return false;
  }
  zip_error_fini(&ze);
  zip_int64_t count = zip_get_num_entries(zip_, 0);
  if (count < 0 || uint64_t(count) > limits_.max_entries) {
    error = "the package holds too many parts";
    return false;
  }
  names_.reserve(size_t(count));
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(zip_, zip_uint64_t(i), 0);
    names_.emplace_back(name ? name : "");
    exact_.emplace(names_.back(), long(i));
    folded_.emplace(to_lower(names_.back()), long(i));
  }
  return true;
}

long zip_package::index_of(std::string_view name) const {
  if (starts(name, "/")) name.remove_prefix(1);
  if (auto it = exact_.find(name); it != exact_.end()) return it->second;
  if (auto it = folded_.find(to_lower(std::string(name))); it != folded_.end()) return it->second;
  return -1;
}

bool zip_package::read(std::string_view name, std::string& out, std::string& error) {
  out.clear();
  long index = zip_ ? index_of(name) : -1;
  zip_stat_t st;
  if (index < 0 || zip_stat_index(zip_, zip_uint64_t(index), 0, &st) != 0) {
    error = "the package has no part " + std::string(name);
    return false;
  }
  if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
    error = "the document is password-protected";
    return false;
  }
  const uint64_t budget = limits_.max_total - std::min(inflated_, limits_.max_total);
  const uint64_t stored = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
  const uint64_t ratio_cap = std::max(limits_.ratio_allowance, stored * limits_.max_ratio);
  const uint64_t declared = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
  if (declared > budget) {
    error = "the package's parts are too large";
    return false;
  }
  if (read_whole(uint64_t(index), std::min(budget, ratio_cap), out)) {
    inflated_ += out.size();
    return true;
  }
  zip_file_t* file = zip_fopen_index(zip_, zip_uint64_t(index), 0);
  if (!file) {
    error = zip_error_code_zip(zip_get_error(zip_)) == ZIP_ER_NOPASSWD
                ? "the document is password-protected"
                : "the package part " + std::string(name) + " cannot be read";
    return false;
  }
  out.reserve(size_t(std::min({declared, budget, ratio_cap})));
  bool ok = true;
  for (;;) {
    char step[read_step];
    zip_int64_t got = zip_fread(file, step, read_step);
    if (got > 0) out.append(step, size_t(got));
    if (got < 0) {
      error = "the package part " + std::string(name) + " is damaged";
      ok = false;
      break;
    }
    inflated_ += uint64_t(got);
    if (out.size() > budget || out.size() > ratio_cap) {
      error = "the package part " + std::string(name) + " inflates too far";
      ok = false;
      break;
    }
    if (got == 0) break;
  }
  zip_fclose(file);
  if (!ok) std::string().swap(out);
  return ok;
}

// A deflated entry whose sizes and checksum are declared, within limit,
// inflated in one call (several times quicker than zlib's stream in
// steps). False when it cannot be: the stepwise read then takes it and says
// what is wrong.
bool zip_package::read_whole(uint64_t index, uint64_t limit, std::string& out) {
  zip_stat_t st;
  constexpr auto needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
  if (zip_stat_index(zip_, index, 0, &st) != 0 || (st.valid & needed) != needed ||
      st.comp_method != ZIP_CM_DEFLATE || st.size == 0 || st.size > limit || st.comp_size > archive_size_)
    return false;
  zip_file_t* raw = zip_fopen_index(zip_, index, ZIP_FL_COMPRESSED);
  if (!raw) return false;
  std::string packed(size_t(st.comp_size), '\0');
  const bool got = zip_fread(raw, packed.data(), st.comp_size) == zip_int64_t(st.comp_size);
  zip_fclose(raw);
  if (!got) return false;
  if (!inflater_ && !(inflater_ = libdeflate_alloc_decompressor())) return false;
  out.resize(size_t(st.size));
  size_t actual = 0;
  if (libdeflate_deflate_decompress(inflater_, packed.data(), packed.size(), out.data(), out.size(), &actual) !=
          LIBDEFLATE_SUCCESS ||
      actual != out.size() || libdeflate_crc32(0, out.data(), out.size()) != st.crc) {
    out.clear();
    return false;
  }
  return true;
}

std::string_view local_name(std::string_view qualified) {
  size_t colon = qualified.find(':');
  return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

// What the tree of text would take in memory, in the parser's node and
// attribute sizes: an element starts at each "<" that does not close one, a
// text node at each ">" that text follows, an attribute at each "=".
static size_t tree_bytes(std::string_view text) {
  constexpr size_t node_bytes = 64, attribute_bytes = 40;
  size_t nodes = 0, attributes = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    const char c = text[i], next = text[i + 1];
    nodes += (c == '<' && next != '/') || (c == '>' && next != '<');
    attributes += c == '=';
  }
  return nodes * node_bytes + attributes * attribute_bytes;
}

bool parse_xml(std::string text, xml_part& part, std::string& error,
               std::span<const xml_namespace> prefixes, xml_blanks blanks) {
  part.doc.reset();
  part.tree_bytes = tree_bytes(text);
  if (part.tree_bytes > xml_max_tree_per_byte * text.size() + xml_tree_allowance) {
    error = "the document is too large to convert: its XML has too many elements for its size";
    return false;
  }
  part.text = std::move(text);
  if (!prefixes.empty() && !needs_renaming(part.text, prefixes)) prefixes = {};
  const unsigned options = pugi::parse_default | pugi::parse_doctype |
                           (blanks == xml_blanks::all ? pugi::parse_ws_pcdata : pugi::parse_ws_pcdata_single);
  pugi::xml_parse_result result =
      part.doc.load_buffer_inplace(part.text.data(), part.text.size(), options);
  if (!result) {
    error = std::string("the XML is damaged (") + result.description() + ")";
    return false;
  }
  std::vector<binding> scope;
  int depth = 0;
  for (pugi::xml_node n = part.doc.first_child(); n;) {
    // A document type that only names an outside definition (as formula
    // objects do) is harmless: nothing is ever fetched. One with
    // declarations of its own could declare entities: refused.
    if (n.type() == pugi::node_doctype && std::string_view(n.value()).find('[') != std::string_view::npos) {
      error = "the XML declares a document type";
      return false;
    }
    if (n.type() == pugi::node_element && !prefixes.empty()) rename_to_expected(n, depth, scope, prefixes);
    if (n.first_child()) {
      n = n.first_child();
      if (++depth > xml_max_depth) {
        error = "the XML nests too deep";
        return false;
      }
      continue;
    }
    while (n && !n.next_sibling()) {
      n = n.parent();
      --depth;
    }
    if (n) n = n.next_sibling();
  }
  return true;
}

bool read_xml(zip_package& package, std::string_view name, xml_part& part, std::string& error,
              std::span<const xml_namespace> prefixes, xml_blanks blanks) {
  std::string text;
  if (!package.read(name, text, error)) return false;
  if (parse_xml(std::move(text), part, error, prefixes, blanks)) return true;
  error += " in " + std::string(name);
  return false;
}

}  // namespace nx
