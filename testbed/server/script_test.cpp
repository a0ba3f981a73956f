#include "script.h"

#include <gtest/gtest.h>

using namespace standin;

TEST(StandinScript, DirectivesParseAndCountTheirUses) {
  Script s;
  std::string err;
  ASSERT_TRUE(s.parse("# comment\n"
                      "login refuse times 1\n"
                      "batch \"use db\" error 922 14 times 2\n"
                      "batch * error 1205 13 text Chosen as victim, again.\n"
                      "batch \"x\" silent 2.5 noattention\n",
                      err))
      << err;
  EXPECT_TRUE(s.take_login(Action::refuse_login));
  EXPECT_FALSE(s.take_login(Action::refuse_login));
  EXPECT_FALSE(s.take_login(Action::silent_login));
  for (int k = 0; k < 2; ++k) {
    auto r = s.take_batch("use db");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->number, 922u);
    EXPECT_EQ(r->severity, 14);
  }
  // Uses spent: the catch-all rule applies now, with its own text.
  auto r = s.take_batch("use db");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->number, 1205u);
  EXPECT_EQ(r->text, "Chosen as victim, again.");
}

TEST(StandinScript, LoginBreachesComeBeforeThePacketSize) {
  Script s;
  std::string err;
  ASSERT_TRUE(s.parse("login packetsize 4096\nlogin redirect nodeA times 1\nlogin badtoken 0x09 times 1\n", err)) << err;
  auto r = s.take_login_breach();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->action, Action::redirect);
  EXPECT_EQ(r->text, "nodeA");
  r = s.take_login_breach();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->action, Action::bad_token);
  EXPECT_EQ(r->token, 0x09);
  EXPECT_FALSE(s.take_login_breach());
  r = s.take_login(Action::packet_size);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->value, 4096);
}

TEST(StandinScript, SilenceAndTokenOptions) {
  Script s;
  std::string err;
  ASSERT_TRUE(s.parse("batch \"a\" silent 2.5 noattention\nbatch \"b\" badtoken 0x07 rows times 3\n", err)) << err;
  auto r = s.take_batch("xa");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->action, Action::silent);
  EXPECT_DOUBLE_EQ(r->seconds, 2.5);
  EXPECT_FALSE(r->answer_attention);
  r = s.take_batch("b");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->token, 0x07);
  EXPECT_TRUE(r->after_rows);
  EXPECT_EQ(r->times, 3);
  EXPECT_FALSE(s.take_batch("c"));
}

TEST(StandinScript, BadLinesAreRefusedWithTheirNumber) {
  const char* bad[] = {"bogus", "login", "login dance", "login redirect", "login badlength", "login badtoken 256", "login silent", "login packetsize 100",
                       "batch select error 1 2", "batch \"x\" error 1205", "batch \"x\" error x 2",
                       "batch \"x\" badlength huge", "batch \"x\" badtoken 300", "batch \"x\" silent",
                       "batch \"x\" close times", "batch \"x\" close extra", "batch \"x\" fly"};
  for (const char* line : bad) {
    SCOPED_TRACE(line);
    Script s;
    std::string err;
    EXPECT_FALSE(s.parse(std::string("# ok\n") + line + "\n", err));
    EXPECT_NE(err.find("script line 2"), std::string::npos) << err;
  }
}
