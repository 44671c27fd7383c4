// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/LinkWindow.h"
#include "app/TemplateControls.h"
#include "app/WindowPlatform.h"
#include "ports/PortDirectory.h"
#include "sim/SimulatedGameBoy.h"
#include "sim/VirtualCounter.h"
#include "tests/support/FakeServices.h"

namespace fennow::test {

// One QApplication for the whole test program, made on first use and never destroyed: widgets
// of a failed test may outlive any teardown order we could pick.
inline QApplication& TestApp() {
  static QApplication* app = [] {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    unsetenv("QT_QPA_PLATFORMTHEME");  // never a native dialog that could block
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

// A port that records every write and answers every read with one fixed byte.
class FixedStatusPort final : public PortIo {
 public:
  void Write(std::uint16_t address, std::uint8_t value) override {
    writes.emplace_back(address, value);
  }
  std::uint8_t Read(std::uint16_t address) override {
    reads.push_back(address);
    return status;
  }

  std::vector<std::pair<std::uint16_t, std::uint8_t>> writes;
  std::vector<std::uint16_t> reads;
  std::uint8_t status = 0xFF;
};

// Dialogs that record what they were asked and answer at once.
class ScriptedDialogs final : public DialogHost {
 public:
  void ShowMessage(QWidget* owner, const std::string& text, const std::string& title,
                   MessageStyle style) override {
    messages.push_back({text, title, style});
    messageOwners.push_back(owner);
    ownerShownAtMessage.push_back(owner != nullptr && owner->isVisible());
  }
  SaveAnswer RunSaveDialog(QWidget* owner, const SaveRequest& request) override {
    saveRequests.push_back(request);
    saveOwners.push_back(owner);
    SaveAnswer answer = saveAnswers.empty() ? SaveAnswer{} : saveAnswers.front();
    if (!saveAnswers.empty()) saveAnswers.pop_front();
    return answer;
  }
  void RunAboutBox(QWidget* owner) override {
    ++aboutRuns;
    aboutOwner = owner;
  }
  UnsavedChoice AskUnsaved(QWidget*, std::size_t unsaved) override {
    unsavedAsked.push_back(unsaved);
    return unsavedAnswer;
  }

  std::vector<Message> messages;
  std::vector<QWidget*> messageOwners;
  std::vector<bool> ownerShownAtMessage;
  std::vector<SaveRequest> saveRequests;
  std::vector<QWidget*> saveOwners;
  std::deque<SaveAnswer> saveAnswers;
  int aboutRuns = 0;
  QWidget* aboutOwner = nullptr;
  std::vector<std::size_t> unsavedAsked;  // the count, at every question
  UnsavedChoice unsavedAnswer = UnsavedChoice::Discard;
};

// Ports whose table a test sets and whose reachability it scripts: Reach answers from
// `problems`, one per call, and nothing (reachable) once they run out. Every port it reaches is
// `port`; one that cannot be reached reads like an empty socket.
class ScriptedPorts final : public PortDirectory {
 public:
  explicit ScriptedPorts(PortIo& port) : port_(port) {}
  PortTable Ports() override {
    ++lookups;
    return table;
  }
  ReachedPort Reach(const PortTarget& target) override {
    reached.push_back(target.base);
    if (problems.empty()) return {&port_, std::nullopt};
    std::optional<PortProblem> next = problems.front();
    problems.pop_front();
    return {next ? &NoPort() : &port_, next};
  }
  void Release(const PortTarget& target) override { released.push_back(target.base); }

  PortTable table = LegacyPorts();
  std::deque<std::optional<PortProblem>> problems;
  std::vector<std::uint16_t> reached;
  std::vector<std::uint16_t> released;
  int lookups = 0;

 private:
  PortIo& port_;
};

class ScriptedKeys final : public KeySource {
 public:
  bool KeyWaiting() override {
    ++polls;
    return waiting || (waitingFromPoll > 0 && polls >= waitingFromPoll);
  }
  bool waiting = false;
  int waitingFromPoll = 0;  // when set, a key is there from that poll (counted from 1) on
  int polls = 0;
};

// A LinkWindow on fakes. The window is built on demand so a test can set the fakes up first,
// and can be destroyed early to look at what the destruction did.
struct WindowRig {
  WindowRig() { TestApp(); }

  LinkWindow& Window() {
    if (!window) window = std::make_unique<LinkWindow>(platform);
    return *window;
  }
  LinkWindow& Shown() {
    Window().show();
    return *window;
  }
  void Destroy() { window.reset(); }

  FixedStatusPort port;
  ScriptedPorts ports{port};
  // 100 us a reading: the two-second wait of the destruction is 20,000 readings.
  VirtualCounter counter{100'000};
  ScriptedDialogs dialogs;
  ScriptedKeys keys;
  WindowPlatform platform{ports, counter, dialogs, keys};
  std::unique_ptr<LinkWindow> window;
};

// The real window on a simulated Game Boy, on a clock that advances only when read, so a
// transfer takes milliseconds: the whole road from a button to a file.
struct GameBoyWindowRig {
  GameBoyWindowRig() { gameBoy.SetRecording(false); }

  QAbstractButton* Button(int id) const {
    return qobject_cast<QAbstractButton*>(ControlById(*window, id));
  }
  bool Lit(int id) const { return Button(id)->isChecked(); }
  void Click(int id) { Button(id)->click(); }

  QApplication& app = TestApp();  // before any widget
  VirtualCounter counter{100'000};
  SimulatedGameBoy gameBoy{[this] { return counter.Now(); }};
  LegacyPortDirectory ports{gameBoy};
  ScriptedDialogs dialogs;
  ScriptedKeys keys;
  WindowPlatform platform{ports, counter, dialogs, keys};
  std::unique_ptr<LinkWindow> window = std::make_unique<LinkWindow>(platform);
};

}  // namespace fennow::test

namespace fennow::test {

template <typename T>
struct ShownWatch {
  std::function<void(T&)> examine;
  bool* found = nullptr;
  int tries = 0;
};

template <typename T>
void PollShown(const std::shared_ptr<ShownWatch<T>>& watch) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* match = qobject_cast<T*>(widget); match != nullptr && match->isVisible()) {
      if (watch->found != nullptr) *watch->found = true;
      watch->examine(*match);
      return;
    }
  }
  if (++watch->tries > 500) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) {
        dialog->reject();
      }
    }
    return;
  }
  QTimer::singleShot(1, [watch] { PollShown(watch); });
}

// Runs `examine` on the first shown top-level widget of type T once a modal run has put it up;
// `examine` then ends it. Used around calls that exec a dialog. If none comes up within a
// generous number of event-loop turns, every shown dialog is rejected, so that the test fails
// instead of hanging.
template <typename T>
void WhenShown(std::function<void(T&)> examine, bool* found = nullptr) {
  auto watch = std::make_shared<ShownWatch<T>>();
  watch->examine = std::move(examine);
  watch->found = found;
  QTimer::singleShot(0, [watch] { PollShown(watch); });
}

}  // namespace fennow::test
