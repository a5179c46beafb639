#include "recorder/recording_text.h"

#include <cstdio>

namespace orvik {

std::wstring AviPathFromChoice(const std::wstring& chosen) {
  const size_t first = chosen.find_first_not_of(L' ');
  if (first == std::wstring::npos) return L".avi";
  const size_t last = chosen.find_last_not_of(L' ');
  std::wstring path = chosen.substr(first, last - first + 1);
  if (path.size() < 4 || path.compare(path.size() - 4, 4, L".avi") != 0) path += L".avi";
  return path;
}

std::wstring GeneralNumber(double value, const std::wstring& decimalSeparator) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  std::wstring out;
  for (const char* p = buf; *p; ++p) {
    if (*p == '.')
      out += decimalSeparator;
    else
      out += static_cast<wchar_t>(*p);
  }
  return out;
}

std::wstring ProgressCaption(int64_t frameCount, float seconds,
                             const std::wstring& decimalSeparator) {
  return L"Flame:" + std::to_wstring(frameCount) + L" Second:" +
         GeneralNumber(static_cast<double>(seconds), decimalSeparator);
}

}  // namespace orvik
