// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "tests/support/Files.h"
#include "tests/support/WindowRig.h"

namespace fennow {
namespace {

using test::WriteFile;

// Long enough for a loaded machine to start a Qt program, short enough that a simulator which
// opened its windows instead of refusing is caught rather than waited on.
constexpr int kEndWithinMs = 15'000;

constexpr const char* kUsageLine = "Usage: fennow-link-sim [options] [ports | test | capture]";

std::string Numbers(int count, int badLine = 0) {
  std::string text;
  for (int line = 1; line <= count; ++line) {
    text += line == badLine ? "12x" : std::to_string(line % 256);
    text += "\r\n";
  }
  return text;
}

struct Outcome {
  bool ended = false;
  int status = -1;
  QString errors;
  QString output;
};

Outcome RunSimulator(const QStringList& arguments) {
  QProcess simulator;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
  simulator.setProcessEnvironment(environment);
  simulator.start(QStringLiteral(FENNOW_SIM_PROGRAM), arguments);
  Outcome outcome;
  if (!simulator.waitForStarted(kEndWithinMs)) {
    outcome.errors = simulator.errorString();
    return outcome;
  }
  outcome.ended = simulator.waitForFinished(kEndWithinMs);
  if (!outcome.ended) {
    simulator.kill();
    simulator.waitForFinished(kEndWithinMs);
    return outcome;
  }
  outcome.status = simulator.exitStatus() == QProcess::NormalExit ? simulator.exitCode() : -1;
  outcome.errors = QString::fromLocal8Bit(simulator.readAllStandardError());
  outcome.output = QString::fromLocal8Bit(simulator.readAllStandardOutput());
  return outcome;
}

TEST(SimulatorProgram, CommandLinesItCannotUseEndWithTheUsage) {
  test::TestApp();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString notes = folder.filePath(QStringLiteral("notes.txt"));
  const QString shortBlock = folder.filePath(QStringLiteral("short.txt"));
  const QString badNumber = folder.filePath(QStringLiteral("bad.txt"));
  const QString goodBlock = folder.filePath(QStringLiteral("good.txt"));
  const QString missingImage = folder.filePath(QStringLiteral("missing.png"));
  const QString missingBlock = folder.filePath(QStringLiteral("missing.txt"));
  ASSERT_TRUE(WriteFile(notes.toStdString(), "these are notes, not a picture\n"));
  ASSERT_TRUE(WriteFile(shortBlock.toStdString(), Numbers(1204)));
  ASSERT_TRUE(WriteFile(badNumber.toStdString(), Numbers(1205, 7)));
  ASSERT_TRUE(WriteFile(goodBlock.toStdString(), Numbers(1205)));

  const struct Case {
    const char* name;
    QStringList arguments;
    std::vector<QString> named;  // what the message must mention
  } cases[] = {
      {"missing picture", {"--screen", missingImage}, {missingImage}},
      {"text as a picture", {"--screen", notes}, {notes}},
      {"1204 numbers", {"--data", shortBlock}, {shortBlock, "1204"}},
      {"a bad number", {"--data", badNumber}, {badNumber, "line 7", "12x"}},
      {"missing block", {"--data", missingBlock}, {missingBlock}},
      {"unknown option", {"--frobnicate"}, {"frobnicate"}},
      {"picture option alone", {"--screen"}, {"--screen"}},
      {"data option alone", {"--data"}, {"--data"}},
      {"good block, missing picture",
       {"--data", goodBlock, "--screen", missingImage},
       {missingImage}},
      {"unknown option after a good one", {"--data", goodBlock, "--frobnicate"}, {"frobnicate"}},
      // --usb takes no file: what follows it is an option of its own
      {"usb, then an unknown option", {"--usb", "--frobnicate"}, {"frobnicate"}},
      {"usb, then a missing picture", {"--usb", "--screen", missingImage}, {missingImage}},
      {"usb given a file", {"--usb", goodBlock}, {goodBlock}},
      {"a picture and a block", {"--screen", notes, "--data", goodBlock, "ports"}, {"--screen"}},
      {"a bad block for a command", {"--data", shortBlock, "capture"}, {shortBlock, "1204"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = RunSimulator(c.arguments);
    ASSERT_TRUE(outcome.ended) << "still running; killed. " << outcome.errors.toStdString();
    EXPECT_EQ(outcome.status, 2);
    EXPECT_TRUE(outcome.errors.contains(QLatin1String(kUsageLine))) << outcome.errors.toStdString();
    for (const QString& part : c.named) {
      EXPECT_TRUE(outcome.errors.contains(part))
          << "no \"" << part.toStdString() << "\" in: " << outcome.errors.toStdString();
    }
  }
}

// Headless, as the README shows it: the block the simulated Game Boy sends comes back as a table.
TEST(SimulatorProgram, ACommandRunsHeadlessAgainstTheSimulatedGameBoy) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString block = folder.filePath(QStringLiteral("block.txt"));
  const QString table = folder.filePath(QStringLiteral("block.csv"));
  ASSERT_TRUE(WriteFile(block.toStdString(), Numbers(1205)));
  const Outcome outcome = RunSimulator({"--data", block, "capture", "--output", table});
  ASSERT_TRUE(outcome.ended) << outcome.errors.toStdString();
  EXPECT_EQ(outcome.status, 0) << outcome.errors.toStdString();
  EXPECT_TRUE(outcome.errors.contains("Data Transfer Successful")) << outcome.errors.toStdString();
  EXPECT_EQ(outcome.output, "Saved " + table + "\n");
  const std::string csv = test::ReadFile(table.toStdString());
  EXPECT_EQ(csv.substr(0, 39), "index,kind,byte,value\r\n0,sample,1,126\r\n");
}

}  // namespace
}  // namespace fennow
