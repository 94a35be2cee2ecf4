// ZIP packages (".docx", ".odt") and the XML parts inside them, read with
// limits that hold against damaged and hostile files: libzip for the
// archive, pugixml for the XML.
//
// Contract:
// - open() fails on anything that is no readable ZIP archive (truncated,
//   corrupt central directory, too many entries).
// - read() inflates one entry whole. It stops, and fails, before the bytes
//   inflated from one package pass max_total, and when an entry grows past
//   max_ratio times its stored size (beyond a small allowance). Encrypted
//   entries are refused; damaged data (bad deflate stream, CRC mismatch)
//   fails. A failed read leaves its output empty.
// - parse_xml() never resolves, expands or fetches anything: a document
//   type with declarations of its own is refused outright, so no entity can
//   be declared, and one that names an outside definition is never
//   fetched; only the five predefined entities and character references
//   are decoded. Trees
//   nested deeper than xml_max_depth are refused, so readers may walk them
//   recursively; a tree that would take many times its text's size is
//   refused before it is built.
#pragma once
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

struct zip;

struct libdeflate_decompressor;

namespace nx {

struct package_limits {
  // A large document has a few hundred parts; more is a hostile archive.
  size_t max_entries = 10000;
  // Bytes inflated over all reads of one package.
  uint64_t max_total = uint64_t(256) << 20;
  // Entries up to this size may compress any amount (a short run of blanks
  // packs very small); larger ones inflate at most max_ratio times their
  // stored size. Real parts stay well under 30 times.
  uint64_t ratio_allowance = uint64_t(1) << 20;
  uint64_t max_ratio = 200;
};

class zip_package {
 public:
  zip_package() = default;
  ~zip_package();
  zip_package(const zip_package&) = delete;
  zip_package& operator=(const zip_package&) = delete;

  // True when the bytes start like a ZIP archive.
  static bool has_signature(std::string_view data);
  // Opens the archive held in data, which must outlive the package. False,
  // with a reason in error, when it cannot be read as a ZIP archive.
  bool open(std::string_view data, std::string& error, const package_limits& limits = {});
  // Entry names in archive order.
  const std::vector<std::string>& names() const { return names_; }
  // Entry lookup: exact name first, then without regard to ASCII case (OPC
  // part names are case-insensitive). A leading "/" is ignored.
  bool has(std::string_view name) const { return index_of(name) >= 0; }
  // Reads a whole entry. False, with a reason in error and out empty, when it
  // is missing, encrypted, damaged or over a limit.
  bool read(std::string_view name, std::string& out, std::string& error);
  // Bytes inflated so far.
  uint64_t inflated() const { return inflated_; }

 private:
  long index_of(std::string_view name) const;
  bool read_whole(uint64_t index, uint64_t limit, std::string& out);

  ::zip* zip_ = nullptr;
  libdeflate_decompressor* inflater_ = nullptr;
  size_t archive_size_ = 0;
  package_limits limits_;
  uint64_t inflated_ = 0;
  std::vector<std::string> names_;
  std::map<std::string, long, std::less<>> exact_, folded_;
};

// An XML part parsed in place: the tree points into text.
struct xml_part {
  std::string text;
  pugi::xml_document doc;
  size_t tree_bytes = 0;  // about what the tree takes in memory
  pugi::xml_node root() const { return doc.document_element(); }
};

// A namespace and the prefix a reader expects for it. Elements and
// attributes in a listed namespace are renamed to that prefix whatever the
// file calls it, so "w:p" matches a paragraph in either the transitional or
// the strict namespace, declared under any prefix. An empty prefix means
// unprefixed names.
struct xml_namespace {
  std::string_view uri, prefix;
};

// Deep enough for tables in text boxes in tables; shallow enough for a
// recursive walk on the default stack.
inline constexpr int xml_max_depth = 256;

// The parsed tree of a part takes at most this many times the part's size
// plus the allowance. Word's own parts take about five times theirs; a part
// of nothing but empty elements ("<w:p/>" over and over) would take eleven.
inline constexpr size_t xml_max_tree_per_byte = 8;
inline constexpr size_t xml_tree_allowance = size_t(32) << 20;

// Which whitespace-only text the tree keeps.
enum class xml_blanks {
  only_content,  // where it is an element's only content, as in <w:t xml:space="preserve"> </w:t>
  all,           // everywhere: in OpenDocument text a blank between two spans separates words
};

// Parses text into part. False with a reason when the text is not
// well-formed XML, declares a document type, nests too deep, or its tree
// would be too large for its size (xml_max_tree_per_byte).
bool parse_xml(std::string text, xml_part& part, std::string& error,
               std::span<const xml_namespace> prefixes = {}, xml_blanks blanks = xml_blanks::only_content);
// read() then parse_xml().
bool read_xml(zip_package& package, std::string_view name, xml_part& part, std::string& error,
              std::span<const xml_namespace> prefixes = {}, xml_blanks blanks = xml_blanks::only_content);

// The local part of a qualified name ("w:p" -> "p").
std::string_view local_name(std::string_view qualified);

}  // namespace nx
