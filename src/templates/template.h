// The cleaning template record and its file format.
#pragma once
#include <string>
#include <vector>

namespace nx {

using string_list = std::vector<std::string>;

struct cTemplate {
  string_list colTags_comment;
  string_list colAttr_comment;
  string_list colEmpty_comment;
  string_list colRemove_comment;
  string_list colTags;     // tags to clean (dropped with the text after them)
  string_list colAttr;     // attributes to remove
  string_list colEmpty;    // tags to remove when empty
  string_list colFind;
  string_list colReplace;
  string_list colRemove;   // tags to remove (their text stays)
  std::string strTarget;
  std::string strQuotation;
  std::string TempDescription;
  bool blnRebuildLists = false;  // Word list paragraphs become <ul>/<ol>
  bool blnSafeHtml = false;      // scripts and active content removed after the rules
  bool blnKeepComments = false;  // the built-in converter writes a document's comments at the end
  bool operator==(const cTemplate&) const = default;
};

inline constexpr const char* default_template_name = "1 Clean keep formatting (Default)";
inline constexpr const char* default_template_note =
    "Please note: you can not edit the default template, please duplicate it, and then edit it "
    "to suit your needs.";

cTemplate default_template();

// [TEMPLATE] key REBUILD_LISTS: "1" is on; missing or anything else off.
inline constexpr const char* rebuild_lists_key = "REBUILD_LISTS";
// [TEMPLATE] key SAFE_HTML: "1" is on; missing or anything else off.
inline constexpr const char* safe_html_key = "SAFE_HTML";
// [TEMPLATE] key KEEP_COMMENTS: the same; off leaves comments out of the page.
inline constexpr const char* keep_comments_key = "KEEP_COMMENTS";

// The user's templates: user_folder() + "templates/" (the program folder's
// when portable).
std::string template_folder();
// The templates that come with the program: program folder + "templates/".
// The same folder as template_folder() when portable.
std::string shipped_template_folder();
// template folder + name + ".dat"
std::string template_path(const std::string& name);
// Makes the template folder when it is missing (a fresh program folder has
// none); everything that writes a template calls it first, and reports the
// write's own failure. False when the folder is not there afterwards.
bool make_template_folder();

// The comment of a line: from its last "{" to the end, or "".
std::string get_comment(const std::string& line);
// The line before its last "{", trimmed; the line unchanged when it holds no
// "{" or only at its start.
std::string strip_comment(const std::string& line);
// The non-blank lines of the first section "[SECTION]" (header in upper
// case), each through strip_comment when strip is set, else as read. A
// missing file or section gives an empty list.
string_list read_section(const std::string& path, const std::string& section, bool strip);
string_list read_tags(const std::string& path, bool strip);
string_list read_attributes(const std::string& path, bool strip);
// The "find:" / "replace:" lines, taken whole.
string_list read_findreplace(const std::string& path);

// The template named name, from its file; an empty record when the file is
// missing or unreadable.
cTemplate load_template(const std::string& name);
// Writes the whole file for name. False when it could not be written (the
// file is then left as it was). Line breaks inside values become spaces.
bool save_template(const std::string& name, const cTemplate& t);
// The same two for a template file given by its path.
cTemplate read_template_file(const std::string& path);
bool write_template_file(const std::string& path, const cTemplate& t);
// The eight-line skeleton a new template starts as (CR LF line ends).
std::string template_skeleton();

}  // namespace nx
