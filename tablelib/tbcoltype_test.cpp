// Column data types, default and letter-first formats, word classification,
// new column descriptors and text-table comment lines.
#include <gtest/gtest.h>

#include <string>

#include "tablelib/tbcore.h"
#include "vos/error.h"

namespace tbl {
namespace {

int error_code(auto&& fn) {
  try {
    fn();
  } catch (const vos::Error& e) {
    return e.code();
  }
  return 0;
}

TEST(ColumnType, Lengths) {
  int t = 0, len = 0;
  tbbaln(-1022, t, len);
  EXPECT_EQ(len, 511);
  tbbaln(-1, t, len);
  EXPECT_EQ(len, 1);
  tbbaln(kTyDouble, t, len);
  EXPECT_EQ(len, 4);
  tbbaln(kTyShort, t, len);
  EXPECT_EQ(len, 1);
  try {
    tbbaln(-1023, t, len);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), 42);
    EXPECT_EQ(e.message(), "char string column can't be that wide");
  }
  for (int bad : {0, 2, 5, 8}) {
    try {
      tbbaln(bad, t, len);
      ADD_FAILURE() << bad;
    } catch (const vos::Error& e) {
      EXPECT_EQ(e.message(), "invalid data type for a table column");
    }
  }
}

TEST(ColumnType, DefaultFormats) {
  const std::tuple<const char*, int, int, const char*> cases[] = {
      {"", kTyBool, 2, "%6b"},          {"", kTyInt, 2, "%11d"},
      {"", kTyShort, 1, "%11d"},        {"", kTyReal, 2, "%15.7g"},
      {"", kTyDouble, 4, "%25.16g"},    {"", -12, 6, "%-12s"},
      {"", kTyChar, 3, "%-6s"},         {"%8.3f", kTyDouble, 4, "%8.3f"},
      {"8.3f", kTyDouble, 4, "%25.16g"},
  };
  for (auto [in, type, len, want] : cases) {
    std::string out;
    tbbadf(in, type, len, out, 79);
    EXPECT_EQ(out, want) << in << " " << type;
  }
}

TEST(ColumnType, TypeWords) {
  const std::pair<const char*, int> ok[] = {{"REAL", kTyReal}, {"d", kTyDouble},
                                            {"integer", kTyInt}, {"smile", kTyShort},
                                            {"bool", kTyBool}, {"ch*12", -12},
                                            {"C*3", -3}, {"char*2000", -2000}};
  for (auto [w, want] : ok) {
    int t = 0;
    tbbtyp(w, t);
    EXPECT_EQ(t, want) << w;
  }
  for (const char* bad : {"ch*", "ch*0", "char", "x", ""}) {
    try {
      int t = 0;
      tbbtyp(bad, t);
      ADD_FAILURE() << bad;
    } catch (const vos::Error& e) {
      EXPECT_EQ(e.code(), 42);
      EXPECT_EQ(e.message(), "tbbtyp:  bad data type");
    }
  }
}

TEST(ColumnType, LetterFirstFormats) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},         {"F10.3", "%10.3f"}, {"A12", "%-12s"}, {"a-12", "%-12s"},
      {"L5", "%-5b"},   {"I5", "%5d"},       {"I5.3", "%05.3d"}, {"E12.4", "%12.4e"},
      {"D25.16", "%25.16e"}, {"Z8", "%8x"}, {"Q5", ""},       {"%7.2f", "%7.2f"},
  };
  for (auto [in, want] : cases) {
    std::string out = "junk";
    tbbftp(in, out);
    EXPECT_EQ(out, want) << in;
  }
}

struct Word {
  const char* line;
  const char* word;
  int count, width, prec, dtype;
  char letter;
};

TEST(ColumnType, WordClassification) {
  const Word cases[] = {
      {"42", "42", 2, 3, 2, kTyInt, 'd'},
      {"-1.5e3", "-1.5e3", 6, 8, 2, kTyDouble, 'g'},
      {"12:30:00.5", "12:30:00.5", 10, 11, 1, kTyDouble, 'h'},
      {"3.25", "3.25", 4, 5, 3, kTyDouble, 'g'},
      {"-.5", "-.5", 3, 3, 3, kTyChar, 's'},
      {"\"a b  \"", "a b", 7, 5, 7, kTyChar, 's'},
      {"INDEFI", "INDEFI", 6, 6, 6, kTyInt, 'd'},
      {"INDEF", "INDEF", 5, 5, 5, kTyDouble, 'g'},
      {"Iota", "Iota", 4, 4, 4, kTyChar, 's'},
      {"1.2.3", "1.2.3", 5, 5, 5, kTyChar, 's'},
      {"10:30", "10:30", 5, 8, 1, kTyDouble, 'm'},
  };
  for (const Word& c : cases) {
    SCOPED_TRACE(c.line);
    std::size_t pos = 0;
    std::string word;
    int width = 0, prec = 0, dtype = 0;
    char letter = 0;
    EXPECT_EQ(tbbwrd(c.line, pos, word, 1023, width, prec, dtype, letter), c.count);
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(prec, c.prec);
    EXPECT_EQ(dtype, c.dtype);
    EXPECT_EQ(letter, c.letter);
  }
  std::size_t pos = 0;
  std::string w;
  int a, b, c;
  char l;
  EXPECT_EQ(tbbwrd("   ", pos, w, 1023, a, b, c, l), 0);
}

TEST(ColumnType, NewColumnsTakeOffsetsAndGrowTheMaximum) {
  Table t;
  t.type = kRowOrdered;
  t.maxcols = 2;
  const std::string names[3] = {"a", "b", std::string(100, 'c')};
  const std::string units[3] = {"", "m", ""};
  const std::string fmts[3] = {"", "%5.1f", ""};
  const int types[3] = {kTyDouble, kTyInt, -5};
  const int counts[3] = {1, 0, 3};
  Column* cols[3] = {};
  tbcadd(&t, cols, names, units, fmts, types, counts, 3);
  EXPECT_EQ(t.ncols, 3);
  EXPECT_EQ(t.maxcols, 8);
  EXPECT_EQ(cols[0]->offset, 0);
  EXPECT_EQ(cols[1]->offset, 4);
  EXPECT_EQ(cols[1]->nelem, 1);
  EXPECT_EQ(cols[2]->offset, 6);
  EXPECT_EQ(cols[2]->length, 9);
  EXPECT_EQ(cols[2]->name.size(), 79u);
  EXPECT_EQ(cols[2]->format, "%-5s");
  EXPECT_EQ(cols[1]->format, "%5.1f");
  EXPECT_EQ(t.rowlen, 15);

  // A refused type keeps the columns added before it.
  const int bad[2] = {kTyInt, 9};
  EXPECT_EQ(error_code([&] { tbcadd(&t, cols, names, units, fmts, bad, counts, 2); }), 42);
  EXPECT_EQ(t.ncols, 4);
}

TEST(ColumnType, CommentLines) {
  Table t;
  tbbcmt(&t, "");
  tbbcmt(&t, "  note");
  tbbcmt(&t, "# kept\n");
  tbbcmt(&t, "   ");
  EXPECT_EQ(t.comments, "#   note\n# kept\n   \n");
}

}  // namespace
}  // namespace tbl
