#include "convert/container/compound_file.h"

#include <cstring>

namespace nx {
namespace {

constexpr uint32_t end_of_chain = 0xFFFFFFFE;
constexpr uint32_t no_stream = 0xFFFFFFFF;
constexpr char signature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};

uint32_t u32(std::string_view d, size_t at) {
  if (at + 4 > d.size()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(d.data() + at);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t u16(std::string_view d, size_t at) {
  if (at + 2 > d.size()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(d.data() + at);
  return uint16_t(p[0] | p[1] << 8);
}

char16_t fold(char16_t c) { return c >= 'a' && c <= 'z' ? char16_t(c - 32) : c; }

}  // namespace

bool compound_file::has_signature(std::string_view data) {
  return data.size() >= 8 && std::memcmp(data.data(), signature, 8) == 0;
}

bool compound_file::chain(const std::vector<uint32_t>& fat, uint32_t start, size_t unit_count,
                       std::vector<uint32_t>& out) const {
  out.clear();
  std::vector<bool> seen(unit_count, false);
  uint32_t s = start;
  while (s != end_of_chain) {
    if (s >= unit_count || s >= fat.size() || seen[s]) return false;
    seen[s] = true;
    out.push_back(s);
    s = fat[s];
  }
  return true;
}

bool compound_file::open(std::string_view data, std::string& error) {
  data_ = data;
  fat_.clear();
  mini_fat_.clear();
  dir_.clear();
  root_children_.clear();
  mini_stream_.clear();
  if (!has_signature(data)) { error = "not a compound file"; return false; }
  if (data.size() < 512) { error = "the file is truncated"; return false; }
  uint16_t major = u16(data, 0x1A);
  sector_shift_ = u16(data, 0x1E);
  mini_shift_ = u16(data, 0x20);
  if (u16(data, 0x1C) != 0xFFFE || (sector_shift_ != 9 && sector_shift_ != 12) || mini_shift_ != 6 ||
      (major != 3 && major != 4)) {
    error = "the file header is damaged";
    return false;
  }
  const size_t ss = size_t(1) << sector_shift_;
  if (data.size() <= ss) { error = "the file is truncated"; return false; }
  sector_count_ = (data.size() - ss + ss - 1) / ss;
  mini_cutoff_ = u32(data, 0x38);
  if (mini_cutoff_ != 4096) mini_cutoff_ = 4096;

  // FAT sector list: 109 entries in the header, the rest in the DIFAT chain.
  std::vector<uint32_t> fat_sectors;
  const uint32_t fat_count = u32(data, 0x2C);
  auto add_fat_sector = [&](uint32_t s) {
    if (fat_sectors.size() < fat_count && s < sector_count_) fat_sectors.push_back(s);
  };
  for (int i = 0; i < 109; ++i) {
    uint32_t s = u32(data, 0x4C + 4 * i);
    if (s == no_stream || s == end_of_chain) break;
    if (s >= sector_count_) { error = "the sector table is damaged"; return false; }
    add_fat_sector(s);
  }
  uint32_t difat = u32(data, 0x44);
  std::vector<bool> difat_seen(sector_count_, false);
  const size_t per_difat = ss / 4 - 1;
  while (difat != end_of_chain && difat != no_stream && fat_sectors.size() < fat_count) {
    if (difat >= sector_count_ || difat_seen[difat]) { error = "the sector table is damaged"; return false; }
    difat_seen[difat] = true;
    size_t base = (size_t(difat) + 1) * ss;
    if (base + ss > data.size()) { error = "the file is truncated"; return false; }
    for (size_t i = 0; i < per_difat; ++i) {
      uint32_t s = u32(data, base + 4 * i);
      if (s == no_stream || s == end_of_chain) continue;
      if (s >= sector_count_) { error = "the sector table is damaged"; return false; }
      add_fat_sector(s);
    }
    difat = u32(data, base + ss - 4);
  }
  if (fat_sectors.empty()) { error = "the sector table is damaged"; return false; }
  fat_.reserve(fat_sectors.size() * (ss / 4));
  for (uint32_t s : fat_sectors) {
    size_t base = (size_t(s) + 1) * ss;
    if (base + ss > data.size()) { error = "the file is truncated"; return false; }
    for (size_t i = 0; i < ss / 4; ++i) fat_.push_back(u32(data, base + 4 * i));
  }
  if (fat_.size() > sector_count_) fat_.resize(sector_count_);

  // Directory.
  std::vector<uint32_t> dir_sectors;
  if (!chain(fat_, u32(data, 0x30), sector_count_, dir_sectors) || dir_sectors.empty()) {
    error = "the directory is damaged";
    return false;
  }
  for (uint32_t s : dir_sectors) {
    size_t base = (size_t(s) + 1) * ss;
    for (size_t off = 0; off + 128 <= ss; off += 128) {
      size_t at = base + off;
      if (at + 128 > data.size()) break;
      entry e;
      size_t name_bytes = u16(data, at + 0x40);
      if (name_bytes > 64) name_bytes = 64;
      for (size_t k = 0; k + 1 < name_bytes; k += 2) {
        char16_t c = u16(data, at + k);
        if (c == 0) break;
        e.name.push_back(c);
      }
      e.type = static_cast<unsigned char>(data[at + 0x42]);
      e.left = u32(data, at + 0x44);
      e.right = u32(data, at + 0x48);
      e.child = u32(data, at + 0x4C);
      e.start = u32(data, at + 0x74);
      e.size = u32(data, at + 0x78);
      if (major == 4) e.size |= uint64_t(u32(data, at + 0x7C)) << 32;
      dir_.push_back(std::move(e));
    }
  }
  if (dir_.empty() || dir_[0].type != 5) { error = "the directory is damaged"; return false; }

  // Children of the root: walk the red-black tree, each entry once.
  std::vector<bool> seen(dir_.size(), false);
  std::vector<uint32_t> todo{dir_[0].child};
  while (!todo.empty()) {
    uint32_t i = todo.back();
    todo.pop_back();
    if (i >= dir_.size() || seen[i]) continue;
    seen[i] = true;
    root_children_.push_back(i);
    todo.push_back(dir_[i].left);
    todo.push_back(dir_[i].right);
  }

  // Mini stream and mini FAT (only needed when some stream is small).
  std::vector<uint32_t> mini_fat_sectors;
  if (chain(fat_, u32(data, 0x3C), sector_count_, mini_fat_sectors)) {
    for (uint32_t s : mini_fat_sectors) {
      size_t base = (size_t(s) + 1) * ss;
      if (base + ss > data.size()) break;
      for (size_t i = 0; i < ss / 4; ++i) mini_fat_.push_back(u32(data, base + 4 * i));
    }
  }
  if (dir_[0].start != end_of_chain && dir_[0].size > 0 &&
      !read_sectors(dir_[0].start, dir_[0].size, mini_stream_))
    mini_stream_.clear();
  return true;
}

bool compound_file::read_sectors(uint32_t start, uint64_t size, std::string& out) const {
  out.clear();
  if (size > data_.size()) return false;
  const size_t ss = size_t(1) << sector_shift_;
  std::vector<uint32_t> sectors;
  if (!chain(fat_, start, sector_count_, sectors) && sectors.size() * ss < size) return false;
  if (sectors.size() * ss < size) return false;
  out.reserve(size);
  for (uint32_t s : sectors) {
    if (out.size() >= size) break;
    size_t base = (size_t(s) + 1) * ss;
    size_t want = std::min<size_t>(ss, size - out.size());
    if (base + want > data_.size()) return false;
    out.append(data_.data() + base, want);
  }
  return true;
}

bool compound_file::read_mini(uint32_t start, uint64_t size, std::string& out) const {
  out.clear();
  const size_t ms = size_t(1) << mini_shift_;
  const size_t units = mini_stream_.size() / ms;
  std::vector<uint32_t> sectors;
  if (!chain(mini_fat_, start, units, sectors) && sectors.size() * ms < size) return false;
  if (sectors.size() * ms < size) return false;
  for (uint32_t s : sectors) {
    if (out.size() >= size) break;
    size_t want = std::min<size_t>(ms, size - out.size());
    out.append(mini_stream_.data() + size_t(s) * ms, want);
  }
  return true;
}

const compound_file::entry* compound_file::find(std::string_view name) const {
  for (uint32_t i : root_children_) {
    const entry& e = dir_[i];
    if (e.name.size() != name.size()) continue;
    bool same = true;
    for (size_t k = 0; k < name.size() && same; ++k)
      same = fold(e.name[k]) == fold(char16_t(static_cast<unsigned char>(name[k])));
    if (same) return &e;
  }
  return nullptr;
}

bool compound_file::has_stream(std::string_view name) const {
  const entry* e = find(name);
  return e && e->type == 2;
}

bool compound_file::read_stream(std::string_view name, std::string& out) const {
  out.clear();
  const entry* e = find(name);
  if (!e || e->type != 2) return false;
  if (e->size == 0) return true;
  if (e->size < mini_cutoff_) return read_mini(e->start, e->size, out);
  return read_sectors(e->start, e->size, out);
}

}  // namespace nx
