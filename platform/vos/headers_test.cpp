// Every public header compiles on its own and together.
#include "vos/vos.h"

#include <gtest/gtest.h>

TEST(VosHeaders, IndefValues) {
  EXPECT_TRUE(vos::is_indef(vos::INDEFI));
  EXPECT_TRUE(vos::is_indef(static_cast<double>(vos::INDEFR)));
  EXPECT_FALSE(vos::is_indef(0.0));
}
