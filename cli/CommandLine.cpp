// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include <array>
#include <charconv>
#include <string_view>

#include "cli/OutputNames.h"

namespace fennow {

namespace {

constexpr int kMaxCount = 9999;

struct CommandRow {
  Command command;
  std::string_view name;
};

constexpr std::array<CommandRow, 3> kCommands{{
    {Command::Ports, "ports"},
    {Command::Test, "test"},
    {Command::Capture, "capture"},
}};

// Which commands each of our options goes with.
struct OptionRow {
  std::string_view name;
  std::array<bool, 3> with;  // ports, test, capture
};

constexpr std::array<OptionRow, 7> kOptionRules{{
    {"json", {true, false, false}},
    {"port", {false, true, true}},
    {"output", {false, false, true}},
    {"format", {false, false, true}},
    {"scale", {false, false, true}},
    {"palette", {false, false, true}},
    {"count", {false, false, true}},
}};

std::size_t IndexOf(Command command) {
  return static_cast<std::size_t>(command) - 1;  // Window has no row
}

std::string Std(const QString& text) {
  return text.toLocal8Bit().toStdString();
}

std::optional<int> WholeNumber(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string FormatNames() {
  std::string names;
  for (const FormatRow& row : kFileFormats) {
    names += (names.empty() ? "" : ", ") + std::string(row.name);
  }
  return names;
}

}  // namespace

CommandLine::CommandLine(std::string program, const QString& summary)
    : program_(std::move(program)),
      help_({QStringLiteral("h"), QStringLiteral("help")},
            QStringLiteral("Displays help on commandline options.")),
      version_(parser_.addVersionOption()) {
  // Qt's own help option would also offer --help-all, which lists Qt's options; the arguments are
  // read before any Qt application exists, so those are not taken.
  parser_.addOption(help_);
  parser_.setApplicationDescription(summary);
  parser_.addPositionalArgument(
      QStringLiteral("command"),
      QStringLiteral("ports: how LPT1 to LPT3 map to ports, and whether each can be reached.\n"
                     "test: the lead test (the lead in the PC, out of the Game Boy).\n"
                     "capture: fetch a screen or data block and save it.\n"
                     "Without a command the window opens."),
      QStringLiteral("[ports | test | capture]"));
  parser_.addOptions({
      {QStringLiteral("json"), QStringLiteral("ports: the same as JSON.")},
      {QStringLiteral("port"), QStringLiteral("test, capture: the port to use (default LPT1)."),
       QStringLiteral("LPTn")},
      {{QStringLiteral("o"), QStringLiteral("output")},
       QStringLiteral("capture: the file to save; %d or %03d in it numbers the captures. Default: "
                      "fennow-<date>-<time> with the format's extension."),
       QStringLiteral("FILE")},
      {{QStringLiteral("f"), QStringLiteral("format")},
       QStringLiteral("capture: bmp, png, txt, dat or csv (default: the output's extension, or "
                      "bmp for a screen and txt for a data block)."),
       QStringLiteral("FORMAT")},
      {QStringLiteral("scale"), QStringLiteral("capture: enlarge a PNG 1, 2, 3, 4, 6 or 8 times."),
       QStringLiteral("N")},
      {QStringLiteral("palette"),
       QStringLiteral("capture: a PNG's colours: bw, green (the original handheld) or grey (the "
                      "pocket model)."),
       QStringLiteral("NAME")},
      {{QStringLiteral("n"), QStringLiteral("count")},
       QStringLiteral("capture: this many captures in a row (default 1)."),
       QStringLiteral("N")},
  });
}

std::optional<std::string> CommandLine::Parse(const QStringList& arguments) {
  options_ = {};
  if (!parser_.parse(arguments)) return Std(parser_.errorText());
  if (HelpAsked() || VersionAsked()) return std::nullopt;
  if (auto problem = ReadCommand()) return problem;
  if (auto problem = CheckOptionsFitCommand()) return problem;
  return ReadValues();
}

std::optional<std::string> CommandLine::ReadCommand() {
  const QStringList given = parser_.positionalArguments();
  if (given.size() > 1) return "one command at a time, not " + Std(given.join(QLatin1Char(' ')));
  if (given.isEmpty()) return std::nullopt;
  for (const CommandRow& row : kCommands) {
    if (Std(given.first()) == row.name) {
      options_.command = row.command;
      return std::nullopt;
    }
  }
  return "unknown command '" + Std(given.first()) + "': the commands are ports, test and capture";
}

std::optional<std::string> CommandLine::CheckOptionsFitCommand() const {
  for (const OptionRow& rule : kOptionRules) {
    if (!parser_.isSet(QString::fromUtf8(rule.name.data(), static_cast<int>(rule.name.size())))) {
      continue;
    }
    if (options_.command != Command::Window && rule.with[IndexOf(options_.command)]) continue;
    std::string commands;
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
      if (rule.with[i])
        commands += (commands.empty() ? "" : " and ") + std::string(kCommands[i].name);
    }
    return "--" + std::string(rule.name) + " goes with " + commands + " only";
  }
  return std::nullopt;
}

std::optional<std::string> CommandLine::ReadValues() {
  if (parser_.isSet(QStringLiteral("json"))) options_.json = true;
  if (parser_.isSet(QStringLiteral("port"))) {
    const std::string port = Std(parser_.value(QStringLiteral("port")).toUpper());
    bool found = false;
    for (std::size_t i = 0; i < kPortChoiceCount; ++i) {
      if (kLegacyAddresses[i].name == port) {
        options_.port = static_cast<PortChoice>(i);
        found = true;
      }
    }
    if (!found) return "--port takes LPT1, LPT2 or LPT3, not " + port;
  }
  if (parser_.isSet(QStringLiteral("format"))) {
    const std::string name = Std(parser_.value(QStringLiteral("format")).toLower());
    options_.format = FormatNamed(name);
    if (!options_.format) return "--format takes " + FormatNames() + ", not " + name;
  }
  if (parser_.isSet(QStringLiteral("output"))) {
    options_.output = Std(parser_.value(QStringLiteral("output")));
    if (options_.output.empty()) return "--output needs a file name";
    if (!OutputName(options_.output, 1)) {
      return "the name " + options_.output + " holds a % other than %d, %0Nd or %%";
    }
    if (!options_.format) {
      options_.format = FormatOfPath(options_.output, kAllFormats);
      if (!options_.format) {
        return "the format of " + options_.output +
               " cannot be told from its name: give --format " + FormatNames();
      }
    }
  }
  if (parser_.isSet(QStringLiteral("scale"))) {
    const auto scale = WholeNumber(Std(parser_.value(QStringLiteral("scale"))));
    if (!scale || !IsScreenScale(*scale)) return "--scale takes 1, 2, 3, 4, 6 or 8";
    options_.look.scale = *scale;
    options_.lookGiven = true;
  }
  if (parser_.isSet(QStringLiteral("palette"))) {
    const auto palette = PaletteNamed(Std(parser_.value(QStringLiteral("palette")).toLower()));
    if (!palette) return "--palette takes bw, green or grey";
    options_.look.palette = *palette;
    options_.lookGiven = true;
  }
  if (options_.lookGiven && options_.format && *options_.format != FileFormat::Png) {
    return "--scale and --palette go with the png format only";
  }
  if (parser_.isSet(QStringLiteral("count"))) {
    const auto count = WholeNumber(Std(parser_.value(QStringLiteral("count"))));
    if (!count || *count < 1 || *count > kMaxCount) return "--count takes a number from 1 to 9999";
    options_.count = *count;
  }
  return std::nullopt;
}

int CommandLine::UsageError(const std::string& problem, std::ostream& err) const {
  err << program_ << ": " << problem << "\n"
      << "Usage: " << program_ << " [options] [ports | test | capture]\n"
      << "Run '" << program_ << " --help' for the options.\n";
  return static_cast<int>(ExitStatus::Usage);
}

QStringList ArgumentsOf(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

}  // namespace fennow
