#include "cli/stop_signals.h"

#include <string>

namespace bm::cli {

namespace {

constexpr int kStopSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can reach nothing but globals: the flag it sets and the signal it saw.
std::atomic<std::atomic<int>*> g_stop_flag{nullptr};
std::atomic<int> g_caught{0};

extern "C" void OnStopSignal(int signal_number) {
  int none = 0;
  g_caught.compare_exchange_strong(none, signal_number);
  if (std::atomic<int>* flag = g_stop_flag.load(); flag != nullptr) flag->store(1);
}

}  // namespace

StopSignals::StopSignals(std::atomic<int>& stop_flag) {
  g_caught.store(0);
  g_stop_flag.store(&stop_flag);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &action, &previous_[i]);
}

StopSignals::~StopSignals() {
  for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &previous_[i], nullptr);
  g_stop_flag.store(nullptr);
}

int StopSignals::Caught() const {
  return g_caught.load();
}

void StopSignals::Reassert() const {
  if (g_caught.load() == 0) return;
  if (std::atomic<int>* flag = g_stop_flag.load(); flag != nullptr) flag->store(1);
}

const char* SignalName(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}

}  // namespace bm::cli
