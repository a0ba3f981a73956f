// Writing text tables: the listing format, quoting, undefined values, and a
// write -> read -> write round trip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tablelib/tables.h"
#include "text_model.h"
#include "text_testutil.h"
#include "vos/error.h"
#include "vos/fault.h"
#include "vos/files.h"

using namespace texttest;
using tbl::Column;
using tbl::Table;

namespace {

// The tool's output table written to `name` as the tool writes it.
void write_tool_table(const std::string& name,
                      const std::vector<std::vector<std::string>>& rows) {
  Table* tp = tbl::tbtopn(name, tbl::kNewFile, nullptr);
  tbl::tbpset(tp, 6, 10);
  const char* names[] = {"TIME", "COMPNAME", "FILENAME", "COMMENT"};
  int widths[] = {26, 18, 50, 68};
  Column* cols[4];
  for (int c = 0; c < 4; ++c) tbl::tbcdef1(tp, cols[c], names[c], "", "", -widths[c], 1);
  tbl::tbtcre(tp);
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (int c = 0; c < 4; ++c) tbl::tbeptt(tp, cols[c], static_cast<int>(r + 1), rows[r][c]);
  tbl::tbhadt(tp, "INSTRUME", "ZOR");
  tbl::tbhadt(tp, "DBTABLE", "CRCOMPLIST");
  tbl::tbhadt(tp, "DESCRIP", "The lookup table for the ZOR component throughputs");
  tbl::tbhadt(tp, "HISTORY", "Created on Thu Dec 10 13:00:00 2026");
  tbl::tbhadt(tp, "USEAFTER", "Apr 1 2000 12:00:00 pm");
  tbl::tbtclo(tp);
}

std::string pad(const std::string& s, std::size_t n) {
  return s.size() >= n ? s : s + std::string(n - s.size(), ' ');
}

}  // namespace

TEST(TextWrite, ToolTableOnStandardOutput) {
  std::vector<std::vector<std::string>> rows = {
      {"mar 03 1999 14:20:00", "zor_f555w", "/data/zref/abc_f555w.fits[throughput]",
       "filter curve"},
      {"apr 01 2000 12:00:00", "zor_dich", "/data/zref/dich.fits", ""},
  };
  std::string out = capture_stdout([&] { write_tool_table("STDOUT", rows); });
  std::string expect =
      "#c TIME ch*26 %-26s \n"
      "#c COMPNAME ch*18 %-18s \n"
      "#c FILENAME ch*50 %-50s \n"
      "#c COMMENT ch*68 %-68s \n"
      "#k INSTRUME = ZOR\n"
      "#k DBTABLE = CRCOMPLIST\n"
      "#k DESCRIP = The lookup table for the ZOR component throughputs\n"
      "#k HISTORY = Created on Thu Dec 10 13:00:00 2026\n"
      "#k USEAFTER = Apr 1 2000 12:00:00 pm\n" +
      pad("\"mar 03 1999 14:20:00\"", 26) + " " + pad("zor_f555w", 18) + " " +
      pad("/data/zref/abc_f555w.fits[throughput]", 50) + " " + pad("\"filter curve\"", 68) +
      "\n" + pad("\"apr 01 2000 12:00:00\"", 26) + " " + pad("zor_dich", 18) + " " +
      pad("/data/zref/dich.fits", 50) + " " + pad("\"\"", 68) + "\n";
  EXPECT_EQ(out, expect);
}

TEST(TextWrite, QuotingOfCells) {
  struct Case { const char* text; const char* written; };
  const Case cases[] = {
      {"", "\"\""},
      {"   ", "\"   \""},
      {"two words", "\"two words\""},
      {"  lead", "  lead"},
      {"plain", "plain"},
      {"a#b", "\"a#b\""},
      {"it's", "\"it's\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"back\\slash", "\"back\\slash\""},
      {"ends in\\", "\"ends in\\ \""},
      {"\\", "\"\\ \""},
  };
  for (const auto& c : cases) EXPECT_EQ(tbtext::quote_cell(c.text), c.written) << c.text;
}

// A cell ending in a backslash is written so that the table opens again
// and the cell reads back (a table with column definitions keeps the blank
// put before the closing quote).
TEST(TextWrite, CellEndingInABackslashReadsBack) {
  TempFile a("bs");
  const std::string texts[] = {"\\", "dir\\", "a b\\"};
  {
    Table* tp = tbl::tbtopn(a.path, tbl::kNewFile, nullptr);
    tbl::tbpset(tp, 5, tbl::kTextTable);
    Column* s;
    tbl::tbcdef1(tp, s, "path", "", "", -30, 1);
    tbl::tbtcre(tp);
    for (int r = 0; r < 3; ++r) tbl::tbeptt(tp, s, r + 1, texts[r]);
    tbl::tbtclo(tp);
  }
  Table* tp = tbl::tbtopn(a.path, tbl::kReadOnly, nullptr);
  EXPECT_EQ(tbl::tbpsta(tp, 21), 3);
  Column* s = tbl::tbcnum(tp, 1);
  for (int r = 0; r < 3; ++r) {
    std::string v;
    tbl::tbegtt(tp, s, r + 1, v, 100);
    EXPECT_EQ(v.substr(0, v.find_last_not_of(' ') + 1), texts[r]);
  }
  tbl::tbtclo(tp);
}

TEST(TextWrite, FormatsMustFitTheColumnType) {
  EXPECT_TRUE(tbtext::format_fits("%12.5g", tbl::kTyDouble));
  EXPECT_TRUE(tbtext::format_fits("%-20s", -20));
  EXPECT_TRUE(tbtext::format_fits("%11d", tbl::kTyInt));
  for (const char* f : {"%s", "%n", "%d %d", "%12.5g", "x%d", "%*d", "%d\n", ""})
    EXPECT_FALSE(tbtext::format_fits(f, tbl::kTyInt)) << f;
  EXPECT_FALSE(tbtext::format_fits("%d", -10));
}

TEST(TextWrite, WriteReadWriteIsByteIdentical) {
  TempFile a("rt");
  {
    Table* tp = tbl::tbtopn(a.path, tbl::kNewFile, nullptr);
    tbl::tbpset(tp, 5, tbl::kTextTable);
    Column *s, *d, *i;
    tbl::tbcdef1(tp, s, "name", "", "", -30, 1);
    tbl::tbcdef1(tp, d, "flux", "Jy", "%12.5g", tbl::kTyDouble, 1);
    tbl::tbcdef1(tp, i, "count", "", "", tbl::kTyInt, 1);
    tbl::tbtcre(tp);
    const char* texts[] = {"", "two words", "   ", "a#b", "it's", "say \"hi\" now", "plain"};
    int r = 1;
    for (const char* t : texts) {
      tbl::tbeptt(tp, s, r, t);
      tbl::tbeptd(tp, d, r, r == 2 ? tbl::kIndefD : r * 1.5);
      tbl::tbepti(tp, i, r, r == 3 ? tbl::kIndefI : r);
      ++r;
    }
    tbl::tbhadt(tp, "OBJECT", "a b");
    tbl::tbtclo(tp);
  }
  std::string first = read_file(a.path);
  EXPECT_NE(first.find("INDEFI"), std::string::npos) << first;
  EXPECT_NE(first.find("INDEF "), std::string::npos);
  {
    Table* tp = tbl::tbtopn(a.path, tbl::kReadWrite, nullptr);
    EXPECT_EQ(tbl::tbpsta(tp, 21), 7);  // rows
    Column* s = nullptr;
    tbl::tbcfnd1(tp, "name", s);
    ASSERT_NE(s, nullptr);
    std::string v;
    tbl::tbegtt(tp, s, 6, v, 100);
    EXPECT_EQ(v, "say \"hi\" now");
    tbl::tbegtt(tp, s, 3, v, 100);
    EXPECT_EQ(v, "   ");
    tbl::tbegtt(tp, s, 1, v, 100);
    EXPECT_EQ(v, "");
    tbl::tbtclo(tp);  // the keyword line marks it modified: rewritten
  }
  EXPECT_EQ(read_file(a.path), first);
}

TEST(TextWrite, FailedWriteKeepsTheOldFile) {
  {
    TempFile a("keep");
    write_file(a.path, "1 2\n3 4\n");
    Table* tp = tbl::tbtopn(a.path, tbl::kReadWrite, nullptr);
    Column* c = tbl::tbcnum(tp, 1);
    tbl::tbepti(tp, c, 1, 9);
    vos::fault::fail_write_after(0);
    EXPECT_THROW(tbl::tbtclo(tp), vos::Error);
    vos::fault::clear();
    EXPECT_EQ(read_file(a.path), "1 2\n3 4\n");
    EXPECT_FALSE(vos::has_journal(a.path));
  }
}

// Makes a new text table at `path` with one column `name` (`units`,
// print format `format`, type `dtype`); `col` is that column.
static Table* new_one_column_table(const std::string& path, const char* name, const char* units,
                                   const char* format, int dtype, Column*& col) {
  Table* tp = tbl::tbtopn(path, tbl::kNewFile, nullptr);
  tbl::tbpset(tp, 5, tbl::kTextTable);
  col = nullptr;
  tbl::tbcdef1(tp, col, name, units, format, dtype, 1);
  tbl::tbtcre(tp);
  return tp;
}

TEST(TextWrite, LongestQuotedValueKeepsBothQuotes) {
  std::string v(1022, 'a');
  v[500] = ' ';
  std::string q = tbtext::quote_cell(v);
  EXPECT_EQ(q.size(), 1024u);
  EXPECT_EQ(q.front(), '"');
  EXPECT_EQ(q.back(), '"');
  TempFile a("long");
  Column* c = nullptr;
  Table* tp = new_one_column_table(a.path, "text", "", "", -1022, c);
  tbl::tbeptt(tp, c, 1, v);
  tbl::tbtclo(tp);
  tp = tbl::tbtopn(a.path, tbl::kReadOnly, nullptr);
  std::string back;
  tbl::tbegtt(tp, tbl::tbcnum(tp, 1), 1, back, 1022);
  EXPECT_EQ(back, v);
  tbl::tbtclo(tp);
}

// Writes a text table at `path` whose one int column `name` (`units`)
// holds 5 in its one row.
static void write_one_int(const std::string& path, const char* name, const char* units) {
  Column* col = nullptr;
  Table* tp = new_one_column_table(path, name, units, "", tbl::kTyInt, col);
  tbl::tbepti(tp, col, 1, 5);
  tbl::tbtclo(tp);
}

TEST(TextWrite, DefinitionLinesOnlyWhenNamesOrUnitsNeedThem) {
  struct Case { const char* name; const char* units; bool defs; };
  const Case cases[] = {{"c1", "", false}, {"C12", "", false}, {"c0", "", true},
                        {"c", "", true},   {"c01", "", true},  {"c2", "m", true},
                        {"flux", "", true}};
  for (const auto& k : cases) {
    TempFile a("defs");
    write_one_int(a.path, k.name, k.units);
    EXPECT_EQ(read_file(a.path).rfind("#c ", 0) == 0, k.defs) << k.name;
  }
}

TEST(TextWrite, RowsWithoutColumnsAreEmptyLines) {
  TempFile a("nocols");
  write_file(a.path, "#k A = 1\n");
  Table* tp = tbl::tbtopn(a.path, tbl::kReadWrite, nullptr);
  tbl::tbtwer(tp, 3);
  tbl::tbtclo(tp);
  EXPECT_EQ(read_file(a.path), "#k A = 1\n\n\n\n");
}

// A new text keyword is written so that its whole text reads back: in quotes
// where its first word would otherwise read as a number and the rest as a
// comment, as given otherwise.
TEST(TextWrite, NewTextKeywordsReadBackWhole) {
  struct Case { const char* kw; const char* value; const char* line; };
  const Case cases[] = {
      {"K", "1.5 c", "#k K = '1.5 c'"},
      {"K", "12 apples", "#k K = '12 apples'"},
      {"K", "-3 degrees", "#k K = '-3 degrees'"},
      {"K", "1 o'clock", "#k K = '1 o\\'clock'"},
      {"K", "1 \\", "#k K = '1 \\ '"},  // a blank keeps the closing quote out of the escape
      {"", "1.5 c", "#k  = '1.5 c'"},  // a blank keyword's value is typed too
      {"K", "yes please", "#k K = yes please"},
      {"K", "12", "#k K = 12"},
      {"K", "Apr 1 2000", "#k K = Apr 1 2000"},
      {"HISTORY", "2 runs", "#k HISTORY = 2 runs"},
      // 70 characters, two of them quotes: quoted and escaped, the line's
      // value passes a record's 71 characters but the text does not
      {"", "0 'a' 2000 bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb end",
       "#k  = '0 \\'a\\' 2000 bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb end'"},
  };
  for (const Case& c : cases) {
    TempFile a("textkey");
    Column* col = nullptr;
    Table* tp = new_one_column_table(a.path, "a", "", "", tbl::kTyInt, col);
    tbl::tbhadt(tp, c.kw, c.value);
    tbl::tbtclo(tp);
    EXPECT_NE(read_file(a.path).find(std::string(c.line) + "\n"), std::string::npos)
        << read_file(a.path);
    tp = tbl::tbtopn(a.path, tbl::kReadOnly, nullptr);
    std::string kw, text;
    int dtype = 0;
    tbl::tbhgnp(tp, 1, kw, dtype, text);
    EXPECT_EQ(text, c.value) << c.line;
    tbl::tbtclo(tp);
  }
}

// Blanks at the ends of a column's name or units belong to it: the
// definition line quotes them (and an empty name) so that they read back.
TEST(TextWrite, NamesAndUnitsKeepTheirOuterBlanks) {
  struct Case { const char* name; const char* units; };
  const Case cases[] = {{"  ab", ""}, {"ab  ", "m"}, {"a b", " m "}, {"plain", "s"}, {"", ""}};
  for (const Case& c : cases) {
    TempFile a("outer");
    write_one_int(a.path, c.name, c.units);
    Table* tp = tbl::tbtopn(a.path, tbl::kReadOnly, nullptr);
    ASSERT_EQ(tp->ncols, 1) << read_file(a.path);
    EXPECT_EQ(tp->cols[0]->name, c.name) << read_file(a.path);
    EXPECT_EQ(tp->cols[0]->units, c.units) << read_file(a.path);
    tbl::tbtclo(tp);
  }
}

// A text column's print format never cuts a cell where the table is
// written: its precision is left out there (the definition keeps it).
TEST(TextWrite, PrecisionOfATextFormatCutsNoCell) {
  const char* const cells[] = {"abcdefgh", "two words", "x"};
  TempFile a("precision");
  Column* col = nullptr;
  Table* tp = new_one_column_table(a.path, "name", "", "%-10.3s", -12, col);
  for (int r = 1; r <= 3; ++r) tbl::tbeptt(tp, col, r, cells[r - 1]);
  tbl::tbtclo(tp);
  tp = tbl::tbtopn(a.path, tbl::kReadOnly, nullptr);
  EXPECT_EQ(tp->cols[0]->format, "%-10.3s") << read_file(a.path);
  for (int r = 1; r <= 3; ++r) {
    std::string back;
    tbl::tbegtt(tp, tp->cols[0].get(), r, back, 20);
    EXPECT_EQ(back, cells[r - 1]) << read_file(a.path);
  }
  tbl::tbtclo(tp);
}
