#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A link is followed, so that the file it names is replaced and the link stays.
std::string ResolvedTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// The rename must reach the disk too, or a crash could bring the old file back.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string ErrorText(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

}  // namespace

bool ReplacingFile::Open(const std::string& path, std::string* reason) {
    Abandon();
    target_ = ResolvedTarget(path);
    const std::string folder = FolderOf(target_);
    const std::string base = target_.substr(target_.rfind('/') + 1);
    if (base.empty()) {
        *reason = std::strerror(EISDIR);
        return false;
    }
    static std::atomic<unsigned> counter{0};
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary_ = folder + "/." + base + "." + std::to_string(::getpid()) + "-" +
                     std::to_string(counter.fetch_add(1)) + ".tmp";
        // 0666 lets the umask decide, as for any new file.
        fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        *reason = ErrorText(errno);
        temporary_.clear();
        return false;
    }
    struct stat earlier {};
    if (::stat(target_.c_str(), &earlier) == 0 && S_ISREG(earlier.st_mode)) {
        ::fchmod(fd, earlier.st_mode & 07777);
    }
    stream_ = ::fdopen(fd, "wb");
    if (stream_ == nullptr) {
        *reason = ErrorText(errno);
        ::close(fd);
        Abandon();
        return false;
    }
    return true;
}

bool ReplacingFile::Commit(std::string* reason) {
    if (stream_ == nullptr) {
        *reason = std::strerror(EBADF);
        return false;
    }
    int error = 0;
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) {
        error = errno != 0 ? errno : EIO;
    } else if (::fsync(::fileno(stream_)) != 0) {
        error = errno;
    }
    // fclose can still report a deferred write error.
    if (std::fclose(stream_) != 0 && error == 0) {
        error = errno != 0 ? errno : EIO;
    }
    stream_ = nullptr;
    if (error == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = errno != 0 ? errno : EIO;
    }
    if (error != 0) {
        *reason = ErrorText(error);
        Abandon();
        return false;
    }
    temporary_.clear();
    SyncFolder(FolderOf(target_));
    return true;
}

void ReplacingFile::Abandon() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool ReplaceFileContent(const std::string& path, std::string_view bytes, std::string* reason) {
    ReplacingFile file;
    if (!file.Open(path, reason)) {
        return false;
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) != bytes.size()) {
        *reason = ErrorText(errno);
        return false;
    }
    return file.Commit(reason);
}
