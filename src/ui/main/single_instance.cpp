#include "ui/main/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <cerrno>
#include <cstdlib>
#include <memory>

namespace nx {
namespace {

// A request: the payload's size in decimal and a line break, then the
// paths, each ending in a NUL byte. The session answers with one byte.
constexpr char taken = 'k';
constexpr qint64 max_request = 1 << 20;

std::string runtime_stem() {
  const char* run = std::getenv("XDG_RUNTIME_DIR");
  if (run && *run && QDir(run).exists()) return std::string(run) + "/nubrix";
  return QDir::tempPath().toStdString() + "/nubrix-" + std::to_string(::getuid());
}

QByteArray request_for(const std::vector<std::string>& paths) {
  QByteArray payload;
  for (const auto& p : paths) payload += QByteArray::fromStdString(p) + '\0';
  return QByteArray::number(payload.size()) + '\n' + payload;
}

}  // namespace

std::string single_instance::lock_path() { return runtime_stem() + ".lock"; }
std::string single_instance::socket_path() { return runtime_stem() + ".socket"; }

single_instance::single_instance() = default;

single_instance::~single_instance() {
  // The socket goes before the lock, so a session started after us never
  // loses its own socket to our clean-up.
  if (server_) server_->close();
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

bool single_instance::claim() {
  if (lock_fd_ >= 0) return true;
  int fd = ::open(lock_path().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return !held;
  }
  const QString name = QString::fromStdString(socket_path());
  QLocalServer::removeServer(name);  // left by a run that crashed
  auto* server = new QLocalServer(this);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(name)) {
    // Without a socket the lock would only make later starts wait.
    delete server;
    ::close(fd);
    return true;
  }
  lock_fd_ = fd;
  server_ = server;
  connect(server_, &QLocalServer::newConnection, this, &single_instance::take_connection);
  return true;
}

void single_instance::take_connection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
      *buffer += socket->readAll();
      const qsizetype line = buffer->indexOf('\n');
      bool ok = line >= 0;
      const qint64 size = ok ? buffer->left(line).toLongLong(&ok) : 0;
      if (!ok || size < 0 || size > max_request) {
        if (line >= 0 || buffer->size() > 20) socket->abort();
        return;
      }
      if (buffer->size() - line - 1 < size) return;  // more to come
      std::vector<std::string> paths;
      for (const QByteArray& p : buffer->mid(line + 1, size).split('\0'))
        if (!p.isEmpty()) paths.push_back(p.toStdString());
      buffer->clear();
      if (on_request) on_request(paths);
      socket->write(&taken, 1);
      socket->flush();
    });
  }
}

bool single_instance::hand_over_or_claim(const std::vector<std::string>& paths, int timeout_ms) {
  const QByteArray request = request_for(paths);
  QElapsedTimer clock;
  clock.start();
  auto left = [&] { return int(std::max<qint64>(1, timeout_ms - clock.elapsed())); };
  while (!claim()) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(socket_path()));
    if (socket.waitForConnected(std::min(left(), 500))) {
      // Sent once only: a second try could add the files twice.
      socket.write(request);
      socket.waitForBytesWritten(left());
      while (socket.bytesAvailable() < 1 && socket.state() == QLocalSocket::ConnectedState &&
             clock.elapsed() < timeout_ms)
        socket.waitForReadyRead(left());
      char answer = 0;
      return socket.read(&answer, 1) == 1 && answer == taken;
    }
    if (clock.elapsed() >= timeout_ms) return false;
    QThread::msleep(50);  // the session may not listen yet
  }
  return false;
}

}  // namespace nx
