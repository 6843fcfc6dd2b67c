#include "kromi/win32/cues.h"

#include "kromi/win32/windows.h"
#include <mmsystem.h>

#include "kromi/win32/cuefiles.h"

namespace kromi {

Win32Cues::Win32Cues(std::string appDir) : appDir_(std::move(appDir)), files_(Win32CueFiles()) {}

void Win32Cues::Start() {
  const std::lock_guard lock(mutex_);
  if (!worker_.joinable() && !quitting_) worker_ = std::thread([this] { Work(); });
}

Win32Cues::~Win32Cues() {
  if (!Shutdown(std::chrono::milliseconds(800)) && worker_.joinable()) worker_.detach();
}

std::string Win32Cues::CuePath(std::string_view text) const {
  if (!text.empty() && (text.front() == '\\' || text.front() == '/')) text.remove_prefix(1);
  std::string path = appDir_;
  path += '\\';
  path.append(text);
  return path;
}

std::int32_t Win32Cues::Play(std::string_view text) {
  // A NUL would cut the path short inside Windows and name some other file.
  std::shared_ptr<const CueFile> file;
  if (text.find('\0') == std::string_view::npos) file = files_.Lookup(CuePath(text));
  const bool plays = file != nullptr;
  const std::lock_guard lock(mutex_);
  if (quitting_) return 0;
  // Every call cuts off the cue before it, whether or not the new one can play.
  pending_ = std::move(file);
  asked_ = true;
  wake_.notify_all();
  return plays ? 1 : 0;
}

void Win32Cues::Work() {
  // winmm is loaded here rather than imported: importing it brings the COM and codec libraries
  // in before the first frame, for a call made only after it.
  using PlaySoundFn = BOOL(WINAPI*)(LPCWSTR, HMODULE, DWORD);
  const HMODULE winmm = LoadLibraryW(L"winmm.dll");
  const auto playSound =
      winmm ? reinterpret_cast<PlaySoundFn>(reinterpret_cast<void*>(GetProcAddress(winmm, "PlaySoundW"))) : nullptr;
  const auto play = [playSound](const void* bytes, DWORD flags) {
    if (playSound) playSound(static_cast<LPCWSTR>(bytes), nullptr, flags);
  };
  // The bytes Windows is playing from: they must outlive the cue, so they are let go only once
  // the next PlaySound call has stopped it.
  std::shared_ptr<const CueFile> playing;
  for (;;) {
    std::shared_ptr<const CueFile> next;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return asked_ || quitting_; });
      if (quitting_) break;
      next = std::move(pending_);
      asked_ = false;
    }
    if (next) {
      play(next->wav.data(), SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
    } else {
      play(nullptr, 0);
    }
    playing = std::move(next);
  }
  play(nullptr, 0);
  playing.reset();
  const std::lock_guard lock(mutex_);
  done_ = true;
  wake_.notify_all();
}

bool Win32Cues::Shutdown(std::chrono::milliseconds grace) {
  std::unique_lock lock(mutex_);
  quitting_ = true;
  if (!worker_.joinable()) return true;  // never started: nothing plays
  wake_.notify_all();
  const bool done = wake_.wait_for(lock, grace, [this] { return done_; });
  lock.unlock();
  if (done && worker_.joinable()) worker_.join();
  return done;
}

}  // namespace kromi
