// Text fidelity of the built-in readers: converts every ".rtf" and ".doc" of
// the sample corpus, extracts the visible text of the HTML and compares it with
// the reference text beside the file as a word-level F1 score (bag of words,
// whitespace-normalised). Prints one line per file and the mean.
//
// The notes section (footnote texts gathered at the end) is left out of the
// comparison, because the reference texts do not carry footnote texts.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "convert/html_out.h"
#include "convert/doc_reader.h"
#include "convert/rtf_reader.h"
#include "services/text.h"

namespace {

// Visible text of an HTML document: tags dropped (block tags give line
// breaks, inline tags join), head and notes left out, character references
// decoded.
struct list_state {
  bool ordered;
  int n;
  char type;
};

std::u32string visible_text(const std::string& html) {
  std::string text;
  std::vector<list_state> lists;
  size_t i = html.find("<body>");
  i = i == std::string::npos ? 0 : i + 6;
  size_t end = html.find("<div class=\"footnotes\">");
  if (end == std::string::npos) end = html.size();
  while (i < end) {
    if (html[i] == '<') {
      size_t close = html.find('>', i);
      if (close == std::string::npos) break;
      std::string name;
      for (size_t k = i + 1; k < close && html[k] != ' ' && html[k] != '>'; ++k)
        if (html[k] != '/') name += char(html[k] | 0x20);
      static const char* inline_tags[] = {"a", "b", "i", "u", "s", "sup", "sub", "span", "font", "em", "strong"};
      if (std::none_of(std::begin(inline_tags), std::end(inline_tags), [&](const char* t) { return name == t; }))
        text += ' ';
      // List markers as a browser draws them: "1." (or the list's type) and bullets.
      std::string tag = html.substr(i, close - i);
      auto attr = [&](const std::string& a) {
        size_t at = tag.find(" " + a + "=\"");
        return at == std::string::npos ? std::string() : tag.substr(at + a.size() + 3, tag.find('"', at + a.size() + 3) - at - a.size() - 3);
      };
      if (tag[1] == '/' && (name == "ol" || name == "ul") && !lists.empty()) lists.pop_back();
      if (tag[1] != '/' && (name == "ol" || name == "ul")) {
        std::string start = attr("start"), type = attr("type");
        lists.push_back({name == "ol", start.empty() ? 0 : std::atoi(start.c_str()) - 1, type.empty() ? '1' : type[0]});
      }
      if (tag[1] != '/' && name == "li" && !lists.empty()) {
        list_state& l = lists.back();
        std::string value = attr("value");
        l.n = value.empty() ? l.n + 1 : std::atoi(value.c_str());
        if (!l.ordered) text += "\xE2\x80\xA2 ";
        else if (l.type == 'a' || l.type == 'A') text += std::string(1, char(l.type + (l.n - 1) % 26)) + ". ";
        else if (l.type == 'i' || l.type == 'I') text += nx::roman_numeral(l.n, l.type == 'I') + ". ";
        else text += std::to_string(l.n) + ". ";
      }
      i = close + 1;
    } else if (html[i] == '&') {
      size_t semi = html.find(';', i);
      if (semi == std::string::npos || semi - i > 10) { text += '&'; ++i; continue; }
      std::string ent = html.substr(i + 1, semi - i - 1);
      char32_t c = 0xFFFD;
      if (ent == "lt") c = '<';
      else if (ent == "gt") c = '>';
      else if (ent == "amp") c = '&';
      else if (ent == "quot") c = '"';
      else if (!ent.empty() && ent[0] == '#') c = char32_t(std::stoul(ent.substr(1)));
      text += nx::encode_utf8(std::u32string(1, c));
      i = semi + 1;
    } else {
      text += html[i++];
    }
  }
  return nx::decode_utf8(text);
}

bool is_blank(char32_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xA0 || c == 0xFEFF ||
         (c >= 0x2000 && c <= 0x200B) || c == 0x3000;
}

std::map<std::u32string, int> words(const std::u32string& text) {
  std::map<std::u32string, int> bag;
  std::u32string w;
  for (char32_t c : text) {
    if (is_blank(c)) {
      if (!w.empty()) ++bag[w];
      w.clear();
    } else {
      w.push_back(c);
    }
  }
  if (!w.empty()) ++bag[w];
  return bag;
}

// Words found in one bag more often than in the other, with the surplus.
std::string surplus(const std::map<std::u32string, int>& a, const std::map<std::u32string, int>& b) {
  std::string out;
  for (auto& [w, n] : a) {
    auto it = b.find(w);
    int extra = n - (it == b.end() ? 0 : it->second);
    if (extra > 0 && out.size() < 600) out += " " + nx::encode_utf8(w) + (extra > 1 ? "x" + std::to_string(extra) : "");
  }
  return out;
}

double f1(const std::map<std::u32string, int>& got, const std::map<std::u32string, int>& want) {
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

// Scores every document of one corpus folder; returns the mean.
double score_folder(const std::string& dir, const std::string& ending, bool verbose) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ending) == 0) names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  double sum = 0;
  int counted = 0;
  for (const std::string& n : names) {
    std::string bytes, ref, html, error;
    if (!nx::read_file(dir + "/" + n, bytes)) continue;
    bool ok = ending == ".doc" ? nx::doc_to_html(bytes, html, error) : nx::rtf_to_html(bytes, html, error);
    if (!nx::read_file(dir + "/" + n + ".ref.txt", ref)) {
      std::printf("%-40s   -    (no reference text; %s)\n", n.c_str(), ok ? "converted" : error.c_str());
      continue;
    }
    auto got = words(visible_text(html)), want = words(nx::decode_utf8(ref));
    double score = ok ? f1(got, want) : 0.0;
    std::printf("%-40s %.4f%s\n", n.c_str(), score, ok ? "" : ("  failed: " + error).c_str());
    if (verbose && score < 1.0)
      std::printf("    missing:%s\n    extra:%s\n", surplus(want, got).c_str(), surplus(got, want).c_str());
    sum += score;
    ++counted;
  }
  if (counted > 0) std::printf("%-40s %.4f  (%d files)\n", "mean", sum / counted, counted);
  return counted > 0 ? sum / counted : 0.0;
}

}  // namespace

// Arguments: [-v] [folder]. Without a folder both corpus folders; with one,
// that folder (its name picks the reader). -v also lists the words that differ.
int main(int argc, char** argv) {
  bool verbose = argc > 1 && std::string(argv[1]) == "-v";
  if (verbose) {
    --argc;
    ++argv;
  }
  std::string corpus = NUBRIX_CORPUS_DIR;
  if (argc > 1) {
    std::string dir = argv[1];
    bool doc = dir.find("doc") != std::string::npos;
    score_folder(dir, doc ? ".doc" : ".rtf", verbose);
    return 0;
  }
  score_folder(corpus + "/rtf", ".rtf", verbose);
  std::printf("\n");
  score_folder(corpus + "/doc", ".doc", verbose);
  return 0;
}
