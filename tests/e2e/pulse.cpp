#include "pulse.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace kromi::e2e {

PulseServer::PulseServer(const TempDir& dir) : dir_(dir) {
  std::ofstream(dir_ / "client.conf") << "autospawn = no\n";  // the client must not restart it
}

PulseServer::~PulseServer() {
  recorder_.reset();
  Kill();
}

std::map<std::string, std::string> PulseServer::ClientEnvironment() const {
  return {{"SDL_AUDIODRIVER", "pulseaudio"}, {"PULSE_SERVER", "unix:" + Socket()},
          {"PULSE_CLIENTCONFIG", dir_ / "client.conf"}, {"PULSE_RUNTIME_PATH", dir_ / "run"},
          {"HOME", dir_.Path()}, {"XDG_RUNTIME_DIR", dir_.Path()}};
}

std::map<std::string, std::string> PulseServer::Environment() const {
  std::map<std::string, std::string> env = CurrentEnvironment();
  for (const auto& [name, value] : ClientEnvironment()) env[name] = value;
  env.erase("SDL_AUDIODRIVER");
  return env;
}

bool PulseServer::Start(milliseconds limit) {
  ::unlink(Socket().c_str());
  daemon_ = std::make_unique<Process>(
      std::vector<std::string>{"/usr/bin/pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                               "--use-pid-file=no", "--realtime=no", "--high-priority=no",
                               "--load=module-null-sink sink_name=kromi_null",
                               "--load=module-native-protocol-unix auth-anonymous=1 socket=" + Socket()},
      ToEnvList(Environment()), dir_ / "pulse.out", dir_ / "pulse.err");
  return WaitUntil([&] { return Streams() >= 0; }, limit, milliseconds(50));
}

void PulseServer::Kill() {
  if (daemon_) daemon_->Stop(SIGKILL, milliseconds(2000));
  daemon_.reset();
}

void PulseServer::Freeze() { ::kill(daemon_->Pid(), SIGSTOP); }

int PulseServer::Streams() const {
  Process pactl({"/usr/bin/pactl", "list", "short", "sink-inputs"}, ToEnvList(Environment()), dir_ / "pactl.out");
  const auto exit = pactl.WaitExit(milliseconds(2000));
  if (!exit || !exit->exited || exit->code != 0) return -1;
  const std::string out = ReadFile(dir_ / "pactl.out");
  return static_cast<int>(std::count(out.begin(), out.end(), '\n'));
}

bool PulseServer::Record(const std::string& path, milliseconds limit) {
  recorder_ = std::make_unique<Process>(
      std::vector<std::string>{"/usr/bin/parec", "--device=kromi_null.monitor", "--format=s16le", "--rate=44100",
                               "--channels=2", "--latency-msec=20"},
      ToEnvList(Environment()), path, dir_ / "parec.err");
  return WaitUntil(
      [&] {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
      },
      limit, milliseconds(20));
}

}  // namespace kromi::e2e
