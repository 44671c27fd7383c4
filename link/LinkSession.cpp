// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkSession.h"

namespace fennow {

const LineSamples& LinkSession::Run(const LineScript& script) {
  LineSamples& samples = samples_;
  samples.clear();
  if (!lines.RunWhole(script, samples)) {
    for (const LineStep& step : script.Steps()) {
      switch (step.kind) {
        case LineStep::Kind::Change:
          lines.Change(step.set, step.clear);
          break;
        case LineStep::Kind::Wait:
          delay.DelayMicroseconds(step.us);
          break;
        case LineStep::Kind::Sample:
          samples.push_back(lines.ReadStatus());
          break;
      }
    }
  }
  // One reading per sample, whatever a back end did: a missing one reads as an empty socket.
  samples.resize(script.SampleCount(), 0xFF);
  return samples;
}

}  // namespace fennow
