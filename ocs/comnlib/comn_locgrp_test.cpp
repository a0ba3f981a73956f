// Tests of reading integer groups from a localisation entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_loc.h"
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

}  // namespace
