// Result binding by column name: matching, the per-row copy of text values
// into bounded buffers, null checks and the limit on bindings.
#include <algorithm>
#include <cstring>

#include "pravel_test_fixture.h"

namespace {

// The ten-integer date-parts record as the caller holds it.
struct DBDATEPARTS_like {
  int v[10];
};

class QeltBind : public PravelTest {
 protected:
  void SetUp() override {
    PravelTest::SetUp();
    pravel_setup(1, 3, "");
    pravel_query_setup(1, "m", 1, QELT_SQL, "SRV1", "db", counting_handler);
    qelt_query(1, "select stuff");
  }
  static void result(std::vector<std::string> columns,
                     std::vector<std::vector<std::optional<std::string>>> rows) {
    fakedb::Answer a;
    a.match = "select stuff";
    fakedb::ResultSet rs;
    rs.columns = std::move(columns);
    rs.rows = std::move(rows);
    a.results = {rs};
    fakedb::script(a);
  }
  static std::vector<std::string> kept() {
    std::vector<std::string> out;
    char line[81];
    while (qelt_get_msg(line) == 0) out.emplace_back(line);
    return out;
  }
};

TEST_F(QeltBind, RepeatedColumnNameBindsTheFirst) {
  result({"file_name", "file_name"}, {{"first", "second"}});
  char buf[64];
  qelt_bind_string(1, "FILE_NAME  ", buf, 63);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(std::string(buf, 5), "first");
  auto binds = fakedb::calls({"dbbind("});
  EXPECT_EQ(binds, (std::vector<std::string>{"dbbind(1,12,63)"}));
  EXPECT_EQ(g_handler_calls, 0);
}

TEST_F(QeltBind, ColumnWithoutBindingFailsTheStatement) {
  result({"a", "b"}, {{"1", "2"}});
  int a = 0;
  qelt_bind_int(1, "a", &a);
  EXPECT_EQ(pravel_get_exec(1), -1);
  EXPECT_EQ(g_handler_calls, 1);
  auto lines = kept();
  EXPECT_EQ(lines.back(), "Missing bind statement for column <b> in this query");
}

TEST_F(QeltBind, BindingWithoutColumnLeavesTheVariableAlone) {
  result({"a"}, {{"5"}});
  int a = 0, b = 77;
  qelt_bind_int(1, "a", &a);
  qelt_bind_int(1, "b", &b);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 77);
  EXPECT_EQ(g_handler_calls, 0);
}

TEST_F(QeltBind, TextIsCutToTheBuffersCapacity) {
  std::string big(20000, 'c');
  big[15999] = 'E';
  result({"comment"}, {{big}, {std::string("")}, {std::string("short")}});
  // Exactly the tool's buffer: 16,000 bytes and a NUL.
  std::vector<char> buf(16001, '#');
  int len = -1;
  qelt_bind_text(1, "comment", buf.data(), &len, 16000);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(len, 16000);
  EXPECT_EQ(buf[15999], 'E');
  EXPECT_EQ(buf[16000], '#');  // nothing written past the capacity
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(len, 0);  // an empty value: length 0, buffer untouched
  EXPECT_EQ(buf[0], 'c');
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(len, 5);
  EXPECT_EQ(std::string(buf.data(), 6), "shortc");  // no NUL is added
  EXPECT_EQ(pravel_get_exec(1), 1);
}

TEST_F(QeltBind, NullChecks) {
  result({"a", "t"}, {{std::nullopt, std::string("x")}});
  int a = 0, unbound = 0;
  char t[8];
  int tl = 0;
  qelt_bind_int(1, "a", &a);
  qelt_bind_text(1, "t", t, &tl, 8);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(qelt_is_null(1, &a), 2);
  EXPECT_EQ(qelt_is_null(1, t), 3);
  EXPECT_EQ(qelt_is_null(1, &unbound), -1);
  EXPECT_EQ(kept().back(), "Can't check for database NULLs on unbound application variable");
}

TEST_F(QeltBind, NullDatetimeGivesYearZeroMonthMinusOne) {
  result({"d"}, {{std::nullopt}});
  DBDATEPARTS_like parts;
  std::memset(&parts, 0x55, sizeof parts);
  qelt_bind_datetime(1, "d", &parts);
  EXPECT_EQ(pravel_get_exec(1), 0);
  EXPECT_EQ(parts.v[0], 0);
  EXPECT_EQ(parts.v[1], -1);
  for (int i = 2; i < 10; ++i) EXPECT_EQ(parts.v[i], 0) << i;
}

TEST_F(QeltBind, MoreThan250BindingsAreRefused) {
  static char vars[251][4];
  for (int i = 0; i < 250; ++i)
    ASSERT_EQ(qelt_bind_string(1, ("c" + std::to_string(i)).c_str(), vars[i], 3), 0);
  EXPECT_EQ(qelt_bind_string(1, "c250", vars[250], 3), -1);
  EXPECT_EQ(g_handler_calls, 1);
  static char texts[251][4];
  int len = 0;
  for (int i = 0; i < 250; ++i)
    ASSERT_EQ(qelt_bind_text(1, ("t" + std::to_string(i)).c_str(), texts[i], &len, 3), 0);
  EXPECT_EQ(qelt_bind_text(1, "t250", texts[250], &len, 3), -1);
}

TEST_F(QeltBind, SetNullReportsRefusal) {
  int v = -1;
  EXPECT_EQ(qelt_set_null(1, 3, 0, &v), 0);
  EXPECT_EQ(qelt_set_null(1, 5, 0, &v), -1);
  EXPECT_EQ(kept().back(), "Can't define NULL value for this type");
}

}  // namespace
