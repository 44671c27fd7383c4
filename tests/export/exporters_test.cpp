// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Exporters.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "export/SavePrompt.h"
#include "tests/export/ExportFixtures.h"
#include "tests/support/FakeServices.h"

namespace fennow::test {
namespace {

using Exporter = SaveOutcome (*)(const CaptureStore&, WindowServices&, std::string&);

struct Writer {
  const char* name;
  Exporter save;
  CaptureKind kind;
  const char* wrongKindText;
  std::vector<SaveType> types;  // typed out here rather than taken from the header under test
};

const Writer kWriters[] = {
    {"bitmap",
     SaveScreen,
     CaptureKind::Screen,
     "No Screen Information Transferred",
     {{"bmp", "*.bmp", "Windows Bitmap file (.bmp)"}, {"png", "*.png", "PNG image"}}},
    {"raw",
     SaveRawData,
     CaptureKind::Data,
     "No Data Information Transferred",
     {{"txt", "*.txt", "Raw Data Format (.txt)"}, {"csv", "*.csv", "CSV table"}}},
    {"mathcad",
     SaveMathcadData,
     CaptureKind::Data,
     "No Data Information Transferred",
     {{"dat", "*.dat", "Mathcad 6.0 file (.dat)"}}},
};

CaptureStore StoreFor(const Writer& writer) {
  return writer.kind == CaptureKind::Screen ? MakeScreen() : MakeData();
}

// Runs one export answering the prompt with path; returns the file's bytes.
std::string Export(const Writer& writer, const CaptureStore& store, const std::string& path,
                   FakeServices& ui) {
  std::string savePath;
  ui.saveAnswers.push_back({IDOK, path});
  writer.save(store, ui, savePath);
  return ReadFile(path);
}

TEST(PromptSavePath, ReturnsTheDialogResultAndAlwaysKeepsItsPath) {
  struct Case {
    SaveAnswer answer;
    int expected;
  };
  for (const Case& c :
       {Case{{IDOK, "/home/me/screen.bmp"}, IDOK}, Case{{IDCANCEL, "/home/me/*.bmp"}, IDCANCEL},
        Case{{IDCANCEL, ""}, IDCANCEL}}) {
    FakeServices ui;
    ui.saveAnswers.push_back(c.answer);
    std::string savePath = "previous path";
    EXPECT_EQ(PromptSavePath(ui, savePath, SaveRequest{kWriters[0].types, {}}), c.expected);
    EXPECT_EQ(savePath, c.answer.path);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(ui.saveRequests.size(), 1u);
  }
}

TEST(Exporters, OpenThePromptWithTheirOwnRow) {
  for (const Writer& writer : kWriters) {
    TempDir dir;
    FakeServices ui;
    Export(writer, StoreFor(writer), dir / "out", ui);
    ASSERT_EQ(ui.saveRequests.size(), 1u) << writer.name;
    EXPECT_EQ(ui.saveRequests[0].types, writer.types);
    EXPECT_TRUE(ui.messages.empty()) << writer.name << ": " << ui.messages[0].text;
  }
}

TEST(Exporters, WrongKindShowsTheMessageAndNoPrompt) {
  for (const Writer& writer : kWriters) {
    for (CaptureKind kind : {CaptureKind::None, CaptureKind::Screen, CaptureKind::Data}) {
      if (kind == writer.kind) continue;
      // A data capture over an old screen still leaves screen bytes in the slots: the kind is
      // what counts, never the content.
      CaptureStore store = MakeScreen();
      store.Kind = kind;
      FakeServices ui;
      ui.saveAnswers.push_back({IDOK, "/nonexistent/never-written"});
      std::string savePath = "kept";
      EXPECT_EQ(writer.save(store, ui, savePath), SaveOutcome::WrongKind) << writer.name;
      EXPECT_EQ(ui.messages, (std::vector<Message>{{writer.wrongKindText, "Save Status",
                                                    MessageStyle::MB_ICONINFORMATION}}))
          << writer.name;
      EXPECT_TRUE(ui.saveRequests.empty()) << writer.name;
      EXPECT_EQ(savePath, "kept") << writer.name;
    }
  }
}

TEST(Exporters, CancelWritesNothingButKeepsTheReportedPath) {
  for (const Writer& writer : kWriters) {
    TempDir dir;
    WriteFile(dir / "existing", "keep me");
    for (const std::string& name : {std::string("new"), std::string("existing")}) {
      FakeServices ui;
      ui.saveAnswers.push_back({IDCANCEL, dir / name});
      std::string savePath;
      EXPECT_EQ(writer.save(StoreFor(writer), ui, savePath), SaveOutcome::Cancelled);
      EXPECT_EQ(savePath, dir / name) << writer.name;
      EXPECT_TRUE(ui.messages.empty()) << writer.name;
    }
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"existing"})) << writer.name;
    EXPECT_EQ(ReadFile(dir / "existing"), "keep me") << writer.name;
  }
}

TEST(Exporters, SavingTwiceGivesIdenticalFilesAndReplacesLongerOnes) {
  for (const Writer& writer : kWriters) {
    TempDir dir;
    const CaptureStore store = StoreFor(writer);
    WriteFile(dir / "second", std::string(10000, 'x'));
    FakeServices ui;
    const std::string first = Export(writer, store, dir / "first", ui);
    const std::string second = Export(writer, store, dir / "second", ui);
    EXPECT_FALSE(first.empty()) << writer.name;
    EXPECT_EQ(first, second) << writer.name;
    EXPECT_EQ(store.Kind, writer.kind);
    EXPECT_TRUE(ui.messages.empty()) << writer.name;
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"first", "second"})) << writer.name;
  }
}

// The extension of the name given decides when it names one of the button's types; otherwise the
// type the dialog had selected does.
TEST(Exporters, TheTypeFollowsTheExtensionThenTheSelectedType) {
  const struct {
    const Writer& writer;
    const char* name;
    std::size_t selected;
    const char* starts;  // the file's first bytes
  } cases[] = {
      {kWriters[0], "a.png", 0, "\x89PNG"},      {kWriters[0], "a.BMP", 1, "BM"},
      {kWriters[0], "a", 1, "\x89PNG"},          {kWriters[0], "a.jpg", 0, "BM"},
      {kWriters[0], "a.jpg", 7, "BM"},           {kWriters[1], "a.csv", 0, "index,kind"},
      {kWriters[1], "a", 1, "index,kind"},       {kWriters[1], "a.txt", 1, "0\r\n127\r\n"},
      {kWriters[2], "a.csv", 0, "127\r\n0\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.writer.name) + " " + c.name);
    TempDir dir;
    FakeServices ui;
    ui.saveAnswers.push_back({IDOK, dir / c.name, c.selected});
    std::string savePath;
    EXPECT_EQ(c.writer.save(StoreFor(c.writer), ui, savePath), SaveOutcome::Saved);
    EXPECT_EQ(ReadFile(dir / c.name).rfind(c.starts, 0), 0u);
  }
}

// The PNG's scale and colours come back as the dialog was left, and open it the next time; values
// the tables do not hold change nothing.
TEST(SaveScreenBitmap, KeepsTheLookTheDialogWasLeftWith) {
  TempDir dir;
  FakeServices ui;
  ScreenLook look;
  std::string savePath;
  const CaptureStore store = MakeScreen();
  for (const SaveAnswer& answer :
       {SaveAnswer{IDOK, dir / "a.png", 1, {3, 1}}, SaveAnswer{IDOK, dir / "b.png", 1, {6, 3}},
        SaveAnswer{IDCANCEL, "", 1, {0, 0}}}) {
    ui.saveAnswers.push_back(answer);
    SaveScreenBitmap(store, ui, savePath, look);
    EXPECT_EQ(look, (ScreenLook{4, ScreenPalette::Greens}));
  }
  ASSERT_EQ(ui.saveRequests.size(), 3u);
  const auto& options = ui.saveRequests[0].options;
  ASSERT_EQ(options.size(), 2u);
  EXPECT_EQ(options[0].values, (std::vector<std::string>{"1 \u00D7", "2 \u00D7", "3 \u00D7",
                                                         "4 \u00D7", "6 \u00D7", "8 \u00D7"}));
  EXPECT_EQ(options[1].values, (std::vector<std::string>{"Black and white", "Game Boy greens",
                                                         "Game Boy Pocket greys"}));
  EXPECT_EQ(options[0].forType, 1u);
  EXPECT_EQ(options[0].chosen, 0u);
  EXPECT_EQ(ui.saveRequests[1].options[0].chosen, 3u);
  EXPECT_EQ(ui.saveRequests[1].options[1].chosen, 1u);
  EXPECT_EQ(ReadFile(dir / "a.png").size(), ReadFile(dir / "b.png").size());
}

TEST(SaveScreenBitmap, WritesTheBitmapByteForByte) {
  TempDir dir;
  const CaptureStore store = MakeScreen();
  FakeServices ui;
  WriteFile(dir / "screen.bmp", std::string(5000, '\x55'));
  const std::string file = Export(kWriters[0], store, dir / "screen.bmp", ui);
  ASSERT_EQ(file.size(), 2942u);
  EXPECT_EQ(file.substr(0, 6), std::string("BM\x7E\x0B\0\0", 6));
  for (std::size_t slot = 0; slot < 2880; ++slot) {
    ASSERT_EQ(static_cast<unsigned char>(file[62 + slot]), store.CaptureBuffer[slot] & 0xFF)
        << "slot " << slot;
  }
}

TEST(SaveRawDataAndMathcad, OneCaptureGivesMatchingFiles) {
  TempDir dir;
  const CaptureStore store = MakeData(7, 0, 13);
  FakeServices ui;
  const std::vector<std::string> raw = CrLfLines(Export(kWriters[1], store, dir / "a.txt", ui));
  const std::vector<std::string> mathcad = CrLfLines(Export(kWriters[2], store, dir / "a.dat", ui));
  ASSERT_EQ(raw.size(), 1205u);
  ASSERT_EQ(mathcad.size(), 1205u);
  for (std::size_t k = 0; k < 1202; ++k) {
    ASSERT_EQ(raw[k], std::to_string(store.CaptureBuffer[k] & 0xFF)) << "line " << k + 1;
    ASSERT_EQ(std::stoi(raw[k]) + std::stoi(mathcad[k]), 127) << "line " << k + 1;
  }
  EXPECT_EQ((std::vector<std::string>(raw.begin() + 1202, raw.end())),
            (std::vector<std::string>{"7", "0", "13"}));
  EXPECT_EQ((std::vector<std::string>(mathcad.begin() + 1202, mathcad.end())),
            (std::vector<std::string>{"2.00", "0.00", "0.020000"}));
  EXPECT_TRUE(ui.messages.empty());
}

TEST(SaveRawData, SizeRunsFromOneToThreeDigitsPerLine) {
  struct Case {
    std::int32_t value;
    std::uintmax_t bytes;
    const char* line;
  };
  for (const Case& c : {Case{0x00, 3615, "0"}, Case{0xFF, 6025, "255"}, Case{0x30A, 4820, "10"}}) {
    TempDir dir;
    FakeServices ui;
    const std::vector<std::string> lines =
        CrLfLines(Export(kWriters[1], MakeUniformData(c.value), dir / "raw.txt", ui));
    EXPECT_EQ(std::filesystem::file_size(dir / "raw.txt"), c.bytes);
    ASSERT_EQ(lines.size(), 1205u);
    for (const std::string& line : lines) ASSERT_EQ(line, c.line) << c.value;
    EXPECT_TRUE(ui.messages.empty());
  }
}

TEST(SaveMathcadData, OutOfRangeScaleCodeIsRefusedBeforeThePrompt) {
  struct Case {
    int first, second, third;
    const char* mention;
    const char* rawScaleLines[3];
  };
  const Case cases[] = {
      {10, 0, 0, "first scale code is 10", {"10", "0", "0"}},
      {0, 10, 0, "second scale code is 10", {"0", "10", "0"}},
      {0, 0, 27, "third scale code is 27", {"0", "0", "27"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const CaptureStore store = MakeData(c.first, c.second, c.third);
    FakeServices ui;
    ui.saveAnswers.push_back({IDOK, dir / "out.dat"});
    std::string savePath = "kept";
    EXPECT_EQ(SaveMathcadData(store, ui, savePath), SaveOutcome::Refused);
    ASSERT_EQ(ui.messages.size(), 1u) << c.mention;
    EXPECT_NE(ui.messages[0].text.find(c.mention), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].title, "Save Status");
    EXPECT_EQ(ui.messages[0].style, MessageStyle::MB_ICONSTOP);
    EXPECT_TRUE(ui.saveRequests.empty()) << c.mention;
    EXPECT_EQ(savePath, "kept");
    EXPECT_TRUE(Names(dir.path()).empty()) << c.mention;

    // The same capture still goes out as raw data, the codes as received.
    FakeServices rawUi;
    const std::vector<std::string> raw =
        CrLfLines(Export(kWriters[1], store, dir / "r.txt", rawUi));
    ASSERT_EQ(raw.size(), 1205u);
    EXPECT_EQ((std::vector<std::string>(raw.begin() + 1202, raw.end())),
              (std::vector<std::string>(std::begin(c.rawScaleLines), std::end(c.rawScaleLines))));
    EXPECT_TRUE(rawUi.messages.empty());
  }
}

}  // namespace
}  // namespace fennow::test
