#include "tools/common/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// path with the symbolic links at its end followed to the name they lead
// to, which may not exist yet. A link inside /proc (/dev/stdout, /dev/fd/N)
// stands for an open descriptor, not a name: then descriptor is set.
std::string FollowLinks(const std::string& path, bool& descriptor) {
  fs::path name = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::error_code ec;
    const fs::path dir = fs::weakly_canonical(fs::absolute(name, ec).parent_path(), ec);
    if (dir.string().rfind("/proc/", 0) == 0) {
      descriptor = true;
      break;
    }
    const fs::path link = fs::read_symlink(name, ec);
    if (ec) break;
    name = link.is_absolute() ? link : name.parent_path() / link;
  }
  return name.string();
}

}  // namespace

bool TOutputFile::Open(const std::string& path, std::string& error) {
  Discard();
  struct stat st {};
  const bool exists = stat(path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) {
    error = std::strerror(errno);
    return false;
  }
  const bool regular = !exists || S_ISREG(st.st_mode);
  bool descriptor = false;
  const std::string name = regular ? FollowLinks(path, descriptor) : path;

  int fd = -1;
  if (!regular || descriptor) {
    // Not a name we may replace: written in place. Without O_NONBLOCK a
    // named pipe nobody reads would block the open for ever.
    fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | (exists && regular ? O_TRUNC : 0));
    if (fd < 0) {
      error = errno == ENXIO && S_ISFIFO(st.st_mode) ? "no process reads the named pipe" : std::strerror(errno);
      return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  } else {
    for (int attempt = 0; fd < 0; ++attempt) {
      Temp = name + ".tmp" + std::to_string(getpid()) + (attempt ? "-" + std::to_string(attempt) : "");
      fd = open(Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && (errno != EEXIST || attempt == 100)) {
        error = std::strerror(errno);
        Temp.clear();
        return false;
      }
    }
    Target = name;
    if (exists) {
      // Only root may hand the file back to its owner; anyone else ends up
      // owning the new file, as with any file they write.
      [[maybe_unused]] const int owned = fchown(fd, st.st_uid, st.st_gid);
      fchmod(fd, st.st_mode & 07777);
    }
  }
  File = fdopen(fd, "wb");
  if (!File) {
    error = std::strerror(errno);
    close(fd);
    Discard();
    return false;
  }
  return true;
}

bool TOutputFile::Commit(std::string& error) {
  if (!File) return true;
  int failure = 0;
  if (std::ferror(File)) failure = errno ? errno : EIO;
  if (std::fflush(File) != 0 && !failure) failure = errno;
  // A full disk often shows only when the last block is written on close.
  if (std::fclose(File) != 0 && !failure) failure = errno;
  File = nullptr;
  if (!failure && !Temp.empty() && std::rename(Temp.c_str(), Target.c_str()) != 0) failure = errno;
  if (failure) {
    error = std::strerror(failure);
    Discard();
    return false;
  }
  Temp.clear();
  return true;
}

void TOutputFile::Discard() {
  if (File) std::fclose(File);
  File = nullptr;
  if (!Temp.empty()) unlink(Temp.c_str());
  Temp.clear();
}

bool TOutputFile::Finish(bool toStandardOutput, bool failed, int writeError, std::string& reason) {
  reason = std::strerror(writeError);
  if (toStandardOutput) {
    if (std::fflush(stdout) != 0 && !failed) {
      failed = true;
      reason = std::strerror(errno);
    }
  } else if (failed) {
    Discard();
  } else if (!Commit(reason)) {
    failed = true;
  }
  return !failed;
}

bool WriteOutputFile(const std::string& path, const std::string& text, std::string& error) {
  TOutputFile file;
  if (!file.Open(path, error)) return false;
  std::fwrite(text.data(), 1, text.size(), file.Stream());
  return file.Commit(error);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec) && !ec;
}

bool ReadStandardInput(std::string& text, uint64_t maxBytes) {
  text.clear();
  struct stat st {};
  if (fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) > maxBytes) return false;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    // A pipe has no size to look at first.
    if (text.size() + size_t(got) > maxBytes) return false;
    text.append(buffer, size_t(got));
  }
}
