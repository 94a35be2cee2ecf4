// Convert and Start run the batch job through the window: progress window,
// rows written back, Cancel from inside the job's pump, closing mid-job;
// the command line's hidden conversion.
#include <QProgressBar>
#include <algorithm>
#include <filesystem>

#include "ui/main/frm_progress.h"
#include "ui/main/qt_dialogs.h"
#include "ui/main/qt_windows.h"
#include "ui_fixture.h"

namespace nx::test {
namespace {

class job_host : public window_test {
 protected:
  void SetUp() override {
    window_test::SetUp();
    write_setting("default", "original", "0");
    write_setting("default", "backup", "0");
    out = tmp.mkdir("out");
    open();
    win->txtDest->setText(QString::fromStdString(out));
  }

  void add_pages(int n) {
    for (int i = 0; i < n; ++i)
      win->add_file(tmp.write("in/p" + std::to_string(i) + ".html",
                              "<html><body><p class=MsoNormal><span>Hi</span></p></body></html>"));
  }

  std::string out;
};

TEST_F(job_host, convert_and_start_run_the_job_with_its_progress_window) {
  add_pages(1);
  win->add_file(tmp.write("other/p0.html", "<p>x</p>"));  // saved under another name
  bool seen = false;
  during_job([&](frmProgress* p) {
    seen = true;
    EXPECT_FALSE(p->isModal());
    EXPECT_TRUE(p->lblTime->text().startsWith("Elapsed 0:0")) << p->lblTime->text().toStdString();
    EXPECT_FALSE(win->picToolbar->isEnabled());
    EXPECT_FALSE(win->cmdRemove->isEnabled()) << "rows stay put while the job walks them";
    win->add_file(tmp.write("in/late.html", "<p>late</p>"));  // a new row must not re-enable Convert mid-job
    EXPECT_FALSE(win->cmdConvert->isEnabled());
    return true;
  });
  win->cmdConvert->click();
  EXPECT_TRUE(seen);
  EXPECT_EQ(win->row_text(0), out + "/p0.html");
  EXPECT_EQ(win->row_status(0), "Converted");
  EXPECT_TRUE(exists(out + "/p0.html"));
  EXPECT_EQ(win->lstFiles->topLevelItem(0)->toolTip(1), "");
  EXPECT_EQ(win->row_status(1), "Converted");
  EXPECT_EQ(win->lstFiles->topLevelItem(1)->toolTip(1).toStdString().rfind("Converted: saved as \"p0", 0), 0u);
  EXPECT_EQ(win->lblConv->text(), "Files converted successfully.");
  EXPECT_EQ(win->progress_window(), nullptr) << "closed at the end";
  EXPECT_TRUE(win->picToolbar->isEnabled());
  EXPECT_TRUE(win->cmdRemove->isEnabled());

  // The wizard's Start runs it too (for the late row); afterwards only Back
  // leads on, to change something and start again.
  win->cmdExpress_Click();
  for (int i = 0; i < 4; ++i) QTest::mouseClick(win->cmdNext, Qt::LeftButton);
  EXPECT_TRUE(win->pages[4]->isVisible());
  EXPECT_TRUE(win->cmdBack->isEnabled());
  EXPECT_FALSE(win->cmdNext->isEnabled());
  EXPECT_EQ(win->row_status(2), "Converted");
}

TEST_F(job_host, cancel_button_and_close_box_stop_the_job) {
  add_pages(3);
  during_job([&](frmProgress* p) { return QTest::mouseClick(p->cmdCancel, Qt::LeftButton), true; });
  win->cmdConvert->click();
  EXPECT_EQ(win->row_status(2), "Ready") << "no row after the cancel";
  EXPECT_FALSE(cancel_requested);

  bool stayed_open = false;
  during_job([&](frmProgress* p) {
    p->close();
    return stayed_open = p->isVisible(), true;
  });
  win->cmdConvert->click();
  EXPECT_TRUE(stayed_open) << "only the job closes its progress window";
  EXPECT_EQ(win->row_status(2), "Ready");

  // Closing the main window mid-job waits for the job, then stores.
  win->chkBackup->setChecked(true);
  during_job([&](frmProgress*) { return win->close(), true; });
  win->cmdConvert->click();
  EXPECT_FALSE(win->isVisible()) << "closed once the job had ended";
  EXPECT_TRUE(setting_backup());
}

TEST_F(job_host, progress_counts_files_and_failed_rows_say_why_and_can_be_tried_again) {
  const std::string marker = tmp.write("fail-bad", "");
  use_slow_engine(marker);
  for (const char* name : {"a.doc", "bad.doc", "bad2.doc"}) win->add_file(tmp.write(std::string("in/") + name, "x"));

  std::vector<std::string> counts;
  std::vector<int> bar;
  during_job([&](frmProgress* p) {
    std::string count = p->lblFile->text().toStdString();
    if (!count.empty() && (counts.empty() || counts.back() != count)) counts.push_back(count);
    bar.push_back(p->prgJob->value());
    return false;
  });
  win->cmdConvert->click();
  EXPECT_EQ(counts, (std::vector<std::string>{"File 1 of 3", "File 2 of 3", "File 3 of 3"}));
  EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()));
  EXPECT_GE(bar.back(), 66) << "the bar covers the whole job";

  const std::string why = "Failed: LibreOffice could not convert the document";
  EXPECT_EQ(win->row_status(1), why);
  EXPECT_EQ(win->lstFiles->topLevelItem(1)->toolTip(1).toStdString(), why);
  EXPECT_EQ(win->row_status(0), "Converted");

  // Only failed rows left: Convert offers to try them again; No does nothing.
  dlg.calls.clear();
  win->cmdConvert->click();
  EXPECT_EQ(dlg.messages(), std::vector<std::string>{"Try the 2 files that could not be converted again?"});
  EXPECT_EQ(win->row_status(1), why);
  select_rows({2});
  dlg.message_answers = {msg_result::yes, msg_result::yes};
  QTest::keyClick(win->lstFiles, Qt::Key_Delete);
  std::filesystem::remove(marker);
  dlg.calls.clear();
  counts.clear();
  win->cmdConvert->click();
  EXPECT_EQ(dlg.messages().front(), "Try the file that could not be converted again?");
  EXPECT_EQ(win->row_status(1), "Converted");
  EXPECT_EQ(win->lstFiles->topLevelItem(1)->toolTip(1), "");
  EXPECT_EQ(counts, std::vector<std::string>{"File 1 of 1"});
}

// The list follows the row being converted, and the progress strip
// leaves it clear.
TEST_F(job_host, the_list_follows_the_current_row_clear_of_the_progress_strip) {
  add_pages(40);
  bool clear = true;
  during_job([&](frmProgress* p) {
    const QRect list(win->lstFiles->mapTo(win.get(), QPoint()), win->lstFiles->size());
    const QRect strip(p->mapTo(win.get(), QPoint()), p->size());
    clear = clear && !list.intersects(strip);
    return false;
  });
  win->cmdConvert->click();
  EXPECT_TRUE(clear);
  const QRect last = win->lstFiles->visualItemRect(win->lstFiles->topLevelItem(39));
  EXPECT_TRUE(win->lstFiles->viewport()->rect().contains(last));
}

// Files at output names are listed and asked about once per job. The
// wizard checks its folder before it starts and lists each failed file
// with why.
TEST_F(job_host, existing_outputs_are_asked_about_and_the_wizard_checks_its_folder_and_lists_failures) {
  add_pages(2);
  const std::string p0 = tmp.write("out/p0.html", "mine"), p1 = tmp.write("out/p1.html", "mine");
  for (msg_result answer : {msg_result::cancel, msg_result::skip, msg_result::replace}) {
    dlg.calls.clear();
    dlg.message_answers = {answer};
    win->cmdConvert->click();
    ASSERT_FALSE(dlg.calls.empty());
    EXPECT_EQ(dlg.calls[0].text, "These 2 files already exist:\n\n" + p0 + "\n" + p1 +
                                     "\n\nReplace them with the converted files?");
    EXPECT_EQ(read_all(p1) == "mine", answer != msg_result::replace);
    EXPECT_EQ(win->row_status(1), answer == msg_result::replace ? "Converted" : "Ready");
  }

  use_internal_converter = true;
  win->lstFiles->clear();
  win->add_file(tmp.write("in/empty.doc", ""));
  win->add_file(tmp.write("in/fine.txt", "fine"));
  const std::string missing = tmp.file("new/out");
  win->txtDest->setText(QString::fromStdString(missing));
  win->cmdExpress_Click();
  while (win->current_step < 3) win->cmdNext_Click();
  dlg.calls.clear();
  dlg.message_answers = {msg_result::no};
  win->cmdNext_Click();
  EXPECT_EQ(dlg.messages(), std::vector<std::string>{"The folder \"" + missing + "\" does not exist. Create it?"});
  EXPECT_EQ(win->current_step, 3) << "declined: nothing starts";
  dlg.message_answers = {msg_result::yes};
  win->cmdNext_Click();
  EXPECT_EQ(win->current_step, 4);
  EXPECT_TRUE(exists(missing + "/fine.html"));
  ASSERT_TRUE(win->lstFailed->isVisible());
  ASSERT_EQ(win->lstFailed->topLevelItemCount(), 1);
  EXPECT_EQ(win->lstFailed->topLevelItem(0)->text(0).toStdString(), tmp.file("in/empty.doc"));
  EXPECT_EQ(win->lstFailed->topLevelItem(0)->text(1), "the file is empty");
  EXPECT_TRUE(win->cmdBack->isEnabled());
  win->cmdBack_Click();
  EXPECT_EQ(win->current_step, 3);
}

using hidden_conversion = window_test;

TEST_F(hidden_conversion, converts_into_the_destination_without_backups_and_stores_that) {
  write_setting("default", "backup", "1");
  write_setting("default", "original", "1");
  convert_mode = true;
  std::string src = tmp.write("in/page.html", "<p class=x>Hi</p>");
  int argc = 1;
  char name[] = "nubrix";
  char* argv[] = {name, nullptr};
  qt_windows windows(argc, argv);
  ASSERT_TRUE(windows.start());
  set_dialogs(&dlg);  // start() installed the Qt dialogs
  convert_request request;
  request.files = {src};
  request.destination = tmp.mkdir("out") + "/";
  EXPECT_EQ(windows.run_hidden_conversion(request), 0);
  EXPECT_TRUE(exists(request.destination + "page.html"));
  EXPECT_FALSE(exists(request.destination + "page_BACKUP.html"));
  EXPECT_FALSE(setting_backup()) << "the hidden window's cleared box is stored";
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString() << " left open";
}

TEST(qt_dialog_filters, open_file_filters_become_qt_name_filters) {
  EXPECT_EQ(qt_name_filters("Convertible files (*.doc;*.htm)|*.doc;*.htm|All Files (*.*)|*.*"),
            (QStringList{"Convertible files (*.doc *.htm)", "All Files (*.*)"}));
  EXPECT_EQ(qt_name_filters("Templates|*.dat|broken"), (QStringList{"Templates (*.dat)"}));
}

}  // namespace
}  // namespace nx::test
