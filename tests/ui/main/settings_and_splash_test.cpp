// The settings dialog driven as a user drives it, with scripted pickers,
// and the splash window.
#include <QRadioButton>
#include <cstdlib>

#include "services/ini.h"
#include "ui/main/frm_settings.h"
#include "ui/main/frm_splash.h"
#include "ui_fixture.h"

namespace nx::test {
namespace {

class settings_dialog : public window_test {
 protected:
  void SetUp() override {
    window_test::SetUp();
    // An empty PATH: no editor and no engine unless a test provides one.
    path_ = std::getenv("PATH");
    ::setenv("PATH", tmp.mkdir("bin").c_str(), 1);
    ::unsetenv("NUBRIX_SOFFICE");
  }
  void TearDown() override {
    ::setenv("PATH", path_.c_str(), 1);
    window_test::TearDown();
  }

  void install_engine() { tmp.write_script("bin/soffice", "exit 0\n"); }

  std::string key(const char* section, const char* name) {
    return ini_read(settings_file_path(), section, name, "<missing>");
  }

 private:
  std::string path_;
};

TEST_F(settings_dialog, fresh_install_shows_every_default_and_ok_writes_all_eight_keys_in_order) {
  tmp.write("prog/templates/Strip all.dat", "[TEMPLATE]\r\n");
  tmp.write("prog/templates/Keep tables.dat", "[TEMPLATE]\r\n");
  install_engine();
  load_settings();
  const std::string home = prog.substr(0, prog.size() - 1);

  frmSettings d;
  EXPECT_EQ(d.txtEditor->text().toStdString(), "gedit");  // no editor on PATH
  EXPECT_TRUE(d.optMSW->isChecked());
  EXPECT_EQ(d.optNXC->text(), "Use Nubrix &internal converter");  // one blank, not two
  ASSERT_EQ(d.cmbTemplates->count(), 3);
  EXPECT_EQ(d.cmbTemplates->itemText(0) + d.cmbTemplates->itemText(1), "(Default)Keep tables");
  EXPECT_FALSE(exists(settings_file_path())) << "opening writes nothing";

  QTest::mouseClick(d.cmdOK, Qt::LeftButton);
  EXPECT_EQ(settings_lines(),
            (std::vector<std::string>{"splash=1", "express=0", "editor=gedit", "browser=",
                                      "path=" + home, "original=1", "template=0", "converter=0"}));
}

TEST_F(settings_dialog, stored_values_are_shown_edited_and_written_back_and_cancel_writes_nothing) {
  tmp.write("prog/templates/A.dat", "");
  tmp.write("prog/templates/B.dat", "");
  tmp.write("prog/nubrix.ini",
            "[startup]\r\nsplash=0\r\nexpress=1\r\n[default]\r\neditor=kwrite\r\n"
            "browser=firefox\r\npath=/no/such/folder\r\noriginal=yes\r\ntemplate=2\r\n");
  const std::string before = read_all(settings_file_path());
  {
    frmSettings d;
    EXPECT_TRUE(d.chkWizard->isChecked());
    EXPECT_EQ(d.txtFolder->text(), "/no/such/folder");  // not tested for existence
    EXPECT_EQ(d.cmbTemplates->currentIndex(), 2);
    QTest::mouseClick(d.chkSplash, Qt::LeftButton);
    QTest::keyClicks(d.txtEditor, "x");
    QTest::mouseClick(d.cmdCancel, Qt::LeftButton);
  }
  EXPECT_EQ(read_all(settings_file_path()), before);

  frmSettings d;  // nothing of the cancelled edits is remembered
  EXPECT_EQ(d.txtEditor->text(), "kwrite");
  QTest::mouseClick(d.chkSplash, Qt::LeftButton);
  QTest::mouseClick(d.chkPlaceSame, Qt::LeftButton);
  d.cmbTemplates->setCurrentIndex(1);
  QTest::mouseClick(d.optNXC, Qt::LeftButton);
  QTest::mouseClick(d.cmdOK, Qt::LeftButton);
  EXPECT_EQ(key("startup", "splash") + key("default", "original") + key("default", "template") +
                key("default", "converter"),
            "1111");
  EXPECT_TRUE(use_internal_converter);

  write_setting("default", "template", "7");  // beyond the list of two
  frmSettings beyond;
  EXPECT_EQ(beyond.cmbTemplates->currentIndex(), 0);
  beyond.cmdOK_Click();
  EXPECT_EQ(key("default", "template"), "0");
}

TEST_F(settings_dialog, pickers_fill_their_boxes_and_the_converter_options_show_the_mode_in_force) {
  write_setting("default", "editor", "kwrite");
  write_setting("default", "browser", "firefox");
  write_setting("default", "converter", "0");
  load_settings();  // no engine: the internal converter, whatever is stored
  frmSettings d;
  EXPECT_TRUE(d.optNXC->isChecked());
  const QString folder_before = d.txtFolder->text();

  // Cancelled pickers: the editor and the folder stay, the browser empties.
  for (int i = 0; i < 3; ++i) QTest::mouseClick(d.cmdBrowser[i], Qt::LeftButton);
  EXPECT_EQ(d.txtEditor->text(), "kwrite");
  EXPECT_EQ(d.txtFolder->text(), folder_before);
  EXPECT_EQ(d.txtBrowser->text(), "");
  ASSERT_EQ(dlg.calls.size(), 3u);
  EXPECT_EQ(dlg.calls[2].default_text, "firefox");

  // Chosen answers replace the boxes, each button its own box.
  dlg.file_answers = {"/usr/bin/kate", "/usr/bin/epiphany"};
  dlg.folder_answers = {"/srv/out/"};
  QTest::mouseClick(d.cmdBrowser[2], Qt::LeftButton);
  QTest::mouseClick(d.cmdBrowser[0], Qt::LeftButton);
  QTest::mouseClick(d.cmdBrowser[1], Qt::LeftButton);
  install_engine();
  QTest::mouseClick(d.optMSW, Qt::LeftButton);
  QTest::mouseClick(d.cmdOK, Qt::LeftButton);
  EXPECT_EQ(key("default", "editor"), "/usr/bin/epiphany");
  EXPECT_EQ(key("default", "browser"), "/usr/bin/kate");
  EXPECT_EQ(key("default", "path"), "/srv/out/");
  EXPECT_FALSE(use_internal_converter) << "the choice is in force without a restart";
}

TEST_F(settings_dialog, opened_from_the_main_window_it_leaves_the_open_window_as_it_was) {
  for (const char* name : {"A", "B", "C"}) template_file(name);
  write_setting("startup", "splash", "0");
  write_setting("default", "template", "1");
  install_settings_and_splash();
  frmMain& w = open();
  const QString dest = w.txtDest->text();
  on_modal<frmSettings> settings([&](frmSettings* d) {
    d->cmbTemplates->setCurrentIndex(3);
    d->txtFolder->setText("/elsewhere");
    QTest::mouseClick(d->chkPlaceSame, Qt::LeftButton);
    QTest::mouseClick(d->cmdOK, Qt::LeftButton);
  });
  QTest::mouseClick(w.cmdSettings, Qt::LeftButton);
  EXPECT_TRUE(settings.ran());
  EXPECT_EQ(key("default", "template"), "3");
  EXPECT_EQ(w.cmbTemplates->currentIndex(), 1);
  EXPECT_EQ(w.txtDest->text(), dest);
  EXPECT_EQ(w.findChild<frmSettings*>(), nullptr);  // gone when closed
}

using splash_window = window_test;

TEST_F(splash_window, credit_line_timer_and_clicks) {
  use_internal_converter = true;
  frmSplash with(nullptr);
  EXPECT_EQ(with.lblCredit->isHidden() ? "" : with.lblCredit->text(), "Polar Converter component used.");
  use_internal_converter = false;
  frmSplash s(nullptr);
  EXPECT_TRUE(s.lblCredit->isHidden());

  s.show();
  QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(200, 120));
  QTest::mouseClick(s.picture, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseClick(&s, Qt::RightButton, {}, QPoint(200, 120));
  QApplication::processEvents();
  EXPECT_TRUE(s.isVisible());
  QTest::mouseDClick(s.picture, Qt::LeftButton, {}, QPoint(200, 120));
  EXPECT_FALSE(s.isVisible());
  EXPECT_EQ(s.result(), QDialog::Accepted);

  // A short timer closes it; the guard fails a splash that never closes.
  frmSplash quick(nullptr, 20);
  QTimer::singleShot(3000, &quick, [&] { quick.done(-1); });
  EXPECT_EQ(quick.exec(), QDialog::Accepted);
}

}  // namespace
}  // namespace nx::test
