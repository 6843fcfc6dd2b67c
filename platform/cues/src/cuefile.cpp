#include "kromi/cues/cuefile.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "kromi/cues/wav.h"

namespace kromi {

CueRead FinishCueRead(CueRead result, std::size_t cap,
                      const std::function<std::ptrdiff_t(std::uint8_t*, std::size_t)>& read,
                      const std::function<std::optional<FileIdentity>()>& identify) {
  result.bytes.clear();
  const std::int64_t size = result.identity.size;
  if (size < 0 || static_cast<std::uint64_t>(size) > cap) {
    result.status = CueReadStatus::kTooLarge;
    return result;
  }
  // One byte past the cap tells a file that grew too big from one that is exactly the cap.
  const std::size_t limit = cap < SIZE_MAX ? cap + 1 : cap;
  std::vector<std::uint8_t> bytes(std::min(static_cast<std::size_t>(size) + 1, limit));
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (bytes.size() >= limit) break;
      bytes.resize(std::min(bytes.size() * 2, limit));
    }
    const std::ptrdiff_t got = read(bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
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
  const std::optional<FileIdentity> after = identify();
  if (!after || !(*after == result.identity)) {
    result.status = CueReadStatus::kChanged;
    return result;
  }
  bytes.resize(filled);
  result.bytes = std::move(bytes);
  result.status = CueReadStatus::kOk;
  return result;
}

CueFileCache::CueFileCache(CueFiles files, std::size_t maxEntries)
    : files_(files), maxEntries_(std::max<std::size_t>(maxEntries, 1)) {}

std::shared_ptr<const CueFile> CueFileCache::Lookup(const std::string& path) {
  const std::optional<FileIdentity> now = files_.identify(path);
  if (!now) {
    entries_.erase(path);
    return nullptr;
  }
  const auto found = entries_.find(path);
  if (found != entries_.end() && found->second.identity == *now) {
    return found->second.file;
  }

  ++reads_;
  CueRead read = files_.read(path, kMaxCueFileBytes);
  // Only verdicts on a file's content are remembered. A failed open is not: a chmod that makes
  // the file readable changes neither its size nor its mtime.
  if (read.status != CueReadStatus::kOk && read.status != CueReadStatus::kTooLarge) {
    entries_.erase(path);
    return nullptr;
  }

  Entry entry;
  entry.identity = read.identity;
  if (read.status == CueReadStatus::kOk) {
    if (const std::optional<WavInfo> info = ValidateWav(read.bytes)) {
      entry.file = std::make_shared<const CueFile>(CueFile{read.identity, CanonicalWav(read.bytes, *info)});
    }
  }
  if (found == entries_.end() && entries_.size() >= maxEntries_) entries_.clear();
  return (entries_[path] = std::move(entry)).file;
}

}  // namespace kromi
