// One window per user: later starts hand their files to the open window,
// which also takes over the socket of a run that crashed.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QPointer>
#include <QProcess>
#include <algorithm>
#include <cstring>

#include "ui/main/qt_windows.h"
#include "ui/main/single_instance.h"
#include "ui_fixture.h"

namespace nx::test {
namespace {

class single_window : public window_test {
 protected:
  void SetUp() override {
    window_test::SetUp();
    ::setenv("XDG_RUNTIME_DIR", tmp.mkdir("run").c_str(), 1);
    set("startup", "splash", "0");
  }
  void TearDown() override {
    for (QProcess* p : starts) {
      p->kill();
      p->waitForFinished(1000);
      delete p;
    }
    ::unsetenv("XDG_RUNTIME_DIR");
    window_test::TearDown();
  }

  // Starts the program as a file manager does, in folder, with windows
  // drawn offscreen; exit_codes gets its status.
  void start_program(const std::string& folder, const QStringList& args) {
    auto* p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", ":0");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(QString::fromStdString(folder));
    QObject::connect(p, &QProcess::finished, [this](int code) { exit_codes.push_back(code); });
    p->start(NUBRIX_EXE, args);
    starts.push_back(p);
  }

  std::vector<QProcess*> starts;
  std::vector<int> exit_codes;
};

// What a run killed while listening leaves: a socket file nobody serves.
void leave_stale_socket(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);
}

TEST_F(single_window, later_starts_hand_their_files_to_the_open_window) {
  leave_stale_socket(single_instance::socket_path());
  const std::string in = tmp.mkdir("in");
  std::vector<std::string> docs;
  for (const char* name : {"a b.doc", "c.doc", "d.rtf"}) docs.push_back(tmp.write(std::string("in/") + name, "x"));
  int argc = 1;
  char name[] = "nubrix";
  char* argv[] = {name, nullptr};
  qt_windows windows(argc, argv);
  ASSERT_TRUE(windows.start());
  set_dialogs(&dlg);

  QPointer<frmMain> first;
  std::vector<std::string> listed;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!first) {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* main = qobject_cast<frmMain*>(w); main && main->isVisible()) first = main;
      if (!first) return;
      // Several files opened at once, each by a start of its own; one path
      // relative to the folder it was started in.
      start_program(in, {"/add:", QString::fromStdString(docs[0])});
      start_program(in, {"/add:c.doc"});
      start_program(tmp.path(), {"/add:", QString::fromStdString(docs[2])});
    }
    if (exit_codes.size() < starts.size()) return;
    poll.stop();
    for (int i = 0; i < first->row_count(); ++i) listed.push_back(first->row_text(i));
    first->close();
  });
  poll.start(20);
  QTimer hung;  // a start that hangs must not hang the suite
  hung.setSingleShot(true);
  QObject::connect(&hung, &QTimer::timeout, [&] {
    if (first) first->close();
    QApplication::exit(1);
  });
  hung.start(30000);
  EXPECT_EQ(windows.run_main_window(parse_command_line({})), 0);

  EXPECT_EQ(exit_codes, std::vector<int>(3, 0));
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, docs);
  EXPECT_FALSE(exists(single_instance::socket_path())) << "the window removes its socket";
}

}  // namespace
}  // namespace nx::test
