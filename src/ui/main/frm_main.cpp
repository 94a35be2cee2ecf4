#include "ui/main/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>

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

namespace nx {
namespace {

// Design sizes, in twips.
constexpr int min_width = 9150;
constexpr int min_height = 7290;
constexpr int toolbar_height = 900;
constexpr int tool_button = 600;
constexpr int button_height = 375;
constexpr int button_bar_height = 600;
constexpr int wizard_side_width = 1800;
constexpr int wizard_left = 2040;
constexpr int page_height = min_height - toolbar_height - button_bar_height;

QString qs(const std::string& s) { return QString::fromStdString(s); }

// A status cut short keeps its start ("Failed: ..."); the tooltip has it whole.
class status_delegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideRight;
  }
};

}  // namespace

main_window_hooks& window_hooks() {
  static main_window_hooks hooks;
  return hooks;
}

window_shell_ops& window_shell() {
  static window_shell_ops ops{
      [](const std::string& path) { return shell_open_document(path); },
      [](const std::string& program, const std::string& file) {
        return shell_open_with(program, file);
      }};
  return ops;
}

int frmMain::tw_x(int twips) const { return (twips * logicalDpiX() + 720) / 1440; }
int frmMain::tw_y(int twips) const { return (twips * logicalDpiY() + 720) / 1440; }

frmMain::frmMain() {
  setObjectName("frmMain");
  setWindowTitle("Nubrix 3");
  setWindowIcon(QIcon(pictures::logo(32)));
  build_toolbar();
  build_normal_page();
  build_wizard_pages();
  build_menus();
  connect_controls();
  setMinimumSize(tw_x(min_width), tw_y(min_height));
  resize(minimumSize());
  Form_Resize();
}

frmMain::~frmMain() {
  if (progress_) delete progress_.data();
}

// ---------------------------------------------------------------- building

void frmMain::build_toolbar() {
  picToolbar = new QWidget(this);
  picToolbar->setObjectName("picToolbar");
  imgBanner = new QLabel(picToolbar);
  imgBanner->setObjectName("imgBanner");
  imgBanner->setScaledContents(false);
  auto* logo = new QLabel(picToolbar);
  logo->setObjectName("logo");
  logo->setPixmap(pictures::logo(32));
  logo->setAttribute(Qt::WA_TranslucentBackground);
  logo->setFixedSize(32, 32);
  auto tool = [this](const char* name, const QIcon& icon, const char* tip) {
    auto* b = new QToolButton(picToolbar);
    b->setObjectName(name);
    b->setIcon(icon);
    b->setIconSize(QSize(tw_x(420), tw_y(420)));
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setFixedSize(tw_x(tool_button), tw_y(tool_button));
    return b;
  };
  cmdExpress = tool("cmdExpress", pictures::mode_icon(), "Switch between the wizard and the normal page");
  cmdSettings = tool("cmdSettings", pictures::settings_icon(), "Settings");
  cmdHelp = tool("cmdHelp", pictures::help_icon(), "Help");
}

void frmMain::build_normal_page() {
  picNormal = new QWidget(this);
  picNormal->setObjectName("picNormal");
  auto label = [](QWidget* parent, const char* name, const char* text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
  };
  auto button = [](QWidget* parent, const char* name, const char* text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
  };
  auto check = [](QWidget* parent, const char* name, const char* text) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(name);
    return c;
  };
  QWidget* p = picNormal;
  lblTemplate = label(p, "lblTemplate", "Use this Template:");
  cmbTemplates = new QComboBox(p);
  cmbTemplates->setObjectName("cmbTemplates");
  cmdManage = button(p, "cmdManage", "Manage...");
  lblFiles = label(p, "lblFiles", "Convert these Files:");

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
  lstFiles->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  lstFiles->header()->setSectionResizeMode(1, QHeaderView::Fixed);
  lstFiles->setItemDelegateForColumn(1, new status_delegate(lstFiles));
  size_columns();
  lstFiles->installEventFilter(this);
  lblDrop = new QLabel("Drop here to add these files to the list", lstFiles);
  lblDrop->setObjectName("lblDrop");
  lblDrop->setAlignment(Qt::AlignCenter);
  lblDrop->setWordWrap(true);
  lblDrop->setAttribute(Qt::WA_TransparentForMouseEvents);
  lblDrop->hide();
  setAcceptDrops(true);
  list_area = new QWidget(p);
  list_area->setObjectName("list_area");
  list_area->hide();

  cmdAdd = button(p, "cmdAdd", "Add...");
  cmdAddFolder = button(p, "cmdAddFolder", "Add Folder...");
  cmdDrop = button(p, "cmdDrop", "");
  cmdDrop->setIcon(pictures::arrow_icon());
  cmdDrop->setToolTip("More ways to add files");
  cmdRemove = button(p, "cmdRemove", "Remove Selected");
  cmdSelAll = button(p, "cmdSelAll", "Select All");
  cmdView = button(p, "cmdView", "View");
  cmdEdit = button(p, "cmdEdit", "Edit");
  lblDest = label(p, "lblDest", "Place converted files into:");
  txtDest = new QLineEdit(p);
  txtDest->setObjectName("txtDest");
  cmdBrowse = button(p, "cmdBrowse", "...");
  chkPlaceSame = check(p, "chkPlaceSame", "Place in the same folders as the original files");
  chkBackup = check(p, "chkBackup", "Create a backup before cleaning HTML files");
  cmdConvert = button(p, "cmdConvert", "Convert");
  QFont bold = cmdConvert->font();
  bold.setBold(true);
  cmdConvert->setFont(bold);

  // Fixed places; Form_Resize sets the rest.
  lblFiles->setGeometry(tw_x(120), tw_y(900), tw_x(3000), tw_y(240));
  for (auto [b, top] : {std::pair{cmdView, 1170}, {cmdEdit, 1605}, {cmdRemove, 2205},
                        {cmdSelAll, 2640}})
    b->setGeometry(0, tw_y(top), tw_x(1650), tw_y(button_height));
}

void frmMain::build_wizard_pages() {
  const int side_w = tw_x(wizard_side_width);
  const int page_w = tw_x(min_width);
  const int page_h = tw_y(page_height);
  for (int i = 0; i < 5; ++i) {
    auto* page = new QWidget(this);
    page->setObjectName(QString("pages(%1)").arg(i));
    page->setGeometry(0, tw_y(toolbar_height), page_w, page_h);
    auto* side = new QLabel(page);
    side->setGeometry(0, 0, side_w, page_h);
    side->setPixmap(pictures::wizard_side(side_w, page_h));
    page->hide();
    pages[i] = page;
  }
  const int left = tw_x(wizard_left);
  const int text_w = page_w - left - tw_x(240);
  auto label = [&](int page, const char* name, const char* text, int top, int height) {
    auto* l = new QLabel(text, pages[page]);
    l->setObjectName(name);
    l->setWordWrap(true);
    l->setGeometry(left, tw_y(top), text_w, tw_y(height));
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
  };
  auto button = [&](int page, const char* name, const char* text) {
    auto* b = new QPushButton(text, pages[page]);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
  };

  // 0: welcome. The stored text keeps "\n" as two characters; load_step
  // turns them into line breaks.
  lblWelc = label(0, "lblWelc",
                  "Welcome to the Nubrix Wizard\\n\\nThis wizard will helps you to converts your "
                  "files step-by-step.\\n\\nTo continue, click on the Next button.",
                  480, 3000);
  QFont big = lblWelc->font();
  big.setPointSizeF(big.pointSizeF() * 1.15);
  lblWelc->setFont(big);

  // 1: template.
  lblTemplate2 =
      label(1, "lblTemplate2", "Select template you like to use to convert files:", 480, 300);
  cmbTemplates2 = new QComboBox(pages[1]);
  cmbTemplates2->setObjectName("cmbTemplates2");
  cmbTemplates2->setGeometry(left, tw_y(840), tw_x(5400), tw_y(330));

  // 2: files; the shared list goes to list_area2.
  lblFiles2 = label(2, "lblFiles2", "Select files you like to converts:", 240, 300);
  const int col_w = tw_x(1650);
  const int col_left = page_w - tw_x(120) - col_w;
  list_area2 = new QWidget(pages[2]);
  list_area2->setObjectName("list_area2");
  list_area2->setGeometry(left, tw_y(600), col_left - tw_x(120) - left, tw_y(4980));
  list_area2->hide();
  cmdAdd2 = button(2, "cmdAdd2", "Add...");
  cmdAdd2->setGeometry(col_left, tw_y(600), col_w, tw_y(button_height));
  cmdAddFolder2 = button(2, "cmdAddFolder2", "Add Folder...");
  cmdAddFolder2->setGeometry(col_left, tw_y(1035), col_w - tw_x(300), tw_y(button_height));
  cmdDrop2 = button(2, "cmdDrop2", "");
  cmdDrop2->setIcon(pictures::arrow_icon());
  cmdDrop2->setToolTip("More ways to add files");
  cmdDrop2->setGeometry(col_left + col_w - tw_x(300), tw_y(1035), tw_x(300),
                        tw_y(button_height));
  cmdRemove2 = button(2, "cmdRemove2", "Remove Selected");
  cmdRemove2->setGeometry(col_left, tw_y(1635), col_w, tw_y(button_height));
  cmdSelAll2 = button(2, "cmdSelAll2", "Select All");
  cmdSelAll2->setGeometry(col_left, tw_y(2070), col_w, tw_y(button_height));

  // 3: destination.
  lblDest2 = label(3, "lblDest2", "Select the destination folder:", 480, 300);
  txtDest2 = new QLineEdit(pages[3]);
  txtDest2->setObjectName("txtDest2");
  const int browse_w = tw_x(1215);
  txtDest2->setGeometry(left, tw_y(840), page_w - left - tw_x(240) - browse_w - tw_x(90),
                        tw_y(330));
  cmdBrowse2 = button(3, "cmdBrowse2", "Browse...");
  cmdBrowse2->setGeometry(txtDest2->geometry().right() + 1 + tw_x(90), tw_y(818), browse_w,
                          tw_y(button_height));
  chkSamePlace2 = new QCheckBox("Place in the same folders as the original files", pages[3]);
  chkSamePlace2->setObjectName("chkSamePlace2");
  chkSamePlace2->setGeometry(left, tw_y(1440), text_w, tw_y(300));
  chkBackup2 = new QCheckBox("Create a backup before cleaning HTML files", pages[3]);
  chkBackup2->setObjectName("chkBackup2");
  chkBackup2->setGeometry(left, tw_y(1800), text_w, tw_y(300));
  lblStartHint = label(3, "lblStartHint",
                       "and then click on the Start button to start conversion.", 2520, 300);

  // 4: converting.
  lblWait = label(4, "lblWait", "Nubrix is converting files, please wait...", 480, 300);
  lblConv = label(4, "lblConv", "", 960, 1500);
  lblConv->setTextFormat(Qt::PlainText);
  lblConv->setWordWrap(true);

  // Button bar.
  picButtons = new QWidget(this);
  picButtons->setObjectName("picButtons");
  cmdExit = new QPushButton("Exit", picButtons);
  cmdExit->setObjectName("cmdExit");
  cmdBack = new QPushButton("< Back", picButtons);
  cmdBack->setObjectName("cmdBack");
  cmdNext = new QPushButton("Next >", picButtons);
  cmdNext->setObjectName("cmdNext");
  for (auto* b : {cmdExit, cmdBack, cmdNext}) b->setAutoDefault(false);
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
  mAddFolder = item(mnuDrop, "mAddFolder", "Add Folder...");
  mAddWord = item(mnuDrop, "mAddWord", "Add word files only...");
  mAddHTMLS = item(mnuDrop, "mAddHTMLS", "Add html files only...");
  mnuDrop->addSeparator()->setObjectName("sepSubfolders");
  mAddIncSub = item(mnuDrop, "mAddIncSub", "Add Folder && subfolders - HTML && Word files...");
  mAddIncSubWord = item(mnuDrop, "mAddIncSubWord", "Add Folder && subfolders - Word files...");
  mAddIncSubHTML = item(mnuDrop, "mAddIncSubHTML", "Add Folder && subfolders - HTML files...");

  mnuPop = new QMenu(this);
  mnuPop->setObjectName("mnuPop");
  mView = item(mnuPop, "mView", "View...");
  mEdit = item(mnuPop, "mEdit", "Edit...");
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
  act(mAddIncSub, [this] { add_folder_tree({"*.doc", "*.docx", "*.odt", "*.htm", "*.html"}); });
  act(mAddIncSubWord, [this] { add_folder_tree(document_patterns); });
  act(mAddIncSubHTML, [this] { add_folder_tree({"*.htm", "*.html"}); });
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
  int chosen = setting_template();
  // A hand-edited negative index counts as out of range too.
  if (chosen < 0 || chosen > cmbTemplates->count() - 1) chosen = 0;
  cmbTemplates->setCurrentIndex(chosen);

  update_buttons();

  if (setting_express()) cmdExpress_Click();

  if (setting_splash() && !convert_mode) {
    show();
    if (window_hooks().show_splash) window_hooks().show_splash(this);
  }

  if (!argument_text.empty()) {
    size_t at = argument_text.find("/add:");
    if (at != std::string::npos) {
      std::string path = replace_all(argument_text.substr(at + 5), "\"", "");
      add_file(trim(path));
    }
  }
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

void frmMain::place_list(QWidget* page, QWidget* placeholder) {
  if (lstFiles->parentWidget() != page) lstFiles->setParent(page);
  lstFiles->setGeometry(placeholder->geometry());
  lstFiles->show();
}

void frmMain::cmdExpress_Click() {
  if (wizard_mode) {
    wizard_mode = false;
    current_step = -1;
    load_step();
    place_list(picNormal, list_area);
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
  cmdNext->setText("Next >");
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
      cmbTemplates2->blockSignals(true);
      cmbTemplates2->clear();
      for (int i = 0; i < cmbTemplates->count(); ++i) cmbTemplates2->addItem(cmbTemplates->itemText(i));
      cmbTemplates2->blockSignals(false);
      cmbTemplates2->setCurrentIndex(0);
      cmbTemplates2_Click();
      break;
    }
    case 2:
      cmdBack->setEnabled(true);
      cmdNext->setEnabled(lstFiles->topLevelItemCount() > 0);
      place_list(pages[2], list_area2);
      break;
    case 3:
      cmdBack->setEnabled(true);
      cmdNext->setEnabled(true);
      cmdNext->setText("Start");
      break;
    case 4:
      cmdBack->setEnabled(false);
      cmdNext->setEnabled(false);
      cmdConvert_Click();
      break;
  }
}

// ---------------------------------------------------------------- controls

void frmMain::chkPlaceSame_Click() {
  bool free_choice = !chkPlaceSame->isChecked();
  txtDest->setEnabled(free_choice);
  cmdBrowse->setEnabled(free_choice);
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

void frmMain::cmdManage_Click() {
  if (window_hooks().open_manager) window_hooks().open_manager(this);
  load_templates();
  cmbTemplates->setCurrentIndex(0);
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

void frmMain::Form_Resize() {
  const int W = width();
  const int top = tw_y(toolbar_height);

  // Toolbar: banner across, buttons at the right end.
  picToolbar->setGeometry(0, 0, W, top);
  imgBanner->setGeometry(0, 0, W, top);
  if (imgBanner->pixmap().deviceIndependentSize().toSize() != QSize(W, top))
    imgBanner->setPixmap(pictures::banner(W, top));
  if (auto* logo = picToolbar->findChild<QLabel*>("logo")) logo->move(tw_x(180), (top - 32) / 2);
  int x = W - tw_x(30);
  for (QToolButton* b : {cmdHelp, cmdSettings, cmdExpress}) {
    x -= b->width();
    b->move(x, (top - b->height()) / 2);
  }

  // Normal page.
  const int H = std::max(0, height() - top);
  picNormal->setGeometry(0, top, W, H);
  const int gap = tw_y(30);
  const int margin = tw_x(120);
  const int column_left = W - cmdView->width() - margin;
  for (QPushButton* b : {cmdView, cmdEdit, cmdRemove, cmdSelAll}) b->move(column_left, b->y());

  const int cmb_w = tw_x(4800);
  const int cmb_left = W - margin - cmb_w;
  cmbTemplates->setGeometry(cmb_left, tw_y(360), cmb_w, tw_y(330));
  lblTemplate->setGeometry(cmb_left, tw_y(120), cmb_w, tw_y(240));
  const int manage_w = tw_x(1215);
  cmdManage->setGeometry(cmb_left + cmb_w - manage_w, tw_y(750), manage_w, tw_y(button_height));

  const int convert_w = tw_x(1335), convert_h = tw_y(420);
  cmdConvert->setGeometry(W - tw_x(240) - convert_w, H - tw_y(240) - convert_h, convert_w,
                          convert_h);
  const int check_h = tw_y(285);
  const int list_right = column_left - margin;
  const int check_w = std::max(0, cmdConvert->x() - margin - margin);
  chkBackup->setGeometry(margin, cmdConvert->geometry().bottom() + 1 - check_h, check_w, check_h);
  chkPlaceSame->setGeometry(margin, chkBackup->y() - gap - check_h, check_w, check_h);
  const int box_h = tw_y(315);
  const int browse_w = tw_x(375);
  txtDest->setGeometry(margin, chkPlaceSame->y() - gap - box_h,
                       std::max(0, list_right - margin - browse_w - tw_x(60)), box_h);
  cmdBrowse->setGeometry(txtDest->geometry().right() + 1 + tw_x(60), txtDest->y(), browse_w,
                         box_h);
  const int label_h = tw_y(240);
  lblDest->setGeometry(margin, txtDest->y() - gap - label_h, tw_x(4000), label_h);

  const int row_h = tw_y(button_height);
  const int row_top = lblDest->y() - tw_y(240) - row_h;
  cmdAdd->setGeometry(margin, row_top, tw_x(1215), row_h);
  cmdAddFolder->setGeometry(cmdAdd->geometry().right() + 1 + tw_x(60), row_top, tw_x(1335), row_h);
  cmdDrop->setGeometry(cmdAddFolder->geometry().right() + 1, row_top, tw_x(300), row_h);

  const int list_top = tw_y(1170);
  list_area->setGeometry(margin, list_top, std::max(0, list_right - margin),
                         std::max(0, row_top - gap - list_top));
  if (lstFiles->parentWidget() == picNormal) lstFiles->setGeometry(list_area->geometry());

  // Wizard: the pages keep their size; the button bar runs along the bottom.
  const int bar_h = tw_y(button_bar_height);
  picButtons->setGeometry(0, height() - bar_h, W, bar_h);
  const int bw = tw_x(1215), bh = tw_y(button_height), by = (bar_h - bh) / 2;
  cmdNext->setGeometry(W - margin - bw, by, bw, bh);
  cmdBack->setGeometry(cmdNext->x() - bw, by, bw, bh);
  cmdExit->setGeometry(cmdBack->x() - tw_x(240) - bw, by, bw, bh);
}

// ---------------------------------------------------------------- the job

void frmMain::cmdConvert_Click() {
  if (busy_ || !offer_retry()) return;
  last_job_ok_ = run_batch_job(*this);
  if (busy_) set_busy(false);
  if (close_pending_) {
    close_pending_ = false;
    close();
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
  if (!progress_) progress_ = new frmProgress(this);
  progress_->set_label("converting...");
  progress_->set_percent(0);
  progress_->show();
  progress_->raise();
  last_pump_.invalidate();
}

void frmMain::set_progress_label(const std::string& text) {
  if (progress_) {
    progress_->set_label(qs(text));
    progress_->repaint();
  }
}

void frmMain::close_progress() {
  if (progress_) {
    progress_->finish();
    delete progress_.data();
  }
}

frmProgress* frmMain::progress_window() const { return progress_.data(); }

void frmMain::set_file_position(int file, int files) {
  job_file_ = file;
  job_files_ = files;
  if (!progress_) return;
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
  if (!progress_) return;
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
