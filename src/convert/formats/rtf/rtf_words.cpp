#include "convert/formats/rtf/rtf_words.h"

#include <string>
#include <unordered_map>

namespace nx::rtf {
namespace {

using table = std::unordered_map<std::string_view, word_info>;

table build() {
  table t;
  auto dest = [&](std::string_view w, kw id) { t[w] = {id, word_kind::destination, 0}; };
  auto prop = [&](std::string_view w, kw id) { t[w] = {id, word_kind::property, 0}; };
  auto chr = [&](std::string_view w, char32_t c) { t[w] = {kw::chr, word_kind::property, c}; };

  for (std::string_view w :
       {"colortbl", "header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr",
        "footerf", "objdata", "objclass", "objname", "xe", "tc", "tcn", "txe",
        "nonesttables", "revtbl", "rsidtbl", "generator", "pgdsctbl", "filetbl", "themedata",
        "colorschememapping", "datastore", "latentstyles", "xmlnstbl", "mmathPr", "template", "docvar", "userprops", "atndate", "atnref", "atnparent", "bkmkend", "listname",
        "levelnumbers", "protusertbl", "ftnsep", "ftnsepc", "aftnsep", "aftnsepc",
        "ftncn", "aftncn", "upr", "ud", "falt", "panose", "fontemb", "fontfile",
        "author", "operator", "comment", "doccomm", "subject", "keywords",
        "company", "manager", "category", "hlinkbase", "fldtype", "formfield", "datafield",
        "background", "blipuid", "passwordhash", "password", "wgrffmtfilter",
        "expandedcolortbl", "listpicture", "lsdlockedexcept",
        "defchp", "defpap", "pgdsc", "mhtmltag", "htmltag"})
    dest(w, kw::skip_dest);
  for (std::string_view w : {"nesttableprops", "object", "result"})
    dest(w, kw::transparent);
  dest("fonttbl", kw::fonttbl);
  dest("stylesheet", kw::stylesheet);
  dest("info", kw::info);
  dest("title", kw::title);
  dest("pict", kw::pict);
  dest("field", kw::field);
  dest("fldinst", kw::fldinst);
  dest("fldrslt", kw::fldrslt);
  dest("footnote", kw::footnote);
  dest("shpinst", kw::shpinst);
  dest("shptxt", kw::shptxt);
  dest("listtext", kw::listtext);
  dest("pntext", kw::listtext);
  dest("pn", kw::pn);
  dest("pntxta", kw::pntxta);
  dest("pntxtb", kw::pntxtb);
  dest("listtable", kw::listtable);
  dest("list", kw::list);
  dest("listlevel", kw::listlevel);
  dest("leveltext", kw::leveltext);
  dest("lfolevel", kw::lfolevel);
  dest("listoverridetable", kw::listoverridetable);
  dest("listoverride", kw::listoverride);
  dest("bkmkstart", kw::bkmkstart);
  dest("atrfstart", kw::atrfstart);
  dest("atrfend", kw::atrfend);
  dest("atnid", kw::atnid);
  dest("atnauthor", kw::atnauthor);
  dest("annotation", kw::annotation);
  dest("shp", kw::shp);
  dest("shpgrp", kw::shpgrp);
  dest("shprslt", kw::shprslt);
  dest("shppict", kw::shppict);
  dest("nonshppict", kw::nonshppict);
  dest("picprop", kw::picprop);
  dest("sp", kw::sp);
  dest("sn", kw::sn);
  dest("sv", kw::sv);

  prop("u", kw::u);
  prop("uc", kw::uc);
  prop("bin", kw::bin);
  prop("par", kw::par);
  prop("sect", kw::sect);
  prop("line", kw::line);
  prop("softline", kw::line);
  prop("tab", kw::tab);
  prop("cell", kw::cell);
  prop("nestcell", kw::nestcell);
  prop("row", kw::row);
  prop("nestrow", kw::nestrow);
  prop("intbl", kw::intbl);
  for (std::string_view w : {"clbrdrt", "clbrdrl", "clbrdrb", "clbrdrr", "trbrdrt", "trbrdrl", "trbrdrb", "trbrdrr",
                             "trbrdrh", "trbrdrv"})
    prop(w, kw::table_border);
  for (std::string_view w : {"brdrs", "brdrth", "brdrsh", "brdrdb", "brdrdot", "brdrdash", "brdrhair", "brdrdashsm",
                             "brdrdashd", "brdrdashdd", "brdrtriple", "brdrtnthsg", "brdrthtnsg", "brdrwavy",
                             "brdrwavydb", "brdrinset", "brdroutset", "brdremboss", "brdrengrave", "brdrframe"})
    prop(w, kw::border_line);
  prop("brdrnone", kw::border_none);
  prop("brdrnil", kw::border_none);
  prop("itap", kw::itap);
  prop("pard", kw::pard);
  prop("plain", kw::plain);
  prop("ansicpg", kw::ansicpg);
  prop("mac", kw::mac);
  prop("pc", kw::pc);
  prop("pca", kw::pca);
  prop("deff", kw::deff);
  prop("f", kw::f);
  prop("fcharset", kw::fcharset);
  prop("cpg", kw::cpg);
  prop("b", kw::b);
  prop("i", kw::i);
  for (std::string_view w :
       {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth",
        "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave"})
    prop(w, kw::ul);
  prop("ulnone", kw::ulnone);
  prop("strike", kw::strike);
  prop("striked", kw::strike);
  prop("super", kw::super);
  prop("sub", kw::sub);
  prop("nosupersub", kw::nosupersub);
  prop("up", kw::up);
  prop("dn", kw::dn);
  prop("v", kw::v);
  prop("deleted", kw::v);    // a tracked deletion: accepted, it is gone
  prop("webhidden", kw::v);  // left out of web pages
  prop("ql", kw::ql);
  prop("qc", kw::qc);
  prop("qr", kw::qr);
  prop("qj", kw::qj);
  prop("qd", kw::qj);
  prop("s", kw::s);
  prop("cs", kw::cs);
  prop("ds", kw::ds);
  prop("ts", kw::ts);
  prop("sbasedon", kw::sbasedon);
  prop("outlinelevel", kw::outlinelevel);
  prop("ls", kw::ls);
  prop("ilvl", kw::ilvl);
  prop("listid", kw::listid);
  prop("levelnfc", kw::levelnfc);
  prop("levelnfcn", kw::levelnfcn);
  prop("levelstartat", kw::levelstartat);
  prop("levelnorestart", kw::levelnorestart);
  prop("levellegal", kw::levellegal);
  prop("listoverridestartat", kw::listoverridestartat);
  prop("listoverrideformat", kw::listoverrideformat);
  prop("pnlvl", kw::pnlvl);
  prop("pnlvlbody", kw::pnlvlbody);
  prop("pnlvlblt", kw::pnlvlblt);
  prop("pnlvlcont", kw::pnlvlcont);
  prop("pnstart", kw::pnstart);
  // Numbers of the older kind; those in scripts of their own count in decimal.
  for (std::string_view w : {"pndec", "pnord", "pnordt", "pncard", "pnaiu", "pnaiueo", "pniroha",
                             "pnchosung", "pnganada"})
    prop(w, kw::pndec);
  prop("pnucrm", kw::pnucrm);
  prop("pnlcrm", kw::pnlcrm);
  prop("pnucltr", kw::pnucltr);
  prop("pnlcltr", kw::pnlcltr);
  prop("chftn", kw::chftn);
  prop("pngblip", kw::pngblip);
  prop("jpegblip", kw::jpegblip);
  prop("emfblip", kw::emfblip);
  prop("wmetafile", kw::wmetafile);
  prop("macpict", kw::macpict);
  prop("pmmetafile", kw::pmmetafile);
  prop("dibitmap", kw::dibitmap);
  prop("wbitmap", kw::wbitmap);
  prop("picw", kw::picw);
  prop("pich", kw::pich);
  prop("picwgoal", kw::picwgoal);
  prop("pichgoal", kw::pichgoal);
  prop("picscalex", kw::picscalex);
  prop("picscaley", kw::picscaley);
  prop("picbpp", kw::picbpp);
  prop("picwbmwidthbytes", kw::picwbmwidthbytes);

  chr("emdash", 0x2014);
  chr("endash", 0x2013);
  chr("emspace", 0x2003);
  chr("enspace", 0x2002);
  chr("qmspace", 0x2005);
  chr("bullet", 0x2022);
  chr("lquote", 0x2018);
  chr("rquote", 0x2019);
  chr("ldblquote", 0x201C);
  chr("rdblquote", 0x201D);
  chr("zwj", 0x200D);
  chr("zwnj", 0x200C);
  chr("zwbo", 0x200B);
  chr("zwnbo", 0xFEFF);
  chr("ltrmark", 0x200E);
  chr("rtlmark", 0x200F);
  return t;
}

}  // namespace

const word_info& lookup_word(std::string_view word) {
  static const table words = build();
  static const word_info none;
  auto it = words.find(word);
  return it == words.end() ? none : it->second;
}

}  // namespace nx::rtf
