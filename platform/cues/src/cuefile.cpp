#include "kromi/cues/cuefile.h"

#include <algorithm>
#include <optional>

#include "kromi/cues/wav.h"

namespace kromi {

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
