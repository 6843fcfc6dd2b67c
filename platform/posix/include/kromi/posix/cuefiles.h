#pragma once
// Cue files through POSIX: open without following a FIFO into a wait, fstat the opened file, read
// at most one byte past the cap, and tell a file by device, inode, size, mtime and ctime.
#include <cstddef>
#include <optional>
#include <string>

#include "kromi/cues/cuefile.h"

namespace kromi {

// Reads the whole of path if it is a regular file of at most cap bytes (CueFiles::read).
CueRead ReadCueFile(const std::string& path, std::size_t cap = kMaxCueFileBytes);
// path's identity when it is a regular file (CueFiles::identify).
std::optional<FileIdentity> IdentifyCueFile(const std::string& path);

inline CueFiles PosixCueFiles() { return CueFiles{&ReadCueFile, &IdentifyCueFile}; }

}  // namespace kromi
