// What a reader sees: converts every document of the corpus folders with the
// built-in converter and compares the page with LibreOffice's HTML of the
// same document (FILE.ref.html beside it). Both pages are rendered to text by
// the same text browser with the same options (w3m -dump), pictures and
// LibreOffice's page header and footer blocks left out, and compared as a
// word-level F1 score (bag of words).
//
// Words are runs of letters or runs of digits; punctuation and symbols
// separate words and are not counted (bullets, quotes and table rules are
// drawn differently by different writers), and each CJK ideograph or kana
// counts as a word, since those scripts do not separate words by blanks.
//
// What LibreOffice draws as a picture or hides (equations, diagram text, ruby
// guides, comments) is left out of our page too, like the pictures.
//
// Beside it, "text" scores the plain-text writer's text of the same document
// against LibreOffice's text (FILE.ref.txt) the same way: a second writer
// over the same model. LibreOffice's text leaves notes out, and so does ours
// here.
//
// Usage: nubrix_fidelity [-v] [--baseline FILE] [-o DIR] [--compare DIR] [--structure [--peer NAME=DIR]...]
//                        [FOLDER ...]
//   FOLDER     corpus folders to score (default: doc, rtf, docx and odt of
//              the corpus); every file in them but the references and notes
//   -v         also lists the words that differ
//   --baseline a saved run of this tool: each file's change is shown, and
//              the exit status is 1 when any file scores lower than there
//   -o DIR     keeps our page of each file in DIR (as FOLDER/FILE.html)
//   --compare DIR  scores another converter's pages (DIR/FOLDER/FILE.html)
//              beside ours; a missing page scores 0
//   --structure also scores the structure of the pages (structure.h): per
//              folder and category, the mean over its files of the items'
//              F1 against LibreOffice's page
//   --peer NAME=DIR  another converter's pages (DIR/FOLDER/FILE.html) whose
//              structure is scored beside ours (a missing page is an empty
//              one; a folder without any page is not scored)
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "convert/common/text_encoding.h"
#include "convert/builtin_converter.h"
#include "convert/model/passes.h"
#include "convert/writers/text_writer.h"
#include "services/text.h"
#include "../corpus_documents.h"
#include "structure.h"

namespace {

namespace fs = std::filesystem;
using bag = std::map<std::u32string, int>;

// The same text browser call for both pages: a wide page so that table
// cells do not break words, ASCII rules, UTF-8 out.
constexpr const char* render_command = "w3m -dump -cols 200 -no-graph -T text/html -I UTF-8 -O UTF-8 ";

// Removes every element that starts with open_prefix (a start tag such as
// "<div title=\"header\"") up to its matching end tag of the same name.
std::string drop_elements(const std::string& html, const std::string& open_prefix, const std::string& name) {
  std::string out;
  size_t i = 0;
  while (true) {
    size_t at = nx::ifind(html, open_prefix, i);
    if (at == std::string::npos) break;
    out.append(html, i, at - i);
    int depth = 0;
    size_t k = at;
    while (k < html.size()) {
      size_t open = nx::ifind(html, "<" + name, k), close = nx::ifind(html, "</" + name, k);
      if (close == std::string::npos) { k = html.size(); break; }
      if (open != std::string::npos && open < close) {
        ++depth;
        k = open + 1;
      } else {
        k = html.find('>', close);
        k = k == std::string::npos ? html.size() : k + 1;
        if (--depth == 0) break;
      }
    }
    i = k;
  }
  out.append(html, i);
  return out;
}

// Removes every <img ...> tag.
std::string drop_pictures(const std::string& html) {
  std::string out;
  size_t i = 0;
  for (size_t at; (at = nx::ifind(html, "<img", i)) != std::string::npos;) {
    out.append(html, i, at - i);
    size_t end = html.find('>', at);
    i = end == std::string::npos ? html.size() : end + 1;
  }
  out.append(html, i);
  return out;
}

// What LibreOffice's page draws as a picture or not at all, left out of
// ours as pictures are: equations (a picture there), ruby guides (the base
// text only), diagram text (a picture) and comments (hidden in markup
// comments there).
std::string drop_unrendered_by_reference(std::string page) {
  page = drop_elements(page, "<math", "math");
  page = drop_elements(page, "<rt>", "rt");
  page = drop_elements(page, "<p class=\"diagram\"", "p");
  page = drop_elements(page, "<sup><a href=\"#cmt", "sup");
  return drop_elements(page, "<div id=\"cmt", "div");
}

// What both measures leave out of a page: LibreOffice's page header and
// footer, and on converters' pages what LibreOffice's does not show.
std::string comparable(std::string page, bool ours) {
  page = drop_elements(page, "<div title=\"header\"", "div");
  page = drop_elements(page, "<div title=\"footer\"", "div");
  return ours ? drop_unrendered_by_reference(page) : page;
}

// The page as w3m draws it; empty when w3m cannot be run.
std::string render(const std::string& html, const std::string& work_dir, bool ours = false) {
  std::string page = comparable(drop_pictures(html), ours);
  std::string path = work_dir + "/page.html";
  if (!nx::write_file(path, page)) return {};
  std::string command = "HOME='" + work_dir + "' " + render_command + "'" + path + "' 2>/dev/null";
  std::string text;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    pclose(p);
  }
  return text;
}

bool is_ideograph(char32_t c) {
  return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x2FFFF);
}

// Letters of any script (and combining marks); not punctuation, symbols,
// private-use characters or spaces.
bool is_letter(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (c < 0xC0 || c == 0xD7 || c == 0xF7) return false;
  if (c >= 0x2000 && c <= 0x2BFF) return false;   // punctuation, symbols, arrows, box drawing
  if (c >= 0x3000 && c <= 0x303F) return false;   // CJK punctuation
  if (c >= 0xE000 && c <= 0xF8FF) return false;   // private use (symbol fonts)
  if (c >= 0xFE00 && c <= 0xFE6F) return false;   // variation selectors, small and vertical forms
  if (c >= 0xFF00 && c <= 0xFF0F) return false;   // full-width punctuation
  if (c >= 0xFFF0 && c <= 0xFFFF) return false;
  return true;
}

bool is_digit(char32_t c) { return (c >= '0' && c <= '9') || (c >= 0xFF10 && c <= 0xFF19); }

bag words(const std::string& utf8) {
  bag out;
  std::u32string w;
  bool digits = false;
  auto flush = [&] {
    if (!w.empty()) ++out[w];
    w.clear();
  };
  for (char32_t c : nx::decode_utf8(utf8)) {
    if (is_ideograph(c)) {
      flush();
      ++out[std::u32string(1, c)];
    } else if (is_digit(c) || is_letter(c)) {
      if (!w.empty() && is_digit(c) != digits) flush();
      digits = is_digit(c);
      w.push_back(c);
    } else {
      flush();
    }
  }
  flush();
  return out;
}

double f1(const bag& got, const bag& want) {
  long total_got = 0, total_want = 0, common = 0;
  for (auto& [w, n] : got) total_got += n;
  for (auto& [w, n] : want) {
    total_want += n;
    auto it = got.find(w);
    if (it != got.end()) common += std::min(n, it->second);
  }
  if (total_got == 0 && total_want == 0) return 1.0;
  if (common == 0) return 0.0;
  double p = double(common) / double(total_got), r = double(common) / double(total_want);
  return 2 * p * r / (p + r);
}

// Words found in one bag more often than in the other, with the surplus.
std::string surplus(const bag& a, const bag& b) {
  std::string out;
  for (auto& [w, n] : a) {
    auto it = b.find(w);
    int extra = n - (it == b.end() ? 0 : it->second);
    if (extra > 0 && out.size() < 600) out += " " + nx::encode_utf8(w) + (extra > 1 ? "x" + std::to_string(extra) : "");
  }
  return out;
}

// Our plain text of a document, read as the built-in converter reads it;
// empty when it cannot be read.
std::string plain_text_of(const std::string& path) {
  std::string bytes;
  if (!nx::read_file(path, bytes)) return {};
  nx::model::reader_fn read = nx::reader_for(nx::document_kind(path, bytes));
  nx::model::document doc;
  nx::model::reading r;
  r.options.pictures = false;
  if (!read || !nx::model::read_document(read, bytes, doc, r)) return {};
  nx::text_options text;
  text.notes = false;
  return nx::write_text(doc, text);
}

// name -> score of a saved run.
std::map<std::string, double> read_baseline(const std::string& path) {
  std::map<std::string, double> out;
  std::string data;
  if (!nx::read_file(path, data)) return out;
  nx::for_each_line(data, [&](std::string_view line, size_t, size_t) {
    std::string l(line);
    char name[512], score[32];
    // Only scored lines: "-" stands for a file that was not scored.
    if (std::sscanf(l.c_str(), "%511s %31s", name, score) == 2 && score[0] >= '0' && score[0] <= '9')
      out[name] = std::atof(score);
  });
  return out;
}

struct options {
  bool verbose = false;
  bool structure = false;
  std::vector<std::pair<std::string, std::string>> peers;  // name, pages folder
  std::map<std::string, double> baseline;
  std::string keep_dir;
  std::string compare_dir;  // another converter's pages, FOLDER/FILE.html
};

// Per category, F1 of ours and of each peer that made pages for the folder;
// the mean is over the categories that any page of the folder has.
void print_structure(const std::string& folder, const options& opt,
                     const std::vector<std::array<structure::tally, structure::category_count>>& tallies,
                     const std::vector<bool>& peer_seen) {
  std::printf("%-24s %8s", (folder + " structure").c_str(), "ours");
  for (const auto& [name, dir] : opt.peers) std::printf(" %8s", name.c_str());
  std::printf("\n");
  std::vector<double> sums(tallies.size(), 0);
  int categories = 0;
  for (int c = 0; c < structure::category_count; ++c) {
    bool any = false;
    for (const auto& t : tallies) any = any || t[size_t(c)].scored();
    if (!any) continue;
    ++categories;
    std::printf("  %-22s", structure::category_names[c]);
    for (size_t k = 0; k < tallies.size(); ++k) {
      const double f = tallies[k][size_t(c)].f1();
      sums[k] += f;
      if (k == 0 || peer_seen[k - 1]) std::printf(" %8.4f", f);
      else std::printf(" %8s", "n/a");
    }
    std::printf("\n");
  }
  std::printf("  %-22s", "mean");
  for (size_t k = 0; k < tallies.size(); ++k) {
    if (k == 0 || peer_seen[k - 1]) std::printf(" %8.4f", categories ? sums[k] / categories : 1.0);
    else std::printf(" %8s", "n/a");
  }
  std::printf("\n");
}

// Scores every document of one folder; true when none fell below the baseline.
bool score_folder(const std::string& dir, const options& opt, const std::string& work_dir) {
  const std::vector<std::string> names = nx::bench::corpus_documents(dir);
  std::string folder = fs::path(dir).filename().string();
  // Structure: per converter (ours, then the peers) and category.
  std::vector<std::array<structure::tally, structure::category_count>> tallies(1 + opt.peers.size());
  std::vector<bool> peer_seen(opt.peers.size(), false);
  double sum = 0, other_sum = 0, text_sum = 0;
  int scored = 0, unreadable = 0, compared = 0, at_least = 0, text_scored = 0;
  bool held = true;
  for (const std::string& n : names) {
    std::string key = folder + "/" + n;
    std::string out = work_dir + "/out.html", error, html, ref;
    fs::remove_all(work_dir + "/out_files");
    bool ok = nx::builtin_convert(dir + "/" + n, out, &error) && nx::read_file(out, html);
    bool has_ref = nx::read_file(dir + "/" + n + ".ref.html", ref);
    if (ok && !opt.keep_dir.empty()) {
      fs::create_directories(opt.keep_dir + "/" + folder);
      nx::write_file(opt.keep_dir + "/" + key + ".html", html);
    }
    if (!ok) ++unreadable;
    if (!has_ref) {
      std::printf("%-56s   -     no reference; ours: %s\n", key.c_str(), ok ? "converted" : ("unreadable: " + error).c_str());
      continue;
    }
    if (!ok) {
      std::printf("%-56s   -     unreadable: %s\n", key.c_str(), error.c_str());
      continue;
    }
    bag got = words(render(html, work_dir, true)), want = words(render(ref, work_dir));
    if (opt.structure) {
      const structure::page_structure ref_items = structure::structure_of(comparable(ref, false));
      auto tally = [&](size_t k, const std::string& page) {
        const structure::page_structure items = structure::structure_of(comparable(page, true));
        for (int c = 0; c < structure::category_count; ++c) tallies[k][size_t(c)].add(items.items[size_t(c)], ref_items.items[size_t(c)]);
      };
      tally(0, html);
      for (size_t k = 0; k < opt.peers.size(); ++k) {
        std::string page;
        if (nx::read_file(opt.peers[k].second + "/" + key + ".html", page)) peer_seen[k] = true;
        tally(k + 1, page);
      }
    }
    double score = std::round(f1(got, want) * 10000) / 10000;  // as printed, and as a baseline holds it
    std::string change;
    auto base = opt.baseline.find(key);
    if (base != opt.baseline.end()) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "  %+.4f", score - base->second);
      change = buf;
      if (score < base->second) {
        change += "  FELL";
        held = false;
      }
    }
    if (!opt.compare_dir.empty()) {
      // The other converter's page of the same file, scored the same way;
      // no page: it could not convert the file.
      std::string other;
      double other_score = 0;
      if (nx::read_file(opt.compare_dir + "/" + key + ".html", other))
        other_score = std::round(f1(words(render(other, work_dir, true)), want) * 10000) / 10000;
      char buf[64];
      std::snprintf(buf, sizeof buf, "  other %.4f%s", other_score, score >= other_score ? "" : "  BELOW");
      change += buf;
      other_sum += other_score;
      ++compared;
      at_least += score >= other_score;
    }
    std::string ref_text, text_misses;
    if (nx::read_file(dir + "/" + n + ".ref.txt", ref_text)) {
      if (ref_text.starts_with("\xEF\xBB\xBF")) ref_text.erase(0, 3);
      const auto ours = words(plain_text_of(dir + "/" + n)), theirs = words(ref_text);
      double text_score = std::round(f1(ours, theirs) * 10000) / 10000;
      char buf[32];
      std::snprintf(buf, sizeof buf, "  text %.4f", text_score);
      change += buf;
      if (opt.verbose && text_score < 1.0)
        text_misses = "    text missing:" + surplus(theirs, ours) + "\n    text extra:" + surplus(ours, theirs) + "\n";
      text_sum += text_score;
      ++text_scored;
    }
    std::printf("%-56s %.4f%s\n", key.c_str(), score, change.c_str());
    if (opt.verbose && score < 1.0)
      std::printf("    missing:%s\n    extra:%s\n", surplus(want, got).c_str(), surplus(got, want).c_str());
    if (!text_misses.empty()) std::printf("%s", text_misses.c_str());
    sum += score;
    ++scored;
  }
  std::printf("%-56s %.4f  (%d files scored, %d unreadable)\n", (folder + " mean").c_str(),
              scored ? sum / scored : 0.0, scored, unreadable);
  if (text_scored)
    std::printf("%-56s %.4f  (plain text against LibreOffice's, %d files)\n", (folder + " text mean").c_str(),
                text_sum / text_scored, text_scored);
  if (compared)
    std::printf("%-56s %.4f  (ours at least as high on %d of %d files)\n", (folder + " other's mean").c_str(),
                other_sum / compared, at_least, compared);
  if (opt.structure) print_structure(folder, opt, tallies, peer_seen);
  std::printf("\n");
  return held;
}

}  // namespace

int main(int argc, char** argv) {
  options opt;
  std::vector<std::string> folders;
  for (int k = 1; k < argc; ++k) {
    std::string a = argv[k];
    if (a == "-v") opt.verbose = true;
    else if (a == "--baseline" && k + 1 < argc) opt.baseline = read_baseline(argv[++k]);
    else if (a == "-o" && k + 1 < argc) opt.keep_dir = argv[++k];
    else if (a == "--compare" && k + 1 < argc) opt.compare_dir = argv[++k];
    else if (a == "--structure") opt.structure = true;
    else if (a == "--peer" && k + 1 < argc) {
      std::string v = argv[++k];
      size_t eq = v.find('=');
      if (eq != std::string::npos) opt.peers.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    }
    else folders.push_back(a);
  }
  if (folders.empty())
    for (const char* f : {"doc", "rtf", "docx", "odt"}) folders.push_back(std::string(NUBRIX_CORPUS_DIR) + "/" + f);
  char tmpl[] = "/tmp/nubrix-fidelity-XXXXXX";
  if (!mkdtemp(tmpl)) {
    std::perror("nubrix_fidelity");
    return 2;
  }
  std::string work_dir = tmpl;
  if (render("<p>w3m</p>", work_dir).find("w3m") == std::string::npos) {
    std::fprintf(stderr, "nubrix_fidelity: w3m cannot be run (scripts/setup installs it)\n");
    fs::remove_all(work_dir);
    return 2;
  }
  bool held = true;
  for (const std::string& f : folders) held = score_folder(f, opt, work_dir) && held;
  fs::remove_all(work_dir);
  return held ? 0 : 1;
}
