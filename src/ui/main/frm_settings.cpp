#include "ui/main/frm_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "services/dialogs.h"
#include "services/flags.h"
#include "services/program.h"
#include "services/settings.h"
#include "templates/library.h"
#include "ui/main/frm_main.h"
#include "ui/main/frm_splash.h"
#include "ui/main/pictures.h"
#include "ui/main/window_fit.h"

namespace nx {
namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }
const char* on_off(bool on) { return on ? "1" : "0"; }

// The editor and browser pickers: programs only.
const std::string program_filter = std::string("*") + exe_suffix + "|*" + exe_suffix;

}  // namespace

frmSettings::frmSettings(QWidget* owner) : QDialog(owner) {
  setObjectName("frmSettings");
  setWindowTitle("Settings");
  setModal(true);

  auto label = [this](const char* name, const char* text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    return l;
  };
  auto check = [this](const char* name, const char* text) {
    auto* c = new QCheckBox(text, this);
    c->setObjectName(name);
    return c;
  };
  auto edit = [this](const char* name) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setMinimumWidth(330);
    return e;
  };

  lblStartup = label("lblStartup", "When Nubrix starts:");
  chkSplash = check("chkSplash", "Display &Splash window");
  chkWizard = check("chkWizard", "Display in &Wizard Mode");

  auto* mode = new QFrame(this);
  mode->setFrameShape(QFrame::StyledPanel);
  lblMode = new QLabel("Conversion mode:", mode);
  lblMode->setObjectName("lblMode");
  optMSW = new QRadioButton("Use &LibreOffice converter", mode);
  optMSW->setObjectName("optMSW");
  optNXC = new QRadioButton("Use Nubrix &internal converter", mode);
  optNXC->setObjectName("optNXC");

  lblTemplate = label("lblTemplate", "Default &Template:");
  cmbTemplates = new QComboBox(this);
  cmbTemplates->setObjectName("cmbTemplates");
  lblEditor = label("lblEditor", "Default External E&ditor:");
  txtEditor = edit("txtEditor");
  lblBrowser = label("lblBrowser", "Default &Browser: (leave blank to use system settings)");
  txtBrowser = edit("txtBrowser");
  lblFolder = label("lblFolder", "Default &Folder:");
  txtFolder = edit("txtFolder");
  // Each "Browse..." button has a letter of its own.
  const std::array<const char*, 3> browse_captions = {"B&rowse...", "Brows&e...", "Br&owse..."};
  for (int i = 0; i < 3; ++i) {
    cmdBrowser[i] = new QPushButton(browse_captions[i], this);
    cmdBrowser[i]->setObjectName(QString("cmdBrowser(%1)").arg(i));
    cmdBrowser[i]->setAutoDefault(false);
    connect(cmdBrowser[i], &QPushButton::clicked, this, [this, i] { cmdBrowser_Click(i); });
  }
  chkPlaceSame = check("chkPlaceSame", "&Place in the same folders as the original files");
  cmdOK = new QPushButton("O&K", this);
  cmdOK->setObjectName("cmdOK");
  cmdOK->setDefault(true);
  cmdCancel = new QPushButton("&Cancel", this);
  cmdCancel->setObjectName("cmdCancel");
  cmdCancel->setAutoDefault(false);
  imgLogo = new QLabel(this);
  imgLogo->setObjectName("imgLogo");
  connect(cmdOK, &QPushButton::clicked, this, &frmSettings::cmdOK_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &frmSettings::cmdCancel_Click);

  // Start-up boxes at the left, the conversion-mode group at the top right.
  auto* startup = new QVBoxLayout;
  startup->addWidget(lblStartup);
  startup->addWidget(chkSplash);
  startup->addWidget(chkWizard);
  startup->addStretch();
  auto* mode_box = new QVBoxLayout(mode);
  mode_box->addWidget(lblMode);
  mode_box->addWidget(optMSW);
  mode_box->addWidget(optNXC);
  auto* top = new QHBoxLayout;
  top->addLayout(startup);
  top->addStretch();
  top->addWidget(mode, 0, Qt::AlignTop);

  auto* fields = new QGridLayout;
  fields->setHorizontalSpacing(8);
  fields->setVerticalSpacing(2);
  int row = 0;
  fields->addWidget(lblTemplate, row++, 0, 1, 2);
  fields->addWidget(cmbTemplates, row++, 0);
  fields->addItem(new QSpacerItem(0, 8), row++, 0);
  // Text box and button rows in the order the window shows them.
  const std::array<std::pair<QLabel*, QLineEdit*>, 3> pickers = {
      {{lblEditor, txtEditor}, {lblBrowser, txtBrowser}, {lblFolder, txtFolder}}};
  const std::array<int, 3> button_of = {0, 2, 1};
  for (int k = 0; k < 3; ++k) {
    fields->addWidget(pickers[k].first, row++, 0, 1, 2);
    fields->addWidget(pickers[k].second, row, 0);
    fields->addWidget(cmdBrowser[button_of[k]], row++, 1);
    fields->addItem(new QSpacerItem(0, 8), row++, 0);
  }
  fields->addWidget(chkPlaceSame, row++, 0, 1, 2);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(imgLogo, 0, Qt::AlignBottom);
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);

  // OK and Cancel stay in view; the rest scrolls on a screen too small.
  auto* content = new QWidget;
  content->setObjectName("picContent");
  auto* content_box = new QVBoxLayout(content);
  content_box->setContentsMargins(0, 0, 0, 0);
  content_box->addLayout(top);
  content_box->addSpacing(10);
  content_box->addLayout(fields);
  content_box->addStretch(1);
  for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (w != imgLogo && w != cmdOK && w != cmdCancel && w != content) w->setParent(content);
  auto* all = new QVBoxLayout(this);
  all->addWidget(scroll_area_for(content, this), 1);
  all->addSpacing(6);
  all->addLayout(buttons);
  lblTemplate->setBuddy(cmbTemplates);
  lblEditor->setBuddy(txtEditor);
  lblBrowser->setBuddy(txtBrowser);
  lblFolder->setBuddy(txtFolder);

  Form_Load();
  fit_to_screen(this, sizeHint(), findChild<QScrollArea*>());
}

void frmSettings::Form_Load() {
  imgLogo->setPixmap(pictures::logo());
  chkSplash->setChecked(setting_splash());
  chkWizard->setChecked(setting_express());
  txtEditor->setText(qs(setting_editor()));
  txtBrowser->setText(qs(setting_browser()));
  txtFolder->setText(qs(setting_path()));
  chkPlaceSame->setChecked(setting_original());
  // The mode in force, which is not always the stored one: without the
  // engine the internal converter runs whatever the file says.
  (use_internal_converter ? optNXC : optMSW)->setChecked(true);

  std::vector<std::string> names = list_templates();
  cmbTemplates->clear();
  cmbTemplates->addItem("(Default)");
  for (size_t i = 1; i < names.size(); ++i) cmbTemplates->addItem(qs(names[i]));
  cmbTemplates->setCurrentIndex(chosen_template_index(names));
}

void frmSettings::cmdOK_Click() {
  write_setting("startup", "splash", on_off(chkSplash->isChecked()));
  write_setting("startup", "express", on_off(chkWizard->isChecked()));
  write_setting("default", "editor", ss(txtEditor->text()));
  write_setting("default", "browser", ss(txtBrowser->text()));
  write_setting("default", "path", ss(txtFolder->text()));
  write_setting("default", "original", on_off(chkPlaceSame->isChecked()));
  write_setting("default", "template", std::to_string(std::max(0, cmbTemplates->currentIndex())));
  write_setting("default", "converter", optMSW->isChecked() ? "0" : "1");
  load_settings();
  accept();
}

void frmSettings::cmdCancel_Click() { reject(); }

void frmSettings::cmdBrowser_Click(int index) {
  if (index == 1) {
    std::string folder = dialogs().browse_folder("Select a Directory");
    if (!folder.empty()) txtFolder->setText(qs(folder));
    return;
  }
  QLineEdit* box = index == 0 ? txtEditor : txtBrowser;
  int filter_index = 1;
  std::string file = dialogs().open_file("", ss(box->text()), program_filter, filter_index);
  // A cancelled browser pick empties the box, which stands for the system's
  // own handler; a cancelled editor pick keeps the editor.
  if (index == 2 || !file.empty()) box->setText(qs(file));
}

void show_settings(QWidget* owner) {
  frmSettings dialog(owner);
  dialog.exec();
}

void install_settings_and_splash() {
  window_hooks().open_settings = show_settings;
  window_hooks().show_splash = show_splash;
}

}  // namespace nx
