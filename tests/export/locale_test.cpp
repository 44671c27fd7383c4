// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <sstream>
#include <string>

#include "export/Exporters.h"
#include "tests/export/ExportFixtures.h"
#include "tests/support/FakeServices.h"

namespace fennow::test {
namespace {

class CommaPoint : public std::numpunct<char> {
 protected:
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

// Tries the usual names of decimal-comma locales, then builds one into a scratch folder when
// the system has none installed but has the locale sources.
bool SetCommaCLocale(const TempDir& scratch) {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8",
                           "nl_NL.UTF-8", "it_IT.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) return true;
  }
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + (scratch / "de_DE.UTF-8") + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  ::setenv("LOCPATH", scratch.path().c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

// Everything the three writers make, one after the other, in one folder.
std::string ExportAll(const TempDir& dir, const std::string& tag) {
  std::string all;
  struct Job {
    SaveOutcome (*save)(const CaptureStore&, WindowServices&, std::string&);
    CaptureStore store;
    const char* name;
  };
  for (const Job& job :
       {Job{SaveScreen, MakeScreen(), "s.bmp"}, Job{SaveRawData, MakeData(4, 9, 14), "r.txt"},
        Job{SaveMathcadData, MakeData(4, 9, 14), "m.dat"},
        Job{SaveRawData, MakeData(4, 9, 14), "c.csv"}}) {
    FakeServices ui;
    ui.saveAnswers.push_back({IDOK, dir / (tag + job.name)});
    std::string savePath;
    job.save(job.store, ui, savePath);
    EXPECT_TRUE(ui.messages.empty()) << job.name;
    all += ReadFile(dir / (tag + job.name));
  }
  return all;
}

TEST(ExportLocale, DecimalCommaLocaleLeavesTheFilesUnchanged) {
  TempDir dir;
  TempDir scratch;
  const std::string plain = ExportAll(dir, "c-");
  ASSERT_NE(plain.find("0.20\r\n10.00\r\n0.050000\r\n"), std::string::npos);

  const bool cLocale = SetCommaCLocale(scratch);
  std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  char printed[16];
  std::snprintf(printed, sizeof printed, "%.2f", 0.5);
  std::ostringstream streamed;
  streamed << 0.5;
  const bool cComma = cLocale && std::string(printed) == "0,50";
  const bool streamComma = streamed.str() == "0,5";

  const std::string localised = ExportAll(dir, "de-");

  std::locale::global(std::locale::classic());
  std::setlocale(LC_ALL, "C");
  ::unsetenv("LOCPATH");

  if (!cComma && !streamComma) GTEST_SKIP() << "no decimal-comma locale could be set up";
  if (!cComma) std::printf("note: only the C++ stream locale has a decimal comma here\n");
  ASSERT_EQ(localised.size(), plain.size());
  const auto differs = std::mismatch(plain.begin(), plain.end(), localised.begin());
  EXPECT_TRUE(differs.first == plain.end())
      << "first difference at byte " << (differs.first - plain.begin()) << ": \""
      << plain.substr(static_cast<std::size_t>(differs.first - plain.begin()), 12) << "\" became \""
      << localised.substr(static_cast<std::size_t>(differs.second - localised.begin()), 12) << "\"";
}

}  // namespace
}  // namespace fennow::test
