// Tables end to end over the row-ordered binary storage: create, write,
// close, reopen and read; the bytes of the file header; bad names, missing
// and corrupt files.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>

#include "tablelib/tbcore.h"
#include "tbtesttmp.h"
#include "vos/error.h"
#include "vos/files.h"

namespace tbl {
namespace {

using testing::ScratchDir;

using testing::message_of;

unsigned be32(const std::string& b, std::size_t at) {
  return (static_cast<unsigned>(static_cast<unsigned char>(b[at])) << 24) |
         (static_cast<unsigned>(static_cast<unsigned char>(b[at + 1])) << 16) |
         (static_cast<unsigned>(static_cast<unsigned char>(b[at + 2])) << 8) |
         static_cast<unsigned>(static_cast<unsigned char>(b[at + 3]));
}

// Makes the tool's output table: four text columns, three rows, keywords.
void make_component_table(const std::string& name) {
  Table* tp = tbtopn(name, kNewFile, nullptr);
  ASSERT_NE(tp, nullptr);
  tbpset(tp, 6, 10);
  Column *time, *comp, *file, *comment;
  tbcdef1(tp, time, "TIME", "", "", -26, 1);
  tbcdef1(tp, comp, "COMPNAME", "", "", -18, 1);
  tbcdef1(tp, file, "FILENAME", "", "", -50, 1);
  tbcdef1(tp, comment, "COMMENT", "", "", -68, 1);
  tbtcre(tp);
  for (int r = 1; r <= 3; ++r) {
    tbeptt(tp, time, r, "jan 01 2000 00:00:0" + std::to_string(r));
    tbeptt(tp, comp, r, "comp" + std::to_string(r));
    tbeptt(tp, file, r, "dir$file" + std::to_string(r) + ".fits[throughput]");
    tbeptt(tp, comment, r, std::string(68, 'c'));
  }
  tbhadt(tp, "INSTRUME", "ZOR");
  tbhadt(tp, "DBTABLE", "CRCOMPLIST");
  tbhadt(tp, "DESCRIP", "The lookup table for the ZOR component throughputs");
  tbhadt(tp, "HISTORY", "Created on today");
  tbhadt(tp, "USEAFTER", "Apr 1 2000 12:00:00 pm");
  tbtclo(tp);
  EXPECT_EQ(tp, nullptr);
}

TEST(Tables, CreateCloseReopenRoundTrip) {
  ScratchDir dir;
  make_component_table(dir.path("comp"));  // ".tab" is added at creation

  Table* tp = tbtopn(dir.path("comp"), kReadOnly, nullptr);
  EXPECT_EQ(tp->type, kRowOrdered);
  EXPECT_EQ(tp->name, dir.path("comp.tab"));
  EXPECT_EQ(tbpsta(tp, 21), 3);
  EXPECT_EQ(tbpsta(tp, 22), 4);
  EXPECT_EQ(tbpsta(tp, 24), 5);
  EXPECT_EQ(tbpsta(tp, 6), 10);
  const char* names[] = {"TIME", "COMPNAME", "FILENAME", "COMMENT"};
  const int types[] = {-26, -18, -50, -68};
  for (int c = 1; c <= 4; ++c) {
    Column* cp = tbcnum(tp, c);
    ASSERT_NE(cp, nullptr);
    std::string name;
    tbcigt(cp, 41, name, 79);
    EXPECT_EQ(name, names[c - 1]);
    EXPECT_EQ(tbcigi(cp, 44), types[c - 1]);
  }
  EXPECT_EQ(tbcnum(tp, 5), nullptr);
  EXPECT_EQ(tbcnum(tp, 0), nullptr);
  std::string text;
  tbegtt(tp, tbcnum(tp, 3), 2, text, 80);
  EXPECT_EQ(text, "dir$file2.fits[throughput]");
  tbegtt(tp, tbcnum(tp, 4), 3, text, 100);
  EXPECT_EQ(text, std::string(68, 'c'));
  tbhgtt(tp, "descrip", text, 80);
  EXPECT_EQ(text, "The lookup table for the ZOR component throughputs");
  tbhgtt(tp, "HISTORY", text, 80);
  EXPECT_EQ(text, "Created on today");
  tbhgtt(tp, "USEAFTER", text, 80);
  EXPECT_EQ(text, "Apr 1 2000 12:00:00 pm");
  int code = 0;
  EXPECT_EQ(message_of([&] { tbegtt(tp, tbcnum(tp, 1), 4, text, 80); }, &code),
            "input row is beyond EOF");
  EXPECT_EQ(code, 51);
  EXPECT_EQ(message_of([&] { tbeptt(tp, tbcnum(tp, 1), 1, "x"); }, &code),
            "can't write to table; it's readonly");
  EXPECT_EQ(code, 3);
  tbtclo(tp);
}

TEST(Tables, HeaderRecordsAreBigEndian) {
  ScratchDir dir;
  make_component_table(dir.path("hdr.tab"));
  const std::string b = dir.read("hdr.tab");
  ASSERT_GE(b.size(), 48u + 80 * 10 + 64 * 9);
  EXPECT_EQ(be32(b, 0), 5u);     // parameters in use
  EXPECT_EQ(be32(b, 4), 10u);    // allocated
  EXPECT_EQ(be32(b, 8), 3u);     // rows
  EXPECT_EQ(be32(b, 12), 3u);    // allocated rows = rows for a row-ordered table
  EXPECT_EQ(be32(b, 16), 4u);    // columns
  EXPECT_EQ(be32(b, 20), 5u);    // allocated columns
  EXPECT_EQ(be32(b, 24), 13u + 9 + 25 + 34);
  EXPECT_EQ(be32(b, 32), 11u);   // table type
  EXPECT_EQ(be32(b, 36), 3u);    // version
  EXPECT_EQ(b.substr(48, 12), "INSTRUMEt'ZO");
  const std::size_t col2 = 48 + 80 * 10 + 64;
  EXPECT_EQ(be32(b, col2), 2u);
  EXPECT_EQ(be32(b, col2 + 4), 13u);
  EXPECT_EQ(be32(b, col2 + 8), 9u);
  EXPECT_EQ(be32(b, col2 + 12), static_cast<unsigned>(-18));
  EXPECT_EQ(b.substr(col2 + 16, 9), std::string("COMPNAME\0", 9));
  EXPECT_EQ(b.substr(col2 + 56, 5), std::string("-18s\0", 5));
}

TEST(Tables, NumericColumnsAndGrowth) {
  ScratchDir dir;
  const std::string name = dir.path("num.tab");
  Table* tp = tbtopn(name, kNewFile, nullptr);
  Column *d, *r, *i, *s, *b;
  tbcdef1(tp, d, "d", "", "", kTyDouble, 1);
  tbcdef1(tp, r, "r", "", "", kTyReal, 1);
  tbcdef1(tp, i, "i", "", "", kTyInt, 1);
  tbcdef1(tp, s, "s", "", "", kTyShort, 1);
  tbcdef1(tp, b, "b", "", "", kTyBool, 1);
  tbtcre(tp);
  tbeptd(tp, d, 1, 2147483647.4);
  tbeptd(tp, r, 1, 1e37);
  tbeptr(tp, i, 1, 2147483648.0f);
  tbeptd(tp, s, 1, -2.5);
  tbeptd(tp, b, 1, 0.6);
  tbeptt(tp, d, 4, "abc");  // rows 2 and 3 become null rows
  EXPECT_EQ(tbpsta(tp, 21), 4);
  tbtclo(tp);

  tp = tbtopn(name, kReadWrite, nullptr);
  d = tbcnum(tp, 1);
  r = tbcnum(tp, 2);
  i = tbcnum(tp, 3);
  s = tbcnum(tp, 4);
  b = tbcnum(tp, 5);
  int iv = 0;
  tbegti(tp, d, 1, iv);
  EXPECT_EQ(iv, 2147483647);
  float rv = 0;
  tbegtr(tp, r, 1, rv);
  EXPECT_EQ(rv, kIndefR);
  tbegti(tp, i, 1, iv);
  EXPECT_EQ(iv, kIndefI);
  short sv = 0;
  tbegts(tp, s, 1, sv);
  EXPECT_EQ(sv, -3);
  bool bv = false;
  tbegtb(tp, b, 1, bv);
  EXPECT_TRUE(bv);
  double dv = 0;
  for (int row = 2; row <= 4; ++row) {
    tbegtd(tp, d, row, dv);
    EXPECT_EQ(dv, kIndefD) << row;
  }
  tbegti(tp, i, 3, iv);
  EXPECT_EQ(iv, kIndefI);
  std::string t;
  tbegtt(tp, d, 2, t, 20);
  EXPECT_EQ(t, "INDEF");
  tbegtt(tp, b, 2, t, 20);
  EXPECT_EQ(t, "    no");
  tbegtt(tp, i, 1, t, 20);
  EXPECT_EQ(t, "      INDEF");
  tbeptd(tp, d, 2, kIndefD);
  tbegtd(tp, d, 2, dv);
  EXPECT_EQ(dv, kIndefD);
  tbtclo(tp);
}

TEST(Tables, TextFieldsAreCutToTheColumnWidth) {
  ScratchDir dir;
  Table* tp = tbtopn(dir.path("t.tab"), kNewFile, nullptr);
  Column* c;
  tbcdef1(tp, c, "t", "", "", -5, 1);
  tbtcre(tp);
  std::string out;
  tbeptt(tp, c, 1, "abcdefg");
  tbegtt(tp, c, 1, out, 80);
  EXPECT_EQ(out, "abcdef");
  tbeptt(tp, c, 1, "ab");
  tbegtt(tp, c, 1, out, 80);
  EXPECT_EQ(out, "ab");
  tbegtt(tp, c, 1, out, 1);
  EXPECT_EQ(out, "a");
  tbtclo(tp);
}

TEST(Tables, OpenErrors) {
  ScratchDir dir;
  int code = 0;
  EXPECT_EQ(message_of([&] { tbtopn(dir.path("missing.tab"), kReadOnly, nullptr); }, &code),
            "tbtopn:  Table file does not exist or cannot be opened.");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(message_of([&] { tbtopn("   ", kReadOnly, nullptr); }),
            "tbtopn:  Table name is null or blank.");
  EXPECT_EQ(message_of([&] { tbtopn(dir.path("x.tab"), 3, nullptr); }, &code),
            "tbtopn:  the specified I/O mode is not supported for a table");
  EXPECT_EQ(code, 2);
  EXPECT_EQ(message_of([&] { tbtopn(dir.path("x.tab[row:a>1]"), kNewFile, nullptr); }),
            "tbtopn:  Row and column selectors may only be used with existing tables.");
  EXPECT_EQ(message_of([&] { tbtopn("x.fits[3,sci]", kNewFile, nullptr); }),
            "can't give extension number and EXTNAME or EXTVER");

  make_component_table(dir.path("sel.tab"));
  EXPECT_EQ(message_of([&] { tbtopn(dir.path("sel.tab[row:a>1]"), kReadOnly, nullptr); }),
            "Error in table row selector, syntax error. Last read: a>1\n");
  Table* tp = tbtopn(dir.path("sel.tab[c:TIME]"), kReadOnly, nullptr);
  EXPECT_EQ(tbpsta(tp, 22), 1);
  tbtclo(tp);
}

TEST(Tables, CorruptAndTruncatedFiles) {
  ScratchDir dir;
  auto be = [](unsigned v) {
    std::string s(4, '\0');
    for (int k = 0; k < 4; ++k) s[k] = static_cast<char>(v >> (24 - 8 * k));
    return s;
  };
  auto size_record = [&](unsigned npar, unsigned maxpar, unsigned ncols, unsigned maxcols) {
    return be(npar) + be(maxpar) + be(0) + be(0) + be(ncols) + be(maxcols) + be(4) + be(4) +
           be(11) + be(3) + be(0) + be(0);
  };
  // Size record only: its column records are missing.
  dir.write("short.tab", size_record(0, 1, 1, 1));
  int code = 0;
  EXPECT_EQ(message_of([&] { tbtopn(dir.path("short.tab"), kReadOnly, nullptr); }, &code),
            "tbcrcd:  EOF while reading column info for table");
  EXPECT_EQ(code, 84);
  // A million columns claimed by a file that holds none: refused before a
  // descriptor is made for each (which took over 100 MB).
  dir.write("many.tab", size_record(0, 1, 1000000, 1000000) + std::string(400, '\0'));
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  EXPECT_EQ(message_of([&] { tbtopn(dir.path("many.tab"), kReadOnly, nullptr); }, &code),
            "tbcrcd:  EOF while reading column info for table");
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 50L * 1024);  // kilobytes
  // More columns than allocated.
  dir.write("bad.tab", size_record(0, 1, 7, 2) + std::string(400, '\0'));
  EXPECT_EQ(message_of([&] { tbtopn(dir.path("bad.tab"), kReadWrite, nullptr); }, &code),
            "tbtrsi:  table size information is corrupt");
  EXPECT_EQ(code, 81);
  // A row length no table has (its null row would be gigabytes).
  std::string huge = size_record(0, 1, 0, 1);
  huge.replace(28, 4, be(0x7fffffffu));
  dir.write("huge.tab", huge + std::string(200, '\0'));
  EXPECT_EQ(message_of([&] { tbtopn(dir.path("huge.tab"), kReadWrite, nullptr); }, &code),
            "tbtrsi:  table size information is corrupt");
  // A column record whose cell lies outside the row.
  std::string col = be(1) + be(3) + be(4) + be(kTyInt) + std::string(48, '\0');
  dir.write("col.tab", size_record(0, 0, 1, 1) + col);
  EXPECT_EQ(message_of([&] { tbtopn(dir.path("col.tab"), kReadOnly, nullptr); }, &code),
            "tbcrcd:  bad column info for table; table corrupted?");
  // Each size word out of its range, one past the edge.
  struct Bad { const char* what; int word; unsigned value; } bad[] = {
      {"npar < 0", 0, 0xffffffffu},          {"maxpar < npar", 0, 2},
      {"maxpar above the bound", 1, 1000001}, {"nrows < 0", 2, 0xffffffffu},
      {"allrows < 0", 3, 0xffffffffu},       {"ncols < 0", 4, 0xffffffffu},
      {"maxcols < ncols", 4, 2},             {"maxcols above the bound", 5, 1000001},
      {"rowlen < 0", 6, 0xffffffffu},        {"allrowlen < 0", 7, 0xffffffffu},
      {"rowlen above the bound", 6, (1u << 26) + 1},
      {"allrowlen above the bound", 7, (1u << 26) + 1},
  };
  for (const Bad& b : bad) {
    std::string rec = size_record(1, 1, 1, 1);
    rec.replace(std::size_t(b.word) * 4, 4, be(b.value));
    dir.write("w.tab", rec + std::string(400, '\0'));
    EXPECT_EQ(message_of([&] { tbtopn(dir.path("w.tab"), kReadOnly, nullptr); }, &code),
              "tbtrsi:  table size information is corrupt")
        << b.what;
  }
  // A column-ordered table holds at most its allocated rows: one row more
  // would lie in the next column's block.
  Table* tp = tbtopn(dir.path("y.tab"), kNewFile, nullptr);
  tbpset(tp, 5, kColOrdered);
  tbpset(tp, 3, 2);
  Column *a = nullptr, *b = nullptr;
  tbcdef1(tp, a, "a", "", "", kTyInt, 1);
  tbcdef1(tp, b, "b", "", "", kTyInt, 1);
  tbtcre(tp);
  for (int r = 1; r <= 2; ++r) {
    tbepti(tp, a, r, r);
    tbepti(tp, b, r, 10 * r);
  }
  tbtclo(tp);
  tp = tbtopn(dir.path("y.tab"), kReadOnly, nullptr);  // full: nrows == allrows
  int v = 0;
  tbegti(tp, tbcnum(tp, 2), 2, v);
  EXPECT_EQ(v, 20);
  tbtclo(tp);
  std::string over = dir.read("y.tab");
  over.replace(8, 4, be(3));  // nrows 3 of 2
  dir.write("y.tab", over);
  for (int mode : {kReadOnly, kReadWrite})
    EXPECT_EQ(message_of([&] { tbtopn(dir.path("y.tab"), mode, nullptr); }, &code),
              "tbtrsi:  table size information is corrupt");
  // Nothing was written to the bad files.
  EXPECT_EQ(dir.read("short.tab"), size_record(0, 1, 1, 1));
  EXPECT_EQ(dir.read("y.tab"), over);
}

TEST(Tables, SizeRecordReader) {
  ScratchDir dir;
  auto be = [](unsigned v) {
    std::string s(4, '\0');
    for (int k = 0; k < 4; ++k) s[k] = static_cast<char>(v >> (24 - 8 * k));
    return s;
  };
  std::string rec;
  for (unsigned v : {0u, 5u, 0u, 0u, 0u, 5u, 0u, 0u, 13u, 3u, 0u, 0u}) rec += be(v);
  dir.write("t13", rec);
  dir.write("empty", "");
  dir.write("half", rec.substr(0, 30));
  const std::tuple<const char*, int, const char*> cases[] = {
      {"t13", 81, "unknown table type"},
      {"empty", 83, "table data file is empty"},
      {"half", 83, "table data file is empty"},
  };
  for (auto [file, want_code, want_msg] : cases) {
    Table t;
    t.type = kRowOrdered;
    t.fd = vos::open(dir.path(file), vos::READ_ONLY, vos::BINARY_FILE);
    int code = 0;
    EXPECT_EQ(message_of([&] { tbtrsi(&t); }, &code), want_msg) << file;
    EXPECT_EQ(code, want_code) << file;
    vos::close(t.fd);
  }
}

TEST(Tables, DirectoryIsNotATable) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.path("sub.tab"));
  EXPECT_THROW(tbtopn(dir.path("sub.tab"), kReadOnly, nullptr), vos::Error);
}

TEST(Tables, CreateAndCloseRules) {
  ScratchDir dir;
  Table* tp = nullptr;
  tbtclo(tp);  // nothing
  tp = tbtopn(dir.path("p.tab"), kNewFile, nullptr);
  Column* c;
  tbcdef1(tp, c, "a", "", "", kTyInt, 1);
  tbtclo(tp);  // a prepared table writes nothing
  EXPECT_EQ(dir.read("p.tab"), "");
  EXPECT_FALSE(std::filesystem::exists(dir.path("p.tab")));

  tp = tbtopn(dir.path("twice"), kNewFile, nullptr);
  tbtcre(tp);
  EXPECT_EQ(message_of([&] { tbtcre(tp); }), "tbtcre:  table is already open");
  tbtclo(tp);

  tp = tbtopn("STDOUT", kNewFile, nullptr);
  EXPECT_EQ(tp->type, kTextTable);
  tbtclo(tp);

  tp = tbtopn(dir.path("q.tab"), kNewFile, nullptr);
  tp->type = 99;
  EXPECT_EQ(message_of([&] { tbtcre(tp); }), "tbtcre:  table type is messed up");
  tbtclo(tp);
}

TEST(Tables, ModeSevenCopiesTheTemplate) {
  ScratchDir dir;
  make_component_table(dir.path("tmpl.tab"));
  Table* in = tbtopn(dir.path("tmpl.tab"), kReadOnly, nullptr);
  Table* out = tbtopn(dir.path("copy.tab"), kNewCopy, in);
  EXPECT_EQ(out->iomode, kNewFile);
  EXPECT_EQ(out->ncols, 4);
  EXPECT_EQ(out->maxpar, 10);
  tbtcre(out);
  tbeptt(out, tbcnum(out, 2), 1, "copied");
  tbrcpy(in, out, 2, 2);
  std::string t;
  tbegtt(out, tbcnum(out, 2), 2, t, 80);
  EXPECT_EQ(t, "comp2");
  tbhcal(in, out);
  tbhgtt(out, "DBTABLE", t, 80);
  EXPECT_EQ(t, "CRCOMPLIST");
  tbtclo(out);
  tbtclo(in);
}

TEST(Tables, ElementPositions) {
  Table t;
  t.type = kRowOrdered;
  t.allrowlen = 10;
  t.bod = 385;
  Column c;
  c.offset = 4;
  c.dtype = kTyInt;
  c.length = 2;
  EXPECT_EQ(tbeoff(&t, &c, 3, 1), 409);
  EXPECT_EQ(tbeoff(&t, &c, 3, 2), 411);
  EXPECT_EQ(tbtbod(5, 5), 385);
  t.type = kColOrdered;
  t.allrows = 100;
  EXPECT_EQ(tbeoff(&t, &c, 3, 1), 4 * 100 + 385 + 2 * 2);
  t.type = kTextTable;
  EXPECT_EQ(tbeoff(&t, &c, 3, 1), 0);
  t.type = 15;
  EXPECT_EQ(message_of([&] { tbeoff(&t, &c, 1, 1); }),
            "tbeoff:  bad table type; table or memory corrupted?");
}

TEST(Tables, RowMapping) {
  Table t;
  t.type = 15;
  t.nrows = 10;
  int row = 0, code = 0;
  EXPECT_EQ(message_of([&] { tbsirow(&t, 0, row); }, &code), "row number less than one is invalid");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(message_of([&] { tbswer1(&t, -1, row); }), "row number less than one is invalid");
  tbsirow(&t, 10, row);
  EXPECT_EQ(row, 10);
  tbswer(&t, 4, row);  // within the table: nothing to extend
  EXPECT_EQ(row, 4);
  EXPECT_EQ(message_of([&] { tbswer(&t, 11, row); }, &code),
            "tbswer:  bad table type; table or memory corrupted?");
  EXPECT_EQ(code, 81);
  EXPECT_EQ(t.nrows, 10);
  EXPECT_FALSE(t.modified);
  t.type = kRowOrdered;
  tbswer1(&t, 11, row);  // the row writer appends the next row itself
  EXPECT_EQ(row, 11);
  EXPECT_EQ(t.nrows, 10);
}

}  // namespace
}  // namespace tbl
