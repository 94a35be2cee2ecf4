#include "ui/manage/rule_dialogs.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/main/window_fit.h"

namespace nx {

const std::vector<std::string>& tag_names() {
  static const std::vector<std::string> names = {
      "!doctype",     "a",         "acronym",    "address",   "applet",    "area",       "b",
      "base",         "basefont",  "bdo",        "bgsound",   "big",       "blockquote", "body",
      "br",           "button",    "caption",    "center",    "cite",      "code",       "col",
      "colgroup",     "comment",   "dd",         "del",       "dfn",       "dir",        "div",
      "dl",           "dt",        "em",         "embed",     "fieldset",  "font",       "form",
      "frame",        "frameset",  "head",       "hn",        "hr",        "html",       "i",
      "iframe",       "img",       "input",      "ins",       "isindex",   "kbd",        "label",
      "legend",       "li",        "link",       "listing",   "map",       "marquee",    "menu",
      "meta",         "nextid",    "nobr",       "noframes",  "noscript",  "object",     "ol",
      "option",       "p",         "param",      "plaintext", "pre",       "q",          "rt",
      "ruby",         "s",         "samp",       "script",    "select",    "small",      "span",
      "strike",       "strong",    "style",      "sub",       "sup",       "table",      "tbody",
      "td",           "textarea",  "tfoot",      "th",        "thead",     "title",      "tr",
      "tt",           "u",         "ul",         "var",       "wbr",       "xml",        "xmp",
      "smarttagtype", "shapetype", "shape",      "stroke",    "formulas",  "f",          "path",
      "lock",         "imagedata", "p",          "city",      "place",     "group",      "fill",
      "rect",         "textbox",   "anchorlock", "xml",       "!",         "h1",         "h2",
      "h4",           "h5",        "personname", "placename", "placetype", "street",     "h3"};
  return names;
}

const std::vector<std::string>& attribute_names() {
  static const std::vector<std::string> names = {"align",
                                                 "valign",
                                                 "src",
                                                 "href",
                                                 "face",
                                                 "width",
                                                 "height",
                                                 "border",
                                                 "size",
                                                 "name",
                                                 "id",
                                                 "content",
                                                 "bgProperties",
                                                 "bgColor",
                                                 "color",
                                                 "accessKey",
                                                 "aLink",
                                                 "dir",
                                                 "style",
                                                 "charset",
                                                 "class",
                                                 "contentEditable",
                                                 "dataFld",
                                                 "dataFormatAs",
                                                 "dataSrc",
                                                 "disabled",
                                                 "hideFocus",
                                                 "http-equiv",
                                                 "implementation",
                                                 "lang",
                                                 "language",
                                                 "media",
                                                 "onactivate",
                                                 "onafterupdate",
                                                 "onbeforecopy",
                                                 "onbeforecut",
                                                 "onbeforedeactivate",
                                                 "onbeforeeditfocus",
                                                 "onbeforepaste",
                                                 "onbeforeupdate",
                                                 "onblur",
                                                 "oncellchange",
                                                 "onclick",
                                                 "oncontextmenu",
                                                 "oncontrolselect",
                                                 "oncopy",
                                                 "oncut",
                                                 "ondataavailable",
                                                 "ondatasetchanged",
                                                 "ondatasetcomplete",
                                                 "ondblclick",
                                                 "ondeactivate",
                                                 "ondrag",
                                                 "ondragend",
                                                 "ondragenter",
                                                 "ondragleave",
                                                 "ondragover",
                                                 "ondragstart",
                                                 "ondrop",
                                                 "onerror",
                                                 "onerrorupdate",
                                                 "onfilterchange",
                                                 "onfocus",
                                                 "onhelp",
                                                 "onkeydown",
                                                 "onkeypress",
                                                 "onkeyup",
                                                 "onlayoutcomplete",
                                                 "onload",
                                                 "onlosecapture",
                                                 "onmousedown",
                                                 "onmouseenter",
                                                 "onmouseleave",
                                                 "onmousemove",
                                                 "onmouseout",
                                                 "onmouseover",
                                                 "onmouseup",
                                                 "onmove",
                                                 "onmoveend",
                                                 "onmovestart",
                                                 "onpage",
                                                 "onpaste",
                                                 "onpropertychange",
                                                 "onreadystatechange",
                                                 "onresize",
                                                 "onresizeend",
                                                 "onresizestart",
                                                 "onrowenter",
                                                 "onrowexit",
                                                 "onrowsdelete",
                                                 "onrowsinserted",
                                                 "onscroll",
                                                 "onselectstart",
                                                 "rel",
                                                 "rev",
                                                 "tabIndex",
                                                 "target",
                                                 "title",
                                                 "type",
                                                 "url",
                                                 "background",
                                                 "bottomMargin",
                                                 "clear",
                                                 "leftMargin",
                                                 "link",
                                                 "noWrap",
                                                 "onafterprint",
                                                 "onbeforeprint",
                                                 "onbeforeunload",
                                                 "onselect",
                                                 "onunload",
                                                 "rightMargin",
                                                 "scroll",
                                                 "text",
                                                 "topMargin",
                                                 "vLink",
                                                 "colspan",
                                                 "rowspan"};
  return names;
}

rule_dialog::rule_dialog(QWidget* owner, const QString& caption,
                         const std::vector<std::string>& names, set_return_fn set_return)
    : QDialog(owner), set_return_(std::move(set_return)) {
  setWindowTitle(caption);
  setModal(true);

  lstTags = new QListWidget(this);
  lstTags->setObjectName("lstTags");
  lstTags->setSelectionMode(QAbstractItemView::MultiSelection);
  for (const auto& n : names) lstTags->addItem(QString::fromStdString(n));
  lstTags->setMinimumHeight(lstTags->fontMetrics().height() * 5);

  chkCustomize = new QCheckBox("C&ustomize", this);
  chkCustomize->setObjectName("chkCustomize");
  txtCus = new QLineEdit(this);
  txtCus->setObjectName("txtCus");
  txtCus->setEnabled(false);
  lblComment = new QLabel("C&omment: (optional)", this);
  lblComment->setObjectName("lblComment");
  txtComment = new QLineEdit(this);
  txtComment->setObjectName("txtComment");
  lblComment->setBuddy(txtComment);
  cmdAdd = new QPushButton("&Add", this);
  cmdAdd->setObjectName("cmdAdd");
  cmdAdd->setDefault(true);
  cmdCancel = new QPushButton("&Cancel", this);
  cmdCancel->setObjectName("cmdCancel");

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdAdd);
  buttons->addStretch(1);
  buttons->addWidget(cmdCancel);
  auto* col = new QVBoxLayout(this);
  col->addWidget(lstTags, 1);
  col->addWidget(chkCustomize);
  col->addWidget(txtCus);
  col->addWidget(lblComment);
  col->addWidget(txtComment);
  col->addLayout(buttons);
  // Its caption fits; its list takes the room the screen has.
  fit_to_screen(this, QSize(std::max(260, fontMetrics().horizontalAdvance(caption) * 3 / 2 + 120), 420));

  connect(chkCustomize, &QCheckBox::toggled, this, [this] { chkCustomize_Click(); });
  connect(lstTags, &QListWidget::itemSelectionChanged, this, [this] { lstTags_Click(); });
  connect(txtCus, &QLineEdit::textChanged, this, [this] { txtCus_Change(); });
  connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

  // Any way out other than "Add" leaves the caller with an empty value.
  if (set_return_) set_return_("", "");
}

void rule_dialog::chkCustomize_Click() { txtCus->setEnabled(chkCustomize->isChecked()); }

void rule_dialog::lstTags_Click() {
  const auto picked = lstTags->selectedItems();
  // setText runs txtCus_Change only when the text differs, so run it here too.
  txtCus->setText(picked.size() == 1 ? picked.front()->text() : QString());
  txtCus_Change();
}

void rule_dialog::txtCus_Change() {
  cmdAdd->setEnabled(!txtCus->text().isEmpty() || !lstTags->selectedItems().isEmpty());
}

void rule_dialog::cmdAdd_Click() {
  std::string value;
  std::string comment;
  int picked = 0;
  for (int i = 0; i < lstTags->count(); ++i) {
    if (!lstTags->item(i)->isSelected()) continue;
    ++picked;
    value += lstTags->item(i)->text().toStdString();
    value += '\0';
  }
  if (picked < 2) {
    value = txtCus->text().toStdString();
    comment = txtComment->text().toStdString();
  }
  if (set_return_) set_return_(value, comment);
  accept();
}

frmTags::frmTags(QWidget* owner, set_return_fn set_return)
    : rule_dialog(owner, "Add Tag", tag_names(), std::move(set_return)) {
  setObjectName("frmTags");
}

frmAttrs::frmAttrs(QWidget* owner, set_return_fn set_return)
    : rule_dialog(owner, "Add Attribute", attribute_names(), std::move(set_return)) {
  setObjectName("frmAttrs");
}

}  // namespace nx
