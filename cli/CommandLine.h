// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <optional>
#include <ostream>
#include <string>

#include "cli/Commands.h"

namespace fennow {

// The arguments of both programs, read with Qt's parser so that --help and --version read as any
// Qt program's do. No command means the window; a command runs headless.
//
//   <program> [options]                   the window
//   <program> ports [--json]
//   <program> test [--port LPTn]
//   <program> capture [--port LPTn] [--output FILE] [--format F] [--scale N] [--palette P]
//                     [--count N]
class CommandLine {
 public:
  // `program` names the program in messages; `summary` opens its help.
  CommandLine(std::string program, const QString& summary);

  // For options of the program's own (the simulator's), added before Parse; they go with any
  // command, and with none.
  QCommandLineParser& Parser() { return parser_; }
  const QCommandLineParser& Parser() const { return parser_; }

  // Reads the arguments, the program's path first. Nothing when they make sense, otherwise a
  // line saying what is wrong.
  std::optional<std::string> Parse(const QStringList& arguments);

  bool HelpAsked() const { return parser_.isSet(help_); }
  bool VersionAsked() const { return parser_.isSet(version_); }
  bool WantsWindow() const {
    return options_.command == Command::Window && !HelpAsked() && !VersionAsked();
  }
  const CommandOptions& Options() const { return options_; }

  // The problem, a usage line and where to read more, on `err`; returns the usage status.
  int UsageError(const std::string& problem, std::ostream& err) const;

 private:
  std::optional<std::string> ReadCommand();
  std::optional<std::string> CheckOptionsFitCommand() const;
  std::optional<std::string> ReadValues();

  std::string program_;
  QCommandLineParser parser_;
  QCommandLineOption help_;
  QCommandLineOption version_;
  CommandOptions options_;
};

// The program's arguments as Qt reads them, before any application object exists.
QStringList ArgumentsOf(int argc, char* argv[]);

}  // namespace fennow
