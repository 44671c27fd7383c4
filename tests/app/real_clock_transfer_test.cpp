// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QProgressBar>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/DialogTemplates.h"
#include "app/TemplateControls.h"
#include "link/Counter.h"
#include "sim/SimulatedGameBoy.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

using test::Message;

// Every other test runs the delays on a clock that moves only when read. This one lets the real
// monotonic clock pace a whole transfer, as the program does, so the waits that only ever saw
// virtual time (the microsecond bit timing, the pauses before and after the mode byte, the gap
// after each byte) are run as written at least once. Only the outcome is checked: how long it
// took depends on the machine.
TEST(RealClockTransfer, ADataBlockArrivesWholeThroughTheWindow) {
  test::TestApp();
  MonotonicCounter counter;
  SimulatedGameBoy gameBoy([&counter] { return counter.Count(); });
  gameBoy.SetRecording(false);  // a few million edges nobody reads
  std::array<std::uint8_t, 1205> block{};
  for (std::size_t i = 0; i < kSampleCount; ++i) {
    block[i] = static_cast<std::uint8_t>((i * 101 + 17) % 256);
  }
  block[kSampleCount] = 4;
  block[kSampleCount + 1] = 7;
  block[kSampleCount + 2] = 20;
  ASSERT_TRUE(gameBoy.LoadData(block));

  test::ScriptedDialogs dialogs;
  test::ScriptedKeys keys;
  LegacyPortDirectory ports{gameBoy};
  WindowPlatform platform{ports, counter, dialogs, keys};
  auto window = std::make_unique<LinkWindow>(platform);
  window->show();
  dialogs.messages.clear();  // whatever the timer check had to say
  const auto lit = [&window](int id) {
    return qobject_cast<QAbstractButton*>(ControlById(*window, id))->isChecked();
  };

  qobject_cast<QAbstractButton*>(ControlById(*window, kStartTransferId))->click();

  EXPECT_EQ(
      dialogs.messages,
      (std::vector<Message>{{"Data Transfer Successful", "Transfer Status", MessageStyle::MB_OK}}));
  const CaptureStore& capture = window->Capture();
  EXPECT_EQ(capture.Kind, CaptureKind::Data);
  int wrong = 0;
  for (std::size_t slot = 0; slot < block.size(); ++slot) {
    if (capture.Byte(slot) != block[slot] && ++wrong <= 5) ADD_FAILURE() << "slot " << slot;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(gameBoy.TransfersCompleted(), 1);
  // The end step: the sync lamp out, the data lamp left on, no error, the bar back at zero.
  EXPECT_FALSE(lit(kSyncLampId));
  EXPECT_FALSE(lit(kScreenLampId));
  EXPECT_TRUE(lit(kDataLampId));
  EXPECT_FALSE(lit(kErrorLampId));
  EXPECT_EQ(qobject_cast<QProgressBar*>(ControlById(*window, kProgressId))->value(), 0);

  window.reset();  // idles the lead for two real seconds
}

}  // namespace
}  // namespace fennow
