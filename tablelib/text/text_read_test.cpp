// Reading text tables: column definitions, type guessing and widening,
// continuation and comment lines, keywords, and the reader's errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tablelib/tables.h"
#include "text_testutil.h"
#include "vos/error.h"

using namespace texttest;
using tbl::Table;

namespace {

struct ColumnInfo {
  std::string name;
  int dtype;
  std::string format;
  bool operator==(const ColumnInfo&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ColumnInfo& c) {
  return os << c.name << "/" << c.dtype << "/" << c.format;
}

// What a file reads as: columns, cells as text (row by row), parameters.
struct Contents {
  std::string error;
  int subtype = 0;
  std::vector<ColumnInfo> cols;
  std::vector<std::vector<std::string>> rows;
  int npar = 0;
  std::string comments;
};

Contents read_text(const std::string& text) {
  TempFile f("read");
  write_file(f.path, text);
  Contents out;
  Table* tp = nullptr;
  try {
    tp = tbl::tbtopn(f.path, tbl::kReadOnly, nullptr);
  } catch (const vos::Error& e) {
    out.error = std::to_string(e.code()) + ":" + e.message();
    return out;
  }
  out.subtype = tp->subtype;
  for (auto& c : tp->cols) out.cols.push_back({c->name, c->dtype, c->format});
  for (int r = 1; r <= tp->nrows; ++r) {
    std::vector<std::string> row;
    for (auto& c : tp->cols) {
      std::string v;
      tbl::tbegtt(tp, c.get(), r, v, 100);
      row.push_back(v);
    }
    out.rows.push_back(row);
  }
  out.npar = tp->npar;
  out.comments = tp->comments;
  tbl::tbtclo(tp);
  return out;
}

using Rows = std::vector<std::vector<std::string>>;

}  // namespace

TEST(TextRead, EmptyAndHeaderOnlyFiles) {
  Contents e = read_text("");
  EXPECT_EQ(e.error, "");
  EXPECT_EQ(e.subtype, tbl::kTextByPosition);
  EXPECT_TRUE(e.cols.empty());
  EXPECT_TRUE(e.rows.empty());
  Contents h = read_text("# a comment\n#k OBJECT = m31\n   \n#K EPOCH = 2000.0\n");
  EXPECT_EQ(h.error, "");
  EXPECT_TRUE(h.cols.empty());
  EXPECT_EQ(h.npar, 2);
  EXPECT_EQ(h.comments, "# a comment\n   \n");
}

TEST(TextRead, ColumnsGuessedFromTheFirstLine) {
  Contents c = read_text("1 2.5 abc\n");
  EXPECT_EQ(c.error, "");
  EXPECT_EQ(c.cols, (std::vector<ColumnInfo>{
                        {"c1", tbl::kTyInt, "%2d"}, {"c2", tbl::kTyDouble, "%4.2g"},
                        {"c3", -3, "%-3s"}}));
  EXPECT_EQ(c.rows, (Rows{{" 1", " 2.5", "abc"}}));
  // Later values widen the formats.
  Contents l = read_text("1 2.5 abc\n10 3.25 de\n");
  EXPECT_EQ(l.cols[0].format, "%3d");
  EXPECT_EQ(l.cols[1].format, "%5.3g");
  EXPECT_EQ(l.rows[1], (std::vector<std::string>{" 10", " 3.25", "de"}));
  // Blanks before a value of the first line widen its column.
  Contents w = read_text("     1 x\n");
  EXPECT_EQ(w.cols[0].format, "%6d");
}

TEST(TextRead, ColumnsWidenForLaterValues) {
  Contents c = read_text("1 2 7\n2.5 word INDEF\n3 5 INDEFI\n");
  EXPECT_EQ(c.error, "");
  ASSERT_EQ(c.cols.size(), 3u);
  EXPECT_EQ(c.cols[0].dtype, tbl::kTyDouble);  // an int column takes a decimal
  EXPECT_LT(c.cols[1].dtype, 0);               // a number column takes a word
  EXPECT_EQ(c.cols[2].dtype, tbl::kTyInt);     // INDEF keeps an int column
  EXPECT_EQ(c.rows[0][1], "2");
  EXPECT_EQ(c.rows[1][1], "word");
  EXPECT_EQ(c.rows[1][2], "INDEF");
  EXPECT_EQ(c.rows[2][2], "INDEF");
}

TEST(TextRead, CommentsContinuationsAndQuotes) {
  Contents c = read_text(
      "# leading comment \\\n"
      "# continued\n"
      "1 \"a # b\" x\\#y # trailing comment\n"
      "#k NOTE = kept\n"
      "2 \\\n"
      "'q' z\n");
  EXPECT_EQ(c.error, "");
  EXPECT_EQ(c.rows, (Rows{{" 1", "a # b", "x\\#y"}, {" 2", "q", "z"}}));
  EXPECT_EQ(c.npar, 1);
  EXPECT_EQ(c.comments, "# leading comment   continued\n");
}

TEST(TextRead, ColumnDefinitions) {
  Contents c = read_text(
      "#c id i\n"
      "#c flux r %8.3f Jy\n"
      "#c name ch*10\n"
      "#c flag b\n"
      "#c plain\n"
      "1 2.5 abc yes 7\n"
      "2, 3.5,\n"
      "\"\" \"\" \"\"\n");
  EXPECT_EQ(c.error, "");
  EXPECT_EQ(c.subtype, tbl::kTextWithDefs);
  EXPECT_EQ(c.cols, (std::vector<ColumnInfo>{{"id", tbl::kTyInt, "%11d"},
                                             {"flux", tbl::kTyDouble, "%8.3f"},
                                             {"name", -10, "%-10s"},
                                             {"flag", -8, "%-8s"},
                                             {"plain", tbl::kTyDouble, "%25.16g"}}));
  ASSERT_EQ(c.rows.size(), 3u);  // a line of empty strings is still a row
  EXPECT_EQ(c.rows[1][0], "          2");
  EXPECT_EQ(c.rows[1][1], "   3.500");
  EXPECT_EQ(c.rows[1][2], "");  // missing values stay undefined
  EXPECT_EQ(c.rows[2][0], "INDEF");
}

// Numbers of a data line may be separated by commas: a comma ending a
// number is not part of it; a text value keeps its comma.
TEST(TextRead, CommasAfterNumbersOfDefinedColumns) {
  Contents c = read_text("#c a i %d\n#c b d %g\n#c c d %g\n#c t ch*4\n1, 2.5, 3 x,\n");
  EXPECT_EQ(c.error, "");
  EXPECT_EQ(c.rows, (Rows{{"1", "2.5", "3", "x,"}}));
}

TEST(TextRead, FormatsFromFilesMustSuitTheType) {
  Contents c = read_text("#c a i %n\n#c b d %d%d\n#c c ch*4 %s\n#c d i I6\n1 2 x 3\n");
  EXPECT_EQ(c.error, "");
  EXPECT_EQ(c.cols[0].format, "%11d");
  EXPECT_EQ(c.cols[1].format, "%25.16g");
  EXPECT_EQ(c.cols[2].format, "%s");
  EXPECT_EQ(c.cols[3].format, "%6d");
}

TEST(TextRead, LoneCommaIsReadOneWay) {
  Contents c = read_text("1 , 2\n3 , 4\n5 6\n");
  EXPECT_EQ(c.error, "");
  ASSERT_EQ(c.cols.size(), 2u);
  EXPECT_EQ(c.rows, (Rows{{" 1", " 2"}, {" 3", " 4"}, {" 5", " 6"}}));
  // A quoted comma is a value.
  Contents q = read_text("1 \",\" 2\n3 ',' 4\n");
  EXPECT_EQ(q.error, "");
  EXPECT_EQ(q.rows, (Rows{{" 1", ",", " 2"}, {" 3", ",", " 4"}}));
}

TEST(TextRead, Errors) {
  struct Case { const char* text; const char* error; };
  const std::string long_word(1030, 'w');
  const std::string too_long = "x\n" + long_word + "\n";
  const Case cases[] = {
      {"1 2\n#c a i\n", "1:tbtopn:  column definitions must precede all data lines"},
      {"#c a i\n1\n#c b i\n", "1:tbtopn:  column definitions must precede all data lines"},
      {"#c    \n", "1:could not read column name"},
      {"#c a q\n", "42:tbbtyp:  bad data type"},
      {"1 \"abc\n", "1:tbzlin:  newline within string"},
      {"SIMPLE  =                    T\n", "1:file is an image header, not a table"},
      {"#c a i\n1 2\n", "1:column was found that was not explicitly defined (line 2)"},
      {"1 \\\n2\n3 4 5\n", "1:column found in line 3 that was not defined in first row"},
      {too_long.c_str(), "1:string in line 2 is too long for a table; the maximum is 1022"},
  };
  for (const auto& c : cases) EXPECT_EQ(read_text(c.text).error, c.error) << c.text;
  std::string huge(6000, 'a');
  EXPECT_EQ(read_text(huge + "\n1\n").error,
            "1:Unknown table type, or line too long for text file.");
}

TEST(TextRead, UnchangedFilesKeepTheirBytes) {
  const std::string text = "#k A = 1\n# note\n1   2\n";
  TempFile f("keep");
  write_file(f.path, text);
  Table* tp = tbl::tbtopn(f.path, tbl::kReadOnly, nullptr);
  tbl::tbtclo(tp);
  EXPECT_EQ(read_file(f.path), text);
  // Without keyword lines a read-write open that changes nothing keeps them too.
  write_file(f.path, "# note\n1   2\n");
  tp = tbl::tbtopn(f.path, tbl::kReadWrite, nullptr);
  tbl::tbtclo(tp);
  EXPECT_EQ(read_file(f.path), "# note\n1   2\n");
  // A failed read never rewrites the file, even after keyword lines.
  write_file(f.path, "#k A = 1\n1 2\n#c late i\n");
  EXPECT_THROW(tbl::tbtopn(f.path, tbl::kReadWrite, nullptr), vos::Error);
  EXPECT_EQ(read_file(f.path), "#k A = 1\n1 2\n#c late i\n");
}

// A keyword holds no control characters: a NUL or other control byte in the
// name of a keyword line is left out, and the value and its comment read as
// in the clean line, also after the table is written again.
TEST(TextRead, ControlCharactersInKeywordNamesAreLeftOut) {
  using namespace std::string_literals;
  struct Case { std::string line; const char* kw; int dtype; const char* value; };
  const Case cases[] = {
      {"#k AB\0 = 12 c\n"s, "AB", tbl::kTyInt, "12"},
      {"#k A\0B = 1.5 c\n"s, "AB", tbl::kTyDouble, "1.5"},
      {"#k A\x01" "b\x1f = x y\n", "AB", tbl::kTyChar, "x y"},
      {"#k \x7f" "NOTE = plain\n", "NOTE", tbl::kTyChar, "plain"},
      {"#k NOTE = plain\n", "NOTE", tbl::kTyChar, "plain"},
  };
  for (const Case& c : cases) {
    TempFile f("keyname");
    write_file(f.path, "#c a i\n" + c.line + "1\n");
    for (bool again : {false, true}) {
      Table* tp = tbl::tbtopn(f.path, again ? tbl::kReadOnly : tbl::kReadWrite, nullptr);
      std::string kw, value;
      int dtype = 0;
      tbl::tbhgnp(tp, 1, kw, dtype, value);
      EXPECT_EQ(kw, c.kw) << c.line << (again ? " written again" : "");
      EXPECT_EQ(dtype, c.dtype) << c.line;
      EXPECT_EQ(value, c.value) << c.line;
      if (!again) tbl::tbhadt(tp, "ADDED", "so that the table is written");
      tbl::tbtclo(tp);
    }
  }
}
