// The safe-page pass: an allow-list sanitiser over a cleaned page, so that
// nothing in it runs when a browser opens it.
//
// Kept: document HTML elements, MathML presentation elements and SVG
// drawing elements, with their attributes, except:
// - script, style, iframe, frame(set), object, embed, applet, base, form
//   controls, template, noscript (and the like) go with their content;
//   other elements outside the list go, their content stays;
// - every on* attribute, srcdoc, formaction, and a style attribute holding
//   script (expression(), javascript:, behavior, bindings, imports);
// - a URL attribute (href, src, action, background, cite, poster,
//   xlink:href, data, ...) is kept only when, after entities are decoded
//   and control characters and whitespace are stripped as browsers do,
//   it is http, https, mailto, ftp, tel, relative or "#" (and
//   data:image/png|jpeg|gif|webp on img);
// - a meta refresh (any http-equiv but content-type) goes;
// - comments, "<?", CDATA and every "<!" but a doctype go.
// Every "<" of the text that starts no kept tag becomes "&lt;", and a tag
// a browser would read otherwise than the tokenizer (unclosed quotes,
// stray characters) is written out afresh from its attributes or dropped,
// so the browser reads exactly the tags kept here. A tag kept whole is
// written as it came.
#pragma once
#include <string>
#include <string_view>

namespace nx {

std::string sanitize_html(std::string_view html);

// Whether a URL attribute's value (as written, entities and all) is one
// the sanitiser keeps; data_images: the element is an img.
bool is_safe_url(std::string_view value, bool data_images);

}  // namespace nx
