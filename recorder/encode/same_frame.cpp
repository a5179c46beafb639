#include "recorder/encode/same_frame.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvik {

bool SameFrame(const uint8_t* a, const uint8_t* b, size_t bytes) {
  if (a == b) return true;
  size_t i = 0;
#if defined(__SSE2__)
  // 64 bytes a step, the four compares folded into one test.
  for (; i + 64 <= bytes; i += 64) {
    __m128i same = _mm_set1_epi8(-1);
    for (size_t k = 0; k < 64; k += 16) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + k));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + k));
      same = _mm_and_si128(same, _mm_cmpeq_epi8(x, y));
    }
    if (_mm_movemask_epi8(same) != 0xFFFF) return false;
  }
#endif
  return std::memcmp(a + i, b + i, bytes - i) == 0;
}

}  // namespace orvik
