#include "services/files.h"

#include "services/text.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace nx {
namespace {

constexpr size_t random_letters = 16;
constexpr std::string_view temp_suffix = ".tmp";
// The mark every temporary carries (an extended attribute): the sweep
// removes nothing without it. A file system without extended attributes
// keeps a killed run's leftovers rather than risk a user's file.
constexpr char marker_name[] = "user.nubrix.temporary";
constexpr std::string_view marker_value = "nubrix work in progress";
// Stands for "the file at the target is not what was written".
constexpr int replaced_meanwhile = -1;

std::string random_name() {
  static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[random_letters];
  if (::getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) {
    static unsigned counter = 0;
    unsigned seed = unsigned(::getpid()) * 2654435761u + ++counter * 40503u + unsigned(std::rand());
    for (auto& b : bytes) b = (unsigned char)((seed = seed * 1103515245u + 12345u) >> 16);
  }
  std::string name(temp_prefix);
  for (unsigned char b : bytes) name += alphabet[b % (sizeof alphabet - 1)];
  return name += temp_suffix;
}

bool is_temp_name(std::string_view name) {
  if (name.size() != temp_prefix.size() + random_letters + temp_suffix.size() || !name.starts_with(temp_prefix) ||
      !name.ends_with(temp_suffix))
    return false;
  for (char c : name.substr(temp_prefix.size(), random_letters))
    if (!std::islower(static_cast<unsigned char>(c)) && !std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

void mark(int fd) { ::fsetxattr(fd, marker_name, marker_value.data(), marker_value.size(), 0); }

bool marked(int fd) {
  char value[64];
  const ssize_t n = ::fgetxattr(fd, marker_name, value, sizeof value);
  return n == ssize_t(marker_value.size()) && std::string_view(value, size_t(n)) == marker_value;
}

// The folder part of path, with its trailing "/"; "" for a bare name.
std::string folder_part(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a link at path leads to; path itself when it is no link or the
// link leads nowhere (replace_file only: a settings file may be a link).
std::string resolved(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char buf[PATH_MAX];
  if (::realpath(path.c_str(), buf)) return buf;
  return path;
}

bool same_inode(int fd, const std::string& path) {
  struct stat a {}, b {};
  return ::fstat(fd, &a) == 0 && ::lstat(path.c_str(), &b) == 0 && a.st_ino == b.st_ino &&
         a.st_dev == b.st_dev;
}

// Creates a temporary file or folder under a fresh name beside target and
// locks it. A sweeper may remove the new entry before the lock is taken; the
// name is then tried afresh.
int create_locked(const std::string& target, bool folder, std::string& path, int& error) {
  const std::string where = folder_part(target);
  for (int tries = 0; tries < 100; ++tries) {
    path = where + random_name();
    int fd;
    if (folder) {
      if (::mkdir(path.c_str(), 0777) != 0) {
        if (errno == EEXIST) continue;
        break;
      }
      fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd < 0) {
        error = errno;
        ::rmdir(path.c_str());
        path.clear();
        return -1;
      }
    } else {
      fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        break;
      }
    }
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    if (same_inode(fd, path)) {
      mark(fd);
      return fd;
    }
    ::close(fd);
  }
  error = errno ? errno : EEXIST;
  path.clear();
  return -1;
}

bool write_all(int fd, std::string_view data, int& error) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      return false;
    }
    data.remove_prefix(size_t(n));
  }
  return true;
}

std::string error_text(int number) {
  if (number == replaced_meanwhile) return "another program changed it while it was written";
  return std::strerror(number);
}

// Renames without replacing an existing entry.
int rename_no_replace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // The file system cannot refuse by itself; a hard link can.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  return errno;
}

}  // namespace

// new_file

new_file::new_file(const std::string& target) : target_(target) {
  fd_ = create_locked(target_, false, path_, errno_);
}

new_file::~new_file() { discard(); }

void new_file::fail(int number) {
  if (errno_ == 0) errno_ = number ? number : EIO;
}

void new_file::discard() {
  if (fd_ < 0) return;
  if (!path_.empty()) ::unlink(path_.c_str());  // while still holding the lock
  ::close(fd_);
  fd_ = -1;
}

std::string new_file::error() const { return errno_ ? error_text(errno_) : std::string(); }

bool new_file::write(std::string_view data) {
  if (!ok()) return false;
  int error = 0;
  if (!write_all(fd_, data, error)) {
    fail(error);
    return false;
  }
  size_ += data.size();
  return true;
}

bool new_file::copy_from(const std::string& path) {
  if (!ok()) return false;
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    fail(errno);
    return false;
  }
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(errno);
    if (n <= 0 || !write(std::string_view(buf, size_t(n)))) break;
  }
  ::close(in);
  return ok();
}

bool new_file::finish() {
  if (ok() && ::fsync(fd_) != 0) fail(errno);
  return ok();
}

// A new file costs nothing when a crash cuts it short; one that replaces a
// file must be on disk before the old one goes.
bool new_file::finish_replacing() {
  struct stat st {};
  if (::lstat(target_.c_str(), &st) != 0 && errno == ENOENT) return ok();
  return finish();
}

bool new_file::check_placed(const std::string& where) {
  path_.clear();  // no longer ours to remove
  struct stat st {};
  if (::stat(where.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) != size_)
    fail(replaced_meanwhile);
  ::close(fd_);
  fd_ = -1;
  return errno_ == 0;
}

bool new_file::replace(bool keep_mode) {
  struct stat st {};
  if (ok() && keep_mode && ::lstat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      ::fchmod(fd_, st.st_mode & 07777) != 0)
    fail(errno);
  if (!finish_replacing() || ::rename(path_.c_str(), target_.c_str()) != 0) {
    fail(errno);
    discard();
    return false;
  }
  return check_placed(target_);
}

bool new_file::place_new() {
  if (!finish()) {
    discard();
    return false;
  }
  if (int e = rename_no_replace(path_, target_)) {
    fail(e);
    discard();
    return false;
  }
  return check_placed(target_);
}

std::string new_file::release() {
  std::string p = path_;
  path_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  return p;
}

// new_folder

new_folder::new_folder(const std::string& target) : target_(target) {
  while (!target_.empty() && target_.back() == '/') target_.pop_back();
  fd_ = create_locked(target_, true, path_, errno_);
}

new_folder::~new_folder() {
  if (fd_ < 0) return;
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  ::close(fd_);
}

void new_folder::fail(int number) {
  if (errno_ == 0) errno_ = number ? number : EIO;
}

std::string new_folder::error() const { return errno_ ? error_text(errno_) : std::string(); }

bool new_folder::write(const std::string& name, std::string_view data) {
  if (!ok()) return false;
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    fail(EINVAL);
    return false;
  }
  const int fd = ::openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    fail(errno);
    return false;
  }
  int error = 0;
  if (!write_all(fd, data, error)) fail(error);
  if (::close(fd) != 0) fail(errno);
  return ok();
}

bool new_folder::place() {
  if (!ok()) return false;
  struct stat st {};
  if (::lstat(target_.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      fail(errno);
      return false;
    }
    if (::rename(path_.c_str(), target_.c_str()) == 0) {
      path_.clear();
      return true;
    }
    if (errno != EEXIST && errno != ENOTEMPTY) {
      fail(errno);
      return false;
    }
    // Made by someone else meanwhile: joined below.
    if (::lstat(target_.c_str(), &st) != 0) {
      fail(errno);
      return false;
    }
  }
  if (!S_ISDIR(st.st_mode)) {
    fail(ENOTDIR);
    return false;
  }
  DIR* d = ::opendir(path_.c_str());
  if (!d) {
    fail(errno);
    return false;
  }
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    // A picture that replaces one must be on disk before the old one goes.
    const int f = ::openat(fd_, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (f < 0 || ::fsync(f) != 0) fail(errno);
    if (f >= 0) ::close(f);
    if (ok() && ::renameat(fd_, name.c_str(), AT_FDCWD, (target_ + "/" + name).c_str()) != 0) fail(errno);
  }
  ::closedir(d);
  if (ok() && ::rmdir(path_.c_str()) == 0) path_.clear();
  return ok();
}

// Whole files

bool write_file(const std::string& path, std::string_view data) {
  new_file f(path);
  return f.write(data) && f.replace();
}

bool replace_file(const std::string& path, std::string_view data) {
  const std::string target = resolved(path);
  if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) return false;
  return write_file(target, data);
}

bool create_file(const std::string& path, std::string_view data) {
  new_file f(path);
  if (f.write(data) && f.place_new()) return true;
  errno = f.error_number() > 0 ? f.error_number() : EIO;
  return false;
}

bool rename_new(const std::string& from, const std::string& to) {
  const int e = rename_no_replace(from, to);
  errno = e;
  return e == 0;
}

namespace {

// Empties a temporary folder: only the plain files a new_folder writes; false
// when it holds anything else, which is then not ours to remove.
bool empty_own_folder(int fd) {
  const int dup = ::dup(fd);
  DIR* d = dup >= 0 ? ::fdopendir(dup) : nullptr;
  if (!d) {
    if (dup >= 0) ::close(dup);
    return false;
  }
  bool own = true;
  while (dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        ::unlinkat(fd, e->d_name, 0) != 0)
      own = false;
  }
  ::closedir(d);
  return own;
}

}  // namespace

void remove_stale_temporaries(const std::string& folder) {
  const std::string where = folder.empty() ? std::string("./") : folder.back() == '/' ? folder : folder + "/";
  DIR* d = ::opendir(where.c_str());
  if (!d) return;
  while (dirent* e = ::readdir(d)) {
    if (!is_temp_name(e->d_name)) continue;
    const std::string path = where + e->d_name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st {};
    if (marked(fd) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && same_inode(fd, path) && ::fstat(fd, &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        if (empty_own_folder(fd)) ::rmdir(path.c_str());
      } else if (S_ISREG(st.st_mode)) {
        ::unlink(path.c_str());
      }
    }
    ::close(fd);
  }
  ::closedir(d);
}

}  // namespace nx
