// Writes the skin's resources: skin_generator <folder> (normally skin/res).
// Regenerate after changing the artwork and commit the files; a test checks they match.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "skin/generator/artwork.h"

namespace {

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root(argv[1]);
  int written = 0;
  for (const auto& file : orvik::skinart::SkinFiles()) {
    if (!WriteFile(root / file.path, file.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", (root / file.path).string().c_str());
      return 1;
    }
    ++written;
  }
  std::printf("%d files written to %s\n", written, root.string().c_str());
  return 0;
}
