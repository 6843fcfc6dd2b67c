#include "kromi/posix/cuefiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace kromi {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity id;
  id.device = static_cast<std::uint64_t>(st.st_dev);
  id.inode = static_cast<std::uint64_t>(st.st_ino);
  id.size = static_cast<std::int64_t>(st.st_size);
  id.mtimeSec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  id.mtimeNsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
  id.ctimeSec = static_cast<std::int64_t>(st.st_ctim.tv_sec);
  id.ctimeNsec = static_cast<std::int64_t>(st.st_ctim.tv_nsec);
  return id;
}

}  // namespace

CueRead ReadCueFile(const std::string& path, std::size_t cap) {
  CueRead result;
  // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for one forever.
  const Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    result.status = CueReadStatus::kOpenFailed;
    return result;
  }
  // The opened file, not the path: the path may have been swapped since anyone looked at it.
  struct stat before {};
  if (::fstat(fd.get(), &before) != 0) {
    result.status = CueReadStatus::kReadFailed;
    return result;
  }
  result.identity = IdentityOf(before);
  if (!S_ISREG(before.st_mode)) {
    result.status = CueReadStatus::kNotRegular;
    return result;
  }
  if (before.st_size < 0 || static_cast<std::uint64_t>(before.st_size) > cap) {
    result.status = CueReadStatus::kTooLarge;
    return result;
  }

  // One byte past the cap tells a file that grew too big from one that is exactly the cap.
  const std::size_t limit = cap < SIZE_MAX ? cap + 1 : cap;
  std::vector<std::uint8_t> bytes(std::min(static_cast<std::size_t>(before.st_size) + 1, limit));
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (bytes.size() >= limit) break;
      bytes.resize(std::min(bytes.size() * 2, limit));
    }
    const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      result.status = CueReadStatus::kReadFailed;
      return result;
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled > cap) {
    result.status = CueReadStatus::kTooLarge;
    return result;
  }

  struct stat after {};
  if (::fstat(fd.get(), &after) != 0 || !(IdentityOf(after) == result.identity)) {
    result.status = CueReadStatus::kChanged;
    return result;
  }
  bytes.resize(filled);
  result.bytes = std::move(bytes);
  result.status = CueReadStatus::kOk;
  return result;
}

std::optional<FileIdentity> IdentifyCueFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return IdentityOf(st);
}

}  // namespace kromi
