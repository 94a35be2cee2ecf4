// The RTF control words the reader acts on.
#pragma once
#include <string_view>

namespace nx::rtf {

enum class kw : unsigned char {
  none,
  // destinations
  skip_dest, transparent, fonttbl, stylesheet, info, title, pict, field, fldinst, fldrslt,
  footnote, shpinst, shptxt, listtext, pn, pntxta, pntxtb, listtable, list, listlevel, leveltext,
  listoverridetable, listoverride, lfolevel,
  bkmkstart, atrfstart, atrfend, atnid, atnauthor, annotation,
  shp, shpgrp, shprslt, shppict, nonshppict, picprop, sp, sn, sv,
  // text and structure
  chr, u, uc, bin, par, sect, line, tab, cell, nestcell, row, nestrow, intbl, itap, pard, plain,
  // code pages and fonts
  ansicpg, mac, pc, pca, deff, f, fcharset, cpg,
  // character formatting
  b, i, ul, ulnone, strike, super, sub, nosupersub, up, dn, v,
  // paragraph formatting and styles
  ql, qc, qr, qj, s, cs, ds, ts, sbasedon, outlinelevel,
  // lists
  ls, ilvl, listid, levelnfc, levelnfcn, levelstartat, levelnorestart, levellegal,
  listoverridestartat, listoverrideformat,
  pnlvl, pnlvlbody, pnlvlblt, pnlvlcont, pnstart, pndec, pnucrm, pnlcrm, pnucltr, pnlcltr,
  // notes and pictures
  // table borders: a cell or row border word, then its line (or none)
  table_border, border_line, border_none,
  chftn, pngblip, jpegblip, emfblip, wmetafile, macpict, pmmetafile, dibitmap, wbitmap,
  picw, pich, picwgoal, pichgoal, picscalex, picscaley, picbpp, picwbmwidthbytes,
};

enum class word_kind : unsigned char { property, destination };

struct word_info {
  kw id = kw::none;
  word_kind kind = word_kind::property;
  char32_t ch = 0;  // the character a kw::chr word stands for (0: nothing)
};

// The meaning of a control word; kw::none for words the reader ignores.
const word_info& lookup_word(std::string_view word);

}  // namespace nx::rtf
