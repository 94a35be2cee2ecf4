// One window per user: later starts, several at once, hand their files to
// the open window, which took over the socket a crashed run left.
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

using single_window = window_test;

TEST_F(single_window, later_starts_hand_their_files_to_the_open_window) {
  ::setenv("XDG_RUNTIME_DIR", tmp.mkdir("run").c_str(), 1);
  int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);  // bound, never served
  sockaddr_un addr{AF_UNIX, {}};
  std::strncpy(addr.sun_path, single_instance::socket_path().c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(stale);
  const std::string in = tmp.mkdir("in");
  std::vector<std::string> docs;
  for (const char* name : {"a b.doc", "c.doc", "d.rtf"}) docs.push_back(tmp.write(std::string("in/") + name, "x"));

  // Started as a file manager does, windows drawn offscreen; one path is
  // relative to the folder the start runs in.
  std::vector<int> exit_codes;
  std::vector<std::unique_ptr<QProcess>> starts;
  auto start = [&](const QStringList& args) {
    auto& p = starts.emplace_back(std::make_unique<QProcess>());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", ":0");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(QString::fromStdString(in));
    QObject::connect(p.get(), &QProcess::finished, [&](int code) { exit_codes.push_back(code); });
    p->start(NUBRIX_EXE, args);
  };
  QPointer<frmMain> first;
  std::vector<std::string> listed;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* main = qobject_cast<frmMain*>(w); !first && main && main->isVisible()) {
        first = main;
        for (const QString& arg : {QString::fromStdString(docs[0]), QString("c.doc"), QString::fromStdString(docs[2])})
          start({"/add:", arg});
      }
    if (!first || exit_codes.size() < starts.size()) return;
    poll.stop();
    for (int i = 0; i < first->row_count(); ++i) listed.push_back(first->row_text(i));
    first->close();
  });
  poll.start(20);
  QTimer hung;  // a start that hangs must not hang the suite
  QObject::connect(&hung, &QTimer::timeout, [] { QApplication::exit(1); });
  hung.start(30000);
  int argc = 1;
  char name[] = "nubrix";
  char* argv[] = {name, nullptr};
  qt_windows windows(argc, argv);
  ASSERT_TRUE(windows.start());
  set_dialogs(&dlg);
  EXPECT_EQ(windows.run_main_window(parse_command_line({})), 0);
  if (first) first->close();
  for (auto& p : starts) p->kill(), p->waitForFinished(1000);
  ::unsetenv("XDG_RUNTIME_DIR");

  EXPECT_EQ(exit_codes, std::vector<int>(3, 0));
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, docs);
  EXPECT_FALSE(exists(single_instance::socket_path())) << "the window removes its socket";
}

}  // namespace
}  // namespace nx::test
