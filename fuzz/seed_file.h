#pragma once
// Writing one seed of a fuzzer's starting corpus.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// True when the whole of `data` reached the file.
inline bool SaveSeed(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}
