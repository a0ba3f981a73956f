// End-to-end runs of the real quorel binary against the stand-in server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "platform/clock.h"

using e2e::Installation;
using e2e::run_quorel;

namespace {

demo::CatalogueFile F(const std::string& name, const std::string& useafter,
                      const std::string& avail, const std::string& comment,
                      std::vector<std::string> comps, const std::string& reject = "N",
                      const std::string& type = "THROUGHPUT") {
  demo::CatalogueFile f;
  f.file_name = name;
  f.useafter = useafter;
  f.availability = avail;
  f.comment = comment;
  f.components = std::move(comps);
  f.reject = reject;
  f.type = type;
  return f;
}

// Several components with older, rejected, future and other-type versions.
std::vector<demo::CatalogueFile> catalogue() {
  return {
      F("a1_thr.fits", "1996-01-01 00:00:00.000", "1996-02-01 00:00:00.000", "old", {"zor_alpha"}),
      F("a2_thr.fits", "1998-06-01 13:30:00.000", "1998-07-01 09:00:00.000",
        "  Alpha\tTHROUGHPUT  after\n  recal  ", {"zor_alpha"}),
      F("a3_thr.fits", "1999-03-01 00:00:00.000", "1999-04-01 00:00:00.000", "bad", {"zor_alpha"}, "Y"),
      F("a4_thr.fits", "2031-01-01 00:00:00.000", "2031-01-02 00:00:00.000", "future", {"zor_alpha"}),
      F("a5_img.fits", "2000-01-01 00:00:00.000", "2000-01-02 00:00:00.000", "image", {"zor_alpha"},
        "N", "IMAGE"),
      F("B1_THR.FITS", "1997-05-05 00:00:00.000", "1997-05-06 12:00:00.000", "Beta", {"zor_beta"}),
      F("c1_thr.fits", "1997-01-01 00:00:00.000", "1997-01-02 00:00:00.000", "", {"abc_x12"}),
      F("g1_thr.fits", "1990-01-01 00:00:00.000", "1990-01-01 00:00:00.000", "gamma one", {"zor_gamma"}),
      F("g2_thr.fits", "2000-06-01 00:00:00.000", "2000-06-02 15:45:30.000", "gamma two", {"zor_gamma"}),
  };
}

std::map<std::string, std::vector<std::string>> tables() {
  return {{"a2_thr.fits", {"WAVELENGTH", "THROUGHPUT", "ERROR", "THROUGHPUT_ERR"}},
          {"b1_thr.fits", {"WAVELENGTH", "ZOR_BETA", "ZOR_BETA_ERR"}},
          {"c1_thr.fits", {"WAVELENGTH", "X12", "ABC"}},
          {"g1_thr.fits", {"WAVELENGTH", "GAMMA"}},
          {"g2_thr.fits", {"WAVELENGTH", "THROUGHPUT"}}};
}

// The text with every run of blanks made one blank.
std::string squeeze(const std::string& s) {
  std::string out;
  for (char ch : s)
    if (ch != ' ' || out.empty() || out.back() != ' ') out += ch;
  return out;
}

std::string out_path(const Installation& inst, const std::string& name) {
  return inst.dir() + "/" + name;
}

const std::vector<std::vector<std::string>> kExpectedRows = {
    {"jan 2 1997 12:00:00:000am", "abc_x12", "zthru$c1_thr.fits[x12]", ""},
    {"jul 1 1998 9:00:00:000am", "zor_alpha", "zthru$a2_thr.fits", "alpha throughput after recal"},
    {"may 6 1997 12:00:00:000pm", "zor_beta", "zthru$b1_thr.fits[zor_beta]", "beta"},
    {"jun 2 2000 3:45:30:000pm", "zor_gamma", "zthru$g2_thr.fits", "gamma two"},
};

}  // namespace

TEST(QuorelEndToEnd, WritesTheNewestAcceptedFilePerComponentAsFits) {
  Installation inst(catalogue(), tables());
  std::string out = out_path(inst, "complist.fits");
  auto r = run_quorel({out}, inst.env());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  auto t = e2e::read_fits(out);
  EXPECT_EQ(t.hdus, 2);
  EXPECT_EQ(t.columns, (std::vector<std::string>{"TIME", "COMPNAME", "FILENAME", "COMMENT"}));
  EXPECT_EQ(t.widths, (std::vector<int>{26, 18, 50, 68}));
  EXPECT_EQ(t.rows, kExpectedRows);
  std::vector<std::string> order;
  for (const auto& k : t.primary_keys)
    if (k == "INSTRUME" || k == "DBTABLE" || k == "DESCRIP" || k == "HISTORY" || k == "USEAFTER")
      order.push_back(k);
  EXPECT_EQ(order, (std::vector<std::string>{"INSTRUME", "DBTABLE", "DESCRIP", "HISTORY", "USEAFTER"}));
  EXPECT_EQ(t.values["INSTRUME"], "ZOR");
  EXPECT_EQ(t.values["DBTABLE"], "CRCOMPLIST");
  EXPECT_EQ(t.values["USEAFTER"], "Apr 1 2000 12:00:00 pm");
  // The file is standard FITS.
  std::string report = out + ".verify";
  ASSERT_EQ(std::system(("fitsverify " + out + " > " + report + " 2>&1").c_str()), 0);
  std::ifstream verify(report);
  std::string all((std::istreambuf_iterator<char>(verify)), {});
  EXPECT_NE(all.find("0 warning(s) and 0 error(s)"), std::string::npos) << all;
  // The tool's four statements, in order, and the temporary table dropped.
  auto b = inst.server().batches();
  auto find = [&](const std::string& s) {
    return std::find_if(b.begin(), b.end(), [&](const std::string& x) { return x.find(s) != std::string::npos; });
  };
  ASSERT_NE(find("into #temp1"), b.end());
  EXPECT_LT(find("into #temp1"), find("create unique nonclustered index"));
  EXPECT_LT(find("create unique nonclustered index"), find("like '%.FITS'"));
  EXPECT_LT(find("like '%.FITS'"), find("drop table #temp1"));
}

TEST(QuorelEndToEnd, SameTableAsTextBinaryAndPlainName) {
  Installation inst(catalogue(), tables());
  auto text = run_quorel({"STDOUT"}, inst.env());
  ASSERT_EQ(text.status, 0) << text.err;
  for (const auto& row : kExpectedRows) {
    for (const auto& cell : row) {
      if (!cell.empty()) {
        EXPECT_NE(text.out.find(cell), std::string::npos) << cell;
      }
    }
  }
  // A ".tab" name, and a name without extension (which gets ".tab"), give
  // row-ordered binary tables.
  struct { const char* name; const char* file; } bin[] = {{"complist.tab", "complist.tab"},
                                                           {"plain", "plain.tab"}};
  for (auto c : bin) {
    auto r = run_quorel({out_path(inst, c.name)}, inst.env());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(e2e::file_exists(out_path(inst, c.file))) << c.name;
  }
  EXPECT_FALSE(e2e::file_exists(out_path(inst, "plain")));
  // Writing over an existing binary table fails and leaves it as it was.
  auto again = run_quorel({out_path(inst, "plain")}, inst.env());
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("Cannot write to file"), std::string::npos) << again.err;
  EXPECT_TRUE(e2e::file_exists(out_path(inst, "plain.tab")));
}

TEST(QuorelEndToEnd, CutOffDateAndExtensionReachTheServer) {
  Installation inst(catalogue(), tables());
  struct Case { const char* option; const char* text; };
  const Case cases[] = {{"date=jan-1-2000", "\"Jan 1 2000\""},
                        {"date=jan-1-2000-13:30", "\"Jan 1 2000 01:30:00 pm\""},
                        {"date=jan-1-2000-00:00:02", "\"Jan 1 2000 12:00:02 am\""},
                        {"date=DEC-31-99", "\"Dec 31 1999\""}};
  for (const auto& c : cases) {
    std::string out = out_path(inst, "cut.fits");
    std::remove(out.c_str());
    auto r = run_quorel({c.option, out}, inst.env());
    ASSERT_EQ(r.status, 0) << c.option << ": " << r.err;
    // The statement reaches the server in pieces joined by blanks.
    auto b = inst.server().batches();
    bool seen = std::any_of(b.begin(), b.end(), [&](const std::string& x) {
      return squeeze(x).find("a.useafter_date < " + std::string(c.text)) != std::string::npos;
    });
    EXPECT_TRUE(seen) << c.option;
  }
  // Before 2000 the gamma component still uses its first file.
  auto t = e2e::read_fits(out_path(inst, "cut.fits"));
  ASSERT_EQ(t.rows.size(), 4u);
  EXPECT_EQ(t.rows[3][2], "zthru$g1_thr.fits[gamma]");

  auto r = run_quorel({"ext=txt", out_path(inst, "txt.fits")}, inst.env());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("No rows matched in database table (kelvar_file)"), std::string::npos) << r.err;
  EXPECT_FALSE(e2e::file_exists(out_path(inst, "txt.fits")));
  // The temporary table was dropped after the statement that found nothing.
  auto b = inst.server().batches();
  auto txt = std::find_if(b.begin(), b.end(), [](const std::string& x) {
    return x.find("like '%.TXT'") != std::string::npos;
  });
  ASSERT_NE(txt, b.end());
  EXPECT_NE(std::find_if(txt, b.end(), [](const std::string& x) {
              return x.find("drop table #temp1") != std::string::npos;
            }),
            b.end());
}

TEST(QuorelEndToEnd, FileWithoutThroughputColumnWarnsAndStillWrites) {
  auto tabs = tables();
  tabs["b1_thr.fits"] = {"WAVELENGTH", "ERROR", "ZOR_BETA_ERR"};
  Installation inst(catalogue(), tabs);
  std::string out = out_path(inst, "warn.fits");
  auto r = run_quorel({out}, inst.env());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("No throughput column found in table (zthru$b1_thr.fits)"), std::string::npos)
      << r.err;
  auto t = e2e::read_fits(out);
  ASSERT_EQ(t.rows.size(), 4u);
  EXPECT_EQ(t.rows[2][2], "zthru$b1_thr.fits[]");
}

TEST(QuorelEndToEnd, FatalCatalogueAndFileErrorsWriteNothing) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> thrucat, dirs;
    bool drop_table;
    const char* message;
  };
  const Case cases[] = {
      {"unmatched pattern", {{"*_other.fits", "zthru$"}}, {{"zthru", "tables/thru/"}}, false,
       "Match not found in throughput catalog"},
      {"unknown logical name", {{"*_thr.fits", "nowhere$"}}, {{"zthru", "tables/thru/"}}, false,
       "No translation for logical name (nowhere)"},
      {"recursive logical name", {{"*_thr.fits", "loop$"}}, {{"loop", "loop$"}}, false,
       "Recursive logical name translation"},
      {"unopenable file", {{"*_thr.fits", "zthru$"}}, {{"zthru", "tables/thru/"}}, true,
       "Cannot open file"},
  };
  for (const auto& c : cases) {
    Installation inst(catalogue(), tables());
    demo::write_catalogues(e2e::orvo_root(), c.thrucat, c.dirs);
    if (c.drop_table) std::remove((e2e::orvo_root() + "tables/thru/a2_thr.fits").c_str());
    std::string out = out_path(inst, "fatal.fits");
    auto r = run_quorel({out}, inst.env());
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
    EXPECT_FALSE(e2e::file_exists(out)) << c.what;
  }
  Installation inst(catalogue(), tables());
  std::remove((e2e::orvo_root() + "tools/data/thrucat.dat").c_str());
  auto r = run_quorel({out_path(inst, "x.fits")}, inst.env());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Cannot open file"), std::string::npos) << r.err;
  EXPECT_FALSE(e2e::file_exists(out_path(inst, "x.fits")));
}

TEST(QuorelEndToEnd, ServerFailuresEndTheRunWithStatusOne) {
  {
    Installation inst(catalogue(), tables(), "login refuse\n");
    auto r = run_quorel({out_path(inst, "x.fits")}, inst.env());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("Login incorrect."), std::string::npos) << r.err;
    EXPECT_FALSE(e2e::file_exists(out_path(inst, "x.fits")));
  }
  {
    Installation inst(catalogue(), tables());
    inst.server().stop();
    auto r = run_quorel({out_path(inst, "x.fits")}, inst.env());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_FALSE(e2e::file_exists(out_path(inst, "x.fits")));
  }
}

TEST(QuorelEndToEnd, DeadlockRetries) {
  {
    // Statement 3 chosen as the deadlock victim twice, then answered.
    Installation inst(catalogue(), tables(), "batch \"like '%.FITS'\" error 1205 13 times 2\n");
    std::string out = out_path(inst, "dl.fits");
    auto r = run_quorel({out}, inst.env());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(e2e::read_fits(out).rows, kExpectedRows);
    auto b = inst.server().batches();
    EXPECT_EQ(std::count_if(b.begin(), b.end(),
                            [](const std::string& x) { return x.find("like '%.FITS'") != std::string::npos; }),
              3);
  }
  {
    Installation inst(catalogue(), tables(), "batch \"into #temp1\" error 1205 13 times 3\n");
    std::string out = out_path(inst, "dl3.fits");
    auto r = run_quorel({out}, inst.env());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Query retries for deadlock all failed"), std::string::npos) << r.err;
    EXPECT_FALSE(e2e::file_exists(out));
  }
}

TEST(QuorelEndToEnd, GarbageFromTheServerOrAHangUpWritesNothing) {
  struct Case { const char* script; const char* error; };
  const Case cases[] = {
      // An unknown token after the first row, a hang-up mid-packet, a packet
      // longer than the packet size: each ends in its client error.
      {"batch \"like '%.FITS'\" badtoken 0x05 rows\n", "(20020) Bad token from DB Server"},
      {"batch \"like '%.FITS'\" closemid\n", "(20017) Unexpected EOF from DB Server."},
      {"batch \"like '%.FITS'\" badlength big\n", "(20004) Read from DB Server failed."},
  };
  for (const auto& c : cases) {
    Installation inst(catalogue(), tables(), c.script);
    std::string out = out_path(inst, "garbage.fits");
    auto r = run_quorel({out}, inst.env());
    EXPECT_EQ(r.status, 1) << c.script << r.err;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << c.script << r.err;
    EXPECT_FALSE(e2e::file_exists(out)) << c.script;
  }
}

// A server that stops answering, in the first statement or in the one
// that reads the rows: the run ends with the time-out error once the
// tool's command time-out (5 minutes, at the tests' time scale) has
// passed, long before the server would have answered, with status 1 and
// no output.
TEST(QuorelEndToEnd, SilentServerEndsTheRunWithTheTimeOut) {
  const double ms = 1000 * platform::plat_time_scale();  // one nominal second
  for (const char* statement : {"into #temp1", "like '%.FITS'"}) {
    Installation inst(catalogue(), tables(), std::string("batch \"") + statement + "\" silent 3000\n");
    std::string out = out_path(inst, "silent.fits");
    std::int64_t t0 = platform::plat_now_ms();
    auto r = run_quorel({out}, inst.env());
    std::int64_t took = platform::plat_now_ms() - t0;
    EXPECT_GE(took, static_cast<std::int64_t>(300 * ms)) << statement;
    EXPECT_LT(took, static_cast<std::int64_t>(1500 * ms)) << statement;
    EXPECT_EQ(r.status, 1) << statement << r.err;
    EXPECT_NE(r.err.find("(20003) DB Server connection timed out."), std::string::npos) << statement << r.err;
    EXPECT_FALSE(e2e::file_exists(out)) << statement;
  }
}

TEST(QuorelEndToEnd, CorruptThroughputFileAndOverlongCatalogueLine) {
  {
    Installation inst(catalogue(), tables());
    standin::write_text_file(e2e::orvo_root() + "tables/thru/a2_thr.fits",
                             std::string(3000, 'x'));  // not a table
    std::string out = out_path(inst, "corrupt.fits");
    auto r = run_quorel({out}, inst.env());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot open file (zthru$a2_thr.fits)"), std::string::npos) << r.err;
    EXPECT_FALSE(e2e::file_exists(out));
  }
  {
    Installation inst(catalogue(), tables());
    standin::write_text_file(e2e::orvo_root() + "tools/data/thrucat.dat",
                             "*_thr.fits zthru$ " + std::string(600, 'c') + "\n");
    std::string out = out_path(inst, "long.fits");
    auto r = run_quorel({out}, inst.env());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("String too long for internal buffer"), std::string::npos) << r.err;
    EXPECT_FALSE(e2e::file_exists(out));
  }
}

TEST(QuorelEndToEnd, CommandLineOfTheBuiltTool) {
  const std::map<std::string, std::string> env = {{"ORVO_SERVER_2", "NOWHERE"}};
  auto none = run_quorel({}, env);
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "Wrong number of arguments to task (0)\n");
  auto two = run_quorel({"a.fits", "b.fits"}, env);
  EXPECT_EQ(two.status, 1);
  EXPECT_EQ(two.err, "Wrong number of arguments to task (2)\n");
  auto version = run_quorel({"v+"}, env);
  EXPECT_EQ(version.status, 1);
  EXPECT_EQ(version.err,
            "ORVO task installation date (Mon Feb  4 2002)\nWrong number of arguments to task (0)\n");
  auto quiet = run_quorel({"v=YES"}, env);
  EXPECT_EQ(quiet.err, "Wrong number of arguments to task (0)\n");
  auto bad_date = run_quorel({"date=ma-1-2000", "x.fits"}, env);
  EXPECT_EQ(bad_date.status, 1);
  EXPECT_EQ(bad_date.err, "Error in date format (ma-1-2000)\n");
}
