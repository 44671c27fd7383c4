// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QStringList>
#include <sstream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/OutputNames.h"

namespace fennow {
namespace {

TEST(OutputName, NumbersTheCapturesAndNeverPassesAPercentOn) {
  const struct {
    const char* pattern;
    int n;
    const char* name;  // nullptr: refused
  } cases[] = {
      {"shot.png", 1, "shot.png"},
      {"shot.png", 2, "shot-2.png"},
      {"shot", 3, "shot-3"},
      {"dir.v2/shot", 2, "dir.v2/shot-2"},
      {".hidden", 2, ".hidden-2"},
      {"a/b.tar.csv", 10, "a/b.tar-10.csv"},
      {"shot%d.bmp", 1, "shot1.bmp"},
      {"shot%03d.bmp", 7, "shot007.bmp"},
      {"s%03d.bmp", 1234, "s1234.bmp"},
      {"100%%-%d.txt", 2, "100%-2.txt"},
      {"100%%.txt", 2, "100%-2.txt"},
      {"shot%s.bmp", 1, nullptr},
      {"shot%n", 1, nullptr},
      {"shot%", 1, nullptr},
      {"shot%00d", 1, nullptr},
      {"%d-%d", 4, "4-4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " #" + std::to_string(c.n));
    const std::optional<std::string> name = OutputName(c.pattern, c.n);
    if (c.name == nullptr) {
      EXPECT_FALSE(name.has_value()) << *name;
    } else {
      EXPECT_EQ(name.value_or("<refused>"), c.name);
    }
  }
}

QStringList Arguments(std::initializer_list<const char*> given) {
  QStringList arguments{QStringLiteral("fennow-link")};
  for (const char* argument : given) arguments << QString::fromUtf8(argument);
  return arguments;
}

TEST(CommandLine, ReadsEachCommandAndItsOptions) {
  struct Expected {
    Command command;
    PortChoice port;
    std::optional<FileFormat> format;
    ScreenLook look;
    int count;
    bool json;
  };
  constexpr auto kLpt1 = PortChoice::LPT1;
  const ScreenLook plain;
  const struct {
    std::initializer_list<const char*> arguments;
    Expected expected;
  } cases[] = {
      {{}, {Command::Window, kLpt1, {}, plain, 1, false}},
      {{"ports"}, {Command::Ports, kLpt1, {}, plain, 1, false}},
      {{"ports", "--json"}, {Command::Ports, kLpt1, {}, plain, 1, true}},
      {{"test", "--port", "lpt2"}, {Command::Test, PortChoice::LPT2, {}, plain, 1, false}},
      {{"--port=LPT3", "test"}, {Command::Test, PortChoice::LPT3, {}, plain, 1, false}},
      {{"capture"}, {Command::Capture, kLpt1, {}, plain, 1, false}},
      {{"capture", "-o", "a.PNG"}, {Command::Capture, kLpt1, FileFormat::Png, plain, 1, false}},
      {{"capture", "-o", "a", "-f", "csv"},
       {Command::Capture, kLpt1, FileFormat::Csv, plain, 1, false}},
      {{"capture", "-o", "a.txt", "-f", "dat"},
       {Command::Capture, kLpt1, FileFormat::Mathcad, plain, 1, false}},
      {{"capture", "--scale", "8", "--palette", "grey", "-n", "3"},
       {Command::Capture, kLpt1, {}, {8, ScreenPalette::Greys}, 3, false}},
      {{"capture", "-o", "s%02d.png", "--palette", "green"},
       {Command::Capture, kLpt1, FileFormat::Png, {1, ScreenPalette::Greens}, 1, false}},
  };
  for (const auto& c : cases) {
    const QStringList arguments = Arguments(c.arguments);
    SCOPED_TRACE(arguments.join(' ').toStdString());
    CommandLine line("fennow-link", QStringLiteral("summary"));
    const std::optional<std::string> problem = line.Parse(arguments);
    ASSERT_FALSE(problem.has_value()) << *problem;
    const CommandOptions& got = line.Options();
    EXPECT_EQ(got.command, c.expected.command);
    EXPECT_EQ(got.port, c.expected.port);
    EXPECT_EQ(got.format, c.expected.format);
    EXPECT_EQ(got.look, c.expected.look);
    EXPECT_EQ(got.count, c.expected.count);
    EXPECT_EQ(got.json, c.expected.json);
    EXPECT_EQ(line.WantsWindow(), c.expected.command == Command::Window);
  }
}

TEST(CommandLine, BadArgumentsGiveOneLineAndTheUsageWithStatus2) {
  const struct {
    std::initializer_list<const char*> arguments;
    const char* says;
  } cases[] = {
      {{"--frobnicate"}, "frobnicate"},
      {{"print"}, "unknown command 'print'"},
      {{"ports", "test"}, "one command at a time"},
      {{"--json"}, "--json goes with ports only"},
      {{"test", "--json"}, "--json goes with ports only"},
      {{"ports", "--port", "LPT1"}, "--port goes with test and capture only"},
      {{"test", "-o", "x.bmp"}, "--output goes with capture only"},
      {{"test", "--port", "LPT4"}, "LPT1, LPT2 or LPT3, not LPT4"},
      {{"capture", "--port"}, "port"},
      {{"capture", "-f", "gif"}, "bmp, png, txt, csv, dat, not gif"},
      {{"capture", "-o", "shot.jpg"}, "cannot be told from its name"},
      {{"capture", "-o", "shot"}, "cannot be told from its name"},
      {{"capture", "-o", "s%s.bmp"}, "holds a % other than"},
      {{"capture", "-o", ""}, "needs a file name"},
      {{"capture", "--scale", "5"}, "--scale takes 1, 2, 3, 4, 6 or 8"},
      {{"capture", "--scale", "2x"}, "--scale takes"},
      {{"capture", "--palette", "pink"}, "--palette takes bw, green or grey"},
      {{"capture", "-o", "a.bmp", "--scale", "2"}, "go with the png format only"},
      {{"capture", "-n", "0"}, "--count takes a number from 1 to 9999"},
      {{"capture", "-n", "10000"}, "--count takes"},
  };
  for (const auto& c : cases) {
    const QStringList arguments = Arguments(c.arguments);
    SCOPED_TRACE(arguments.join(' ').toStdString());
    CommandLine line("fennow-link", QStringLiteral("summary"));
    const std::optional<std::string> problem = line.Parse(arguments);
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->find(c.says), std::string::npos) << *problem;
    EXPECT_EQ(problem->find('\n'), std::string::npos) << *problem;
    std::ostringstream err;
    EXPECT_EQ(line.UsageError(*problem, err), 2);
    EXPECT_EQ(err.str(), "fennow-link: " + *problem +
                             "\nUsage: fennow-link [options] [ports | test | capture]\n"
                             "Run 'fennow-link --help' for the options.\n");
  }
}

}  // namespace
}  // namespace fennow
