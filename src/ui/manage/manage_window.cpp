#include "ui/manage/manage_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <tuple>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "services/dialogs.h"
#include "services/settings.h"
#include "services/shell.h"
#include "services/text.h"
#include "templates/library.h"
#include "ui/main/pictures.h"
#include "ui/main/window_fit.h"
#include "ui/manage/rule_dialogs.h"

namespace nx {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

template <class W>
W* named(W* w, const char* name) {
  w->setObjectName(name);
  return w;
}

QHBoxLayout* row_of(std::initializer_list<QWidget*> widgets) {
  auto* row = new QHBoxLayout;
  for (auto* w : widgets) row->addWidget(w);
  return row;
}

QVBoxLayout* column_of(QLabel* label, QListWidget* list, QLayout* buttons, int stretch = 1) {
  auto* col = new QVBoxLayout;
  col->addWidget(label);
  col->addWidget(list, stretch);
  col->addLayout(buttons);
  return col;
}

constexpr const char* default_not_editable =
    "You can not edit the default template, please duplicate it, then edit it to suit your "
    "needs.";

}  // namespace

void show_manage_templates(QWidget* owner, std::string& chosen) {
  frmManage window(owner);
  window.set_chosen(chosen);
  window.exec();
  chosen = window.chosen();
}

frmManage::frmManage(QWidget* owner) : QDialog(owner) {
  setObjectName("frmManage");
  setWindowTitle("Manage Templates");
  setModal(true);
  build_controls();
  arrange_controls();
  connect_controls();
  copy_logo(owner);
  list_templates();
  select_none();
}

void frmManage::build_controls() {
  lblTemplates = named(new QLabel("&Templates:", this), "lblTemplates");
  lstTemplates = named(new QListWidget(this), "lstTemplates");
  lstTemplates->setSelectionMode(QAbstractItemView::SingleSelection);
  lblTemplates->setBuddy(lstTemplates);
  imgLogo = named(new QLabel(this), "imgLogo");
  cmdAddTemplate = named(new QPushButton("&Add", this), "cmdAddTemplate");
  cmdRemoveTemplate = named(new QPushButton("&Remove", this), "cmdRemoveTemplate");
  cmdRename = named(new QPushButton("Re&name", this), "cmdRename");
  cmdDuplicate = named(new QPushButton("&Duplicate", this), "cmdDuplicate");
  cmdLaunchEditor = named(new QPushButton("&Launch Editor", this), "cmdLaunchEditor");
  cmdClose = named(new QPushButton("&Close", this), "cmdClose");
  for (auto* b :
       {cmdAddTemplate, cmdRemoveTemplate, cmdRename, cmdDuplicate, cmdLaunchEditor, cmdClose})
    b->setAutoDefault(false);

  fraTemplate = named(new QGroupBox("Template", this), "fraTemplate");
  auto list_in_frame = [this](const char* name) {
    auto* list = named(new QListWidget(fraTemplate), name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
  };
  auto button_in_frame = [this](const char* text, const char* name) {
    return named(new QPushButton(text, fraTemplate), name);
  };
  lblTempDesc = named(new QLabel("Template Descri&ption:", fraTemplate), "lblTempDesc");
  txtTempDesc = named(new QPlainTextEdit(fraTemplate), "txtTempDesc");
  lblTags = named(new QLabel("Clean t&hese tags:", fraTemplate), "lblTags");
  lstTags = list_in_frame("lstTags");
  cmdAddTag = button_in_frame("Add", "cmdAddTag");
  cmdRemTag = button_in_frame("Remove", "cmdRemTag");
  lblAttr = named(new QLabel("Remove these attri&butes:", fraTemplate), "lblAttr");
  lstAttr = list_in_frame("lstAttr");
  cmdAddAttr = button_in_frame("Add", "cmdAddAttr");
  cmdRemAttr = button_in_frame("Remove", "cmdRemAttr");
  lblEmpty = named(new QLabel("Remove tags (if e&mpty):", fraTemplate), "lblEmpty");
  lstEmpty = list_in_frame("lstEmpty");
  cmdAddEmpty = button_in_frame("Add", "cmdAddEmpty");
  cmdRemEmpty = button_in_frame("Remove", "cmdRemEmpty");
  lblFind = named(new QLabel("&Find/Replace with:", fraTemplate), "lblFind");
  lstFind = list_in_frame("lstFind");
  cmdAddFind = button_in_frame("Add", "cmdAddFind");
  cmdRemFind = button_in_frame("Remove", "cmdRemFind");
  cmdRemEdit = button_in_frame("&Edit", "cmdRemEdit");
  lblRemoves = named(new QLabel("Rem&ove these tags:", fraTemplate), "lblRemoves");
  lstRemoves = list_in_frame("lstRemoves");
  cmdAddRemTags = button_in_frame("Add", "cmdAddRemTags");
  cmdRemRemTags = button_in_frame("Remove", "cmdRemRemTags");
  chkTarget = named(new QCheckBox("Add Target for H&yperlinks:", fraTemplate), "chkTarget");
  txtTarget = named(new QLineEdit(fraTemplate), "txtTarget");
  txtTarget->setMaxLength(description_limit);
  chkQuotation =
      named(new QCheckBox("Add &quotation for all attributes.", fraTemplate), "chkQuotation");
  chkRebuildLists = named(new QCheckBox("Rebuild l&ists", fraTemplate), "chkRebuildLists");
  chkSafeHtml = named(new QCheckBox("Remo&ve scripts and active content", fraTemplate), "chkSafeHtml");
  chkKeepComments = named(new QCheckBox("&Keep comments", fraTemplate), "chkKeepComments");
  cmdSave = button_in_frame("&Save Changes", "cmdSave");
  cmdCancelChange = button_in_frame("Cancel Chan&ges", "cmdCancelChange");
  // Enter in a text box must not press a button.
  for (auto* b : fraTemplate->findChildren<QPushButton*>()) b->setAutoDefault(false);

  // The rule lists' Add and Remove buttons share their captions; the keys
  // are on the lists: Insert adds, Delete removes (a label's letter reaches
  // its list).
  for (auto [list, add, remove] : {std::tuple{lstTags, cmdAddTag, cmdRemTag}, {lstAttr, cmdAddAttr, cmdRemAttr},
                                   {lstEmpty, cmdAddEmpty, cmdRemEmpty}, {lstFind, cmdAddFind, cmdRemFind},
                                   {lstRemoves, cmdAddRemTags, cmdRemRemTags}}) {
    rule_keys_[list] = {add, remove};
    list->installEventFilter(this);
    add->setToolTip("Add (Insert)");
    remove->setToolTip("Remove (Delete)");
  }
  lblTags->setBuddy(lstTags);
  lblAttr->setBuddy(lstAttr);
  lblEmpty->setBuddy(lstEmpty);
  lblFind->setBuddy(lstFind);
  lblRemoves->setBuddy(lstRemoves);
  lblTempDesc->setBuddy(txtTempDesc);
}

void frmManage::arrange_controls() {
  // Top: the library list (about two-thirds of the width, five lines high),
  // two columns of command buttons, the logo in the corner.
  const int line = lstTemplates->fontMetrics().height() + 2;
  lstTemplates->setFixedHeight(line * 5 + 2 * lstTemplates->frameWidth() + 4);
  auto* library = new QVBoxLayout;
  library->addWidget(lblTemplates);
  library->addWidget(lstTemplates);
  library->addStretch(1);
  auto* commands = new QGridLayout;
  commands->addWidget(cmdAddTemplate, 0, 0);
  commands->addWidget(cmdRemoveTemplate, 1, 0);
  commands->addWidget(cmdRename, 2, 0);
  commands->addWidget(cmdDuplicate, 0, 1);
  commands->addWidget(cmdLaunchEditor, 1, 1);
  commands->setRowStretch(3, 1);
  auto* commands_box = new QVBoxLayout;
  commands_box->addSpacing(lblTemplates->sizeHint().height());
  commands_box->addLayout(commands);
  imgLogo->setFixedSize(56, 56);
  imgLogo->setAlignment(Qt::AlignCenter);
  auto* top = new QHBoxLayout;
  top->addLayout(library, 4);
  top->addLayout(commands_box, 2);
  top->addWidget(imgLogo, 0, Qt::AlignTop | Qt::AlignRight);

  // The frame: the rule lists in a row, each with its buttons below it;
  // "Remove tags (if empty):" is short, with "Remove these tags:" under it.
  lstEmpty->setMinimumHeight(line * 3);
  lstRemoves->setMinimumHeight(line * 3);
  lstTags->setMinimumHeight(line * 8);
  auto* empty_and_removes = new QVBoxLayout;
  empty_and_removes->addLayout(column_of(lblEmpty, lstEmpty, row_of({cmdAddEmpty, cmdRemEmpty})));
  empty_and_removes->addLayout(
      column_of(lblRemoves, lstRemoves, row_of({cmdAddRemTags, cmdRemRemTags})));
  QLayout* const groups[] = {column_of(lblTags, lstTags, row_of({cmdAddTag, cmdRemTag})),
                             column_of(lblAttr, lstAttr, row_of({cmdAddAttr, cmdRemAttr})), empty_and_removes,
                             column_of(lblFind, lstFind, row_of({cmdAddFind, cmdRemFind, cmdRemEdit}))};
  auto* rules = new QGridLayout;
  // Side by side where the screen is wide enough, else two rows of two, so
  // that the window only ever scrolls down.
  int wide = 0;
  for (QLayout* g : groups) wide += g->minimumSize().width() + style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
  // Less the margins of the window and the frame, and a scroll bar.
  const int row_room = screen_room(this).width() - 4 * style()->pixelMetric(QStyle::PM_LayoutLeftMargin) -
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent) - 8;
  const int columns = wide <= row_room ? 4 : 2;
  for (int i = 0; i < 4; ++i) rules->addLayout(groups[i], i / columns, i % columns);
  for (int c = 0; c < columns; ++c) rules->setColumnStretch(c, columns == 4 && c == 3 ? 3 : 2);

  // Lower part: target and quotation, the description, save and cancel.
  auto* options = new QVBoxLayout;
  options->addWidget(chkTarget);
  options->addWidget(txtTarget);
  options->addWidget(chkQuotation);
  options->addLayout(row_of({chkRebuildLists, chkKeepComments}));
  options->addWidget(chkSafeHtml);
  options->addStretch(1);
  auto* description = new QVBoxLayout;
  description->addWidget(lblTempDesc);
  txtTempDesc->setFixedHeight(line * 4 + 8);
  description->addWidget(txtTempDesc);
  auto* save = new QVBoxLayout;
  save->addWidget(cmdSave);
  save->addWidget(cmdCancelChange);
  save->addStretch(1);
  auto* lower = new QHBoxLayout;
  lower->addLayout(options, 2);
  lower->addLayout(description, 5);
  lower->addLayout(save, 1);

  auto* frame = new QVBoxLayout(fraTemplate);
  frame->addLayout(rules, 1);
  frame->addLayout(lower);

  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(cmdClose);

  // All but "Close" scrolls when the screen is too small for it.
  auto* content = new QWidget;
  content->setObjectName("picContent");
  auto* content_box = new QVBoxLayout(content);
  content_box->setContentsMargins(0, 0, 0, 0);
  content_box->addLayout(top);
  content_box->addWidget(fraTemplate, 1);
  scrContent = scroll_area_for(content, this);
  scrContent->setObjectName("scrContent");
  auto* window = new QVBoxLayout(this);
  window->addWidget(scrContent, 1);
  window->addLayout(bottom);
  fit_to_screen(this, QSize(880, 640), scrContent);
}

void frmManage::connect_controls() {
  connect(lstTemplates, &QListWidget::itemSelectionChanged, this, [this] { lstTemplates_Click(); });
  connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
  connect(cmdCancelChange, &QPushButton::clicked, this, [this] { cmdCancelChange_Click(); });
  connect(chkTarget, &QCheckBox::clicked, this, [this] { mark_unsaved(); });
  connect(chkQuotation, &QCheckBox::clicked, this, [this] { mark_unsaved(); });
  connect(chkRebuildLists, &QCheckBox::clicked, this, [this] { mark_unsaved(); });
  connect(chkSafeHtml, &QCheckBox::clicked, this, [this] { mark_unsaved(); });
  connect(chkKeepComments, &QCheckBox::clicked, this, [this] { mark_unsaved(); });
  connect(txtTempDesc, &QPlainTextEdit::textChanged, this, [this] {
    limit_description();
    mark_unsaved();
  });
  connect(txtTarget, &QLineEdit::textChanged, this, [this](const QString& text) {
    chkTarget->setChecked(!text.isEmpty());
    mark_unsaved();
  });

  const rule_list tags{&cTemplate::colTags, &cTemplate::colTags_comment, lstTags};
  const rule_list attrs{&cTemplate::colAttr, &cTemplate::colAttr_comment, lstAttr};
  const rule_list empty{&cTemplate::colEmpty, &cTemplate::colEmpty_comment, lstEmpty};
  const rule_list removes{&cTemplate::colRemove, &cTemplate::colRemove_comment, lstRemoves};
  connect(cmdAddTag, &QPushButton::clicked, this, [this, tags] { add_rule(tags, false); });
  connect(cmdAddAttr, &QPushButton::clicked, this, [this, attrs] { add_rule(attrs, true); });
  connect(cmdAddEmpty, &QPushButton::clicked, this, [this, empty] { add_rule(empty, false); });
  connect(cmdAddRemTags, &QPushButton::clicked, this,
          [this, removes] { add_rule(removes, false); });
  connect(cmdRemTag, &QPushButton::clicked, this, [this, tags] { remove_rule(tags); });
  connect(cmdRemAttr, &QPushButton::clicked, this, [this, attrs] { remove_rule(attrs); });
  connect(cmdRemEmpty, &QPushButton::clicked, this, [this, empty] { remove_rule(empty); });
  connect(cmdRemRemTags, &QPushButton::clicked, this, [this, removes] { remove_rule(removes); });
  connect(cmdAddFind, &QPushButton::clicked, this, [this] { cmdAddFind_Click(); });
  connect(cmdRemFind, &QPushButton::clicked, this, [this] { cmdRemFind_Click(); });
  connect(cmdRemEdit, &QPushButton::clicked, this, [this] { cmdRemEdit_Click(); });

  connect(cmdAddTemplate, &QPushButton::clicked, this, [this] { cmdAddTemplate_Click(); });
  connect(cmdRemoveTemplate, &QPushButton::clicked, this, [this] { cmdRemoveTemplate_Click(); });
  connect(cmdRename, &QPushButton::clicked, this, [this] { cmdRename_Click(); });
  connect(cmdDuplicate, &QPushButton::clicked, this, [this] { cmdDuplicate_Click(); });
  connect(cmdLaunchEditor, &QPushButton::clicked, this, [this] { cmdLaunchEditor_Click(); });
  connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

void frmManage::copy_logo(QWidget* owner) {
  // The main window's logo, drawn at this window's size.
  imgLogo->setPixmap(pictures::logo(imgLogo->width()));
  setWindowIcon(owner ? owner->window()->windowIcon() : QIcon(pictures::logo(32)));
}

// ---- library list and selection ----

void frmManage::list_templates() {
  const QSignalBlocker quiet(lstTemplates);
  lstTemplates->clear();
  for (const auto& name : nx::list_templates()) lstTemplates->addItem(qs(name));
}

void frmManage::select_none() {
  {
    const QSignalBlocker quiet(lstTemplates);
    lstTemplates->clearSelection();
    lstTemplates->setCurrentRow(-1);
  }
  lstTemplates_Click();
}

int frmManage::selected_template() const {
  const auto picked = lstTemplates->selectedItems();
  return picked.isEmpty() ? -1 : lstTemplates->row(picked.front());
}

std::string frmManage::selected_name() const {
  const int i = selected_template();
  return i < 0 ? std::string() : lstTemplates->item(i)->text().toStdString();
}

std::vector<std::string> frmManage::list_entries() const {
  std::vector<std::string> entries;
  for (int i = 0; i < lstTemplates->count(); ++i)
    entries.push_back(lstTemplates->item(i)->text().toStdString());
  return entries;
}

bool frmManage::has_unsaved_edits() const { return !lstTemplates->isEnabledTo(this); }

bool frmManage::refuse_unsaved() {
  if (!has_unsaved_edits()) return false;
  dialogs().message(update_first_message, msg_icon::information);
  return true;
}

void frmManage::lstTemplates_Click() {
  const int i = selected_template();
  cmdRename->setEnabled(i >= 1);
  cmdRemoveTemplate->setEnabled(i >= 1);
  cmdLaunchEditor->setEnabled(i >= 0);
  cmdAddTemplate->setEnabled(true);
  cmdDuplicate->setEnabled(true);
  cmdClose->setEnabled(true);
  reset_editor(i >= 1);
  if (i < 0) return;
  if (i == 0) {
    tpl_ = default_template();
    tpl_.TempDescription = default_template_note;
  } else {
    tpl_ = load_template(selected_name());
  }
  show_template();
  cmdSave->setEnabled(false);
  cmdCancelChange->setEnabled(false);
  lstTemplates->setEnabled(true);
}

// ---- the editing area ----

void frmManage::reset_editor(bool enabled) {
  filling_ = true;
  fraTemplate->setEnabled(enabled);
  for (auto* list : {lstTags, lstAttr, lstEmpty, lstFind, lstRemoves}) list->clear();
  for (auto* button : {cmdAddTag, cmdRemTag, cmdAddAttr, cmdRemAttr, cmdAddEmpty, cmdRemEmpty,
                       cmdAddFind, cmdRemFind, cmdRemEdit, cmdAddRemTags, cmdRemRemTags})
    button->setEnabled(enabled);
  for (QWidget* w :
       std::initializer_list<QWidget*>{chkTarget, txtTarget, chkQuotation, chkRebuildLists, chkSafeHtml,
                                       chkKeepComments, txtTempDesc})
    w->setEnabled(enabled);
  chkTarget->setChecked(false);
  chkQuotation->setChecked(false);
  chkRebuildLists->setChecked(false);
  chkSafeHtml->setChecked(false);
  chkKeepComments->setChecked(false);
  txtTarget->clear();
  txtTempDesc->clear();
  filling_ = false;
  cmdSave->setEnabled(false);
  lstTemplates->setEnabled(true);
  cmdCancelChange->setEnabled(false);
  cmdClose->setDefault(true);
}

void frmManage::show_template() {
  filling_ = true;
  auto fill = [](QListWidget* list, const std::vector<std::string>& values) {
    list->clear();
    for (const auto& v : values) list->addItem(qs(v));
  };
  fill(lstTags, tpl_.colTags);
  fill(lstAttr, tpl_.colAttr);
  fill(lstEmpty, tpl_.colEmpty);
  fill(lstRemoves, tpl_.colRemove);
  lstFind->clear();
  if (tpl_.colFind.size() == tpl_.colReplace.size()) {
    for (size_t i = 0; i < tpl_.colFind.size(); ++i)
      lstFind->addItem(qs("\"" + tpl_.colFind[i] + "\" -> \"" + tpl_.colReplace[i] + "\""));
  }
  txtTarget->setText(qs(tpl_.strTarget));
  chkTarget->setChecked(!tpl_.strTarget.empty());
  chkQuotation->setChecked(!tpl_.strQuotation.empty());
  chkRebuildLists->setChecked(tpl_.blnRebuildLists);
  chkSafeHtml->setChecked(tpl_.blnSafeHtml);
  chkKeepComments->setChecked(tpl_.blnKeepComments);
  txtTempDesc->setPlainText(qs(tpl_.TempDescription));
  filling_ = false;
  lstTemplates->setEnabled(true);
  cmdClose->setDefault(true);
}

void frmManage::limit_description() {
  // The file keeps the description on one line of at most 255 bytes; stop
  // typing there rather than lose the rest on the next load.
  const QString text = txtTempDesc->toPlainText();
  if (text.toUtf8().size() <= description_limit) return;
  QString cut = text;
  while (cut.toUtf8().size() > description_limit) cut.chop(1);
  if (!cut.isEmpty() && cut.back().isHighSurrogate()) cut.chop(1);
  const QSignalBlocker quiet(txtTempDesc);
  txtTempDesc->setPlainText(cut);
  txtTempDesc->moveCursor(QTextCursor::End);
}

void frmManage::mark_unsaved() {
  if (filling_) return;
  cmdSave->setEnabled(true);
  cmdSave->setDefault(true);
  lstTemplates->setEnabled(false);
  cmdCancelChange->setEnabled(true);
}

void frmManage::cmdSave_Click() {
  tpl_.strTarget = chkTarget->isChecked() ? txtTarget->text().toStdString() : std::string();
  tpl_.strQuotation = chkQuotation->isChecked() ? "\"" : "";
  tpl_.blnRebuildLists = chkRebuildLists->isChecked();
  tpl_.blnSafeHtml = chkSafeHtml->isChecked();
  tpl_.blnKeepComments = chkKeepComments->isChecked();
  tpl_.TempDescription = txtTempDesc->toPlainText().toStdString();
  if (!save_template(selected_name(), tpl_)) {
    // Keep the edits held (and the window from closing) until a save works.
    dialogs().message("Can not save template '" + selected_name() +
                          "'. Its file in the templates folder could not be written.",
                      msg_icon::exclamation);
    mark_unsaved();
    return;
  }
  show_template();
}

void frmManage::cmdCancelChange_Click() { show_template(); }

void frmManage::set_return(const std::string& value, const std::string& comment) {
  ret_value_ = value;
  ret_comment_ = comment;
}

// ---- rules ----

void frmManage::add_rule(const rule_list& rules, bool attributes) {
  auto keep = [this](const std::string& v, const std::string& c) { set_return(v, c); };
  if (attributes) {
    frmAttrs dialog(this, keep);
    dialog.exec();
  } else {
    frmTags dialog(this, keep);
    dialog.exec();
  }
  if (ret_value_.empty()) return;
  auto& values = tpl_.*rules.values;
  auto& comments = tpl_.*rules.comments;
  if (ret_value_.find('\0') != std::string::npos) {
    size_t start = 0;
    while (start < ret_value_.size()) {
      size_t end = ret_value_.find('\0', start);
      if (end == std::string::npos) end = ret_value_.size();
      if (end > start) {
        values.push_back(ret_value_.substr(start, end - start));
        comments.emplace_back();
      }
      start = end + 1;
    }
  } else {
    values.push_back(ret_value_);
    comments.push_back("{" + ret_comment_ + "}");
  }
  show_template();
  rules.shown->setCurrentRow(rules.shown->count() - 1);
  mark_unsaved();
}

namespace {

// 0-based position of the selected line, -1 when none.
int selected_line(const QListWidget* list) {
  const auto picked = list->selectedItems();
  return picked.isEmpty() ? -1 : list->row(picked.front());
}

void erase_at(std::vector<std::string>& v, int k) {
  if (k >= 0 && k < static_cast<int>(v.size())) v.erase(v.begin() + k);
}

}  // namespace

void frmManage::remove_rule(const rule_list& rules) {
  const int k = selected_line(rules.shown);
  if (k < 0) return;
  erase_at(tpl_.*rules.values, k);
  erase_at(tpl_.*rules.comments, k);
  show_template();
  mark_unsaved();
}

void frmManage::cmdRemFind_Click() {
  const int k = selected_line(lstFind);
  if (k < 0) return;
  erase_at(tpl_.colFind, k);
  erase_at(tpl_.colReplace, k);
  show_template();
  mark_unsaved();
}

void frmManage::cmdAddFind_Click() {
  auto find = dialogs().input("Find what:", "Find", "");
  if (!find || find->empty()) return;
  auto replace = dialogs().input("Replace with:", "Replace", "");
  if (!replace) return;
  tpl_.colFind.push_back(*find);
  tpl_.colReplace.push_back(*replace);
  show_template();
  lstFind->setCurrentRow(lstFind->count() - 1);
  mark_unsaved();
}

void frmManage::cmdRemEdit_Click() {
  const int k = selected_line(lstFind);
  if (k < 0 || k >= static_cast<int>(tpl_.colFind.size()) ||
      k >= static_cast<int>(tpl_.colReplace.size()))
    return;
  auto find = dialogs().input("Find what:", "Find", tpl_.colFind[k]);
  if (!find || find->empty()) return;
  auto replace = dialogs().input("Replace with:", "Replace", tpl_.colReplace[k]);
  if (!replace) return;
  tpl_.colFind[k] = *find;
  tpl_.colReplace[k] = *replace;
  show_template();
  lstFind->setCurrentRow(k);
  mark_unsaved();
}

// ---- library commands ----

void frmManage::cmdAddTemplate_Click() {
  if (refuse_unsaved()) return;
  std::string made;
  if (template_add(&made)) rebuild_list(made);
}

void frmManage::cmdRemoveTemplate_Click() {
  if (selected_template() < 1 || refuse_unsaved()) return;
  const std::string name = selected_name();
  if (template_remove(name)) {
    if (name == chosen_) chosen_.clear();
    rebuild_list({});
  }
}

void frmManage::cmdRename_Click() {
  if (selected_template() < 1 || refuse_unsaved()) return;
  const std::string name = selected_name();
  std::string made;
  if (template_rename(name, list_entries(), &made)) {
    if (!made.empty() && name == chosen_) chosen_ = made;
    rebuild_list(made.empty() ? name : made);
  }
}

void frmManage::cmdDuplicate_Click() {
  std::string made;
  if (template_duplicate(selected_template(), list_entries(), has_unsaved_edits(), &made)) rebuild_list(made);
}

// Lists the library again and selects the template named (nothing when
// it is not listed).
void frmManage::rebuild_list(const std::string& select) {
  list_templates();
  select_none();
  if (select.empty()) return;
  const auto found = lstTemplates->findItems(QString::fromStdString(select), Qt::MatchExactly);
  if (!found.isEmpty()) lstTemplates->setCurrentItem(found.front());
}

void frmManage::cmdLaunchEditor_Click() {
  const int i = selected_template();
  if (i < 0) return;
  if (i == 0) {
    dialogs().message(default_not_editable, msg_icon::information);
    return;
  }
  if (refuse_unsaved()) return;
  const std::string editor = setting_editor();
  if (editor.empty()) return;
  std::string why;
  if (!shell_open_with(editor, template_path(trim(selected_name())), &why))
    dialogs().message("Could not start the editor: " + why + ".", msg_icon::exclamation);
}

bool frmManage::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::KeyPress) {
    auto keys = rule_keys_.find(watched);
    auto* key = static_cast<QKeyEvent*>(e);
    if (keys != rule_keys_.end() && key->modifiers() == Qt::NoModifier) {
      QPushButton* button = key->key() == Qt::Key_Insert   ? keys->second.first
                            : key->key() == Qt::Key_Delete ? keys->second.second
                                                           : nullptr;
      if (button) {
        if (button->isEnabled()) button->click();
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, e);
}

void frmManage::keyPressEvent(QKeyEvent* e) {
  // Escape is "Close", with its refusal; only the close box drops edits.
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    cmdClose_Click();
    return;
  }
  QDialog::keyPressEvent(e);
}

void frmManage::cmdClose_Click() {
  if (refuse_unsaved()) return;
  accept();
}

}  // namespace nx
