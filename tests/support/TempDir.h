// A temporary folder that disappears with the test.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class TTempDir {
 public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavora-test-XXXXXX").string();
    Path = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TTempDir() {
    std::error_code ec;
    if (!Path.empty()) std::filesystem::remove_all(Path, ec);
  }
  std::string File(const std::string& name, const std::string& contents) const {
    std::string path = Path + "/" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }
  std::string Path;
};
