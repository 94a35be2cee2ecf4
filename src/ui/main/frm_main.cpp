#include "ui/main/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <QToolButton>
#include <QTreeWidget>

#include "app/command_line.h"
#include "services/dialogs.h"
#include "services/flags.h"
#include "services/paths.h"
#include "services/program.h"
#include "services/settings.h"
#include "services/shell.h"
#include "services/text.h"
#include "templates/library.h"
#include "templates/template.h"
#include "ui/main/frm_progress.h"
#include "ui/main/pictures.h"
#include "ui/main/window_fit.h"

namespace nx {
namespace {

// The toolbar's height and its buttons' size, in logical pixels.
constexpr int toolbar_height = 52;
constexpr int tool_button = 40;
// The picture at the left of the wizard pages.
constexpr int wizard_side_width = 120;
// The first size of the window; it never asks for more than the screen has.
constexpr QSize first_size(720, 540);

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

main_window_hooks& window_hooks() {
  static main_window_hooks hooks;
  return hooks;
}

window_shell_ops& window_shell() {
  static window_shell_ops ops{
      [](const std::string& path) {
        std::string why;
        return shell_open_document(path, &why) ? std::string() : why;
      },
      [](const std::string& program, const std::string& file) {
        std::string why;
        return shell_open_with(program, file, &why) ? std::string() : why;
      }};
  return ops;
}

frmMain::frmMain() {
  setObjectName("frmMain");
  setWindowTitle("Nubrix 3");
  setWindowIcon(QIcon(pictures::logo(32)));
  build_toolbar();
  build_normal_page();
  build_wizard_pages();
  build_menus();
  arrange_window();
  connect_controls();
  fit_to_screen(this, first_size, scrBody);
}

frmMain::~frmMain() = default;

// ---------------------------------------------------------------- building

void frmMain::build_toolbar() {
  picToolbar = new QWidget(this);
  picToolbar->setObjectName("picToolbar");
  picToolbar->setFixedHeight(toolbar_height);
  picToolbar->installEventFilter(this);
  // The banner lies under the other toolbar controls, across the whole bar.
  imgBanner = new QLabel(picToolbar);
  imgBanner->setObjectName("imgBanner");
  imgBanner->setScaledContents(false);
  auto* logo = new QLabel(picToolbar);
  logo->setObjectName("logo");
  logo->setPixmap(pictures::logo(32));
  logo->setAttribute(Qt::WA_TranslucentBackground);
  logo->setFixedSize(32, 32);
  auto tool = [this](const char* name, const QIcon& icon, const char* tip, const QKeySequence& key) {
    auto* b = new QToolButton(picToolbar);
    b->setObjectName(name);
    b->setIcon(icon);
    b->setIconSize(QSize(28, 28));
    b->setToolTip(QString("%1 (%2)").arg(tip, key.toString(QKeySequence::NativeText)));
    b->setShortcut(key);
    b->setAutoRaise(true);
    b->setFixedSize(tool_button, tool_button);
    return b;
  };
  cmdExpress = tool("cmdExpress", pictures::mode_icon(), "Switch between the wizard and the normal page",
                    QKeySequence(Qt::ALT | Qt::Key_W));
  cmdSettings = tool("cmdSettings", pictures::settings_icon(), "Settings", QKeySequence(Qt::ALT | Qt::Key_G));
  cmdHelp = tool("cmdHelp", pictures::help_icon(), "Help", QKeySequence(Qt::Key_F1));
  auto* bar = new QHBoxLayout(picToolbar);
  bar->setContentsMargins(12, 0, 6, 0);
  bar->setSpacing(0);
  bar->addWidget(logo);
  bar->addStretch(1);
  for (QToolButton* b : {cmdExpress, cmdSettings, cmdHelp}) bar->addWidget(b);
}

namespace {

QLabel* new_label(QWidget* parent, const char* name, const char* text, QWidget* buddy = nullptr) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  if (buddy) l->setBuddy(buddy);
  return l;
}

QPushButton* new_button(QWidget* parent, const char* name, const char* text) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QCheckBox* new_check(QWidget* parent, const char* name, const char* text) {
  auto* c = new QCheckBox(text, parent);
  c->setObjectName(name);
  return c;
}

// The arrow beside "Add Folder..." that opens the add menu.
QPushButton* new_drop_button(QWidget* parent, const char* name) {
  auto* b = new_button(parent, name, "");
  b->setIcon(pictures::arrow_icon());
  b->setShortcut(QKeySequence(Qt::ALT | Qt::Key_D));
  b->setToolTip(QString("More ways to add files (%1)").arg(b->shortcut().toString(QKeySequence::NativeText)));
  b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  b->setFixedWidth(std::max(b->sizeHint().height(), b->minimumSizeHint().width()));
  return b;
}

// A long template name must not widen the window.
void limit_width(QComboBox* box) {
  box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  box->setMinimumContentsLength(18);
}

// A holder for the file list on a page; the list moves between them.
QWidget* new_list_area(QWidget* parent, const char* name) {
  auto* area = new QWidget(parent);
  area->setObjectName(name);
  auto* box = new QVBoxLayout(area);
  box->setContentsMargins(0, 0, 0, 0);
  area->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  return area;
}

}  // namespace

void frmMain::build_normal_page() {
  picNormal = new QWidget(this);
  picNormal->setObjectName("picNormal");
  QWidget* p = picNormal;
  cmbTemplates = new QComboBox(p);
  cmbTemplates->setObjectName("cmbTemplates");
  limit_width(cmbTemplates);
  lblTemplate = new_label(p, "lblTemplate", "Use this &Template:", cmbTemplates);
  cmdManage = new_button(p, "cmdManage", "&Manage...");

  lstFiles = new QTreeWidget(p);
  lstFiles->setObjectName("lstFiles");
  lstFiles->setColumnCount(2);
  lstFiles->setHeaderLabels({"Filename", "Status"});
  lstFiles->setRootIsDecorated(false);
  lstFiles->setUniformRowHeights(true);
  lstFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lstFiles->setSortingEnabled(false);
  lstFiles->setContextMenuPolicy(Qt::CustomContextMenu);
  lstFiles->setTextElideMode(Qt::ElideMiddle);
  lstFiles->header()->setStretchLastSection(false);
  lstFiles->header()->setSectionResizeMode(0, QHeaderView::Fixed);
  lstFiles->header()->setSectionResizeMode(1, QHeaderView::Fixed);
  lstFiles->setMinimumHeight(lstFiles->fontMetrics().height() * 5);
  lstFiles->installEventFilter(this);
  lstFiles->viewport()->installEventFilter(this);
  lblFiles = new_label(p, "lblFiles", "Convert t&hese Files:", lstFiles);
  lblDrop = new QLabel("Drop here to add these files to the list", lstFiles);
  lblDrop->setObjectName("lblDrop");
  lblDrop->setAlignment(Qt::AlignCenter);
  lblDrop->setWordWrap(true);
  lblDrop->setAttribute(Qt::WA_TransparentForMouseEvents);
  lblDrop->hide();
  setAcceptDrops(true);
  list_area = new_list_area(p, "list_area");
  list_area->layout()->addWidget(lstFiles);

  cmdAdd = new_button(p, "cmdAdd", "&Add...");
  cmdAddFolder = new_button(p, "cmdAddFolder", "Add &Folder...");
  cmdDrop = new_drop_button(p, "cmdDrop");
  cmdRemove = new_button(p, "cmdRemove", "&Remove Selected");
  cmdSelAll = new_button(p, "cmdSelAll", "Select A&ll");
  cmdView = new_button(p, "cmdView", "&View");
  cmdEdit = new_button(p, "cmdEdit", "&Edit");
  txtDest = new QLineEdit(p);
  txtDest->setObjectName("txtDest");
  lblDest = new_label(p, "lblDest", "&Place converted files into:", txtDest);
  cmdBrowse = new_button(p, "cmdBrowse", "Br&owse...");
  chkPlaceSame = new_check(p, "chkPlaceSame", "Place in the &same folders as the original files");
  chkBackup = new_check(p, "chkBackup", "Create a bac&kup before cleaning HTML files");
  cmdConvert = new_button(p, "cmdConvert", "Co&nvert");
  QFont bold = cmdConvert->font();
  bold.setBold(true);
  cmdConvert->setFont(bold);
  cmdConvert->setMinimumHeight(cmdConvert->sizeHint().height() * 5 / 4);

  auto* page = new QVBoxLayout(p);
  auto* template_row = new QHBoxLayout;
  template_row->addWidget(lblTemplate);
  template_row->addWidget(cmbTemplates, 1);
  template_row->addWidget(cmdManage);
  page->addLayout(template_row);
  page->addSpacing(4);
  page->addWidget(lblFiles);
  auto* list_row = new QHBoxLayout;
  list_row->addWidget(list_area, 1);
  auto* column = new QVBoxLayout;
  column->addWidget(cmdView);
  column->addWidget(cmdEdit);
  column->addSpacing(12);
  column->addWidget(cmdRemove);
  column->addWidget(cmdSelAll);
  column->addStretch(1);
  list_row->addLayout(column);
  page->addLayout(list_row, 1);
  auto* add_row = new QHBoxLayout;
  add_row->setSpacing(0);
  add_row->addWidget(cmdAdd);
  add_row->addSpacing(6);
  add_row->addWidget(cmdAddFolder);
  add_row->addWidget(cmdDrop);
  add_row->addStretch(1);
  page->addLayout(add_row);
  page->addSpacing(6);
  page->addWidget(lblDest);
  auto* dest_row = new QHBoxLayout;
  dest_row->addWidget(txtDest, 1);
  dest_row->addWidget(cmdBrowse);
  page->addLayout(dest_row);
  auto* bottom_row = new QHBoxLayout;
  auto* checks = new QVBoxLayout;
  checks->addWidget(chkPlaceSame);
  checks->addWidget(chkBackup);
  bottom_row->addLayout(checks, 1);
  bottom_row->addWidget(cmdConvert, 0, Qt::AlignBottom);
  page->addLayout(bottom_row);
}

void frmMain::build_wizard_pages() {
  for (int i = 0; i < 5; ++i) {
    auto* page = new QWidget(this);
    page->setObjectName(QString("pages(%1)").arg(i));
    auto* side = new QLabel(page);
    side->setObjectName("imgWizardSide");
    side->setFixedWidth(wizard_side_width);
    side->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    side->installEventFilter(this);
    wizard_sides_[i] = side;
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(side);
    auto* content = new QVBoxLayout;
    content->setContentsMargins(16, 16, 12, 8);
    row->addLayout(content, 1);
    page->hide();
    pages[i] = page;
  }
  auto content = [&](int page) { return static_cast<QVBoxLayout*>(pages[page]->layout()->itemAt(1)->layout()); };
  auto label = [&](int page, const char* name, const char* text, QWidget* buddy = nullptr) {
    QLabel* l = new_label(pages[page], name, text, buddy);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
  };

  // 0: welcome. The stored text keeps "\n" as two characters; load_step
  // turns them into line breaks.
  lblWelc = label(0, "lblWelc",
                  "Welcome to the Nubrix Wizard\\n\\nThis wizard will help you to convert your "
                  "files step-by-step.\\n\\nTo continue, click on the Next button.");
  QFont big = lblWelc->font();
  big.setPointSizeF(big.pointSizeF() * 1.15);
  lblWelc->setFont(big);
  content(0)->addWidget(lblWelc);
  content(0)->addStretch(1);

  // 1: template.
  cmbTemplates2 = new QComboBox(pages[1]);
  cmbTemplates2->setObjectName("cmbTemplates2");
  limit_width(cmbTemplates2);
  lblTemplate2 = label(1, "lblTemplate2", "Select the &template you would like to use to convert files:",
                       cmbTemplates2);
  content(1)->addWidget(lblTemplate2);
  content(1)->addWidget(cmbTemplates2);
  content(1)->addStretch(1);

  // 2: files; the shared list goes to list_area2.
  list_area2 = new_list_area(pages[2], "list_area2");
  lblFiles2 = label(2, "lblFiles2", "Select the f&iles you would like to convert:", list_area2);
  cmdAdd2 = new_button(pages[2], "cmdAdd2", "&Add...");
  cmdAddFolder2 = new_button(pages[2], "cmdAddFolder2", "Add &Folder...");
  cmdDrop2 = new_drop_button(pages[2], "cmdDrop2");
  cmdRemove2 = new_button(pages[2], "cmdRemove2", "&Remove Selected");
  cmdSelAll2 = new_button(pages[2], "cmdSelAll2", "Select A&ll");
  content(2)->addWidget(lblFiles2);
  auto* files_row = new QHBoxLayout;
  files_row->addWidget(list_area2, 1);
  auto* column = new QVBoxLayout;
  column->addWidget(cmdAdd2);
  auto* folder_row = new QHBoxLayout;
  folder_row->setSpacing(0);
  folder_row->addWidget(cmdAddFolder2, 1);
  folder_row->addWidget(cmdDrop2);
  column->addLayout(folder_row);
  column->addSpacing(12);
  column->addWidget(cmdRemove2);
  column->addWidget(cmdSelAll2);
  column->addStretch(1);
  files_row->addLayout(column);
  content(2)->addLayout(files_row, 1);

  // 3: destination.
  txtDest2 = new QLineEdit(pages[3]);
  txtDest2->setObjectName("txtDest2");
  lblDest2 = label(3, "lblDest2", "Select the &destination folder:", txtDest2);
  cmdBrowse2 = new_button(pages[3], "cmdBrowse2", "Br&owse...");
  chkSamePlace2 = new_check(pages[3], "chkSamePlace2", "Place in the &same folders as the original files");
  chkBackup2 = new_check(pages[3], "chkBackup2", "Create a bac&kup before cleaning HTML files");
  lblStartHint = label(3, "lblStartHint", "and then click on the Start button to start conversion.");
  content(3)->addWidget(lblDest2);
  auto* dest_row = new QHBoxLayout;
  dest_row->addWidget(txtDest2, 1);
  dest_row->addWidget(cmdBrowse2);
  content(3)->addLayout(dest_row);
  content(3)->addSpacing(12);
  content(3)->addWidget(chkSamePlace2);
  content(3)->addWidget(chkBackup2);
  content(3)->addSpacing(12);
  content(3)->addWidget(lblStartHint);
  content(3)->addStretch(1);

  // 4: converting, then how it went: each file that failed, with why.
  lblWait = label(4, "lblWait", "Nubrix is converting files, please wait...");
  lblConv = label(4, "lblConv", "");
  lblConv->setTextFormat(Qt::PlainText);
  lstFailed = new QTreeWidget(pages[4]);
  lstFailed->setObjectName("lstFailed");
  lstFailed->setColumnCount(2);
  lstFailed->setHeaderLabels({"File", "Why it could not be converted"});
  lstFailed->setRootIsDecorated(false);
  lstFailed->setUniformRowHeights(true);
  lstFailed->setTextElideMode(Qt::ElideMiddle);
  lstFailed->header()->setStretchLastSection(true);
  lblFailed = label(4, "lblFailed", "Files that could not be converted:", lstFailed);
  lblFailed->hide();
  lstFailed->hide();
  content(4)->addWidget(lblWait);
  content(4)->addWidget(lblConv);
  content(4)->addSpacing(8);
  content(4)->addWidget(lblFailed);
  content(4)->addWidget(lstFailed, 1);
  content(4)->addStretch(0);

  // Button bar.
  picButtons = new QWidget(this);
  picButtons->setObjectName("picButtons");
  cmdExit = new_button(picButtons, "cmdExit", "E&xit");
  cmdBack = new_button(picButtons, "cmdBack", "< &Back");
  cmdNext = new_button(picButtons, "cmdNext", "&Next >");
  auto* bar = new QHBoxLayout(picButtons);
  bar->addStretch(1);
  bar->addWidget(cmdExit);
  bar->addSpacing(16);
  bar->addWidget(cmdBack);
  bar->addWidget(cmdNext);
  picButtons->hide();
}

void frmMain::build_menus() {
  mnuDrop = new QMenu(this);
  mnuDrop->setObjectName("mnuDrop");
  auto item = [](QMenu* menu, const char* name, const char* text) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    return a;
  };
  mAddFolder = item(mnuDrop, "mAddFolder", "Add &Folder...");
  mAddWord = item(mnuDrop, "mAddWord", "Add &documents only...");
  mAddHTMLS = item(mnuDrop, "mAddHTMLS", "Add &html files only...");
  mnuDrop->addSeparator()->setObjectName("sepSubfolders");
  mAddIncSub = item(mnuDrop, "mAddIncSub", "Add Folder && &subfolders - HTML files && documents...");
  mAddIncSubWord = item(mnuDrop, "mAddIncSubWord", "Add Folder && subfolders - d&ocuments...");
  mAddIncSubHTML = item(mnuDrop, "mAddIncSubHTML", "Add Folder && subfolders - H&TML files...");

  mnuPop = new QMenu(this);
  mnuPop->setObjectName("mnuPop");
  mView = item(mnuPop, "mView", "&View...");
  mEdit = item(mnuPop, "mEdit", "&Edit...");
}

// Toolbar, the page (in a scroll area for small screens), the progress of
// a job and the wizard's buttons, top to bottom.
void frmMain::arrange_window() {
  picBody = new QWidget;
  picBody->setObjectName("picBody");
  auto* body = new QVBoxLayout(picBody);
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(0);
  body->addWidget(picNormal);
  for (QWidget* page : pages) body->addWidget(page);
  scrBody = scroll_area_for(picBody, this);
  scrBody->setObjectName("scrBody");
  progress_ = new frmProgress(this);
  progress_->hide();
  auto* window = new QVBoxLayout(this);
  window->setContentsMargins(0, 0, 0, 0);
  window->setSpacing(0);
  window->addWidget(picToolbar);
  window->addWidget(scrBody, 1);
  window->addWidget(progress_);
  window->addWidget(picButtons);

  // Tab goes down the page as it reads.
  const std::initializer_list<QWidget*> order = {cmbTemplates, cmdManage, lstFiles,     cmdView,    cmdEdit,
                                                 cmdRemove,    cmdSelAll, cmdAdd,       cmdAddFolder, cmdDrop,
                                                 txtDest,      cmdBrowse, chkPlaceSame, chkBackup,  cmdConvert};
  for (auto a = order.begin(), b = a + 1; b != order.end(); ++a, ++b) setTabOrder(*a, *b);
}

void frmMain::connect_controls() {
  auto on = [this](QAbstractButton* b, void (frmMain::*handler)()) {
    connect(b, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
  };
  auto act = [this](QAction* a, std::function<void()> f) {
    connect(a, &QAction::triggered, this, [f] { f(); });
  };
  on(cmdExpress, &frmMain::cmdExpress_Click);
  on(cmdSettings, &frmMain::cmdSettings_Click);
  on(cmdHelp, &frmMain::cmdHelp_Click);
  on(cmdManage, &frmMain::cmdManage_Click);
  on(cmdAdd, &frmMain::cmdAdd_Click);
  connect(cmdAddFolder, &QPushButton::clicked, this, [this] { add_folder(0); });
  on(cmdDrop, &frmMain::cmdDrop_Click);
  on(cmdRemove, &frmMain::cmdRemove_Click);
  on(cmdSelAll, &frmMain::cmdSelAll_Click);
  on(cmdView, &frmMain::cmdView_Click);
  on(cmdEdit, &frmMain::cmdEdit_Click);
  on(cmdBrowse, &frmMain::cmdBrowse_Click);
  on(cmdConvert, &frmMain::cmdConvert_Click);
  on(cmdAdd2, &frmMain::cmdAdd2_Click);
  on(cmdAddFolder2, &frmMain::cmdAddFolder2_Click);
  on(cmdDrop2, &frmMain::cmdDrop2_Click);
  on(cmdRemove2, &frmMain::cmdRemove_Click);
  on(cmdSelAll2, &frmMain::cmdSelAll_Click);
  on(cmdBrowse2, &frmMain::cmdBrowse2_Click);
  connect(cmdExit, &QPushButton::clicked, this, &QWidget::close);
  on(cmdBack, &frmMain::cmdBack_Click);
  on(cmdNext, &frmMain::cmdNext_Click);

  connect(chkPlaceSame, &QCheckBox::toggled, this, [this] { chkPlaceSame_Click(); });
  connect(chkSamePlace2, &QCheckBox::toggled, this,
          [this](bool on) { chkPlaceSame->setChecked(on); });
  connect(chkBackup2, &QCheckBox::toggled, this, [this](bool on) { chkBackup->setChecked(on); });
  connect(cmbTemplates2, &QComboBox::currentIndexChanged, this,
          [this] { cmbTemplates2_Click(); });
  connect(txtDest, &QLineEdit::textChanged, this, [this] { txtDest_Change(); });
  connect(txtDest2, &QLineEdit::textChanged, this, [this] { txtDest2_Change(); });

  act(mAddFolder, [this] { add_folder(0); });
  act(mAddWord, [this] { add_folder(1); });
  act(mAddHTMLS, [this] { add_folder(2); });
  act(mAddIncSub, [this] { add_folder_tree(true, {"*.htm", "*.html"}); });
  act(mAddIncSubWord, [this] { add_folder_tree(true, {}); });
  act(mAddIncSubHTML, [this] { add_folder_tree(false, {"*.htm", "*.html"}); });
  act(mView, [this] { mView_Click(); });
  act(mEdit, [this] { mEdit_Click(); });
  connect(lstFiles, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { lstFiles_RightClick(pos); });
  connect(lstFiles, &QTreeWidget::itemDoubleClicked, this, [this] { mView_Click(); });
}

// ---------------------------------------------------------------- start-up

void frmMain::Form_Load(const std::string& argument_text) {
  chkPlaceSame_Click();

  std::string dest = setting_path();
  if (!folder_exists(dest)) dest = default_folder();
  txtDest->setText(qs(dest));

  if (setting_original()) chkPlaceSame->setChecked(true);
  if (setting_backup()) chkBackup->setChecked(true);

  load_templates();
  cmbTemplates->setCurrentIndex(chosen_template_index(template_names()));

  update_buttons();

  if (setting_express()) cmdExpress_Click();

  if (setting_splash() && !convert_mode) {
    show();
    if (window_hooks().show_splash) window_hooks().show_splash(this);
  }

  if (!argument_text.empty()) add_files(add_paths_of(argument_text));
}

void frmMain::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  write_setting("default", "backup", chkBackup->isChecked() ? "1" : "0");
}

void frmMain::closeEvent(QCloseEvent* e) {
  if (busy_) {
    // The job's loop runs inside this window: ask it to stop, close after.
    cancel_requested = true;
    close_pending_ = true;
    e->ignore();
    return;
  }
  Form_Unload();
  e->accept();
}

// ---------------------------------------------------------------- modes

void frmMain::place_list(QWidget* area) {
  if (lstFiles->parentWidget() != area) area->layout()->addWidget(lstFiles);
  lstFiles->show();
}

void frmMain::cmdExpress_Click() {
  if (wizard_mode) {
    wizard_mode = false;
    current_step = -1;
    load_step();
    place_list(list_area);
    picNormal->show();
    picButtons->hide();
  } else {
    wizard_mode = true;
    picNormal->hide();
    picButtons->show();
    chkBackup2->setChecked(chkBackup->isChecked());
    chkSamePlace2->setChecked(chkPlaceSame->isChecked());
    current_step = 0;
    load_step();
  }
}

void frmMain::cmdNext_Click() {
  // Start checks the destination before the last page runs the job.
  if (current_step == 3 && !check_destination()) return;
  current_step = short(current_step + 1);
  load_step();
}

void frmMain::cmdBack_Click() {
  current_step = short(current_step - 1);
  load_step();
}

void frmMain::load_step() {
  for (int i = 0; i < 5; ++i)
    if (i != current_step) pages[i]->hide();
  cmdNext->setText("&Next >");
  if (current_step < 0 || current_step > 4) return;
  pages[current_step]->show();
  switch (current_step) {
    case 0:
      cmdBack->setEnabled(false);
      cmdNext->setEnabled(true);
      lblWelc->setText(lblWelc->text().replace("\\n", "\n"));
      break;
    case 1: {
      cmdBack->setEnabled(true);
      cmdNext->setEnabled(true);
      // The page shows the template chosen so far.
      cmbTemplates2->blockSignals(true);
      cmbTemplates2->clear();
      for (int i = 0; i < cmbTemplates->count(); ++i) cmbTemplates2->addItem(cmbTemplates->itemText(i));
      cmbTemplates2->setCurrentIndex(std::max(0, cmbTemplates->currentIndex()));
      cmbTemplates2->blockSignals(false);
      cmbTemplates2_Click();
      break;
    }
    case 2:
      cmdBack->setEnabled(true);
      cmdNext->setEnabled(lstFiles->topLevelItemCount() > 0);
      place_list(list_area2);
      break;
    case 3:
      cmdBack->setEnabled(true);
      cmdNext->setEnabled(true);
      cmdNext->setText("S&tart");
      break;
    case 4:
      cmdBack->setEnabled(false);
      cmdNext->setEnabled(false);
      lblWait->show();
      lstFailed->clear();
      lblFailed->hide();
      lstFailed->hide();
      cmdConvert_Click();
      show_job_result();
      // Back leads to the destination page, to try again.
      cmdBack->setEnabled(true);
      break;
  }
}

// The wizard's last page after a job: its status line, and each row that
// failed with why.
void frmMain::show_job_result() {
  lblWait->hide();
  const QString failed_prefix = QString(status_failed) + ": ";
  for (int i = 0; i < lstFiles->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = lstFiles->topLevelItem(i);
    if (!row->data(1, Qt::UserRole).toBool()) continue;
    QString why = row->text(1).startsWith(failed_prefix) ? row->text(1).mid(failed_prefix.size()) : row->text(1);
    auto* item = new QTreeWidgetItem({row->text(0), why});
    item->setToolTip(0, row->text(0));
    item->setToolTip(1, why);
    lstFailed->addTopLevelItem(item);
  }
  const bool any = lstFailed->topLevelItemCount() > 0;
  lblFailed->setVisible(any);
  lstFailed->setVisible(any);
  if (!any) return;
  // The reasons take the room the longest needs, up to two thirds; the
  // paths, cut in the middle, have the rest.
  if (pages[4]->layout()) pages[4]->layout()->activate();
  int reason = 0;
  for (int i = 0; i < lstFailed->topLevelItemCount(); ++i)
    reason = std::max(reason, lstFailed->fontMetrics().horizontalAdvance(lstFailed->topLevelItem(i)->text(1)) + 16);
  const int width = lstFailed->viewport()->width();
  lstFailed->header()->resizeSection(0, width - std::clamp(reason, width / 3, std::max(width / 3, width * 2 / 3)));
}

// A destination that does not exist is offered to be made; false when the
// job cannot start there.
bool frmMain::check_destination() {
  if (chkPlaceSame->isChecked() || lstFiles->topLevelItemCount() == 0) return true;
  const std::string folder = trim(txtDest->text().toStdString());
  if (folder.empty()) {
    dialogs().message("Please choose the folder to place the converted files into.", msg_icon::exclamation);
    return false;
  }
  if (folder_exists(folder)) return true;
  if (file_exists(folder)) {
    dialogs().message("\"" + folder + "\" is a file, not a folder. Please choose a folder.", msg_icon::exclamation);
    return false;
  }
  if (dialogs().message("The folder \"" + folder + "\" does not exist. Create it?", msg_icon::question,
                        msg_buttons::yes_no) != msg_result::yes)
    return false;
  if (!make_folders(folder)) {
    dialogs().message("The folder \"" + folder + "\" could not be created (" + std::strerror(errno) + ").",
                      msg_icon::exclamation);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- controls

// Both pages' destination boxes follow the option; the wizard's box
// mirrors the normal page's.
void frmMain::chkPlaceSame_Click() {
  const bool same = chkPlaceSame->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{txtDest, cmdBrowse, txtDest2, cmdBrowse2}) w->setEnabled(!same);
  const QSignalBlocker quiet(chkSamePlace2);
  chkSamePlace2->setChecked(same);
}

void frmMain::cmbTemplates2_Click() {
  int i = cmbTemplates2->currentIndex();
  if (i >= 0 && i < cmbTemplates->count()) cmbTemplates->setCurrentIndex(i);
}

void frmMain::txtDest_Change() {
  if (syncing_dest) return;
  syncing_dest = true;
  txtDest2->setText(txtDest->text());
  syncing_dest = false;
}

void frmMain::txtDest2_Change() {
  if (syncing_dest) return;
  syncing_dest = true;
  txtDest->setText(txtDest2->text());
  syncing_dest = false;
}

void frmMain::cmdBrowse_Click() {
  std::string folder = dialogs().browse_folder("Select a Directory");
  if (!folder.empty()) txtDest->setText(qs(folder));
}

void frmMain::cmdBrowse2_Click() {
  cmdBrowse_Click();
  txtDest2->setText(txtDest->text());
}

void frmMain::load_templates() {
  template_files = list_template_files();
  cmbTemplates->clear();
  cmbTemplates->addItem(default_template_name);
  for (const auto& path : template_files)
    cmbTemplates->addItem(qs(template_display_name(path)));
}

void frmMain::update_buttons() {
  bool any = lstFiles->topLevelItemCount() > 0;
  cmdConvert->setEnabled(any && !busy_);
  if (current_step == 2) cmdNext->setEnabled(any);
}

// The chosen template stays chosen, by name (renamed in the manager too);
// one removed there gives way to the default, and the window says so.
void frmMain::cmdManage_Click() {
  std::string chosen = cmbTemplates->currentIndex() > 0 ? cmbTemplates->currentText().toStdString() : std::string();
  const std::string before = chosen;
  if (window_hooks().open_manager) window_hooks().open_manager(this, chosen);
  load_templates();
  const std::vector<std::string> names = template_names();
  const auto at = chosen.empty() ? names.end() : std::find(names.begin() + 1, names.end(), chosen);
  cmbTemplates->setCurrentIndex(at == names.end() ? 0 : int(at - names.begin()));
  if (!before.empty() && at == names.end())
    dialogs().message("The template \"" + before + "\" no longer exists; \"" + default_template_name +
                          "\" is used instead.",
                      msg_icon::information);
}

std::vector<std::string> frmMain::template_names() const {
  std::vector<std::string> names;
  for (int i = 0; i < cmbTemplates->count(); ++i) names.push_back(cmbTemplates->itemText(i).toStdString());
  return names;
}

void frmMain::cmdSettings_Click() {
  if (window_hooks().open_settings) window_hooks().open_settings(this);
}

void frmMain::cmdHelp_Click() {
  window_shell().open_document(program_folder() + "nx_help.html");
}

// ---------------------------------------------------------------- layout

void frmMain::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  Form_Resize();
}

// Enter presses the focused button, else the page's default: Convert on
// the normal page, Next or Start in the wizard.
void frmMain::keyPressEvent(QKeyEvent* e) {
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !(e->modifiers() & ~Qt::KeypadModifier)) {
    auto* focused = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    QAbstractButton* target = focused && !qobject_cast<QCheckBox*>(focused) && isAncestorOf(focused)
                                  ? focused
                                  : wizard_mode ? static_cast<QAbstractButton*>(cmdNext) : cmdConvert;
    if (target->isEnabled() && target->isVisible()) target->click();
    e->accept();
    return;
  }
  QWidget::keyPressEvent(e);
}

// The layouts place the controls; the pictures are drawn for their size.
void frmMain::Form_Resize() {
  const QSize bar = picToolbar->size();
  imgBanner->setGeometry(QRect(QPoint(), bar));
  if (imgBanner->pixmap().deviceIndependentSize().toSize() != bar)
    imgBanner->setPixmap(pictures::banner(bar.width(), bar.height()));
  imgBanner->lower();
  for (QLabel* side : wizard_sides_) {
    if (side && side->isVisible() && side->pixmap().deviceIndependentSize().toSize() != side->size())
      side->setPixmap(pictures::wizard_side(side->width(), side->height()));
  }
}

// ---------------------------------------------------------------- the job

void frmMain::cmdConvert_Click() {
  if (busy_ || !offer_retry() || !check_destination()) return;
  last_job_ok_ = run_batch_job(*this);
  if (busy_) set_busy(false);
  if (close_pending_) {
    close_pending_ = false;
    close();
  }
}

// Lists the files the job would replace and asks once: replace them, skip
// their rows, or cancel.
replace_choice frmMain::replace_existing(const std::vector<std::string>& paths) {
  if (convert_mode) return replace_choice::replace;  // the command line replaces, as converters do
  constexpr size_t shown = 8;
  std::string text;
  if (paths.size() == 1) {
    text = "The file \"" + paths.front() + "\" already exists.\nReplace it with the converted file?";
  } else {
    text = "These " + std::to_string(paths.size()) + " files already exist:\n";
    for (size_t i = 0; i < std::min(shown, paths.size()); ++i) text += "\n" + paths[i];
    if (paths.size() > shown) text += "\n... and " + std::to_string(paths.size() - shown) + " more";
    text += "\n\nReplace them with the converted files?";
  }
  std::string details;
  if (paths.size() > shown)
    for (const auto& path : paths) details += path + "\n";
  switch (dialogs().message(text, details, msg_icon::question, msg_buttons::replace_skip_cancel)) {
    case msg_result::replace: return replace_choice::replace;
    case msg_result::skip: return replace_choice::skip;
    default: return replace_choice::cancel;
  }
}

int frmMain::row_count() { return lstFiles->topLevelItemCount(); }

std::string frmMain::row_text(int row) {
  QTreeWidgetItem* item = lstFiles->topLevelItem(row);
  return item ? item->text(0).toStdString() : std::string();
}

std::string frmMain::row_status(int row) {
  QTreeWidgetItem* item = lstFiles->topLevelItem(row);
  return item ? item->text(1).toStdString() : std::string();
}

bool frmMain::place_same() { return chkPlaceSame->isChecked(); }
std::string frmMain::destination() { return txtDest->text().toStdString(); }
bool frmMain::backup() { return chkBackup->isChecked(); }

std::string frmMain::template_file() {
  int i = cmbTemplates->currentIndex();
  if (i <= 0 || size_t(i) > template_files.size()) return {};
  return template_files[size_t(i) - 1];
}

void frmMain::set_busy(bool busy) {
  busy_ = busy;
  picToolbar->setEnabled(!busy);
  // Rows must stay where the job expects them, and the template list with
  // them.
  cmdRemove->setEnabled(!busy);
  cmdRemove2->setEnabled(!busy);
  cmdManage->setEnabled(!busy);
  if (busy)
    cmdConvert->setEnabled(false);
  else
    update_buttons();
}

void frmMain::set_status(const std::string& text) {
  lblConv->setText(qs(text));
  if (lblConv->isVisible()) lblConv->repaint();
}

void frmMain::show_progress() {
  job_file_ = job_files_ = 0;
  job_done_ = job_total_ = 0;
  job_clock_.start();
  time_shown_.invalidate();
  progress_->start();
  last_pump_.invalidate();
}

void frmMain::set_progress_label(const std::string& text) {
  progress_->set_label(qs(text));
  if (progress_->isVisible()) progress_->repaint();
}

void frmMain::close_progress() { progress_->finish(); }

frmProgress* frmMain::progress_window() const { return progress_->isHidden() ? nullptr : progress_; }

void frmMain::set_file_position(int file, int files) {
  job_file_ = file;
  job_files_ = files;
  progress_->set_file(file, files);
  set_progress(0);
}

void frmMain::set_job_bytes(unsigned long long done, unsigned long long total) {
  job_done_ = done;
  job_total_ = total;
  show_job_time();
}

void frmMain::show_job_time() {
  if (!progress_ || !job_clock_.isValid()) return;
  progress_->set_time(qs(job_time_text(double(job_clock_.elapsed()) / 1000.0, job_done_, job_total_)));
  time_shown_.start();
}

// The bar covers the whole job: the files done plus the current file's
// share. It never moves back, not even when a row is skipped.
void frmMain::set_progress(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (job_files_ > 0 && job_file_ >= 1)
    percent = std::max(progress_->prgJob->value(),
                       ((std::min(job_file_, job_files_) - 1) * 100 + percent) / job_files_);
  progress_->set_percent(percent);
}

void frmMain::pump() {
  // Often enough to keep the windows alive and Cancel quick, rarely enough
  // to cost nothing.
  if (last_pump_.isValid() && last_pump_.elapsed() < 15) return;
  if (!time_shown_.isValid() || time_shown_.elapsed() >= 500) show_job_time();
  QApplication::processEvents(QEventLoop::AllEvents, 10);
  last_pump_.start();
}

}  // namespace nx
