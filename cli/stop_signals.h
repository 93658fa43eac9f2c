// Ctrl+C (SIGINT), SIGTERM and SIGHUP during a conversion stop it like the desktop's Stop
// command: the run's stop flag is set, the item being written is finished or abandoned
// cleanly (its temporary file removed), the summary is printed and the exit status says
// which signal it was.
#pragma once

#include <atomic>
#include <csignal>

namespace bm::cli {

class StopSignals {
 public:
  // While this object lives, the three signals set `stop_flag` to 1 and are remembered.
  explicit StopSignals(std::atomic<int>& stop_flag);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The first signal caught, or 0.
  int Caught() const;

  // Sets the stop flag again when a signal was caught; for callers that may have cleared it
  // meanwhile (the conversion worker clears it once as it starts).
  void Reassert() const;

 private:
  struct sigaction previous_[3]{};
};

// "SIGINT", "SIGTERM", "SIGHUP", or "a signal".
const char* SignalName(int signal_number);

}  // namespace bm::cli
