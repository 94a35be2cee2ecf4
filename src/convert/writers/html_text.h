// Text and markup as pure-ASCII HTML: what the writers emit, and what the
// word-processor engine's pages are turned into.
#pragma once
#include <string>
#include <string_view>

namespace nx {

// Appends one character as HTML text: "<", ">", "&" and '"' as entities,
// everything outside ASCII as a numeric character reference, control
// characters other than tab, CR and LF dropped.
void append_html_char(std::string& out, char32_t c);
void append_html_text(std::string& out, std::u32string_view text);
// Same for UTF-8 input.
void append_html_utf8(std::string& out, std::string_view utf8);
// Percent-encodes a file name for a relative URL: everything but ASCII
// letters, digits and "-_.~".
std::string url_path(std::string_view name);
// Percent-encodes what a URL may not hold as it stands (controls, space,
// quotes, "<>\\^`{|}", bytes outside ASCII); "%" and the URL's own marks
// stay, so an address already encoded is kept as it is.
std::string url_href(std::string_view href);
// Rewrites UTF-8 HTML markup so that every non-ASCII character becomes a
// numeric character reference; ASCII bytes pass unchanged.
std::string ascii_html(std::string_view utf8_html);

}  // namespace nx
