#include "changes/spinner.h"

#include <sys/times.h>

#include <cerrno>

namespace {

const char kSpinnerChars[] = "|/-\\";
constexpr uint32_t kTicksPerStep = 20;
constexpr uint32_t kClockOffset = 30000;

}  // namespace

void Spinner::advance(uint32_t now, FILE* out) {
  if (lastTick_ == 0) {
    lastTick_ = now;
  } else if (now - lastTick_ > kTicksPerStep) {
    lastTick_ += kTicksPerStep;
    fputc('\b', out);
  } else {
    return;
  }
  fputc(kSpinnerChars[index_], out);
  index_ = (index_ + 1) % 4;
  fflush(out);
}

uint32_t spinnerClock() {
  struct tms usage;
  const clock_t ticks = times(&usage);
  if (ticks == clock_t(-1)) return kClockOffset - uint32_t(errno);
  return uint32_t(ticks) + kClockOffset;
}

void advanceSpinner() {
  static Spinner spinner;
  spinner.advance(spinnerClock(), stdout);
}
