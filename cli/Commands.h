// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "export/FileFormats.h"
#include "export/ScreenPng.h"
#include "link/Counter.h"
#include "link/FrontEnd.h"
#include "ports/PortDirectory.h"

namespace fennow {

// How a command run ends, one status a way; the manual pages list them.
enum class ExitStatus : int {
  Success = 0,
  NoLoopBack = 1,  // the lead test found no loop back
  Usage = 2,       // the arguments were not understood
  SyncTimeout = 3,
  AcknowledgeError = 4,
  KeyExit = 5,
  PortLost = 6,
  PortUnreachable = 7,
  WrongKind = 8,   // the Game Boy sent the other kind of capture from the format's
  SaveFailed = 9,  // the file could not be written
};

enum class Command { Window, Ports, Test, Capture };

struct CommandOptions {
  Command command = Command::Window;
  bool json = false;  // ports
  PortChoice port = PortChoice::LPT1;
  std::string output;  // capture: the file name, "%d" and all; empty: named by the time
  std::optional<FileFormat> format;  // capture: given, or told by the output's extension
  ScreenLook look;
  bool lookGiven = false;  // --scale or --palette: a screen goes out as PNG
  int count = 1;
};

// What a command reaches outside the process.
struct CommandPlatform {
  PortDirectory& ports;
  Counter& counter;
  KeySource& keys;
  std::ostream& out;
  std::ostream& err;
  bool drawBar = false;  // standard error is a terminal
};

// Runs a command through the window's own transfer, lead test, port and writer code, and returns
// its exit status.
ExitStatus RunCommand(const CommandOptions& options, CommandPlatform& platform);

}  // namespace fennow
