#include "kromi/posix/process.h"

#include <locale.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace kromi {
namespace {

sigset_t EndingSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void UseOwnCLocale() {
  // "C" with every category is glibc's built-in locale object: nothing is allocated for it.
  const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  if (c != static_cast<locale_t>(0)) uselocale(c);
}

void SignalInbox::BlockEndingSignals() {
  const sigset_t set = EndingSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, nullptr);
}

SignalInbox::SignalInbox() {
  const sigset_t set = EndingSignals();
  fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

SignalInbox::~SignalInbox() {
  if (fd_ >= 0) ::close(fd_);
}

int SignalInbox::Take() {
  if (fd_ < 0) return 0;
  signalfd_siginfo info;
  ssize_t got;
  do {
    got = ::read(fd_, &info, sizeof info);
  } while (got < 0 && errno == EINTR);
  return got == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo) : 0;
}

}  // namespace kromi
