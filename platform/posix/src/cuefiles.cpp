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
  const int handle = fd.get();
  return FinishCueRead(
      std::move(result), cap,
      [handle](std::uint8_t* into, std::size_t room) -> std::ptrdiff_t {
        for (;;) {
          const ssize_t got = ::read(handle, into, room);
          if (got >= 0 || errno != EINTR) return got;
        }
      },
      [handle]() -> std::optional<FileIdentity> {
        struct stat after {};
        if (::fstat(handle, &after) != 0) return std::nullopt;
        return IdentityOf(after);
      });
}

std::optional<FileIdentity> IdentifyCueFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return IdentityOf(st);
}

}  // namespace kromi
