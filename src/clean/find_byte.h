// A byte search for the short distances between the marks of a page: the
// first few dozen bytes are tested inline, sixteen at a time, before memchr
// takes over.
#pragma once
#include <cstring>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace nx {

// The first c in s at or after from; npos when none.
inline size_t find_byte(std::string_view s, char c, size_t from = 0) {
  const size_t n = s.size();
  size_t i = from;
#ifdef __SSE2__
  const __m128i want = _mm_set1_epi8(c);
  for (int k = 0; k < 4 && i + 16 <= n; ++k, i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
    const unsigned hits = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, want)));
    if (hits) return i + size_t(__builtin_ctz(hits));
  }
#endif
  if (i >= n) return std::string_view::npos;
  const void* hit = std::memchr(s.data() + i, c, n - i);
  return hit ? size_t(static_cast<const char*>(hit) - s.data()) : std::string_view::npos;
}

}  // namespace nx
