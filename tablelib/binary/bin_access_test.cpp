// Typed access of both orders: the conversion table through the column-range
// routines, row reads and writes, array elements, and the errors.
#include <cstring>
#include <functional>
#include <memory>

#include "bin_fixture.h"
#include "conv_cases.h"

namespace bintest {
namespace {

using namespace tbl;

const int kTypes[] = {kTyBool, kTyShort, kTyInt, kTyReal, kTyDouble, convcases::kStr,
                      convcases::kNarrow};

std::vector<ColSpec> type_columns() {
  return {{"b", kTyBool},   {"s", kTyShort},          {"i", kTyInt},
          {"r", kTyReal},   {"d", kTyDouble},         {"str", convcases::kStr},
          {"nar", convcases::kNarrow}};
}

Column* column_of(Table* tp, int type) {
  for (auto& c : tp->cols)
    if (c->dtype == type) return c.get();
  return nullptr;
}

// 1-based char position of (row, first element) of a column.
long cell_pos(Table* tp, Column* cp, int row) {
  if (tp->type == kRowOrdered) return long(tbxoff(tp, row)) + cp->offset;
  return long(tp->bod) + long(cp->offset) * tp->allrows + long(row - 1) * cp->length;
}

std::vector<uint8_t> raw_get(Table* tp, Column* cp, int row, long nchars) {
  std::vector<uint8_t> b(std::size_t(nchars) * 2);
  vos::seek(tp->fd, cell_pos(tp, cp, row));
  EXPECT_EQ(vos::read(tp->fd, b.data(), nchars), nchars);
  return b;
}

void raw_put(Table* tp, Column* cp, int row, const convcases::Stored& s) {
  std::vector<uint8_t> b(std::size_t(cp->length) * 2, 0);
  switch (s.type) {
    case kTyBool: case kTyInt: {
      uint32_t u = uint32_t(int32_t(s.num));
      for (int k = 0; k < 4; ++k) b[k] = uint8_t(u >> (24 - 8 * k));
      break;
    }
    case kTyShort: {
      uint16_t u = uint16_t(int16_t(s.num));
      b[0] = uint8_t(u >> 8);
      b[1] = uint8_t(u);
      break;
    }
    case kTyReal: {
      float f = float(s.num);
      uint32_t u;
      std::memcpy(&u, &f, 4);
      for (int k = 0; k < 4; ++k) b[k] = uint8_t(u >> (24 - 8 * k));
      break;
    }
    case kTyDouble: {
      uint64_t u;
      std::memcpy(&u, &s.num, 8);
      for (int k = 0; k < 8; ++k) b[k] = uint8_t(u >> (56 - 8 * k));
      break;
    }
    default: std::memcpy(b.data(), s.text, std::min(b.size(), std::strlen(s.text)));
  }
  vos::seek(tp->fd, cell_pos(tp, cp, row));
  vos::write(tp->fd, b.data(), cp->length);
}

// Reads one cell through the column-range routine of `req` and the order.
double range_get(Table* tp, Column* cp, int row, char req, bool* flag, std::string* text) {
  const bool y = tp->type == kColOrdered;
  switch (req) {
    case 'b': { bool v; y ? tbycgb(tp, cp, &v, flag, row, row) : tbxcgb(tp, cp, &v, flag, row, row); return v; }
    case 'd': { double v; y ? tbycgd(tp, cp, &v, flag, row, row) : tbxcgd(tp, cp, &v, flag, row, row); return v; }
    case 'r': { float v; y ? tbycgr(tp, cp, &v, flag, row, row) : tbxcgr(tp, cp, &v, flag, row, row); return v; }
    case 'i': { int v; y ? tbycgi(tp, cp, &v, flag, row, row) : tbxcgi(tp, cp, &v, flag, row, row); return v; }
    case 's': { short v; y ? tbycgs(tp, cp, &v, flag, row, row) : tbxcgs(tp, cp, &v, flag, row, row); return v; }
    default:
      y ? tbycgt(tp, cp, text, flag, 40, row, row) : tbxcgt(tp, cp, text, flag, 40, row, row);
      return 0;
  }
}

// Writes one cell through the column-range routine of `given` and the order.
void range_put(Table* tp, Column* cp, int row, const convcases::WriteCase& w) {
  const bool y = tp->type == kColOrdered;
  switch (w.given) {
    case 'b': { bool v = w.num != 0; y ? tbycpb(tp, cp, &v, row, row) : tbxcpb(tp, cp, &v, row, row); break; }
    case 'd': { double v = w.num; y ? tbycpd(tp, cp, &v, row, row) : tbxcpd(tp, cp, &v, row, row); break; }
    case 'r': { float v = float(w.num); y ? tbycpr(tp, cp, &v, row, row) : tbxcpr(tp, cp, &v, row, row); break; }
    case 'i': { int v = int(w.num); y ? tbycpi(tp, cp, &v, row, row) : tbxcpi(tp, cp, &v, row, row); break; }
    case 's': { short v = short(w.num); y ? tbycps(tp, cp, &v, row, row) : tbxcps(tp, cp, &v, row, row); break; }
    default: {
      std::string v = w.text;
      y ? tbycpt(tp, cp, &v, 1023, row, row) : tbxcpt(tp, cp, &v, 1023, row, row);
    }
  }
}

double stored_number(const std::vector<uint8_t>& b, int type) {
  switch (type) {
    case kTyBool: case kTyInt: return be32(b, 0);
    case kTyShort: return be16(b, 0);
    case kTyReal: { uint32_t u = uint32_t(be32(b, 0)); float f; std::memcpy(&f, &u, 4); return f; }
    default: { uint64_t u = be64(b, 0); double d; std::memcpy(&d, &u, 8); return d; }
  }
}

// Gives the columns of `tp` the print formats of the text cases and makes
// `rows` rows.
void prepare(Table* tp, int rows) {
  for (auto& c : tp->cols) {
    c->format = c->dtype == kTyBool ? "%b" : (c->dtype == kTyShort || c->dtype == kTyInt) ? "%d" : "%g";
  }
  if (tp->type == kRowOrdered) tbxwer(tp, rows);
  tp->nrows = rows;
  tp->modified = true;
}

TEST_F(BinTable, ConversionTableInBothOrders) {
  const int nread = int(std::size(convcases::kReadCases));
  const int nwrite = int(std::size(convcases::kWriteCases));
  const int rows = std::max(nread, nwrite);
  for (int order : {kRowOrdered, kColOrdered}) {
    Table* tp = make("conv" + std::to_string(order) + ".tab", order, type_columns(), rows);
    prepare(tp, rows);
    for (int k = 0; k < nread; ++k) {
      const auto& rc = convcases::kReadCases[k];
      Column* cp = column_of(tp, rc.cell.type);
      ASSERT_NE(cp, nullptr);
      raw_put(tp, cp, k + 1, rc.cell);
      bool flag = false;
      std::string text;
      double v = range_get(tp, cp, k + 1, rc.req, &flag, &text);
      std::string what = "read case " + std::to_string(k) + " order " + std::to_string(order);
      if (rc.req == 't') EXPECT_EQ(text, rc.text) << what;
      else if (rc.req == 'r') EXPECT_EQ(float(v), float(rc.want)) << what;
      else EXPECT_EQ(v, rc.want) << what;
      EXPECT_EQ(flag, order == kRowOrdered ? rc.flag_x : rc.flag_y) << what;
    }
    for (int k = 0; k < nwrite; ++k) {
      const auto& wc = convcases::kWriteCases[k];
      Column* cp = column_of(tp, wc.type);
      range_put(tp, cp, k + 1, wc);
      auto b = raw_get(tp, cp, k + 1, cp->length);
      std::string what = "write case " + std::to_string(k) + " order " + std::to_string(order);
      if (wc.field) {
        EXPECT_EQ(std::string(b.begin(), b.begin() + wc.field_len), std::string(wc.field, std::size_t(wc.field_len)))
            << what;
      } else {
        double want = order == kRowOrdered ? wc.want_x : wc.want_y;
        if (wc.type == kTyReal) EXPECT_EQ(float(stored_number(b, wc.type)), float(want)) << what;
        else EXPECT_EQ(stored_number(b, wc.type), want) << what;
      }
    }
    // Undefined doubles reach the file as 1.6e38 and come back undefined.
    Column* dp = column_of(tp, kTyDouble);
    double d = 1.6e308;
    order == kRowOrdered ? tbxcpd(tp, dp, &d, 1, 1) : tbycpd(tp, dp, &d, 1, 1);
    EXPECT_EQ(be64(raw_get(tp, dp, 1, 4), 0), 0x47de17b84357691bull);
    close(tp);
  }
}

TEST_F(BinTable, ColumnRangeOfStringsAndEmptyRange) {
  for (int order : {kRowOrdered, kColOrdered}) {
    Table* tp = make("str" + std::to_string(order) + ".tab", order, {{"s", -10}}, 10);
    Column* cp = tp->cols[0].get();
    prepare(tp, 3);
    std::vector<std::string> in = {"abcdefghijkl", "xy", ""};
    order == kRowOrdered ? tbxcpt(tp, cp, in.data(), 20, 1, 3) : tbycpt(tp, cp, in.data(), 20, 1, 3);
    std::vector<std::string> out(3);
    bool nul[3];
    order == kRowOrdered ? tbxcgt(tp, cp, out.data(), nul, 4, 1, 3) : tbycgt(tp, cp, out.data(), nul, 4, 1, 3);
    EXPECT_EQ(out, (std::vector<std::string>{"abcd", "xy", ""}));
    EXPECT_FALSE(nul[0]);
    EXPECT_TRUE(nul[2]);
    order == kRowOrdered ? tbxcgt(tp, cp, out.data(), nul, 20, 1, 1) : tbycgt(tp, cp, out.data(), nul, 20, 1, 1);
    EXPECT_EQ(out[0], "abcdefghij");
    out[0] = "untouched";
    order == kRowOrdered ? tbxcgt(tp, cp, out.data(), nul, 20, 3, 2) : tbycgt(tp, cp, out.data(), nul, 20, 3, 2);
    EXPECT_EQ(out[0], "untouched");
    // The same into caller's buffers of maxch + 1 bytes; a null buffer is
    // passed over.
    char b0[5] = "####", b2[5] = "####";
    char* bufs[3] = {b0, nullptr, b2};
    bool nb[3] = {true, true, false};
    order == kRowOrdered ? tbxcgt(tp, cp, bufs, nb, 4, 1, 3) : tbycgt(tp, cp, bufs, nb, 4, 1, 3);
    EXPECT_STREQ(b0, "abcd");
    EXPECT_STREQ(b2, "");
    EXPECT_FALSE(nb[0]);
    EXPECT_FALSE(nb[1]);
    EXPECT_TRUE(nb[2]);
    close(tp);
  }
}

// Ranges long enough to take several transfers give what the element
// routines give, and write the file the element routines write.
TEST_F(BinTable, LongColumnRangesMatchElementAccess) {
  const int rows = 25000;  // a row-ordered range moves 256 KiB per transfer
  std::vector<std::string> text(rows);
  std::vector<int> nums(rows);
  for (int r = 0; r < rows; ++r) {
    text[std::size_t(r)] = r % 7 == 0 ? "" : "value " + std::to_string(r * 37);
    nums[std::size_t(r)] = r % 11 == 0 ? kIndefI : r - 500;
  }
  for (int order : {kRowOrdered, kColOrdered}) {
    const std::string tag = std::to_string(order);
    Table* by_range = make("range" + tag + ".tab", order, {{"n", kTyInt}, {"s", -30}, {"x", kTyDouble}}, rows);
    Table* by_elem = make("elem" + tag + ".tab", order, {{"n", kTyInt}, {"s", -30}, {"x", kTyDouble}}, rows);
    tbcpti(by_range, by_range->cols[0].get(), nums.data(), 1, rows);
    tbcptt(by_range, by_range->cols[1].get(), text.data(), 30, 1, rows);
    for (int r = 1; r <= rows; ++r) {
      tbepti(by_elem, by_elem->cols[0].get(), r, nums[std::size_t(r - 1)]);
      tbeptt(by_elem, by_elem->cols[1].get(), r, text[std::size_t(r - 1)]);
    }
    std::vector<char> store(std::size_t(rows) * 31);
    std::vector<char*> bufs;
    for (int r = 0; r < rows; ++r) bufs.push_back(store.data() + std::size_t(r) * 31);
    std::unique_ptr<bool[]> nul(new bool[rows]);
    tbcgtt(by_range, by_range->cols[1].get(), bufs.data(), nul.get(), 30, 1, rows);
    std::vector<int> back(rows);
    tbcgti(by_range, by_range->cols[0].get(), back.data(), nul.get(), 1, rows);
    for (int r = 1; r <= rows; ++r) {
      std::string cell;
      tbegtt(by_elem, by_elem->cols[1].get(), r, cell, 30);
      ASSERT_EQ(std::string(bufs[std::size_t(r - 1)]), cell) << "row " << r << " order " << order;
      ASSERT_EQ(back[std::size_t(r - 1)], nums[std::size_t(r - 1)]) << "row " << r;
    }
    close(by_range);
    close(by_elem);
    EXPECT_EQ(file("range" + tag + ".tab"), file("elem" + tag + ".tab")) << order;
  }

  // A file that ends inside the range: the rows before its end are read,
  // then the short read is the error.
  Table* tp = reopen("range" + std::to_string(kRowOrdered) + ".tab");
  const long keep = tp->bod + 20000L * tp->allrowlen - 1;  // the rows after 20000 are gone
  ASSERT_EQ(::truncate(path("range" + std::to_string(kRowOrdered) + ".tab").c_str(), keep * 2), 0);
  std::vector<int> got(rows, 12345);
  std::unique_ptr<bool[]> nul(new bool[rows]);
  try {
    tbxcgi(tp, tp->cols[0].get(), got.data(), nul.get(), 1, rows);
    ADD_FAILURE() << "a short file read as a whole";
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "tbcgti:  unexpected end of file");
  }
  EXPECT_EQ(got[19999], nums[19999]);
  EXPECT_EQ(got[20000], 12345);
  tp->nrows = 20000;  // what is left is a whole table again
  tp->modified = true;
  close(tp);
}

// A column-ordered cell lies a column length from the next, which a file
// may make more than one element: ranges put and get the cells where the
// single-element routines do.
TEST_F(BinTable, ColumnOrderedRangesFollowTheColumnLength) {
  const std::string name = path("wide.tab");
  Table* tp = tbtopn(name, kNewFile, nullptr);
  tbpset(tp, 5, kColOrdered);
  tbpset(tp, 3, 10);
  Column* cs = nullptr;
  tbcdef1(tp, cs, "s", "", "", -6, 1);
  cs->length = 5;  // three chars hold the element; the cell has five
  tbtcre(tp);
  const std::string words[4] = {"ab", "cdef", "g", "hi"};
  tbcptt(tp, cs, words, 6, 1, 3);
  tbeptt(tp, cs, 4, words[3]);
  std::string back[4];
  bool nul[4] = {};
  tbcgtt(tp, cs, back, nul, 6, 1, 4);
  for (int r = 1; r <= 4; ++r) {
    std::string cell;
    tbegtt(tp, cs, r, cell, 6);
    EXPECT_EQ(cell, words[r - 1]) << "row " << r;
    EXPECT_EQ(back[r - 1], words[r - 1]) << "row " << r;
  }
  tbtclo(tp);
  fs::remove(name);  // not a table the checker knows
}

TEST_F(BinTable, RowOrderedRowWrites) {
  std::vector<ColSpec> five = {{"a", kTyInt}, {"b", kTyInt}, {"c", kTyInt}, {"d", kTyInt}, {"e", kTyInt}};
  Table* tp = make("rows.tab", kRowOrdered, five);
  tbxwer(tp, 2);
  tp->nrows = 2;
  tp->modified = true;
  Column* cols[5];
  for (int k = 0; k < 5; ++k) cols[k] = tp->cols[std::size_t(k)].get();
  const long fsize = vos::fstati(tp->fd, vos::F_FILESIZE);
  Column* pick[2] = {cols[1], cols[3]};
  int vals[2] = {20, 40};
  tbxrpi(tp, pick, vals, 2, 3);  // appends row 3
  EXPECT_EQ(tp->nrows, 3);
  EXPECT_EQ(vos::fstati(tp->fd, vos::F_FILESIZE), fsize + tp->allrowlen);
  int got[5];
  bool nul[5];
  tbxrgi(tp, cols, got, nul, 5, 3);
  EXPECT_TRUE(nul[0] && nul[2] && nul[4]);
  EXPECT_EQ(got[1], 20);
  EXPECT_EQ(got[3], 40);
  tbxrpi(tp, pick, vals, 0, 4);  // an empty list still appends a null row
  EXPECT_EQ(tp->nrows, 4);
  double dv[1] = {7.0};
  tbxrpd(tp, cols, dv, 1, 6);  // rows 5 and 6 appear
  EXPECT_EQ(tp->nrows, 6);
  tbxrgi(tp, cols, got, nul, 5, 5);
  EXPECT_TRUE(nul[0]);
  // A column listed twice takes the later value.
  Column* twice[2] = {cols[0], cols[0]};
  int tv[2] = {1, 2};
  tbxrpi(tp, twice, tv, 2, 7);
  tbxrpi(tp, twice, tv, 2, 2);
  tbxrgi(tp, twice, got, nul, 2, 7);
  EXPECT_EQ(got[0], 2);
  tbxrgi(tp, twice, got, nul, 2, 2);
  EXPECT_EQ(got[0], 2);
  // An invalid type in the third column: appending writes nothing; an
  // existing row gets cells 1 and 2.
  cols[2]->dtype = 5;
  int five_vals[5] = {9, 9, 9, 9, 9};
  try {
    tbxrpi(tp, cols, five_vals, 5, 8);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), 82);
    EXPECT_EQ(e.message(), "tbrpti:  bad data type; table or memory corrupted?");
  }
  EXPECT_EQ(tp->nrows, 7);
  EXPECT_THROW(tbxrpi(tp, cols, five_vals, 5, 1), vos::Error);
  try {
    tbxrgd(tp, cols, dv, nul, 5, 1);
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "tbrgtd:  invalid data type");
  }
  cols[2]->dtype = kTyInt;
  tbxrgi(tp, cols, got, nul, 5, 1);
  EXPECT_EQ(got[0], 9);
  EXPECT_EQ(got[1], 9);
  EXPECT_TRUE(nul[3]);
  // Text into int cells rounds in row-ordered tables.
  std::string t = "2.5";
  tbxrpt(tp, cols, &t, 10, 1, 1);
  tbxrgi(tp, cols, got, nul, 1, 1);
  EXPECT_EQ(got[0], 3);
}

TEST_F(BinTable, ColumnOrderedRowWrites) {
  Table* tp = make("yrows.tab", kColOrdered, {{"a", kTyInt}, {"b", kTyBool}, {"c", kTyInt}}, 10);
  tp->nrows = 2;
  tp->modified = true;
  Column* cols[3] = {tp->cols[0].get(), tp->cols[1].get(), tp->cols[2].get()};
  std::string t[3] = {"2.5", "yes", "-2.5"};
  tbyrpt(tp, cols, t, 10, 3, 1);
  int got[3];
  bool nul[3];
  tbyrgi(tp, cols, got, nul, 3, 1);
  EXPECT_EQ(got[0], 2);
  EXPECT_EQ(got[1], 1);
  EXPECT_EQ(got[2], -2);
  double big[1] = {1e12};
  tbyrpd(tp, &cols[1], big, 1, 2);
  tbyrgi(tp, &cols[1], got, nul, 1, 2);
  EXPECT_EQ(got[0], 0) << "a huge double stores false in a column-ordered bool";
  // The row just past the allocation (10 rows) lies in the next column's
  // block: reading it is refused, and writing it grows the table first.
  try {
    tbyrgi(tp, &cols[1], got, nul, 1, 11);
    ADD_FAILURE() << "row 11 of 10 read";
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "tbrgti:  unexpected end of file");
  }
  int v[1] = {0};
  tbyrpi(tp, &cols[1], v, 1, 11);
  EXPECT_GE(tp->allrows, 11);
  tp->nrows = 11;
  tbyrgi(tp, cols, got, nul, 3, 11);
  EXPECT_TRUE(nul[0]);
  EXPECT_EQ(got[1], 0);
  EXPECT_TRUE(nul[2]);
  tbyrgi(tp, &cols[2], got, nul, 1, 1);
  EXPECT_EQ(got[0], -2) << "the next column keeps its values";
  // An invalid type in the second column: the first cell is written.
  cols[1]->dtype = 5;
  int three[3] = {5, 5, 5};
  try {
    tbyrpi(tp, cols, three, 3, 2);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), 82);
    EXPECT_EQ(e.message(), "tbrpti:  invalid data type");
  }
  cols[1]->dtype = kTyBool;
  tbyrgi(tp, cols, got, nul, 3, 2);
  EXPECT_EQ(got[0], 5);
  EXPECT_TRUE(nul[2]);
}

TEST_F(BinTable, ArrayElements) {
  Table* tp = make("arr.tab", kRowOrdered,
                   {{"i", kTyInt, 5}, {"d", kTyDouble, 4}, {"r", kTyReal, 3}, {"s", -8, 3}, {"x", kTyShort}});
  Column* ci = tp->cols[0].get();
  Column* cd = tp->cols[1].get();
  Column* cr = tp->cols[2].get();
  Column* cs = tp->cols[3].get();
  ci->format = "%d";
  tbxwer(tp, 1);
  tp->nrows = 1;
  tp->modified = true;
  int iv[5] = {1, 2, 3, 4, 5};
  tbxapi(tp, ci, 1, iv, 1, 5);
  int ib[10] = {};
  EXPECT_EQ(tbxagi(tp, ci, 1, ib, 3, 10), 3);
  EXPECT_EQ(ib[0], 3);
  EXPECT_EQ(tbxagi(tp, ci, 1, ib, 6, 1), 0);
  EXPECT_EQ(tbxagi(tp, ci, 1, ib, 7, 1), 0) << "never a negative count";
  try {
    tbxapi(tp, ci, 1, iv, 3, 4);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "tbapti:  attempt to put too many elements");
  }
  // Doubles into a new row: the rest of the row is null.
  double dv[2] = {2.0, 1.6e308};
  tbxapd(tp, cd, 2, dv, 2, 2);
  EXPECT_EQ(tp->nrows, 2);
  double db[4];
  EXPECT_EQ(tbxagd(tp, cd, 2, db, 1, 4), 4);
  EXPECT_EQ(db[0], 1.6e308);
  EXPECT_EQ(db[1], 2.0);
  EXPECT_EQ(db[2], 1.6e308);
  EXPECT_EQ(db[3], 1.6e308);
  EXPECT_EQ(be64(raw_get(tp, cd, 2, 16), 16), 0x47de17b84357691bull);
  std::string tb[5];
  EXPECT_EQ(tbxagt(tp, ci, 2, tb, 10, 1, 2), 2);
  EXPECT_EQ(tb[0], "INDEF");
  // Reals read as bool are not rounded; text beyond 9.9e36 is undefined.
  double rd[1] = {0.4};
  tbxapd(tp, cr, 1, rd, 1, 1);
  bool bb[1];
  tbxagb(tp, cr, 1, bb, 1, 1);
  EXPECT_TRUE(bb[0]);
  std::string big = "1e37";
  tbxapt(tp, cr, 1, &big, 10, 2, 1);
  float rb[3];
  tbxagr(tp, cr, 1, rb, 1, 3);
  EXPECT_EQ(rb[1], 1.6e38f);
  // Numbers into string elements: no padding.
  double two5[1] = {2.5};
  tbxapd(tp, cs, 1, two5, 2, 1);
  auto raw = raw_get(tp, cs, 1, 12);
  EXPECT_EQ(std::string(raw.begin() + 8, raw.begin() + 12), std::string("2.5\0", 4));
  tbxapt(tp, cs, 1, &big, 8, 1, 1);
  tbxagr(tp, cs, 1, rb, 1, 1);
  EXPECT_EQ(rb[0], 1.6e38f);
  // An unknown stored type is refused.
  cr->dtype = 5;
  EXPECT_THROW(tbxapt(tp, cr, 1, &big, 10, 1, 1), vos::Error);
  EXPECT_THROW(tbxagd(tp, cr, 1, db, 1, 1), vos::Error);
  cr->dtype = kTyReal;
}

TEST_F(BinTable, ShortReadIsAnError) {
  Table* tp = make("short.tab", kRowOrdered, {{"d", kTyDouble}});
  Column* cp = tp->cols[0].get();
  tbxwer(tp, 1);
  tp->nrows = 2;  // the file holds only one row
  double v;
  bool nul;
  try {
    tbxcgd(tp, cp, &v, &nul, 2, 2);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), 1);
    EXPECT_EQ(e.message(), "tbcgtd:  unexpected end of file");
  }
  Column* cols[1] = {cp};
  EXPECT_THROW(tbxrgd(tp, cols, &v, &nul, 1, 2), vos::Error);
  EXPECT_THROW(tbxagd(tp, cp, 2, &v, 1, 1), vos::Error);
  tp->nrows = 1;
  tp->modified = true;
  // A column record pointing past the row (a damaged file) is refused, not
  // written over the memory of the row.
  const int offset = cp->offset;
  cp->offset = tp->allrowlen + 10;
  v = 1.0;
  try {
    tbxrpd(tp, cols, &v, 1, 2);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "tbrptd:  column lies outside the row; table corrupted?");
  }
  EXPECT_THROW(tbxudf(tp, cols, 1, 1), vos::Error);
  EXPECT_THROW(tbxapd(tp, cp, 2, &v, 1, 1), vos::Error);
  EXPECT_EQ(tp->nrows, 1);
  cp->offset = offset;
}

// A file cut inside a row: every read that reaches the cut gets fewer
// bytes than it asked for, which is the error (never stale bytes as
// values); what lies before the cut still reads.
TEST_F(BinTable, FileCutInsideARowIsAnError) {
  Table* tp = make("cut.tab", kRowOrdered, {{"d", kTyDouble}, {"a", kTyDouble, 2}});
  const double row1[] = {1.5, 2.5, 3.5}, row2[] = {4.5, 5.5, 6.5};
  tbeptd(tp, tp->cols[0].get(), 1, row1[0]);
  tbaptd(tp, tp->cols[1].get(), 1, &row1[1], 1, 2);
  tbeptd(tp, tp->cols[0].get(), 2, row2[0]);
  tbaptd(tp, tp->cols[1].get(), 2, &row2[1], 1, 2);
  const long cut = tp->bod - 1 + tp->allrowlen + 6;  // row 2 keeps "d" and half of a[1]
  close(tp);
  ASSERT_EQ(::truncate(path("cut.tab").c_str(), static_cast<off_t>(cut * 2)), 0);
  tp = reopen("cut.tab");
  Column* d = tp->cols[0].get();
  Column* a = tp->cols[1].get();
  double v = 0;
  tbegtd(tp, d, 2, v);
  EXPECT_EQ(v, 4.5);
  double buf[3] = {0, 0, 0};
  bool nul[2];
  Column* both[] = {d, a};
  struct Read { const char* what; std::function<void()> call; } reads[] = {
      {"element", [&] { tbegtd(tp, a, 2, v); }},
      {"row", [&] { tbxrgd(tp, both, buf, nul, 2, 2); }},
      {"array", [&] { tbxagd(tp, a, 2, buf, 1, 2); }},
      {"range", [&] { tbxcgd(tp, a, buf, nul, 1, 2); }},
  };
  for (auto& r : reads) {
    try {
      r.call();
      ADD_FAILURE() << r.what << " read across the cut";
    } catch (const vos::Error& e) {
      EXPECT_EQ(e.code(), 1) << r.what;
      EXPECT_NE(e.message().find("unexpected end of file"), std::string::npos) << r.what;
    }
  }
  tp->nrows = 1;  // row 1 alone is a whole table again
  tp->modified = true;
  const long whole = tp->bod - 1 + tp->allrowlen;
  close(tp);
  ASSERT_EQ(::truncate(path("cut.tab").c_str(), static_cast<off_t>(whole * 2)), 0);
}

TEST_F(BinTable, ColumnOrderedUnknownTypeIsAnError) {
  Table* tp = make("unk.tab", kColOrdered, {{"a", kTyInt}, {"b", kTyInt}}, 10);
  tp->nrows = 1;
  tp->modified = true;
  Column* cp = tp->cols[1].get();
  cp->dtype = 5;
  Column* cols[1] = {cp};
  try {
    tbyudf(tp, cols, 1, 1);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.code(), 82);
    EXPECT_EQ(e.message(), "tbyudf:  invalid datatype; table corrupted?");
  }
  EXPECT_THROW(tbynll(tp, 1, 1), vos::Error);
  EXPECT_THROW(tbysft(tp, 1, 1), vos::Error);
  double v;
  bool nul;
  try {
    tbycgd(tp, cp, &v, &nul, 2, 1);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "tbcgtd:  invalid data type");
  }
  try {
    tbyrgd(tp, cols, &v, &nul, 1, 1);
    ADD_FAILURE();
  } catch (const vos::Error& e) {
    EXPECT_EQ(e.message(), "tbrgtd:  invalid data type");
  }
  cp->dtype = kTyInt;
}

}  // namespace
}  // namespace bintest
