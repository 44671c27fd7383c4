#include "link/Delay.h"

#include "link/WindowServices.h"

namespace fennow {

void Delay::DelayMicroseconds(std::int32_t n) {
  const std::int64_t frequency = counter_.Frequency();
  const std::int64_t start = counter_.Count();
  // Without a frequency the elapsed time cannot be computed; rather than divide by zero or
  // spin for ever, the wait ends at once. CheckTimer has already told the user.
  if (frequency <= 0) return;
  for (;;) {
    const std::int64_t elapsed = (counter_.Count() - start) * 1'000'000 / frequency;
    if (elapsed >= static_cast<std::int64_t>(n)) return;
  }
}

void Delay::DelayMilliseconds(std::int32_t n) {
  DelayMicroseconds(MillisecondsAsMicroseconds(n));
}

void CheckTimer(Counter& counter, WindowServices& ui) {
  if (counter.Frequency() <= 0) {
    ui.ShowMessage("ERROR: A high frequency timer does not exist on this machine", "Timer test",
                   MessageStyle::MB_ICONSTOP);
  }
}

}  // namespace fennow
