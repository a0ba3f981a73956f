// Storage-type detection from file contents and names, and the default
// ".tab" extension.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tablelib/tbcore.h"
#include "tbtesttmp.h"
#include "vos/error.h"

namespace tbl {
namespace {

using testing::ScratchDir;

std::string be(unsigned v) {
  std::string s(4, '\0');
  for (int k = 0; k < 4; ++k) s[k] = static_cast<char>(v >> (24 - 8 * k));
  return s;
}

std::string size_record(unsigned type, unsigned version) {
  return be(0) + be(5) + be(0) + be(0) + be(0) + be(5) + be(0) + be(0) + be(type) +
         be(version) + be(0) + be(0);
}

std::string fits_block(bool newline_early) {
  auto card = [](std::string s) {
    s.resize(80, ' ');
    return s;
  };
  std::string b = card("SIMPLE  =                    T") + card("BITPIX  =                    8") +
                  card("NAXIS   =                    0") + card("END");
  b.resize(2880, ' ');
  if (newline_early) b[1000] = '\n';
  return b;
}

TEST(TableType, MissingFilesAreTypedByName) {
  ScratchDir dir;
  const std::pair<const char*, int> cases[] = {
      {"a.fits", kFitsTable}, {"a.fit", kFitsTable},  {"a.ghf", kFitsTable}, {"a.imhf", kRowOrdered},
      {"a.tab", kRowOrdered}, {"a", kRowOrdered},     {"a.fits[2]", kFitsTable},
      {"a.txt", kRowOrdered},
  };
  for (auto [name, want] : cases) {
    int exists = 7;
    EXPECT_EQ(tbttyp(dir.path(name), exists), want) << name;
    EXPECT_EQ(exists, 0) << name;
  }
  int exists = 7;
  EXPECT_EQ(tbttyp("", exists), 0);
  EXPECT_EQ(exists, 0);
  EXPECT_EQ(tbttyp("STDIN", exists), kTextTable);
  EXPECT_EQ(exists, 1);
}

TEST(TableType, ExistingFilesAreTypedByContent) {
  ScratchDir dir;
  dir.write("empty", "");
  dir.write("lines.txt", "1 2 3\n4 5 6\n");
  dir.write("row.dat", size_record(11, 3));
  dir.write("col.dat", size_record(12, 3));
  dir.write("neg.dat", size_record(11, static_cast<unsigned>(-1)));
  dir.write("img.fits", fits_block(false));
  dir.write("nl.fits", fits_block(true));
  std::string late = fits_block(false);
  late[2000] = '\n';
  dir.write("late.fits", late);
  dir.write("short.fits", fits_block(false).substr(0, 2000));
  dir.write("only.tab", size_record(12, 3));

  const std::pair<const char*, int> cases[] = {
      {"empty", kTextTable},     {"lines.txt", kTextTable}, {"row.dat", kRowOrdered},
      {"col.dat", kColOrdered},  {"neg.dat", kTextTable},   {"img.fits", kFitsTable},
      {"nl.fits", kTextTable},   {"late.fits", kFitsTable}, {"short.fits", kTextTable},
      {"only", kColOrdered},  // found as only.tab
  };
  for (auto [name, want] : cases) {
    int exists = 0;
    EXPECT_EQ(tbttyp(dir.path(name), exists), want) << name;
    EXPECT_EQ(exists, 1) << name;
  }
}

// A FIFO at a table's name is refused at once, naming it: the type is
// never waited for from a FIFO's writer.  A directory counts as no table.
TEST(TableType, NamesThatAreNoFile) {
  ScratchDir dir;
  ASSERT_EQ(::mkfifo(dir.path("f.tab").c_str(), 0644), 0);
  int exists = 0;
  try {
    tbttyp(dir.path("f.tab"), exists);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "Cannot open file (" + dir.path("f.tab") + ")");
  }
  std::filesystem::create_directory(dir.path("d.tab"));
  EXPECT_EQ(tbttyp(dir.path("d.tab"), exists), kRowOrdered);
  EXPECT_EQ(exists, 0);
}

TEST(TableType, DefaultExtension) {
  ScratchDir dir;
  const std::pair<std::string, std::string> cases[] = {
      {"cat", "cat.tab"},
      {"cat[2]", "cat.tab[2]"},
      {"cat.", "cat."},
      {"cat.x_y", "cat.x_y.tab"},
      {"d.ir/cat", "d.ir/cat.tab"},
      {"cat.dat", "cat.dat"},
      {"cat.fits", "cat.fits"},
      {"STDOUT", "STDOUT"},
  };
  for (const auto& [in, want] : cases) {
    std::string out;
    tbtext(in, out, 255);
    EXPECT_EQ(out, want) << in;
  }
  std::string out;
  try {
    tbtext(std::string(253, 'a'), out, 255);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "table name is too long");
  }
  try {
    tbtext(" ", out, 255);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "no table name given");
  }
  // In and out may be the same string.
  std::string same = "abc";
  tbtext(same, same, 255);
  EXPECT_EQ(same, "abc.tab");
}

}  // namespace
}  // namespace tbl
