// FITS files cut short: a change that would move, rewrite or extend the
// part that is missing is refused, naming the file, and leaves the file
// byte for byte; what only reads (or rewrites in place) the whole HDUs
// before the cut goes on working.  Files made by CFITSIO directly and cut
// with truncate(2); results judged by CFITSIO, fitsverify and the bytes.
#include <fitsio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "fits_testutil.h"
#include "halvo/c_tables.h"

using namespace fitstest;

namespace {

// Three tables of 200 rows: A (N = 1..200), B (1001..), C (2001..).
const std::vector<CfitsioTable> kThree{{"A", 0, 200, 0}, {"B", 0, 200, 1000}, {"C", 0, 200, 2000}};

// Where a file of the three tables is cut: a byte offset from the places of
// its HDUs (0 primary, 1 to 3 the extensions), and the extension the cut
// falls in.
struct Cut {
  const char* what;
  std::function<long long(const std::vector<HduPlace>&)> at;
  int ext;
};

const std::vector<Cut>& cuts() {
  static const std::vector<Cut> all{
      {"inside the first extension's data", [](auto& p) { return p[1].data + 4000; }, 1},
      {"inside the second extension's header", [](auto& p) { return p[2].head + 1000; }, 2},
      {"at the end of the second extension's header", [](auto& p) { return p[2].data; }, 2},
      {"inside the second extension's data", [](auto& p) { return p[2].data + 4000; }, 2},
      {"at the end of the third extension's header", [](auto& p) { return p[3].data; }, 3},
      {"inside the third extension's data", [](auto& p) { return p[3].data + 4000; }, 3},
  };
  return all;
}

class FitsCut : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { c_vosinit(); }

  // Makes the three tables in `path` and cuts the file at `cut` (none when
  // null).  Returns the places of the HDUs before the cut, none when CFITSIO
  // or the cut failed.
  static std::vector<HduPlace> make(const std::string& path, const Cut* cut) {
    if (make_cfitsio_file(path, kThree) != 0) return {};
    const std::vector<HduPlace> places = hdu_places(path);
    if (places.size() != 4) return {};
    if (cut != nullptr && truncate(path.c_str(), cut->at(places)) != 0) return {};
    return places;
  }
};

// Opens extension 1 for writing, runs `body` on it and closes it; the first
// failure, or "".
std::string on_first_extension(const std::string& path,
                               const std::function<void(TablePtr)>& body) {
  std::string err;
  TablePtr tp = c_tbtopn((path + "[1]").c_str(), TBL_READ_WRITE, nullptr);
  if (c_voserr() != 0) return c_voserrmsg();
  body(tp);
  if (c_voserr() != 0) err = c_voserrmsg();
  c_tbtclo(tp);
  if (c_voserr() != 0 && err.empty()) err = c_voserrmsg();
  return err;
}

// A change of a file of the three tables; the first failure, or "".  In
// the whole file, table C is then extension `c_at`.
struct Change {
  const char* what;
  std::function<std::string(const std::string& path, const std::string& other)> run;
  int c_at;
};

const std::vector<Change>& changes() {
  static const std::vector<Change> all{
      {"keywords added to extension 1 until its header grows",
       [](const std::string& path, const std::string&) {
         return on_first_extension(path, [](TablePtr tp) {
           for (int k = 0; k < 60 && c_voserr() == 0; ++k)
             c_tbhadi(tp, ("KEY" + std::to_string(k)).c_str(), k);
         });
       },
       3},
      {"rows added to extension 1",
       [](const std::string& path, const std::string&) {
         return on_first_extension(path, [](TablePtr tp) {
           ColumnPtr n = c_tbcnum(tp, 1);
           for (int r = 201; r <= 300 && c_voserr() == 0; ++r) c_tbepti(tp, n, r, r);
         });
       },
       3},
      {"rows deleted from extension 1",
       [](const std::string& path, const std::string&) {
         return on_first_extension(path, [](TablePtr tp) { c_tbrdel(tp, 1, 150); });
       },
       3},
      {"a column added to extension 1",
       [](const std::string& path, const std::string&) {
         return on_first_extension(path, [](TablePtr tp) {
           ColumnPtr c = nullptr;
           c_tbcdef1(tp, &c, "NEW", "", "", TBL_TY_DOUBLE, 4);
         });
       },
       3},
      {"extension 1 deleted",
       [](const std::string& path, const std::string&) {
         c_tbtdel((path + "[1]").c_str());
         return std::string(c_voserr() != 0 ? c_voserrmsg() : "");
       },
       2},
      {"extension 1 overwritten",
       [](const std::string& path, const std::string&) { return write_new_table(path + "[1,overwrite]"); },
       3},
      {"a table appended",
       [](const std::string& path, const std::string&) { return write_new_table(path + "[NEW]"); },
       3},
      {"a table copied in",
       [](const std::string& path, const std::string& other) {
         if (write_new_table(other + "[OTHER]") != "") return std::string("no table to copy");
         c_tbtcpy(other.c_str(), path.c_str());
         return std::string(c_voserr() != 0 ? c_voserrmsg() : "");
       },
       3},
  };
  return all;
}

// Extension 1 of a file cut after it still reads, by number and by name,
// copies out whole to `copy`, and has one of its cells rewritten in place;
// the bytes from `rest` on (after extension 1) stay as they were.
void expect_first_extension_works(const std::string& path, const std::string& copy,
                                  std::size_t rest) {
  const std::string before = slurp(path);
  for (const char* which : {"[1]", "[A]"}) {
    TablePtr tp = c_tbtopn((path + which).c_str(), TBL_READ_ONLY, nullptr);
    ASSERT_EQ(c_voserr(), 0) << which << ": " << c_voserrmsg();
    std::vector<int> got(200, 0), nulls(200, 0);
    c_tbcgti(tp, c_tbcnum(tp, 1), got.data(), nulls.data(), 1, 200);
    EXPECT_EQ(c_voserr(), 0) << c_voserrmsg();
    EXPECT_EQ(got, counted(200, 0)) << which;
    c_tbtclo(tp);
  }
  c_tbtcpy((path + "[1]").c_str(), copy.c_str());
  EXPECT_EQ(c_voserr(), 0) << c_voserrmsg();
  EXPECT_EQ(column_n(copy, 1), counted(200, 0));
  const std::string report = verify(copy);
  EXPECT_TRUE(clean(report)) << report;
  EXPECT_EQ(slurp(path) == before, true) << "reading changed the file";

  EXPECT_EQ(on_first_extension(path, [](TablePtr tp) { c_tbepti(tp, c_tbcnum(tp, 1), 5, 99); }), "");
  std::vector<int> want = counted(200, 0);
  want[4] = 99;
  EXPECT_EQ(column_n(path, 1), want);
  const std::string after = slurp(path);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after.substr(rest) == before.substr(rest), true) << "the part after extension 1 changed";
}

}  // namespace

// Every change of every cut file is refused before anything in it changes,
// with an error naming the file and the extension cut short; a first
// extension before the cut goes on working.  The same changes of the whole
// file succeed.
TEST_F(FitsCut, ChangesReachingTheMissingPartAreRefused) {
  for (const Cut& cut : cuts()) {
    SCOPED_TRACE(cut.what);
    for (const Change& change : changes()) {
      SCOPED_TRACE(change.what);
      TempFile file("cut"), other("cut_other");
      ASSERT_FALSE(make(file.path, &cut).empty());
      const std::string before = slurp(file.path);

      const std::string err = change.run(file.path, other.path);

      EXPECT_NE(err.find("FITS file `" + file.path + "'"), std::string::npos) << err;
      EXPECT_NE(err.find("cut short or damaged in extension " + std::to_string(cut.ext)),
                std::string::npos)
          << err;
      EXPECT_EQ(slurp(file.path) == before, true) << "the file changed";
    }
    if (cut.ext > 1) {
      TempFile file("cut_read"), copy("cut_copy");
      const std::vector<HduPlace> places = make(file.path, &cut);
      ASSERT_FALSE(places.empty());
      expect_first_extension_works(file.path, copy.path, static_cast<std::size_t>(places[1].end));
    }
  }
  for (const Change& change : changes()) {
    SCOPED_TRACE(change.what);
    TempFile file("whole"), other("whole_other");
    ASSERT_FALSE(make(file.path, nullptr).empty());
    EXPECT_EQ(change.run(file.path, other.path), "") << "whole file";
    EXPECT_EQ(column_n(file.path, change.c_at), counted(200, 2000)) << "whole file";
    const std::string report = verify(file.path);
    EXPECT_TRUE(clean(report)) << report;
  }
}
