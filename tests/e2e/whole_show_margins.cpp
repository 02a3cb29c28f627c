// The margins file beside the whole-show test is written by its replay of kept runs
// and holds the bounds it was written with: while they differ from the bounds compiled
// here, it tells the margins of checks that no longer exist, and must be written again
// (its head says how). No show is played.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/whole_show_checks.h"

namespace {

using namespace whole_show;

// The rows of the table whose title line begins with title: the lines after it that
// are indented.
std::vector<std::string> Table(const std::vector<std::string> &lines, const std::string &title) {
  std::vector<std::string> rows;
  size_t k = 0;
  while (k < lines.size() && lines[k].compare(0, title.size(), title) != 0) k++;
  for (k++; k < lines.size() && lines[k].compare(0, 2, "  ") == 0; k++) rows.push_back(lines[k]);
  return rows;
}

const std::string kNoRow = "(no row)";

// The rows that do not begin with the code's row, with the code's row, one a line.
std::string Stale(const std::vector<std::string> &file, const std::vector<std::string> &code) {
  std::string stale;
  for (size_t k = 0; k < std::max(file.size(), code.size()); k++) {
    const std::string &have = k < file.size() ? file[k] : kNoRow, &want = k < code.size() ? code[k] : kNoRow;
    if (have.compare(0, want.size(), want) != 0) stale.append("file: ").append(have).append("\ncode: ").append(want).append("\n");
  }
  return stale;
}

TEST(WholeShowMargins, TheFileHoldsTheBoundsOfTheChecks) {
  const char *root = std::getenv("KORV_SOURCE_DIR");
  const std::string path = std::string(root ? root : KORV_TEST_SOURCE_DIR) + "/tests/e2e/whole_show_margins.txt";
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::vector<std::string> own = Table(lines, kOwnTitle), lag = Table(lines, kLagTitle);
  ASSERT_FALSE(own.empty()) << "no table of own bounds in " << path;
  ASSERT_FALSE(lag.empty()) << "no table of shot lag in " << path;
  const char *refresh = "replay kept runs with KORV_WHOLE_SHOW_MARGINS to write it again (its head says how)";
  EXPECT_EQ(Stale(own, BoundRows()), "") << path << " has other bounds than the whole-show test: " << refresh;
  EXPECT_EQ(Stale(lag, LagRows()), "") << path << " has other shot lags than the whole-show test: " << refresh;
}

}  // namespace
