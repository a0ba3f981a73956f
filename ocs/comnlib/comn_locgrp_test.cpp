// Tests of reading integer groups from a localisation entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_loc.h"
#include "comnlib/comn_locdate.h"
#include "comnlib/comn_loc_testhome.h"

namespace {

TEST(ComnReadGrp, Groups) {
  ComnTestHome home;
  struct Case {
    const char* values;
    int r;
    std::vector<std::int32_t> list;
  } cases[] = {
      {"3, 4, 5", 1, {3, 4, 5}}, {"-1, 7", 1, {-1}}, {"0, 3", 0, {}},
      {"-2", 0, {}},             {"3, x", 0, {}},    {"12", 1, {12}},
  };
  for (const auto& c : cases) {
    home.put("g.loc", std::string(";\n[s]\ngrp = ") + c.values + "\n");
    INTL_LOCFILE lf;
    ASSERT_EQ(intl_open((home.dir() + "/g.loc").c_str(), &lf), 1);
    int st = 0;
    ASSERT_NE(intl_nextsection(&lf, &st), nullptr);
    ASSERT_NE(intl_nextentry(&lf, &st), nullptr);
    COMN_CONTEXT ctx{};
    std::int32_t* list = nullptr;
    int n = -1;
    EXPECT_EQ(comn__read_grp(&ctx, &lf, nullptr, &list, &n), c.r) << c.values;
    EXPECT_EQ(std::vector<std::int32_t>(list, list + (list != nullptr ? n : 0)), c.list) << c.values;
    comn_free(list);
    intl_close(&lf);
  }
}

TEST(ComnReadGrp, DayNamesAndFormatLists) {
  ComnTestHome home;
  home.put("d.loc", ";\n[s]\ndays = lun, mar\n");
  INTL_LOCFILE lf;
  ASSERT_EQ(intl_open((home.dir() + "/d.loc").c_str(), &lf), 1);
  int st = 0;
  intl_nextsection(&lf, &st);
  intl_nextentry(&lf, &st);
  char* names[3] = {};
  std::int32_t lens[3] = {};
  EXPECT_EQ(comn__read_daymon(&lf, 3, names, lens), 0);  // only two follow
  EXPECT_EQ(std::string(names[1], static_cast<size_t>(lens[1])), "mar");
  for (char* n : names) comn_free(n);
  EXPECT_EQ(comn__read_daymon(&lf, 0, names, lens), 1);
  intl_close(&lf);

  struct Node {
    std::int32_t value, a, b;
    const Node* next;
  };
  const Node n2{5, 0, 0, nullptr}, n1{3, 0, 0, &n2};
  EXPECT_EQ(comn__chk_format(4, &n1, 0), 1);
  EXPECT_EQ(comn__chk_format(5, &n1, 0), 0);
  EXPECT_EQ(comn__chk_format(5, &n1, 1), 1);
  EXPECT_EQ(comn__build_parsetree(), 1);
}

}  // namespace
