#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <csignal>
#include <random>
#include <stdexcept>
#include <thread>

#include "convert/builtin_converter.h"
#include "convert/html_check.h"
#include "convert/model/builder.h"
#include "convert/output/staged_output.h"
#include "convert/pictures/conversion.h"
#include "convert/pictures/converters.h"
#include "convert/pictures/isolation.h"
#include "convert/pictures/pictures.h"
#include "support/package_writer.h"

using namespace nx;
using model::picture_format;

namespace {

std::string fixture(const std::string& name) {
  return test::read_all(std::string(NUBRIX_TEST_DATA_DIR) + "/pictures/" + name);
}

// A picture as a reader adds it: format from the bytes, else the ending.
model::picture picture_of(const std::string& bytes, const std::string& ending, int width = 0, int height = 0) {
  model::document doc;
  model::add_picture(doc, bytes, "alt", ending);
  doc.pictures[0].width = width;
  doc.pictures[0].height = height;
  return doc.pictures[0];
}

struct rgba {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB
};

rgba decode_png(const std::string& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  rgba out;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return out;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return out;
  out.width = image.width;
  out.height = image.height;
  for (size_t k = 0; k + 2 < bytes.size(); k += 3) out.pixels.push_back(bytes[k] << 16 | bytes[k + 1] << 8 | bytes[k + 2]);
  return out;
}

std::string gzip(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, uLong(data.size())) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

void put_u32(std::string& s, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) s[at + size_t(k)] = char(v >> (8 * k));
}

// Every picture browsers cannot draw that is on its way to a page, by kind.
const std::vector<std::pair<std::string, std::string>> fixtures = {
    {"shapes.emf", "emf"}, {"shapes-plus.emf", "emf"}, {"shapes.emz", "emz"}, {"shapes.wmf", "wmf"},
    {"shapes.wmz", "wmz"}, {"no-header.wmf", "wmf"},   {"rows.bmp", "bmp"},   {"palette.dib", "dib"},
    {"rows.tif", "tif"}};

}  // namespace

TEST(PictureConversion, EveryKindBecomesSvgOrPngAtTheSizeShown) {
  struct expected {
    std::string file;
    int shown_w, shown_h;  // as the document gives it; 0: not given
    picture_format format;
    int width, height;
    std::string drawn;  // a piece of the SVG
  };
  const expected cases[] = {
      {"shapes.emf", 0, 0, picture_format::svg, 100, 100, "fill=\"#FF0000\""},  // size from the frame
      {"shapes.emf", 300, 150, picture_format::svg, 300, 150, "fill=\"#FF0000\""},  // the document's size wins
      {"shapes-plus.emf", 0, 0, picture_format::svg, 100, 100, "fill=\"#FF0000\""},
      {"shapes.emz", 0, 0, picture_format::svg, 100, 100, "fill=\"#FF0000\""},
      {"shapes.wmf", 0, 0, picture_format::svg, 100, 100, "fill:lime"},  // size from the placeable header
      {"shapes.wmf", 0, 0, picture_format::svg, 100, 100, "fill=\"none\"/>"},  // an open line is never filled
      {"shapes.wmz", 0, 0, picture_format::svg, 100, 100, "fill:lime"},
      {"no-header.wmf", 50, 30, picture_format::svg, 50, 30, "fill:lime"},  // only the document knows its size
      {"rows.bmp", 0, 0, picture_format::png, 2, 2, ""},
      {"palette.dib", 0, 0, picture_format::png, 2, 1, ""},
      {"rows.tif", 0, 0, picture_format::png, 2, 2, ""},
  };
  for (const expected& e : cases) {
    SCOPED_TRACE(e.file);
    const model::picture p = picture_of(fixture(e.file), model::file_ending(e.file), e.shown_w, e.shown_h);
    ASSERT_TRUE(pictures::needs_conversion(p));
    pictures::converted c;
    std::string why;
    ASSERT_TRUE(pictures::convert_picture(p, c, why)) << why;
    EXPECT_EQ(c.format, e.format);
    EXPECT_EQ(model::picture_format_of(c.bytes), e.format);
    EXPECT_EQ(c.width, e.width);
    EXPECT_EQ(c.height, e.height);
    if (e.format == picture_format::svg) {
      EXPECT_TRUE(c.bytes.find("<svg xmlns=\"http://www.w3.org/2000/svg\"") != std::string::npos) << c.bytes;
      EXPECT_HAS(c.bytes, "viewBox=\"0 0 ");
      EXPECT_HAS(c.bytes, " width=\"" + std::to_string(e.width) + "\" height=\"" + std::to_string(e.height) + "\"");
      EXPECT_HAS(c.bytes, e.drawn);
    }
  }
  // Pixels land where the bitmap has them: rows bottom up in a BMP, top
  // down in a TIFF, colours through a palette that the header does not count.
  auto pixels = [](const std::string& file, const std::string& ending) {
    pictures::converted c;
    std::string why;
    EXPECT_TRUE(pictures::convert_picture(picture_of(fixture(file), ending), c, why)) << why;
    return decode_png(c.bytes).pixels;
  };
  const std::vector<uint32_t> red_green_blue_white = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  EXPECT_EQ(pixels("rows.bmp", "bmp"), red_green_blue_white);
  EXPECT_EQ(pixels("rows.tif", "tif"), red_green_blue_white);
  EXPECT_EQ(pixels("palette.dib", "dib"), (std::vector<uint32_t>{0xFF0000, 0x00FF00}));
  // Browsers draw these already, or nothing here reads them.
  for (const auto& [bytes, ending] : std::vector<std::pair<std::string, std::string>>{
           {"\x89PNG\r\n", "png"}, {"<svg/>", "svg"}, {"PICT", "pct"}, {"VCLMTF", "svm"}, {"??", "bin"}})
    EXPECT_FALSE(pictures::needs_conversion(picture_of(bytes, ending))) << ending;
}

TEST(PictureConversion, MetafileBitmapsAreQuickPngsAndFontsServeTheNextMetafile) {
  pictures::converted c;
  std::string why;
  ASSERT_TRUE(pictures::convert_picture(picture_of(fixture("bitmap.emf"), "emf"), c, why)) << why;
  const std::string marker = "data:image/png;base64,";
  const size_t at = c.bytes.find(marker);
  ASSERT_NE(at, std::string::npos) << c.bytes;
  std::string png;  // base64, decoded
  uint32_t bits = 0;
  int count = 0;
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t k = at + marker.size(); k < c.bytes.size() && alphabet.find(c.bytes[k]) != std::string::npos; ++k) {
    bits = bits << 6 | uint32_t(alphabet.find(c.bytes[k]));
    if (++count % 4 == 0) png += {char(bits >> 16), char(bits >> 8), char(bits)};
  }
  if (count % 4 >= 2) png += char(bits >> (count % 4 == 2 ? 4 : 10));
  if (count % 4 == 3) png += char(bits >> 2);
  EXPECT_EQ(decode_png(png).pixels, (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));
  // libemf2svg's PNG is made at the fastest level: the zlib stream's
  // header says so (its level field, the top two bits of its second byte).
  const size_t idat = png.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  EXPECT_EQ(static_cast<unsigned char>(png[idat + 5]) >> 6, 0);
  // A WMF converts the same with the fonts an earlier one left open.
  pictures::converted first, other, again;
  ASSERT_TRUE(pictures::convert_picture(picture_of(fixture("shapes.wmf"), "wmf"), first, why)) << why;
  ASSERT_TRUE(pictures::convert_picture(picture_of(fixture("no-header.wmf"), "wmf", 50, 30), other, why)) << why;
  ASSERT_TRUE(pictures::convert_picture(picture_of(fixture("shapes.wmf"), "wmf"), again, why)) << why;
  EXPECT_EQ(first.bytes, again.bytes);
}

TEST(PictureConversion, MetafileTextIsEscapedUtf8AndTheSvgRunsNothing) {
  pictures::converted emf, wmf;
  std::string why;
  ASSERT_TRUE(pictures::convert_picture(picture_of(fixture("shapes.emf"), "emf"), emf, why)) << why;
  // The text closes the library's CDATA section and opens a script: the
  // script goes, the rest stays text.
  EXPECT_EQ(emf.bytes.find("<script"), std::string::npos) << emf.bytes;
  EXPECT_HAS(emf.bytes, " &amp; \xC3\xA9");
  // WMF text comes in the font's code page and is written as it is by the library.
  ASSERT_TRUE(pictures::convert_picture(picture_of(fixture("shapes.wmf"), "wmf"), wmf, why)) << why;
  EXPECT_HAS(wmf.bytes, ">a&lt;b &amp; c \xC3\xA9</text>");

  std::string svg =
      "<svg width=\"10\" height=\"5\" onload=\"x()\"><script>x()</script><a href=\"javascript:x()\"><rect/></a>"
      "<image xlink:href=\"http://example.org/x.png\"/><image xlink:href=\"data:image/png;base64,AA\"/>"
      "<rect style=\"fill:url( 'http://example.org/#a')\"/><rect fill=\"url(#g)\"/><foreignObject><p/></foreignObject>"
      "<style>@import 'x.css';</style><text><![CDATA[a]]><!-- c --></text><set attributeName=\"href\"/></svg>";
  pictures::detail::css_size size{20, 10};
  ASSERT_TRUE(pictures::detail::finish_svg(svg, size, why)) << why;
  for (const char* gone : {"onload", "script", "<a", "example.org", "foreignObject", "style", "CDATA", "<!--", "<set"})
    EXPECT_EQ(svg.find(gone), std::string::npos) << gone << " in " << svg;
  for (const char* kept : {"data:image/png;base64,AA", "fill=\"url(#g)\"", "<text>a</text>", "viewBox=\"0 0 10 5\"",
                           "width=\"20\" height=\"10\" preserveAspectRatio=\"none\""})
    EXPECT_HAS(svg, kept);
  std::string broken = "<svg width=\"1\" height=\"1\"><text>a<b</text></svg>";
  EXPECT_FALSE(pictures::detail::finish_svg(broken, size, why));
}

TEST(PicturePipeline, ConvertedPicturesReplaceTheirOriginalsOnThePage) {
  model::document doc;
  model::add_picture(doc, fixture("shapes.emf"), "Star", "emf");
  model::add_picture(doc, "\x89PNG\r\n\x1A\n", "", "png");
  model::add_picture(doc, "PICT data", "", "pct");
  model::add_picture(doc, fixture("rows.tif"), "", "tif");
  doc.pictures[3].width = 20;  // a size the document gave
  doc.pictures[3].height = 10;
  model::block b;
  for (int i = 0; i < 4; ++i) {
    b.para.inlines.emplace_back().kind = model::inline_kind::picture;
    b.para.inlines.back().ref = i;
  }
  doc.body.push_back(b);
  model::reading r;
  pictures::convert_pictures(doc, r);
  EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
  EXPECT_EQ(test::page_body(doc, {"f/"}),
            "<p><img src=\"f/image1.svg\" alt=\"Star\" width=\"100\" height=\"100\">"
            "<img src=\"f/image2.png\" alt=\"\"><img src=\"f/image3.pct\" alt=\"image3.pct\">"
            "<img src=\"f/image4.png\" alt=\"\" width=\"20\" height=\"10\"></p>\n");
  EXPECT_EQ(doc.pictures[2].bytes, "PICT data");
}

TEST(PicturePipeline, HostilePicturesStayLinkedWithAWarning) {
  const std::string emf = fixture("shapes.emf"), wmf = fixture("shapes.wmf");
  std::string huge_record = emf, zero_record = emf, huge_wmf_record = wmf, zero_wmf_record = wmf;
  put_u32(huge_record, 112, 0xFFFFFFF0);          // the first record after the header claims 4 GB
  put_u32(zero_record, 112, 0);                   // a record of no size: a reader that trusts it loops
  put_u32(huge_wmf_record, 22 + 12, 0x7FFFFFFF);  // the header's largest record
  put_u32(zero_wmf_record, 22 + 18, 0);
  std::string huge_bmp = fixture("rows.bmp"), huge_tif = fixture("rows.tif");
  put_u32(huge_bmp, 18, 60000);
  put_u32(huge_bmp, 22, 60000);
  huge_tif[18] = huge_tif[19] = '\xFF';  // width 65535
  huge_tif[30] = huge_tif[31] = '\xFF';  // height 65535
  std::mt19937 random(7);
  std::string garbage(4000, '\0');
  for (char& c : garbage) c = char(random());
  const std::vector<std::pair<std::string, std::string>> hostile = {
      {emf.substr(0, 150), "emf"},   {huge_record, "emf"},       {zero_record, "emf"},     {wmf.substr(0, 70), "wmf"},
      {huge_wmf_record, "wmf"},      {zero_wmf_record, "wmf"},   {huge_bmp, "bmp"},        {huge_tif, "tif"},
      {gzip(std::string(size_t(80) << 20, '\0')), "emz"},  // unpacks to 80 MB
      {garbage, "emf"},              {garbage, "wmf"},           {garbage, "tif"},         {"BM" + garbage, "bmp"}};
  model::document doc;
  for (const auto& [bytes, ending] : hostile) model::add_picture(doc, bytes, "", ending);
  const model::document before = doc;
  model::reading r;
  const auto start = std::chrono::steady_clock::now();
  pictures::convert_pictures(doc, r);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  std::string warnings;
  for (const std::string& w : r.warnings) warnings += w + "\n";
  for (size_t i = 0; i < hostile.size(); ++i) {
    EXPECT_EQ(doc.pictures[i].file_name, before.pictures[i].file_name);
    EXPECT_EQ(doc.pictures[i].bytes, before.pictures[i].bytes) << i;
    EXPECT_HAS(warnings, "the picture " + before.pictures[i].file_name + " could not be converted (");
  }
  EXPECT_HAS(warnings, "image9.emz could not be converted (it is too large unpacked)");
  EXPECT_HAS(warnings, "image7.bmp could not be converted (it is too large)");
}

TEST(PicturePipeline, SeededMutationsConvertOrStayAsTheyWere) {
  std::mt19937 random(20240607);
  model::document doc;
  for (const auto& [file, ending] : fixtures) {
    const std::string original = fixture(file);
    for (int n = 0; n < 20; ++n) {
      std::string m = original;
      switch (random() % 4) {
        case 0:  // a few bytes flipped
          for (int k = 1 + int(random() % 8); k > 0; --k) m[random() % m.size()] ^= char(1 + random() % 255);
          break;
        case 1:  // cut short
          m.resize(random() % m.size());
          break;
        case 2: {  // an extreme value over a field
          static const uint32_t extremes[] = {0, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFF};
          if (m.size() >= 4) put_u32(m, random() % (m.size() - 3), extremes[random() % 5]);
          break;
        }
        default: {  // a stretch repeated
          const size_t at = random() % m.size(), length = std::min<size_t>(1 + random() % 64, m.size() - at);
          m.insert(at, m.substr(at, length));
        }
      }
      model::add_picture(doc, m, "", ending);
    }
  }
  const model::document before = doc;
  model::reading r;
  pictures::convert_pictures(doc, r);
  size_t kept = 0;
  for (size_t i = 0; i < doc.pictures.size(); ++i) {
    const model::picture& p = doc.pictures[i];
    if (p.file_name == before.pictures[i].file_name) {
      EXPECT_EQ(p.bytes, before.pictures[i].bytes);
      kept += pictures::needs_conversion(p);
    } else {
      EXPECT_TRUE(p.format == picture_format::svg || p.format == picture_format::png) << p.file_name;
      EXPECT_EQ(model::picture_format_of(p.data()), p.format) << p.file_name;
      EXPECT_GT(p.width, 0);
      EXPECT_GT(p.height, 0);
    }
  }
  EXPECT_EQ(kept > 0, !r.warnings.empty());
}

// Inputs that are their number, for tasks that read it back.
std::vector<pictures::task_input> numbered(size_t count) {
  std::vector<pictures::task_input> inputs;
  for (size_t i = 0; i < count; ++i) inputs.push_back({std::to_string(i), {}});
  return inputs;
}
size_t number(std::string_view input) { return size_t(std::stoul(std::string(input))); }

bool sleep_forever(std::string_view, std::string&) {
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

TEST(PictureIsolation, CrashHangMemoryAndFloodEndOnlyTheirOwnWorker) {
  pictures::isolation_limits limits;
  limits.time = std::chrono::milliseconds(800);
  limits.memory = size_t(256) << 20;
  limits.output = size_t(1) << 20;
  limits.parallel = 4;
  const auto start = std::chrono::steady_clock::now();
  auto results = pictures::run_isolated(numbered(8), [](std::string_view input, std::string& out) {
    switch (number(input)) {
      case 0: out = "fine"; return true;
      case 1: out = "refused"; return false;
      case 2: std::raise(SIGSEGV); return true;
      case 3: {
        volatile bool spin = true;
        while (spin) {
        }
        return true;
      }
      case 4: std::this_thread::sleep_for(std::chrono::hours(1)); return true;
      case 5: out.assign(size_t(1) << 30, 'x'); return true;  // beyond the memory limit
      case 6: out.assign(size_t(2) << 20, 'x'); return true;  // beyond the output limit
      default: throw std::runtime_error("thrown");
    }
  }, limits);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  using pictures::task_end;
  const std::pair<task_end, std::string> expected[] = {
      {task_end::done, "fine"},        {task_end::failed, "refused"}, {task_end::crashed, ""},
      {task_end::too_slow, ""},        {task_end::too_slow, ""},      {task_end::failed, "it needs too much memory"},
      {task_end::too_large, ""},       {task_end::crashed, ""}};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(results[i].end, expected[i].first) << i;
    EXPECT_EQ(results[i].output, expected[i].second) << i;
  }
  // A worker does task after task; a task that crashes a worker an earlier
  // task left damaged gets another try in a fresh one.
  limits.parallel = 1;
  results = pictures::run_isolated(numbered(3), [](std::string_view input, std::string& out) {
    static bool damaged = false;
    if (number(input) == 1 && damaged) std::raise(SIGSEGV);
    damaged = true;
    out = std::string(input);
    return true;
  }, limits);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(results[i].end, task_end::done) << i;
  EXPECT_EQ(results[1].output, "1");
  // A worker that is done with a call does the next one's tasks; one that
  // failed does not.
  auto pid_of_worker = [](std::string_view input, std::string& out) {
    out = std::to_string(::getpid());
    return input != "refuse";
  };
  const std::string first(pictures::run_isolated({{"a", {}}}, pid_of_worker, limits)[0].output);
  EXPECT_EQ(pictures::run_isolated({{"b", {}}}, pid_of_worker, limits)[0].output, first);
  EXPECT_EQ(pictures::run_isolated({{"refuse", {}}}, pid_of_worker, limits)[0].output, first);
  EXPECT_NE(pictures::run_isolated({{"c", {}}}, pid_of_worker, limits)[0].output, first);
  // The call's total bounds everything: what has not started when it runs out never starts.
  limits.total = std::chrono::milliseconds(300);
  results = pictures::run_isolated(numbered(3), sleep_forever, limits);
  EXPECT_EQ(results[0].end, task_end::too_slow);
  EXPECT_EQ(results[2].end, task_end::not_run);
  // The caller's pump says stop (a cancelled job): nothing more runs.
  limits.total = std::chrono::seconds(60);
  int pumped = 0;
  results = pictures::run_isolated(numbered(2), sleep_forever, limits, [&] { return ++pumped < 3; });
  EXPECT_EQ(pumped, 3);
  EXPECT_EQ(results[0].end, task_end::stopped);
  EXPECT_EQ(results[1].end, task_end::stopped);
}

TEST(PictureIsolation, WorkersAndTheirMakerKilledFromOutsideAreMadeAgain) {
  pictures::isolation_limits limits;
  limits.parallel = 1;
  auto pid_of_worker = [](std::string_view, std::string& out) {
    out = std::to_string(::getpid());
    return true;
  };
  const std::string first(pictures::run_isolated({{"a", {}}}, pid_of_worker, limits)[0].output);
  // What the system's memory killer might do: every child of this process
  // (the maker and the idle worker) ends.
  std::vector<pid_t> children;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream list(task.path() / "children");
    for (pid_t pid; list >> pid;) children.push_back(pid);
  }
  ASSERT_GE(children.size(), 2u);
  for (pid_t pid : children) ::kill(pid, SIGKILL);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto again = pictures::run_isolated({{"b", {}}}, pid_of_worker, limits);
  EXPECT_EQ(again[0].end, pictures::task_end::done);
  EXPECT_NE(again[0].output, first);
}

// Around the length field's and the socket's sizes, and beyond.
constexpr size_t answer_sizes[] = {0, 1, 7, 8, 9, 65535, 65536, 65537, 300'000, size_t(1) << 20};
std::string answer(size_t call, size_t i) {
  std::string out(answer_sizes[i % std::size(answer_sizes)], '\0');
  for (size_t k = 0; k < out.size(); ++k) out[k] = char(call + i * 31 + k * 7);
  return out;
}

TEST(PictureIsolation, InputsAndAnswersOfAnySizeGoWholeAndInOrderForCallsFromTwoThreads) {
  // A file the parent holds open is no worker's.
  int held[2];
  ASSERT_EQ(::pipe(held), 0);
  pictures::isolation_limits limits;
  limits.output = size_t(1) << 20;
  limits.parallel = 2;
  const size_t count = 3 * std::size(answer_sizes);
  pictures::task_results results[2];
  auto call = [&](size_t c) {
    // Each input: "<call> <number> <held file>", then a body the size of its answer.
    std::vector<std::string> bodies;
    for (size_t i = 0; i < count; ++i) bodies.push_back(answer(c + 7, i));
    std::vector<pictures::task_input> inputs;
    for (size_t i = 0; i < count; ++i)
      inputs.push_back({std::to_string(c) + ' ' + std::to_string(i) + ' ' + std::to_string(held[0]) + '\n', bodies[i]});
    results[c] = pictures::run_isolated(inputs, [](std::string_view input, std::string& out) {
      size_t c = 0, i = 0;
      int fd = -1;
      std::sscanf(std::string(input.substr(0, input.find('\n'))).c_str(), "%zu %zu %d", &c, &i, &fd);
      struct stat st {};
      if (::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) out = "inherited";
      else if (input.substr(input.find('\n') + 1) != answer(c + 7, i)) out = "input damaged";
      else out = answer(c, i);
      return i % 5 != 4;
    }, limits);
  };
  std::thread other(call, 1);
  call(0);
  other.join();
  ::close(held[0]);
  ::close(held[1]);
  for (size_t c = 0; c < 2; ++c)
    for (size_t i = 0; i < count; ++i) {
      EXPECT_EQ(results[c][i].end, i % 5 != 4 ? pictures::task_end::done : pictures::task_end::failed) << i;
      EXPECT_TRUE(results[c][i].output == answer(c, i)) << c << " " << i;
    }
}

TEST(PicturePipeline, BuiltInConverterLinksTheSvgAndNamesWhatItLeftAlone) {
  auto drawing = [](const std::string& id, const std::string& descr) {
    return "<w:p><w:r><w:drawing><wp:inline><wp:docPr id=\"1\" descr=\"" + descr +
           "\"/><a:graphic><a:graphicData><pic:pic><pic:blipFill><a:blip r:embed=\"" + id +
           "\"/></pic:blipFill></pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p>";
  };
  auto rel = [](const std::string& id, const std::string& target) {
    return "<Relationship Id=\"" + id +
           "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" Target=\"" + target +
           "\"/>";
  };
  test::temp_dir tmp;
  const std::string source = tmp.write(
      "in.docx", test::make_docx(drawing("a", "chart") + drawing("b", ""),
                                 {{"word/media/a.emf", fixture("shapes.emf")}, {"word/media/b.emf", "junk"}},
                                 rel("a", "media/a.emf") + rel("b", "media/b.emf")));
  staged_output out(tmp.file("out.html"));
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(builtin_convert(source, out, {}, &error, &warnings)) << error;
  ASSERT_TRUE(out.place(error)) << error;
  const std::string page = test::read_all(tmp.file("out.html"));
  EXPECT_HAS(page, "<img src=\"out_files/image1.svg\" alt=\"chart\" width=\"100\" height=\"100\">");
  EXPECT_HAS(page, "<img src=\"out_files/image2.emf\" alt=\"image2.emf\">");
  EXPECT_EQ(model::picture_format_of(test::read_all(tmp.file("out_files/image1.svg"))), picture_format::svg);
  EXPECT_EQ(test::read_all(tmp.file("out_files/image2.emf")), "junk");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "the picture image2.emf could not be converted (it is damaged)");
}
