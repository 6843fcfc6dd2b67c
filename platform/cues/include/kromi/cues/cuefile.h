#pragma once
// Reading cue files safely and cheaply. A cue path may name anything (a FIFO that would block,
// /dev/zero that never ends, a huge file), so only regular files of bounded size are read. A held
// knob key plays "Pot.wav" ten times a second, so a file is read and checked once and then
// remembered for as long as its identity stays the same. The file system calls are the
// platform's (CueFiles); the rules are here.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kromi {

// The largest cue file read; anything bigger is refused unread. The shipped cues are under
// 32 KiB; this leaves room for a cue of several seconds at any accepted rate while keeping the
// read, check and copy of the largest one well under a millisecond on the thread that plays it.
inline constexpr std::size_t kMaxCueFileBytes = 512u * 1024u;

// Who a file is and when it last changed: any replace, rewrite, truncation or touch changes it.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtimeSec = 0;
  std::int64_t mtimeNsec = 0;
  std::int64_t ctimeSec = 0;  // ctime as well: nobody can set it back, unlike mtime
  std::int64_t ctimeNsec = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

enum class CueReadStatus {
  kOk,
  kOpenFailed,  // missing, no permission, ...
  kNotRegular,  // a directory, FIFO, device or socket
  kTooLarge,    // more than the cap, at open or by the time it was read
  kReadFailed,  // an I/O error
  kChanged,     // the file changed while it was being read: its bytes may be torn
};

// The outcome of one read; bytes is empty unless status is kOk.
struct CueRead {
  CueReadStatus status = CueReadStatus::kOpenFailed;
  FileIdentity identity;  // of the opened file, when it could be opened
  std::vector<std::uint8_t> bytes;
};

// The rest of a read once a platform has opened path and found a regular file: refuses one
// bigger than cap, reads at most cap + 1 bytes through read (bytes read, 0 at the end, negative
// on an error; interrupted reads are the platform's to retry), and checks with identify that
// the file did not change meanwhile. result carries the opened file's identity.
CueRead FinishCueRead(CueRead result, std::size_t cap,
                      const std::function<std::ptrdiff_t(std::uint8_t*, std::size_t)>& read,
                      const std::function<std::optional<FileIdentity>()>& identify);

// A platform's way to the files, one per platform folder.
struct CueFiles {
  // Reads the whole of path if it is a regular file of at most cap bytes. Never blocks on a FIFO
  // or a device, never reads more than cap + 1 bytes, retries interrupted reads.
  CueRead (*read)(const std::string& path, std::size_t cap);
  // The identity of path when it names a regular file (after links), else nothing. Cheap: the
  // cache asks it on every play.
  std::optional<FileIdentity> (*identify)(const std::string& path);
};

// A cue file that passed the WAV checks, rebuilt as a canonical WAV ready for SDL.
struct CueFile {
  FileIdentity identity;
  std::vector<std::uint8_t> wav;
};

// Remembers, per path, the last file read and whether it was playable.
class CueFileCache {
 public:
  // Reads through files; holds at most maxEntries paths, and past that starts afresh (the game
  // uses four).
  explicit CueFileCache(CueFiles files, std::size_t maxEntries = 16);

  // The playable cue at path, or nullptr if it is missing, unreadable, not a regular file or not
  // an acceptable WAV. Costs one stat while the file stays the same. The file is shared, so it
  // can be handed to another thread and outlive the cache's entry.
  std::shared_ptr<const CueFile> Lookup(const std::string& path);

  // How many times a file's content was gone to (opened and read), rather than remembered.
  std::size_t Reads() const { return reads_; }

 private:
  struct Entry {
    FileIdentity identity;
    std::shared_ptr<const CueFile> file;  // null: not playable
  };
  CueFiles files_;
  std::unordered_map<std::string, Entry> entries_;
  std::size_t maxEntries_;
  std::size_t reads_ = 0;
};

}  // namespace kromi
