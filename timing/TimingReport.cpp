// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>

#include "link/Protocol.h"
#include "timing/TimingResults.h"

namespace fennow {

namespace {

void PrintPercentiles(const char* name, const Percentiles& p) {
  std::printf("  %-12s %7.1f us %7.1f us %7.1f us\n", name, p.medianUs, p.p99Us, p.maxUs);
}

}  // namespace

bool PrintResults(const Results& results) {
  std::printf(
      "fennow-timing: real monotonic clock, simulated Game Boy on 0x378 (recording off)\n\n");
  std::printf("DelayMicroseconds(%d), %d calls, time from before the call to after it:\n",
              kHalfBitUs, kDelayCalls);
  std::printf("  %-10s %10.3f us\n  %-10s %10.3f us\n  %-10s %10.3f us\n\n", "median",
              results.halfBit.medianUs, "99th pct", results.halfBit.p99Us, "max",
              results.halfBit.maxUs);

  std::printf("%-8s %-7s %11s %9s %12s %12s %12s %10s %7s\n", "transfer", "result", "sync clocks",
              "exchanges", "floor (ms)", "wall (ms)", "over floor", "cpu (ms)", "cpu %");
  bool allGood = true;
  for (const TransferRun& run : results.runs) {
    const bool ok = run.status == TransferStatus::Success && run.intact;
    allGood = allGood && ok;
    const char* result = run.status != TransferStatus::Success ? "FAILED" : ok ? "ok" : "CORRUPT";
    std::printf("%-8s %-7s %11llu %9llu %12.3f %12.3f %+11.3f%% %10.1f %6.1f%%\n", run.name, result,
                static_cast<unsigned long long>(run.syncClocks),
                static_cast<unsigned long long>(run.exchanges), run.floorMs, run.wallMs,
                (run.wallMs / run.floorMs - 1.0) * 100.0, run.cpuMs,
                run.cpuMs / run.wallMs * 100.0);
  }
  std::printf(
      "  (screen and data with services that do nothing; +window: a screen through the real\n"
      "   window, offscreen, its lamps and bar repainting on every update)\n\n");

  std::printf("Real window (offscreen), %d calls each:\n", kServiceCalls);
  std::printf("  %-12s %10s %10s %10s\n", "service", "median", "99th pct", "max");
  PrintPercentiles("SetProgress", results.costs.setProgress);
  PrintPercentiles("SetLamp", results.costs.setLamp);

  std::printf(
      "\nUSB adapter: simulated chips behind a simulated host, each transfer moving half a round"
      "\ntrip after it starts, a packet a bus slot; a round trip for each sync clock, the request"
      "\nand the mode byte, the payload streamed a tile row at a time through the chip's buffers"
      "\nwith reads kept in flight; services that do nothing:\n");
  std::printf("%-8s %-6s %-4s %-4s %-7s %-7s %11s %9s %11s %12s %12s %9s %10s %7s\n", "transfer",
              "chip", "rtt", "clk", "clock", "result", "sync clocks", "exchanges", "round trips",
              "floor (ms)", "time (ms)", "x floor", "cpu (ms)", "cpu %");
  for (const UsbRun& usb : results.usbRuns) {
    const TransferRun& run = usb.run;
    const bool ok = run.status == TransferStatus::Success && run.intact;
    allGood = allGood && ok;
    const char* result = run.status != TransferStatus::Success ? "FAILED" : ok ? "ok" : "CORRUPT";
    std::printf(
        "%-8s %-6s %2lldms %3dx %-7s %-7s %11llu %9llu %11llu %12.3f %12.3f %9.3f %10.1f %6.1f%%\n",
        run.name, usb.model.chip, static_cast<long long>(usb.model.roundTripMs),
        usb.model.multiplier, usb.clock, result, static_cast<unsigned long long>(run.syncClocks),
        static_cast<unsigned long long>(run.exchanges),
        static_cast<unsigned long long>(usb.roundTrips), run.floorMs, run.wallMs,
        run.wallMs / run.floorMs, run.cpuMs, run.cpuMs / run.wallMs * 100.0);
  }
  std::printf(
      "  (rtt: a USB round trip; clk: the pin clock as a multiple of the baud rate; round trips:\n"
      "   USB writes, a stream counting as one. real: wall time on the monotonic clock; virtual:\n"
      "   protocol time on a clock that moves 1 us a reading. The same floor as above. cpu: the\n"
      "   process's processor time over the transfer, of its wall time on the real clock; on the\n"
      "   virtual clock every wait is a busy-wait by design)\n");

  std::printf("\nOne byte's 34 port accesses, waits left out, %d bytes:\n", kCostBytes);
  std::printf("  %-34s %8.1f ns\n  %-34s %8.1f ns  (x %.2f)\n", "on the Game Boy's registers",
              results.byteCost.directNs, "through the program's own ports", results.byteCost.hostNs,
              results.byteCost.hostNs / results.byteCost.directNs);
  return allGood;
}

}  // namespace fennow
