// Convert and Start run the batch job through the window: progress window,
// rows written back, Cancel from inside the job's pump, closing mid-job.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "services/flags.h"
#include "ui/main/frm_progress.h"
#include "ui_fixture.h"

namespace nx::test {
namespace {

class job_host : public window_test {
 protected:
  void SetUp() override {
    window_test::SetUp();
    set("startup", "splash", "0");
    set("default", "original", "0");
    set("default", "backup", "0");
    out = tmp.mkdir("out");
    open();
    win->txtDest->setText(QString::fromStdString(out));
  }

  // Runs action once, from inside the job's event pump, as soon as the
  // progress window is up.
  void during_job(std::function<void()> action) {
    auto* timer = new QTimer(win.get());
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer, action] {
      if (!win->progress_window() || !win->progress_window()->isVisible()) return;
      timer->stop();
      action();
      timer->deleteLater();
    });
    timer->start();
  }

  std::string html(const std::string& rel) {
    return tmp.write(rel, "<html><body><p class=MsoNormal><span>Hello</span></p></body></html>");
  }

  std::string out;
};

TEST_F(job_host, convert_runs_the_job_with_its_progress_window) {
  std::string src = html("in/page.html");
  win->add_file(src);
  bool seen = false;
  during_job([&] {
    seen = true;
    frmProgress* p = win->progress_window();
    EXPECT_EQ(p->windowTitle(), "Progress");
    EXPECT_FALSE(p->isModal());
    EXPECT_EQ(p->parentWidget(), win.get());
    EXPECT_EQ(p->Command1->text(), "Cancel");
    EXPECT_EQ(p->ProgressBar1->maximum(), 100);
    EXPECT_FALSE(win->Picture1->isEnabled());
    EXPECT_FALSE(win->cmdConvert->isEnabled());
    EXPECT_FALSE(win->cmdRemove->isEnabled()) << "rows stay put while the job walks them";
    win->add_file(src);  // a new row must not re-enable Convert mid-job
    EXPECT_FALSE(win->cmdConvert->isEnabled());
  });
  win->cmdConvert->click();
  EXPECT_TRUE(seen);
  EXPECT_EQ(win->row_text(0), out + "/page.html");
  EXPECT_EQ(win->row_status(0), "Converted");
  EXPECT_TRUE(exists(out + "/page.html"));
  EXPECT_EQ(read_all(src).find("MsoNormal") != std::string::npos, true) << "source untouched";
  EXPECT_EQ(dlg.messages().back(), "File converted successfully.");
  EXPECT_EQ(win->lblConv->text(), "File converted successfully.");
  EXPECT_EQ(win->progress_window(), nullptr) << "closed at the end";
  EXPECT_TRUE(win->Picture1->isEnabled());
  EXPECT_TRUE(win->cmdConvert->isEnabled());
  EXPECT_TRUE(win->cmdRemove->isEnabled());
  EXPECT_FALSE(cancel_requested);
}

TEST_F(job_host, cancel_in_the_progress_window_stops_the_job) {
  for (const char* name : {"in/a.html", "in/b.html", "in/c.html"}) win->add_file(html(name));
  during_job([&] { QTest::mouseClick(win->progress_window()->Command1, Qt::LeftButton); });
  win->cmdConvert->click();
  EXPECT_EQ(dlg.messages().back(), "Conversion canceled by user.");
  EXPECT_EQ(dlg.calls.back().icon, msg_icon::exclamation);
  EXPECT_EQ(win->row_status(2), "Ready") << "no row after the cancel";
  EXPECT_FALSE(cancel_requested);
  EXPECT_EQ(win->progress_window(), nullptr);
  EXPECT_TRUE(win->cmdConvert->isEnabled());
}

TEST_F(job_host, progress_window_close_box_means_cancel) {
  win->add_file(html("in/a.html"));
  win->add_file(html("in/b.html"));
  bool stayed_open = false;
  during_job([&] {
    win->progress_window()->close();
    stayed_open = win->progress_window()->isVisible();
  });
  win->cmdConvert->click();
  EXPECT_TRUE(stayed_open) << "only the job closes its progress window";
  EXPECT_EQ(dlg.messages().back(), "Conversion canceled by user.");
}

TEST_F(job_host, closing_the_main_window_mid_job_waits_for_the_job) {
  win->add_file(html("in/a.html"));
  win->add_file(html("in/b.html"));
  win->chkBackup->setChecked(true);
  during_job([&] { win->close(); });
  win->cmdConvert->click();
  EXPECT_FALSE(win->isVisible()) << "closed once the job had ended";
  EXPECT_EQ(dlg.messages().back(), "Conversion canceled by user.");
  EXPECT_TRUE(setting_backup());
}

TEST_F(job_host, wizard_start_runs_the_job_and_leaves_page_four_locked) {
  win->add_file(html("in/w.html"));
  win->cmdExpress_Click();
  for (int i = 0; i < 3; ++i) win->cmdNext_Click();
  ASSERT_EQ(win->cmdNext->text(), "Start");
  QTest::mouseClick(win->cmdNext, Qt::LeftButton);
  EXPECT_EQ(win->current_step, 4);
  EXPECT_TRUE(win->pages[4]->isVisible());
  EXPECT_FALSE(win->cmdBack->isEnabled());
  EXPECT_FALSE(win->cmdNext->isEnabled());
  EXPECT_EQ(win->row_status(0), "Converted");
  EXPECT_EQ(win->lblConv->text(), "File converted successfully.");

  // A second run finds nothing Ready.
  win->cmdExpress_Click();
  win->cmdConvert->click();
  EXPECT_EQ(win->lblConv->text(), "File already converted!");
}

}  // namespace
}  // namespace nx::test
