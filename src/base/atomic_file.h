#pragma once
// Saves that never destroy a good file: the new content goes to a temporary file in the
// target's folder, is flushed to the disk and only then renamed over the target. A save
// that fails leaves the earlier file as it was and no temporary file behind.

#include <cstdio>
#include <string>
#include <string_view>

// A file being written in place of `path`; dropped unless Commit() succeeds.
class ReplacingFile {
  public:
    ReplacingFile() = default;
    ~ReplacingFile() { Abandon(); }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file; false with `reason` set when it cannot.
    bool Open(const std::string& path, std::string* reason);
    // The buffered stream to write through; null before Open() and after Commit().
    std::FILE* Stream() const { return stream_; }
    // Flushes, syncs and renames over the target; on failure removes the temporary file
    // and sets `reason`.
    bool Commit(std::string* reason);
    // Removes the temporary file, if any.
    void Abandon();

  private:
    std::FILE* stream_ = nullptr;
    std::string target_;
    std::string temporary_;
};

// The whole of `bytes` as the new content of `path`; false with `reason` set when the
// file could not be replaced.
bool ReplaceFileContent(const std::string& path, std::string_view bytes, std::string* reason);
