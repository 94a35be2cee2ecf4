// Reader for compound files (the OLE2 container of Word 97-2003 documents):
// header, FAT, mini FAT, directory and streams. Every sector index is
// bounds-checked and every chain is cycle-checked, so damaged files fail
// cleanly instead of crashing or looping.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nx {

class compound_file {
 public:
  // True when the bytes start with the compound file signature.
  static bool has_signature(std::string_view data);
  // Reads header, FAT and directory. False with a reason in error when the
  // container is damaged. data must outlive the reader.
  bool open(std::string_view data, std::string& error);
  // Stream in the root storage, found by name without regard to ASCII case.
  bool has_stream(std::string_view name) const;
  // Reads a whole stream of the root storage. False when it is missing or
  // its sectors are damaged.
  bool read_stream(std::string_view name, std::string& out) const;

 private:
  struct entry {
    std::u16string name;
    int type = 0;  // 1 storage, 2 stream, 5 root
    uint32_t left = 0, right = 0, child = 0, start = 0;
    uint64_t size = 0;
  };
  bool chain(const std::vector<uint32_t>& fat, uint32_t start, size_t unit_count,
             std::vector<uint32_t>& out) const;
  bool read_sectors(uint32_t start, uint64_t size, std::string& out) const;
  bool read_mini(uint32_t start, uint64_t size, std::string& out) const;
  const entry* find(std::string_view name) const;

  std::string_view data_;
  unsigned sector_shift_ = 9, mini_shift_ = 6;
  uint32_t mini_cutoff_ = 4096;
  size_t sector_count_ = 0;
  std::vector<uint32_t> fat_, mini_fat_;
  std::vector<entry> dir_;
  std::vector<uint32_t> root_children_;  // directory indexes of the root's children
  std::string mini_stream_;
};

}  // namespace nx
