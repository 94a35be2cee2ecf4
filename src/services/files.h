// Writing files so that a file that exists is only ever replaced by a
// complete new one, in one rename. Every writer of the program goes through
// here (write_file and replace_file of services/text.h are built on it):
//
//   new_file f(target);   // ".nubrix-<16 random>.tmp" beside target, created exclusively
//   f.write(bytes);       // all of it, or the file counts as failed
//   f.replace();          // renamed over target (flushed first when it exists), checked
//
// What is not put in place is removed when the object goes. While it lives,
// a temporary file or folder is locked (flock), so that a later run can tell
// the leftovers of a killed one (remove_stale_temporaries) from the work of
// a run that is still going; and marked (an extended attribute only this
// program writes), so that the sweep never takes a user's file of a similar
// name. A link at a target is replaced itself; its target is never written.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace nx {

// Prefix of every temporary name (then 16 random letters and digits and
// ".tmp"): short enough to fit beside any name that fits, never derived from
// the target's name.
inline constexpr std::string_view temp_prefix = ".nubrix-";

class new_file {
 public:
  // Creates the temporary file in the folder of target. ok() tells whether
  // that worked.
  explicit new_file(const std::string& target);
  ~new_file();
  new_file(const new_file&) = delete;
  new_file& operator=(const new_file&) = delete;

  // Created, and every write so far succeeded.
  bool ok() const { return fd_ >= 0 && errno_ == 0; }
  const std::string& path() const { return path_; }
  const std::string& target() const { return target_; }
  int fd() const { return fd_; }
  // Appends all of data; false (and the file counts as failed) otherwise.
  bool write(std::string_view data);
  // Appends the whole content of the file at path; false when it cannot be
  // read (error() then says why) or written.
  bool copy_from(const std::string& path);
  uint64_t size() const { return size_; }

  // Renames the file over target, flushing it to disk first when target
  // exists (a new file has nothing to lose). With keep_mode an
  // existing target's permissions carry over; a new file gets the usual ones
  // (0666 less the umask). Afterwards the file at target must be a regular
  // file of the size written. False with error() when anything failed; the
  // temporary file is then gone and target as it was (unless the check after
  // the rename failed).
  bool replace(bool keep_mode = true);
  // The same, but an existing target is never replaced (false, EEXIST).
  bool place_new();
  // Makes the file ordinary: closed, no longer removed, its path returned.
  std::string release();

  // errno of the first failure, 0 when none; and its text.
  int error_number() const { return errno_; }
  std::string error() const;

 private:
  bool finish();
  bool finish_replacing();
  bool check_placed(const std::string& where);
  void fail(int number);
  void discard();

  std::string target_, path_;
  int fd_ = -1;
  int errno_ = 0;
  uint64_t size_ = 0;
};

// A temporary folder beside target (normal permissions), whose files go to
// target together once they are all written.
class new_folder {
 public:
  explicit new_folder(const std::string& target);
  ~new_folder();
  new_folder(const new_folder&) = delete;
  new_folder& operator=(const new_folder&) = delete;

  bool ok() const { return fd_ >= 0 && errno_ == 0; }
  const std::string& path() const { return path_; }
  const std::string& target() const { return target_; }
  // Writes a whole file named name into the folder.
  bool write(const std::string& name, std::string_view data);
  // Puts the files at target: the folder itself when target does not exist;
  // otherwise each file over its namesake there, other files in target
  // staying. False with error() when that failed.
  bool place();

  int error_number() const { return errno_; }
  std::string error() const;

 private:
  void fail(int number);
  std::string target_, path_;
  int fd_ = -1;
  int errno_ = 0;
};

// Creates path with data in one step; an existing file is never replaced.
// False with errno set (EEXIST when path exists).
bool create_file(const std::string& path, std::string_view data);
// Renames without replacing an existing file; false with errno set.
bool rename_new(const std::string& from, const std::string& to);

// Removes the temporary files and folders in folder that carry a
// temporary's name and mark and that no living writer holds: what a killed
// run or a power loss left behind. A folder goes only when it holds nothing
// but plain files.
void remove_stale_temporaries(const std::string& folder);

}  // namespace nx
