// The console spinner shown while a file is copied: one character of
// "|/-\" turned in place, at most one step per advance and at most one step
// per 20 clock ticks.
#pragma once

#include <cstdint>
#include <cstdio>

class Spinner {
 public:
  // Shows the first character, or turns one step when more than 20 ticks
  // have passed since the last step.
  void advance(uint32_t now, FILE* out);

 private:
  uint32_t lastTick_ = 0;  // 0: nothing shown yet
  unsigned index_ = 0;
};

// The tick count of the times() call, offset by 30000.
uint32_t spinnerClock();

// Advances the run's one spinner on standard output.
void advanceSpinner();
