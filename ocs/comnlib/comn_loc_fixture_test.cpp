// Loads the common library's locales from the test installation tree
// (testbed/home), so that its files stay in the formats the loaders read.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "comnlib/comn_cs.h"
#include "comnlib/comn_err.h"
#include "comnlib/comn_locdate.h"
#include "comnlib/comn_path.h"

namespace {

// The enterprise number set aside for documentation, then 1 for this tree.
constexpr char kOurArc[] = "1.3.6.1.4.1.32473.1.";

class FixtureHome : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path home = QUOREL_FIXTURE_HOME;
    // A missing tree is a failure: a wrong path must not pass as a skip.
    ASSERT_TRUE(std::filesystem::exists(home / "locales" / "locales.dat"))
        << "no fixture tree at " << home;
    home_ = std::filesystem::canonical(home).string();
    intl_sethome(home_.c_str());
  }
  void TearDown() override {
    comn_intl_exit(&ctx_);
    com_errdrop(&ctx_);
    intl_sethome(nullptr);
  }
  std::string home_;
  COMN_CONTEXT ctx_{};
};

TEST_F(FixtureHome, LoadsTheInstalledLocales) {
  char path[1025] = {};
  ASSERT_EQ(comn_intl_init(&ctx_, path, sizeof path), 1) << path;
  comn_loccache* def = nullptr;
  ASSERT_EQ(comn_intl_load(&ctx_, "default", -9, &def, path, sizeof path), 1) << path;
  comn_loccache* it = nullptr;
  ASSERT_EQ(comn_intl_load(&ctx_, "it_IT", -9, &it, path, sizeof path), 1) << path;
  EXPECT_EQ(def->chardesc, it->chardesc);
  // The tree's own numbering: global ids under our arc, set and sort-order
  // ids of the tree's files.
  ASSERT_NE(ctx_.intlstate, nullptr);
  for (int kind : {COMN_GID_CHARSET, COMN_GID_SORTORDER, COMN_GID_LANGUAGE}) {
    ASSERT_NE(ctx_.intlstate->gid[kind], nullptr) << kind;
    for (const comn_object* o = ctx_.intlstate->gid[kind]; o != nullptr; o = o->next)
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(o->id), o->idlen).rfind(kOurArc, 0), 0U)
          << std::string(reinterpret_cast<const char*>(o->id), o->idlen);
  }
  comn_object* iso1 = nullptr;
  ASSERT_EQ(comn__lookup_id(&ctx_, COMN_GID_CHARSET, "iso88591", -9, &iso1), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(iso1->id), iso1->idlen),
            std::string(kOurArc) + "1.1");
  EXPECT_EQ(it->chardesc->attr->id, 1);
  ASSERT_NE(it->sortorder, nullptr);
  EXPECT_STREQ(it->sortorder->desc->name, "binary");
  EXPECT_STREQ(it->sortorder->desc->charset, "iso_1");
  EXPECT_EQ(it->sortorder->desc->id, 1);
  EXPECT_EQ(it->sortorder->table, nullptr);
  comn_locale loc{};
  for (auto& c : loc.cat) c = it;
  ctx_.deflocale = &loc;
  EXPECT_EQ(com_intl_dateorder_id(&ctx_, nullptr), 2);
  char buf[32];
  int n = 0;
  ASSERT_EQ(comn_intl_day(&ctx_, nullptr, 0, 0, buf, sizeof buf, &n), 1);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "luned\xEC");
  // iso_1 to utf8 and back through the installed tables.
  COMN_DATAFORMAT f{};
  f.maxlength = 16;
  std::uint8_t u8[16];
  std::int32_t m = 0;
  const std::uint8_t src[] = {'c', 0xE8, 0xFF};
  f.maxlength = 3;
  ASSERT_EQ(comn__convt_to_utf8(&ctx_, 0, &f, it, src, u8, sizeof u8, &m), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(u8), static_cast<size_t>(m)), "c\xC3\xA8\xC3\xBF");
  std::uint8_t back[16];
  f.maxlength = sizeof back;
  ASSERT_EQ(comn__convt_from_utf8(&ctx_, 0, u8, m, &f, it, back, &m), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(back), static_cast<size_t>(m)), "c\xE8\xFF");
  // Messages of us_english.
  comn_locale en{};
  for (auto& c : en.cat) c = def;
  ctx_.deflocale = &en;
  ASSERT_EQ(com_errinit(&ctx_), 1);
  comn_errparm p;
  com_ep_ss(&p, "comn_test", "x");
  char msg[200];
  int len = 0;
  ASSERT_EQ(com_build_errmsg(&ctx_, ctx_.errfile, (1 << 24) | (1 << 16) | 2, &p, nullptr, 0, 4,
                             msg, sizeof msg, &len),
            1);
  EXPECT_EQ(std::string(msg, static_cast<size_t>(len)),
            "comn_test: common library: internal: invalid argument x");
  ctx_.deflocale = nullptr;
}

// Object ids anywhere in the sources -- fixtures, fuzz seeds, headers --
// are numbered under our arc: no other organisation's enterprise number.
TEST(OurObjectIds, NoEnterpriseArcButOursInTheSources) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(QUOREL_FIXTURE_HOME).parent_path().parent_path();
  ASSERT_TRUE(fs::exists(root / "CMakeLists.txt")) << root;
  // The arc of enterprise numbers (written here only as part of ours, so
  // that this file passes its own check), and our number under it.
  const std::string ours = "32473";
  const std::string arc = kOurArc;
  const std::string enterprises = arc.substr(0, arc.find(ours));
  std::vector<std::string> foreign;
  std::size_t files = 0;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = it->path().filename().string();
    if (it->is_directory() && (name.rfind('.', 0) == 0 || (it.depth() == 0 && name.rfind("build", 0) == 0))) {
      it.disable_recursion_pending();  // version control and build trees are not sources
      continue;
    }
    if (!it->is_regular_file()) continue;
    std::ifstream in(it->path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ++files;
    for (std::size_t at = text.find(enterprises); at != std::string::npos; at = text.find(enterprises, at + 1)) {
      const std::size_t end = at + enterprises.size() + ours.size();
      const bool is_ours = text.compare(at + enterprises.size(), ours.size(), ours) == 0 &&
                           (end >= text.size() || !std::isdigit(static_cast<unsigned char>(text[end])));
      if (!is_ours)
        foreign.push_back(fs::relative(it->path(), root).string() + ": " + text.substr(at, 30));
    }
  }
  EXPECT_GT(files, 100U);  // the walk saw the tree
  EXPECT_TRUE(foreign.empty()) << foreign.size() << " foreign ids, the first " << foreign[0];
}

}  // namespace
