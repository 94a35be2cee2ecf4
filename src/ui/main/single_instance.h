// One main window per user. The first windowed session holds a lock file
// and listens on a local socket beside it; a later start hands the files it
// was asked to add to that session and ends. A socket left by a crashed run
// is taken over, because the lock dies with the process that held it.
#pragma once
#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QLocalServer;

namespace nx {

class single_instance final : public QObject {
  Q_OBJECT
 public:
  single_instance();
  ~single_instance() override;

  // True when no other session runs: this process then holds the lock and
  // listens, and on_request runs for every later start. Also true when the
  // lock or the socket cannot be had at all, so that the program still
  // opens its window.
  bool claim();
  // Hands paths (possibly none) to the running session: true once it took
  // them, and the caller ends. False when this process should open its own
  // window: it claimed the session (the other one ended meanwhile), or the
  // session did not answer within timeout_ms.
  bool hand_over_or_claim(const std::vector<std::string>& paths, int timeout_ms = 10000);

  std::function<void(const std::vector<std::string>& paths)> on_request;

  // $XDG_RUNTIME_DIR, else the temporary folder; the names carry the user
  // id there.
  static std::string lock_path();
  static std::string socket_path();

 private:
  void take_connection();
  int lock_fd_ = -1;
  QLocalServer* server_ = nullptr;
};

}  // namespace nx
