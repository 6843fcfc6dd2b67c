#pragma once
// Cue files through Win32: only a disk file is read (never a pipe, console or device), at most one
// byte past the cap, and a file is told by volume, file index, size and write and change times.
#include <cstddef>
#include <optional>
#include <string>

#include "kromi/cues/cuefile.h"

namespace kromi {

// Reads the whole of path (UTF-8) if it is a regular file of at most cap bytes.
CueRead ReadCueFile(const std::string& path, std::size_t cap = kMaxCueFileBytes);
// path's identity when it is a regular file.
std::optional<FileIdentity> IdentifyCueFile(const std::string& path);

inline CueFiles Win32CueFiles() { return CueFiles{&ReadCueFile, &IdentifyCueFile}; }

}  // namespace kromi
