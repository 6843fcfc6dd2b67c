#pragma once
// What the game sets of its process and threads: POSIX signals and thread locales (the signal
// inbox is a Linux signalfd).
namespace kromi {

// Gives the calling thread a "C" locale of its own, so whatever another thread (SDL's X11
// start-up, say) does to the process's locale never reaches the libraries this thread runs:
// fontconfig parses numbers by the locale.
void UseOwnCLocale();

// The signals that end the game (SIGINT, SIGTERM, SIGHUP) as something to wait for beside the
// display (a signalfd), so one arriving while a handler runs is seen at the next turn of the loop
// rather than lost until the display next has an event.
class SignalInbox {
 public:
  // Blocks the ending signals in the calling thread, and so in every thread started after it, and
  // ignores SIGPIPE so a lost display connection is an error to report, not a silent death. Call
  // from main before any thread starts.
  static void BlockEndingSignals();

  // Opens the inbox; the signals must already be blocked. Fd() is -1 if it could not be opened,
  // and then Take() reports nothing.
  SignalInbox();
  ~SignalInbox();
  SignalInbox(const SignalInbox&) = delete;
  SignalInbox& operator=(const SignalInbox&) = delete;

  // Readable while a signal waits; for poll.
  int Fd() const { return fd_; }

  // The number of a signal that arrived (taking it out of the inbox), or 0; never waits.
  int Take();

 private:
  int fd_ = -1;
};

// The status a program ended by signal exits with, as shells report it: 128 + the signal.
constexpr int ExitStatusForSignal(int signal) { return 128 + signal; }

}  // namespace kromi
