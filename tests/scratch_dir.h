// A fresh folder under /tmp for one test, removed with all it holds at the end.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace tabulor::testing {

class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/tabulor_testXXXXXX";
    if (::mkdtemp(tmpl) == nullptr) std::abort();
    path_ = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }
  // The names in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // A file's bytes ("" when it cannot be read), and a file written whole.
  std::string Read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  bool Write(const std::string& name, const std::string& bytes) const {
    return static_cast<bool>(std::ofstream(file(name), std::ios::binary) << bytes);
  }

 private:
  std::string path_;
};

}  // namespace tabulor::testing
