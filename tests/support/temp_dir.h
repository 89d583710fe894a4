#pragma once
// A fresh temporary directory, made the working directory for the test's lifetime.

#include <filesystem>
#include <string>
#include <vector>

class TempWorkingDir {
  public:
    TempWorkingDir();
    ~TempWorkingDir();
    const std::filesystem::path& path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The names in `folder`, sorted.
std::vector<std::string> FolderEntries(const std::filesystem::path& folder);
