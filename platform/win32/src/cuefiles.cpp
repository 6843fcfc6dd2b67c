#include "kromi/win32/cuefiles.h"

#include "kromi/win32/windows.h"

#include <algorithm>
#include <cstdint>

#include "kromi/win32/text.h"

namespace kromi {
namespace {

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

std::int64_t Ticks(const FILETIME& t) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
}

// access 0 asks only for the file's attributes: enough to identify it, and it opens even a file
// someone else has locked for reading.
HANDLE Open(const std::string& path, DWORD access) {
  return CreateFileW(Widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The opened file's identity, and whether it is a plain disk file (no directory, pipe or device).
std::optional<FileIdentity> IdentityOf(HANDLE h, bool& regular) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) return std::nullopt;
  regular = GetFileType(h) == FILE_TYPE_DISK && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  FileIdentity id;
  id.device = info.dwVolumeSerialNumber;
  id.inode = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  id.size = static_cast<std::int64_t>(static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
  id.mtimeSec = Ticks(info.ftLastWriteTime);
  // The change time as well, which nobody can set back, unlike the write time.
  FILE_BASIC_INFO basic{};
  if (GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) id.ctimeSec = basic.ChangeTime.QuadPart;
  return id;
}

}  // namespace

CueRead ReadCueFile(const std::string& path, std::size_t cap) {
  CueRead result;
  const Handle file(Open(path, GENERIC_READ));
  if (file.get() == INVALID_HANDLE_VALUE) {
    // A directory cannot be opened for reading without backup semantics: say what it is.
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    result.status = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                        ? CueReadStatus::kNotRegular
                        : CueReadStatus::kOpenFailed;
    return result;
  }
  // A device or pipe (NUL, CON, \\.\pipe\...) is no file, whatever else it answers.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    result.status = CueReadStatus::kNotRegular;
    return result;
  }
  bool regular = false;
  const std::optional<FileIdentity> before = IdentityOf(file.get(), regular);
  if (!before) {
    result.status = CueReadStatus::kReadFailed;
    return result;
  }
  result.identity = *before;
  if (!regular) {
    result.status = CueReadStatus::kNotRegular;
    return result;
  }
  const HANDLE handle = file.get();
  return FinishCueRead(
      std::move(result), cap,
      [handle](std::uint8_t* into, std::size_t room) -> std::ptrdiff_t {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(room, 1u << 30));
        return ReadFile(handle, into, want, &got, nullptr) ? static_cast<std::ptrdiff_t>(got) : -1;
      },
      [handle] {
        bool stillRegular = false;
        return IdentityOf(handle, stillRegular);
      });
}

std::optional<FileIdentity> IdentifyCueFile(const std::string& path) {
  const Handle file(Open(path, 0));
  if (file.get() == INVALID_HANDLE_VALUE || GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
  bool regular = false;
  std::optional<FileIdentity> id = IdentityOf(file.get(), regular);
  if (!regular) return std::nullopt;
  return id;
}

}  // namespace kromi
