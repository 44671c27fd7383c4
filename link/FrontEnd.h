// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What an operation on the lead asks of the front end that runs it (the window, or a command on a
// terminal): lamps, a bar, messages, a key poll and a save dialog, and the fixed texts of the boxes
// that more than one operation shows. Both front ends implement it; nothing here knows either.
namespace fennow {

// The title of every box about the port: the confirmation, why a port cannot be reached, and a
// port lost during an operation.
inline constexpr std::string_view kPortTitle = "Interface Port";
// What an operation that lost its port says, before the port's own words for why.
inline constexpr std::string_view kPortLostText = "Interface Port Lost: ";
// The warning for a machine without a high-resolution counter, and its box's title.
inline constexpr std::string_view kTimerWarning =
    "ERROR: A high frequency timer does not exist on this machine";
inline constexpr std::string_view kTimerTitle = "Timer test";

// The four status lamps of the main window, in the order of their controls' IDs.
enum class Lamp { SyncLamp, ScreenLamp, DataLamp, ErrorLamp };
inline constexpr std::size_t kLampCount = 4;

// Message box styles, with the values of the Windows message box styles. Every box has one OK
// button.
enum class MessageStyle : unsigned {
  MB_OK = 0x00,
  MB_ICONSTOP = 0x10,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONINFORMATION = 0x40,
};

// Results of the save prompt.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// One file type a save dialog offers.
struct SaveType {
  std::string defaultExtension;  // without the dot, e.g. "bmp"
  std::string initialName;       // the wildcard shown in the name box, e.g. "*.bmp"
  std::string filterText;        // the description of the type
  bool operator==(const SaveType&) const = default;
};

// A small choice the save dialog offers beside the name, such as a scale; it applies to one type
// and is offered only while that type is selected.
struct SaveOption {
  std::string label;                // "Scale"
  std::vector<std::string> values;  // as shown
  std::size_t chosen = 0;           // the value selected when the dialog opens
  std::size_t forType = 0;          // the index of the type it applies to
};

// What a save dialog is opened with: the exporter's file types, the first selected at first, and
// any choices that go with them.
struct SaveRequest {
  std::vector<SaveType> types;
  std::vector<SaveOption> options;
};

struct SaveAnswer {
  SaveAnswer() = default;
  SaveAnswer(int given, std::string at, std::size_t typeChosen = 0,
             std::vector<std::size_t> optionsChosen = {})
      : result(given), path(std::move(at)), type(typeChosen), options(std::move(optionsChosen)) {}

  int result = IDCANCEL;             // IDOK or IDCANCEL
  std::string path;                  // whatever the dialog reported, also after a cancel
  std::size_t type = 0;              // the type selected when it closed
  std::vector<std::size_t> options;  // the value of each option then, in the request's order
};

// Everything the link, capture and export code may ask of the window. Each call acts at once on
// the window's thread and reports no failure.
class WindowServices {
 public:
  virtual ~WindowServices() = default;
  // The change is on screen when the call returns: a transfer keeps the thread busy for seconds.
  virtual void SetLamp(Lamp lamp, bool on) = 0;
  // Range 0..100; a position outside it shows as the nearer end.
  virtual void SetProgress(std::int32_t position) = 0;
  // Modal over the main window; returns when the user dismisses it.
  virtual void ShowMessage(const std::string& text, const std::string& title,
                           MessageStyle style) = 0;
  // Neither waits nor consumes the key; false when the program has no terminal.
  virtual bool KeyPressed() = 0;
  // The platform's save-file dialog, modal over the main window.
  virtual SaveAnswer RunSaveDialog(const SaveRequest& request) = 0;
  // Runs while the link waits a millisecond or more, between its timed steps, every few
  // milliseconds of a long wait: the window repaints, answers the desktop and takes Escape.
  // Must return within a fraction of a millisecond and start no operation of its own.
  virtual void WhileWaiting() {}
};

// "Is a key waiting?" for the transfer's key exit. Never waits and never takes the key.
class KeySource {
 public:
  virtual ~KeySource() = default;
  virtual bool KeyWaiting() = 0;
};

// The one box for a port lost during an operation, whichever operation lost it: the transfer and
// the lead test alike, on every kind of port. `reason` is the port's own (PortIo::LostReason).
inline void ShowPortLost(WindowServices& ui, const std::string& reason) {
  ui.ShowMessage(std::string(kPortLostText) + reason, std::string(kPortTitle),
                 MessageStyle::MB_ICONSTOP);
}

}  // namespace fennow
