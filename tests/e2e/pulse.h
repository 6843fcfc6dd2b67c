#pragma once
// A private PulseAudio daemon with one null sink, for the game to play into: the test can kill
// or freeze it, and record what reaches the sink.
#include <map>
#include <memory>
#include <string>

#include "kromi/xdriver/xdriver.h"

namespace kromi::e2e {

class PulseServer {
 public:
  // The daemon's files live in dir, which must outlive it.
  explicit PulseServer(const TempDir& dir);
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  // What a client needs to find this server and nothing else.
  std::map<std::string, std::string> ClientEnvironment() const;

  // Starts the daemon and waits for its socket; false if it did not come up within limit.
  bool Start(milliseconds limit);
  void Kill();
  // Freezes the daemon, as a hung or swapped-out server behaves: its socket stays open and
  // nothing answers.
  void Freeze();
  // How many streams play into the server now; -1 if it cannot be asked.
  int Streams() const;

  // Records the sink's monitor into path as raw 44.1 kHz stereo S16 (the capture format the cue
  // finder reads), and returns once data flows: a null sink's monitor sends nothing for its first
  // second or two. False if nothing came within limit.
  bool Record(const std::string& path, milliseconds limit);

 private:
  std::string Socket() const { return dir_ / "native"; }
  std::map<std::string, std::string> Environment() const;

  const TempDir& dir_;
  std::unique_ptr<Process> daemon_;
  std::unique_ptr<Process> recorder_;
};

}  // namespace kromi::e2e
