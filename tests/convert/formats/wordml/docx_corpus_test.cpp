#include <gtest/gtest.h>

#include <random>

#include "convert/formats/wordml/docx_reader.h"
#include "convert/container/zip_package.h"
#include "convert/builtin_converter.h"
#include "services/text.h"
#include "convert/html_check.h"
#include "support/package_writer.h"

using namespace nx;

namespace {

std::string fixture(const std::string& name) { return std::string(NUBRIX_TEST_DATA_DIR) + "/docx/" + name; }

// The fixtures, and the corpus packages of up to 100 KB when the corpus is there.
std::vector<std::string> sample_packages() {
  std::vector<std::string> paths = test::corpus_files("docx", "*.docx"), out;
  paths.insert(paths.begin(), {fixture("word-package-named.doc"), fixture("pictures.docx")});
  for (const std::string& path : paths) {
    std::string bytes;
    if (read_file(path, bytes) && bytes.size() < 100000 && zip_package::has_signature(bytes)) out.push_back(bytes);
  }
  return out;
}

}  // namespace

// An encrypted package is a compound file, which the Word reader refuses.
TEST(DocxFiles, EncryptedPackageSaysWhyAndLeavesTheOutputAlone) {
  test::temp_dir tmp;
  std::string error, keep = tmp.write("locked.html", "keep");
  EXPECT_FALSE(builtin_convert(fixture("encrypted.docx"), keep, &error));
  EXPECT_HAS(error, "password-protected");
  EXPECT_EQ(test::read_all(keep), "keep");
}

// Flipped, cut and repeated bytes, in the package and in its main part
// before packing, never crash the reader or make it hang.
TEST(DocxFiles, MutatedPackagesNeitherCrashNorHang) {
  std::vector<std::string> samples = sample_packages();
  ASSERT_FALSE(samples.empty());
  std::vector<std::string> main_parts;
  for (const std::string& s : samples) {
    zip_package p;
    std::string error, xml;
    if (p.open(s, error) && p.read("word/document.xml", xml, error)) main_parts.push_back(xml);
  }
  std::mt19937 rng(1312);
  auto mutate = [&](std::string s) {
    for (int k = std::uniform_int_distribution<int>(1, 4)(rng); k > 0 && !s.empty(); --k) {
      size_t at = std::uniform_int_distribution<size_t>(0, s.size() - 1)(rng);
      switch (rng() % 3) {
        case 0: s[at] = char(s[at] ^ (1 << (rng() % 8))); break;
        case 1: s.resize(at); break;
        default: s.insert(at, s.substr(at, std::uniform_int_distribution<size_t>(1, 64)(rng))); break;
      }
    }
    return s;
  };
  int read = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string package;
    if (i % 2 == 0 || main_parts.empty()) {
      package = mutate(samples[size_t(i / 2) % samples.size()]);
    } else {
      const std::string& xml = main_parts[size_t(i / 2) % main_parts.size()];
      package = test::make_zip({{"word/document.xml", mutate(xml), true}});
    }
    model::document doc;
    std::string error;
    if (test::read_with(read_docx, package, doc, error)) ++read;
    else EXPECT_FALSE(error.empty());
  }
  EXPECT_GT(read, 0);
}
