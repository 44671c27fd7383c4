#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/WindowServices.h"

namespace fennow::test {

struct Message {
  std::string text;
  std::string title;
  MessageStyle style;
  bool operator==(const Message&) const = default;
};

// Window services that record every call, in order, for tests to inspect; keys and save-dialog
// answers are scripted.
class FakeServices : public WindowServices {
 public:
  struct Event {
    enum Kind { Lamp, Progress, Message, Key, SaveDialog } kind;
    int a = 0;  // lamp / progress position
    bool on = false;
  };

  void SetLamp(fennow::Lamp lamp, bool on) override {
    lamps[lamp] = on;
    events.push_back({Event::Lamp, lamp, on});
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

  // Poll number (from 1) at which KeyPressed first reports a key; it keeps reporting it after.
  void PressKeyAtPoll(int poll) {
    keyAtPoll = [poll](int n) { return n >= poll; };
  }

  bool lamps[4] = {false, false, false, false};
  std::vector<std::int32_t> progress;
  std::vector<Message> messages;
  std::vector<Event> events;
  std::vector<SaveRequest> saveRequests;
  std::deque<SaveAnswer> saveAnswers;
  std::function<void(const Message&)> onMessage;
  std::function<bool(int)> keyAtPoll;
  int keyPolls = 0;
};

}  // namespace fennow::test
