// WordprocessingML as .docx and Word 2003 XML both write it: the few names
// that differ between the two dialects, run and paragraph properties,
// styles with their based-on chains, and Word's lists on the one list
// engine. Elements of the main namespace are matched with the "w:" prefix.
#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "convert/common/numbering.h"
#include "convert/model/builder.h"

namespace nx::wordml {

// What a dialect calls the pieces both have.
struct dialect {
  const char* hyperlink;    // the element around a link's content
  const char* link_anchor;  // its attribute naming a bookmark
  const char* vmerge;       // a cell's vertical merge
  const char* hmerge;       // a cell's horizontal merge
  const char* list_props;   // a paragraph's list membership
  const char* list_id;      // its list instance, within list_props
  const char* footnote;     // a run's footnote: a reference, or the note itself
  const char* endnote;
  // List tables: definitions that instances refer to.
  const char* list_definition;
  const char* list_definition_id;
  const char* list_instance;
  const char* list_instance_id;
  const char* instance_definition;  // the instance's child naming its definition
  const char* number_format;        // a level's format: a name, or Word's code when format_is_code
  bool format_is_code;
  const char* legal;                // numbers of shallower levels in decimal
  const char* uses_list_style;      // a definition whose levels are a list style's
  // Elements of other namespaces (smart tags, custom XML) hold the text
  // they are wrapped around.
  bool foreign_elements_hold_content;
};

// Office Open XML (.docx): notes, comments and pictures in parts of their own.
inline constexpr dialect ooxml = {
    .hyperlink = "w:hyperlink", .link_anchor = "w:anchor", .vmerge = "w:vMerge", .hmerge = "w:hMerge",
    .list_props = "w:numPr", .list_id = "w:numId", .footnote = "w:footnoteReference", .endnote = "w:endnoteReference",
    .list_definition = "w:abstractNum", .list_definition_id = "w:abstractNumId", .list_instance = "w:num",
    .list_instance_id = "w:numId", .instance_definition = "w:abstractNumId", .number_format = "w:numFmt",
    .format_is_code = false, .legal = "w:isLgl", .uses_list_style = "w:numStyleLink",
    .foreign_elements_hold_content = false};
// Word 2003 XML: one file, notes inline where they are referenced.
inline constexpr dialect word2003 = {
    .hyperlink = "w:hlink", .link_anchor = "w:bookmark", .vmerge = "w:vmerge", .hmerge = "w:hmerge",
    .list_props = "w:listPr", .list_id = "w:ilfo", .footnote = "w:footnote", .endnote = "w:endnote",
    .list_definition = "w:listDef", .list_definition_id = "w:listDefId", .list_instance = "w:list",
    .list_instance_id = "w:ilfo", .instance_definition = "w:ilst", .number_format = "w:nfc",
    .format_is_code = true, .legal = "w:legal", .uses_list_style = "w:listStyleLink",
    .foreign_elements_hold_content = true};

// An integer attribute; fallback when it is absent or no number.
int int_attr(pugi::xml_node n, const char* name, int fallback);
// An on/off property: on unless its w:val says off ("0", "false", "off",
// "none"); absent says nothing.
std::optional<bool> on_off(pugi::xml_node n);

model::char_props read_char_props(pugi::xml_node rpr);
model::para_props read_para_props(pugi::xml_node ppr, const dialect& d);

// What a style sets for the paragraphs and runs that have it.
struct style_props {
  model::char_props run;
  model::para_props para;
  void inherit(const style_props& fallback) {
    run.inherit(fallback.run);
    para.inherit(fallback.para);
  }
};

// What a style gives the paragraphs and runs that have it, resolved once.
struct style {
  style_props props;     // its own with its chain laid under them; the defaults not included
  std::string name;      // as the document gives it; its id when it has none
  int named_heading = 0; // 1-6 when a style along its chain is named "heading N"
  int index = -2;        // in the document's style names, once interned there
};

// The styles (w:styles) of a document.
class styles {
 public:
  void load(pugi::xml_node root, const dialect& d);
  // The document defaults, under every style.
  const style_props& defaults() const { return defaults_; }
  // The style with this id; nullptr for an unknown id.
  style* find(std::string_view id);
  // A paragraph's style: the one it names when it exists, else the
  // default paragraph style (nullptr when there is none).
  // Whether a table style draws cell borders.
  bool bordered_table(std::string_view id) const { return bordered_tables_.count(std::string(id)) > 0; }
  style* paragraph_style(std::string_view id) {
    style* s = find(id);
    return s ? s : find(default_paragraph_);
  }

 private:
  model::style_chain<style_props> chain_;
  std::map<std::string, style, std::less<>> resolved_;
  style_props defaults_, none_;
  std::string default_paragraph_;
  std::set<std::string> bordered_tables_;
};

// Whether a border list (w:tblBorders, w:tcBorders) draws any line.
bool draws_borders(pugi::xml_node borders);

// Word's lists (w:numbering, w:lists): definitions and the instances that
// paragraphs refer to, counted by the list engine.
class lists {
 public:
  // Definitions that take their levels from a list style are resolved
  // here, through st.
  void load(pugi::xml_node root, const dialect& d, styles& st);
  // Counts a paragraph of the instance at level; false when either does
  // not exist.
  bool next(int instance, int level, list_item_number& out) { return engine_.next(instance, level, out); }

 private:
  word_lists engine_;
};

}  // namespace nx::wordml
