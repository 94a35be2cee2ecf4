#include <gtest/gtest.h>

#include "convert/common/fields.h"

using namespace nx;

TEST(Fields, CodesGiveTheirLinks) {
  const std::pair<const char*, const char*> cases[] = {
      {" HYPERLINK \"http://a.example/x y\" \\o \"tip\" ", "http://a.example/x y"},
      {"hyperlink \\l \"mark\"", "#mark"},
      {"HYPERLINK \\n \"http://b.example\" \\l top", "http://b.example#top"},  // \n takes no argument
      {"HYPERLINK \"C:\\\\dir\\\\a \\\"b\\\".doc\"", "C:\\dir\\a \"b\".doc"},
      {"REF _Ref12 \\h \\* MERGEFORMAT", "#_Ref12"},
      {"PAGEREF _Toc1 \\h", "#_Toc1"},
      {"REF _Ref12", ""},  // no \h: a plain result
      {"TOC \\o \"1-3\" \\h", ""},
      {"", ""},
      {"HYPERLINK \"unterminated", "unterminated"},
  };
  for (const auto& [code, want] : cases) EXPECT_EQ(field_link(parse_field(code)), want) << code;
  field_code eq = parse_field("EQ \\o\\ad(\\s\\up 9(a),b)");
  EXPECT_EQ(eq.kind, field_kind::eq);
  EXPECT_EQ(eq.rest, "\\o\\ad(\\s\\up 9(a),b)");
  EXPECT_EQ(parse_field(std::string(100000, '"')).kind, field_kind::other);
}
