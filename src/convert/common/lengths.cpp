#include "convert/common/lengths.h"

#include <charconv>
#include <algorithm>
#include <cmath>

namespace nx {
namespace {

int rounded(double px) {
  if (!(px > 0) || px > max_shown_pixels) return 0;
  return std::max(1, int(std::lround(px)));
}

}  // namespace

int css_pixels(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  double value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || !std::isfinite(value)) return 0;
  std::string_view unit = s.substr(size_t(end - s.data()));
  static constexpr struct {
    std::string_view name;
    double px;
  } units[] = {{"", 1}, {"px", 1}, {"in", 96}, {"cm", 96 / 2.54}, {"mm", 96 / 25.4}, {"pt", 96.0 / 72}, {"pc", 16}};
  for (const auto& u : units)
    if (unit == u.name) return rounded(value * u.px);
  return 0;
}

int emu_pixels(int64_t emu) {
  constexpr double emu_per_pixel = 914400.0 / 96;
  return rounded(double(emu) / emu_per_pixel);
}

}  // namespace nx
