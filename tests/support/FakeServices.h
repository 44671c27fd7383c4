// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "link/FrontEnd.h"

namespace fennow {

// Failures name the styles and lamps rather than dumping their bytes.
inline void PrintTo(MessageStyle style, std::ostream* out) {
  *out << "style 0x" << std::hex << static_cast<unsigned>(style) << std::dec;
}
inline void PrintTo(Lamp lamp, std::ostream* out) {
  static constexpr const char* kNames[] = {"SyncLamp", "ScreenLamp", "DataLamp", "ErrorLamp"};
  *out << kNames[static_cast<std::size_t>(lamp)];
}

}  // namespace fennow

namespace fennow::test {

struct Message {
  std::string text;
  std::string title;
  MessageStyle style;
  bool operator==(const Message&) const = default;
};

// A failed comparison shows the box as the user would read it.
inline void PrintTo(const Message& m, std::ostream* out) {
  *out << '"' << m.title << ": " << m.text << '"';
}

// Window services that record every call, in order, for tests to inspect; keys and save-dialog
// answers are scripted.
class FakeServices : public WindowServices {
 public:
  struct Event {
    enum Kind { Lamp, Progress, Message, Key, SaveDialog } kind;
    int a = 0;  // progress position, or which message
    bool on = false;
    fennow::Lamp lamp = fennow::Lamp::SyncLamp;
  };

  void SetLamp(fennow::Lamp lamp, bool on) override {
    lamps[static_cast<std::size_t>(lamp)] = on;
    events.push_back({Event::Lamp, 0, on, lamp});
  }
  void SetProgress(std::int32_t position) override {
    progress.push_back(position);
    events.push_back({Event::Progress, position, false});
  }
  void ShowMessage(const std::string& text, const std::string& title, MessageStyle style) override {
    messages.push_back({text, title, style});
    events.push_back({Event::Message, static_cast<int>(messages.size() - 1), false});
    if (onMessage) onMessage(messages.back());
  }
  void WhileWaiting() override { ++waits; }
  bool KeyPressed() override {
    ++keyPolls;
    return keyAtPoll && keyAtPoll(keyPolls);
  }
  SaveAnswer RunSaveDialog(const SaveRequest& request) override {
    saveRequests.push_back(request);
    events.push_back({Event::SaveDialog, 0, false});
    SaveAnswer answer = saveAnswers.empty() ? SaveAnswer{} : saveAnswers.front();
    if (!saveAnswers.empty()) saveAnswers.pop_front();
    return answer;
  }

  bool Lit(fennow::Lamp lamp) const { return lamps[static_cast<std::size_t>(lamp)]; }

  // Poll number (from 1) at which KeyPressed first reports a key; it keeps reporting it after.
  void PressKeyAtPoll(int poll) {
    keyAtPoll = [poll](int n) { return n >= poll; };
  }

  std::array<bool, kLampCount> lamps{};
  std::vector<std::int32_t> progress;
  std::vector<Message> messages;
  std::vector<Event> events;
  std::vector<SaveRequest> saveRequests;
  std::deque<SaveAnswer> saveAnswers;
  std::function<void(const Message&)> onMessage;
  std::function<bool(int)> keyAtPoll;
  int keyPolls = 0;
  int waits = 0;  // calls of WhileWaiting
};

}  // namespace fennow::test
