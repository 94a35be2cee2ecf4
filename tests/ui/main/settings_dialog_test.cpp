// The settings dialog driven as a user drives it, with scripted pickers.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>

#include "dialog_fixture.h"
#include "services/flags.h"
#include "services/ini.h"
#include "services/settings.h"
#include "ui/main/frm_settings.h"

namespace nx::test {
namespace {

class settings_dialog : public dialog_test {
 protected:
  void SetUp() override {
    dialog_test::SetUp();
    for (const char* v : {"PATH", "NUBRIX_SOFFICE"}) {
      const char* old = std::getenv(v);
      saved_env_.push_back({v, old ? std::optional<std::string>(old) : std::nullopt});
    }
    // An empty PATH: no editor and no engine unless a test provides one.
    ::setenv("PATH", tmp.mkdir("bin").c_str(), 1);
    ::unsetenv("NUBRIX_SOFFICE");
  }
  void TearDown() override {
    for (auto& [name, value] : saved_env_) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
    dialog_test::TearDown();
  }

  void install_engine() {
    std::string soffice = tmp.write("bin/soffice", "#!/bin/sh\nexit 0\n");
    ::chmod(soffice.c_str(), 0755);
  }

  std::string key(const char* section, const char* name) {
    return ini_read(settings_file_path(), section, name, "<missing>");
  }

  std::string program_folder_plain() const { return prog.substr(0, prog.size() - 1); }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_env_;
};

TEST_F(settings_dialog, fresh_install_shows_every_default_and_ok_writes_all_eight_keys_in_order) {
  tmp.write("prog/templates/Strip all.dat", "[TEMPLATE]\r\n");
  tmp.write("prog/templates/Keep tables.dat", "[TEMPLATE]\r\n");
  install_engine();
  load_settings();
  ASSERT_FALSE(use_internal_converter);

  frmSettings d;
  EXPECT_EQ(d.windowTitle(), "Settings");
  EXPECT_TRUE(d.Check1->isChecked());
  EXPECT_FALSE(d.Check2->isChecked());
  EXPECT_EQ(d.Text1->text().toStdString(), "gedit");  // no editor on PATH
  EXPECT_EQ(d.Text3->text(), "");
  EXPECT_EQ(d.Text2->text().toStdString(), program_folder_plain());
  EXPECT_TRUE(d.chkPlaceSame->isChecked());
  EXPECT_TRUE(d.optMSW->isChecked());
  EXPECT_FALSE(d.optNXC->isChecked());
  EXPECT_EQ(d.optMSW->text(), "Use LibreOffice converter");
  EXPECT_EQ(d.optNXC->text(), "Use Nubrix internal  converter");
  ASSERT_EQ(d.cmbTemplates->count(), 3);
  EXPECT_EQ(d.cmbTemplates->itemText(0), "(Default)");
  EXPECT_EQ(d.cmbTemplates->itemText(1), "Keep tables");
  EXPECT_EQ(d.cmbTemplates->itemText(2), "Strip all");
  EXPECT_EQ(d.cmbTemplates->currentIndex(), 0);
  EXPECT_FALSE(d.Image1->pixmap().isNull());
  EXPECT_FALSE(exists(settings_file_path()));  // opening writes nothing

  QTest::mouseClick(d.cmdOK, Qt::LeftButton);
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(settings_keys(), (std::vector<std::string>{"splash", "express", "editor", "browser",
                                                        "path", "original", "template",
                                                        "converter"}));
  EXPECT_EQ(key("startup", "splash"), "1");
  EXPECT_EQ(key("startup", "express"), "0");
  EXPECT_EQ(key("default", "editor"), "gedit");
  EXPECT_EQ(key("default", "browser"), "");
  EXPECT_EQ(key("default", "path"), program_folder_plain());
  EXPECT_EQ(key("default", "original"), "1");
  EXPECT_EQ(key("default", "template"), "0");
  EXPECT_EQ(key("default", "converter"), "0");
}

TEST_F(settings_dialog, stored_values_are_shown_edited_and_written_back_and_cancel_writes_nothing) {
  tmp.write("prog/templates/A.dat", "");
  tmp.write("prog/templates/B.dat", "");
  tmp.write("prog/nubrix.ini",
            "[startup]\r\nsplash=0\r\nexpress=1\r\n[default]\r\neditor=kwrite\r\n"
            "browser=firefox\r\npath=/no/such/folder\r\noriginal=yes\r\ntemplate=2\r\n");
  const std::string before = settings_text();
  {
    frmSettings d;
    EXPECT_FALSE(d.Check1->isChecked());
    EXPECT_TRUE(d.Check2->isChecked());
    EXPECT_EQ(d.Text1->text(), "kwrite");
    EXPECT_EQ(d.Text3->text(), "firefox");
    EXPECT_EQ(d.Text2->text(), "/no/such/folder");  // not tested for existence
    EXPECT_FALSE(d.chkPlaceSame->isChecked());       // only "1" ticks
    EXPECT_EQ(d.cmbTemplates->currentIndex(), 2);

    QTest::mouseClick(d.Check1, Qt::LeftButton);
    QTest::mouseClick(d.optNXC, Qt::LeftButton);
    d.Text1->clear();
    QTest::keyClicks(d.Text1, "mousepad");
    QTest::mouseClick(d.cmdCancel, Qt::LeftButton);
    EXPECT_EQ(d.result(), QDialog::Rejected);
  }
  EXPECT_EQ(settings_text(), before);
  {
    frmSettings d;  // nothing of the cancelled edits is remembered
    EXPECT_FALSE(d.Check1->isChecked());
    EXPECT_EQ(d.Text1->text(), "kwrite");
    QTest::keyClick(&d, Qt::Key_Escape);
  }
  EXPECT_EQ(settings_text(), before);

  frmSettings d;
  QTest::mouseClick(d.Check1, Qt::LeftButton);
  QTest::mouseClick(d.Check2, Qt::LeftButton);
  QTest::mouseClick(d.chkPlaceSame, Qt::LeftButton);
  d.Text3->clear();
  d.cmbTemplates->setCurrentIndex(1);
  QTest::mouseClick(d.optNXC, Qt::LeftButton);
  QTest::mouseClick(d.cmdOK, Qt::LeftButton);
  EXPECT_EQ(key("startup", "splash"), "1");
  EXPECT_EQ(key("startup", "express"), "0");
  EXPECT_EQ(key("default", "browser"), "");
  EXPECT_EQ(key("default", "original"), "1");
  EXPECT_EQ(key("default", "template"), "1");
  EXPECT_EQ(key("default", "converter"), "1");
  EXPECT_TRUE(use_internal_converter);
}

TEST_F(settings_dialog, a_template_index_beyond_the_list_selects_default_and_is_written_as_zero) {
  tmp.write("prog/templates/Only.dat", "");
  write_setting("default", "template", "7");
  frmSettings d;
  EXPECT_EQ(d.cmbTemplates->currentIndex(), 0);
  d.cmdOK_Click();
  EXPECT_EQ(key("default", "template"), "0");
}

TEST_F(settings_dialog, pickers_fill_their_boxes_with_their_own_cancel_rules) {
  write_setting("default", "editor", "kwrite");
  write_setting("default", "browser", "firefox");
  frmSettings d;
  const std::string folder_before = d.Text2->text().toStdString();

  // Cancelled pickers: the editor and the folder stay, the browser empties.
  QTest::mouseClick(d.cmdBrowser[0], Qt::LeftButton);
  QTest::mouseClick(d.cmdBrowser[1], Qt::LeftButton);
  QTest::mouseClick(d.cmdBrowser[2], Qt::LeftButton);
  EXPECT_EQ(d.Text1->text(), "kwrite");
  EXPECT_EQ(d.Text2->text().toStdString(), folder_before);
  EXPECT_EQ(d.Text3->text(), "");
  ASSERT_EQ(dlg.calls.size(), 3u);
  EXPECT_EQ(dlg.calls[0].kind, "open");
  EXPECT_EQ(dlg.calls[0].text, "");  // the picker's own title
  EXPECT_EQ(dlg.calls[0].default_text, "kwrite");
  EXPECT_EQ(dlg.calls[1].kind, "browse");
  EXPECT_EQ(dlg.calls[1].text, "Select a Directory");
  EXPECT_EQ(dlg.calls[2].kind, "open");
  EXPECT_EQ(dlg.calls[2].default_text, "firefox");

  // Chosen answers replace the boxes, each button its own box.
  dlg.file_answers = {"/usr/bin/kate", "/usr/bin/epiphany"};
  dlg.folder_answers = {"/srv/out/"};
  QTest::mouseClick(d.cmdBrowser[2], Qt::LeftButton);
  QTest::mouseClick(d.cmdBrowser[0], Qt::LeftButton);
  QTest::mouseClick(d.cmdBrowser[1], Qt::LeftButton);
  EXPECT_EQ(d.Text3->text(), "/usr/bin/kate");
  EXPECT_EQ(d.Text1->text(), "/usr/bin/epiphany");
  EXPECT_EQ(d.Text2->text(), "/srv/out/");

  d.cmdOK_Click();
  EXPECT_EQ(key("default", "editor"), "/usr/bin/epiphany");
  EXPECT_EQ(key("default", "browser"), "/usr/bin/kate");
  EXPECT_EQ(key("default", "path"), "/srv/out/");
}

TEST_F(settings_dialog, option_buttons_show_the_mode_in_force_not_the_stored_key) {
  // No engine: the internal converter runs whatever "converter" holds.
  write_setting("default", "converter", "0");
  load_settings();
  {
    frmSettings d;
    EXPECT_TRUE(d.optNXC->isChecked());
    EXPECT_FALSE(d.optMSW->isChecked());
    QTest::mouseClick(d.optMSW, Qt::LeftButton);
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    EXPECT_EQ(key("default", "converter"), "0");
    EXPECT_TRUE(use_internal_converter);
  }

  // With the engine found, the choice takes effect without a restart.
  install_engine();
  write_setting("default", "converter", "1");
  load_settings();
  ASSERT_TRUE(use_internal_converter);
  frmSettings d;
  EXPECT_TRUE(d.optNXC->isChecked());
  QTest::mouseClick(d.optMSW, Qt::LeftButton);
  QTest::mouseClick(d.cmdOK, Qt::LeftButton);
  EXPECT_EQ(key("default", "converter"), "0");
  EXPECT_FALSE(use_internal_converter);
}

TEST_F(settings_dialog, opened_from_the_main_window_it_leaves_the_open_window_as_it_was) {
  for (const char* name : {"A", "B", "C"}) tmp.write(std::string("prog/templates/") + name + ".dat", "");
  write_setting("startup", "splash", "0");
  write_setting("default", "template", "1");
  install_settings_and_splash();

  frmMain win;
  win.Form_Load();
  win.show();
  ASSERT_EQ(win.cmbTemplates->currentIndex(), 1);
  const QString dest = win.txtDest->text();

  bool seen = false;
  when_shown<frmSettings>(&win, [&](frmSettings* d) {
    ASSERT_NE(d, nullptr);
    seen = true;
    EXPECT_TRUE(d->isModal());
    EXPECT_EQ(d->cmbTemplates->currentIndex(), 1);
    d->cmbTemplates->setCurrentIndex(3);
    d->Text2->setText("/elsewhere");
    QTest::mouseClick(d->chkPlaceSame, Qt::LeftButton);
    QTest::mouseClick(d->cmdOK, Qt::LeftButton);
  });
  QTest::mouseClick(win.findChild<QToolButton*>("cmdSettings"), Qt::LeftButton);
  ASSERT_TRUE(seen);
  EXPECT_EQ(key("default", "template"), "3");
  EXPECT_EQ(key("default", "path"), "/elsewhere");
  EXPECT_EQ(win.cmbTemplates->currentIndex(), 1);
  EXPECT_EQ(win.txtDest->text(), dest);
  EXPECT_TRUE(win.chkPlaceSame->isChecked());
  EXPECT_EQ(win.findChild<frmSettings*>(), nullptr);  // gone when closed
  win.Form_Unload();
}

}  // namespace
}  // namespace nx::test
