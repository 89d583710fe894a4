#include "files/archive.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "files/file.h"

namespace {

// Recordings of one start time kept side by side: "-2" up to this suffix.
constexpr int MAX_ARCHIVE_SUFFIX = 999;

std::string DataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share";
}

std::string ErrnoReason(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

enum class NewFile { Created, Exists, Failed };

// Whole on the disk under a temporary name first, then linked to `path`: link() never
// replaces a file, so a recording that appeared meanwhile is kept.
NewFile CreateNewFile(const std::string& path, const std::string& bytes, std::string* reason) {
    std::string temporary = path + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *reason = ErrnoReason(path, errno);
        return NewFile::Failed;
    }
    const bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
    const int write_error = errno;
    if (close(fd) != 0 || !written) {
        unlink(temporary.c_str());
        *reason = ErrnoReason(path, written ? errno : write_error);
        return NewFile::Failed;
    }
    const int linked = link(temporary.c_str(), path.c_str());
    const int link_error = errno;
    unlink(temporary.c_str());
    if (linked != 0) {
        if (link_error == EEXIST) {
            return NewFile::Exists;
        }
        *reason = ErrnoReason(path, link_error);
        return NewFile::Failed;
    }
    SyncFolder(std::filesystem::path(path).parent_path());
    return NewFile::Created;
}

bool HoldsExactly(const std::string& path, const std::string& bytes) {
    std::string ignored;
    const std::optional<std::string> content = ReadWholeFile(path, &ignored, bytes.size() + 1);
    return content && *content == bytes;
}

std::string Candidate(const std::string& folder, const std::string& stem, int suffix) {
    return folder + "/" + stem + (suffix > 1 ? "-" + std::to_string(suffix) : "") + ".mvta";
}

std::string SerialFolder(const std::string& dir, const MemoryImage& image) {
    return dir + "/" + std::to_string(ConfigFromHeader(image.data()).serial);
}

// Reads the file again from the disk and decodes it as "Abrir" does, to compare it with the
// image itself rather than with the text that was meant to be written.
bool ReadsBackAs(const std::string& path, const MemoryImage& image, std::string* reason) {
    std::string ignored;
    const std::optional<std::string> text = ReadWholeFile(path, &ignored, DATA_FILE_SIZE + 1);
    MemoryImage again{};
    if (!text || !ParseDataFileText(*text, again, &ignored) || again != image) {
        *reason = path + ": o arquivo gravado não confere com a leitura";
        return false;
    }
    return true;
}

}  // namespace

std::string DefaultArchiveDir() {
    return DataHome() + "/razurozavi/arquivo";
}

std::string DefaultOutboxDir() {
    return DataHome() + "/razurozavi/saida";
}

std::string ArchiveStem(const MemoryImage& image) {
    const CALENDAR start = ImageStartTime(image);
    char stem[32];
    std::snprintf(stem, sizeof stem, "%04u%02u%02u-%02u%02u%02u", start.year % 10000,
                  start.month % 100, start.day % 100, start.h % 100, start.m % 100, start.s % 100);
    return stem;
}

std::vector<std::string> ArchivedFiles(const std::string& dir) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& serial : std::filesystem::directory_iterator(dir, error)) {
        std::error_code inner;
        if (!serial.is_directory(inner)) {
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(serial.path(), inner)) {
            const std::string path = entry.path().string();
            if (entry.is_regular_file(inner) && entry.path().extension() == ".mvta") {
                files.push_back(path);
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool IsArchived(const std::string& dir, const MemoryImage& image) {
    const std::string folder = SerialFolder(dir, image);
    const std::string stem = ArchiveStem(image);
    const std::string bytes = DataFileText(image);
    for (int suffix = 1; suffix <= MAX_ARCHIVE_SUFFIX; ++suffix) {
        const std::string path = Candidate(folder, stem, suffix);
        if (!std::filesystem::exists(path)) {
            return false;
        }
        if (HoldsExactly(path, bytes)) {
            return true;
        }
    }
    return false;
}

bool IsRecordingArchived(const std::string& dir, const MemoryImage& header, int header_size) {
    const std::string folder = SerialFolder(dir, header);
    const std::string stem = ArchiveStem(header);
    const std::string wanted =
        DataFileText(header).substr(0, 2 * static_cast<std::size_t>(header_size));
    for (int suffix = 1; suffix <= MAX_ARCHIVE_SUFFIX; ++suffix) {
        const std::string path = Candidate(folder, stem, suffix);
        if (!std::filesystem::exists(path)) {
            return false;
        }
        std::string ignored;
        const std::optional<std::string> content = ReadWholeFile(path, &ignored, DATA_FILE_SIZE);
        if (content && content->compare(0, wanted.size(), wanted) == 0) {
            return true;
        }
    }
    return false;
}

ArchiveResult ArchiveImage(const std::string& dir, const MemoryImage& image) {
    ArchiveResult result;
    const std::string folder = SerialFolder(dir, image);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        result.reason = folder + ": " + error.message();
        return result;
    }
    const std::string stem = ArchiveStem(image);
    const std::string bytes = DataFileText(image);
    for (int suffix = 1; suffix <= MAX_ARCHIVE_SUFFIX; ++suffix) {
        const std::string path = Candidate(folder, stem, suffix);
        switch (CreateNewFile(path, bytes, &result.reason)) {
            case NewFile::Failed:
                return result;
            case NewFile::Exists:
                if (HoldsExactly(path, bytes)) {
                    result.outcome = ArchiveOutcome::AlreadyArchived;
                    result.path = path;
                    return result;
                }
                continue;
            case NewFile::Created:
                if (!ReadsBackAs(path, image, &result.reason)) {
                    unlink(path.c_str());
                    return result;
                }
                result.outcome = ArchiveOutcome::Archived;
                result.path = path;
                return result;
        }
    }
    result.reason = folder + "/" + stem + ": gravações demais com o mesmo início";
    return result;
}
