// Unit tests of the server's values (wire bytes and text, both ways) and
// of the procedure calls of language batches.
#include "values.h"

#include <gtest/gtest.h>

#include "proccall.h"
#include "textutil.h"

using namespace standin;

namespace {

ColumnFormat format(std::uint8_t type, std::uint32_t max = 0, std::uint8_t scale = 0) {
  ColumnFormat f;
  f.type = type;
  f.max_length = max ? max : static_cast<std::uint32_t>(fixed_size(type));
  f.scale = scale;
  return f;
}

std::string bytes_of(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

}  // namespace

TEST(StandinValues, WireBytesAndTextBothWays) {
  struct Case {
    std::uint8_t type;
    std::uint32_t max;
    const char* hex;
    const char* text;
  } cases[] = {
      {56, 0, "fffffffe", "-2"},          {38, 4, "0000002a", "42"},        {38, 2, "fff7", "-9"},
      {38, 1, "ff", "255"},               {48, 0, "07", "7"},              {50, 0, "01", "1"},
      {109, 8, "4004000000000000", "2.5"}, {109, 4, "bfc00000", "-1.5"},   {62, 0, "c000000000000000", "-2"},
      {110, 8, "0000000180000002", "644245.0946"}, {110, 4, "fffffed4", "-0.0300"},
      {122, 0, "0000012c", "0.0300"},
      {111, 8, "00008eac0000012c", "2000-01-01 00:00:01.000"}, {111, 4, "8eac005a", "2000-01-01 01:30:00.000"},
      {61, 0, "0000000000000000", "1900-01-01 00:00:00.000"},
      {39, 10, "6869", "hi"},              {37, 10, "dead00", "0xdead00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ColumnFormat f = format(c.type, c.max);
    auto text = value_text(f, bytes_of(c.hex));
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, c.text);
    WireValue back;
    ASSERT_TRUE(value_from_text(f, c.text, back));
    EXPECT_EQ(hex_digits(*back), c.hex);
  }
  // NULL, a value of the wrong size, texts that do not fit.
  EXPECT_FALSE(value_text(format(38, 4), WireValue{}));
  EXPECT_FALSE(value_text(format(56), std::string("\1\2", 2)));
  EXPECT_FALSE(value_text(format(111, 8), bytes_of("00000000ffffffff")));  // ticks beyond a day
  WireValue out;
  EXPECT_FALSE(value_from_text(format(38, 2), "40000", out));
  EXPECT_FALSE(value_from_text(format(48), "-1", out));
  EXPECT_FALSE(value_from_text(format(56), "12x", out));
  EXPECT_FALSE(value_from_text(format(111, 8), "not a date", out));
  EXPECT_TRUE(value_from_text(format(39, 3), "abcdef", out));
  EXPECT_EQ(*out, "abc");  // cut to the maximum length
  // A numeric value: sign byte and magnitude, with its scale.
  EXPECT_EQ(*value_text(format(108, 5, 2), bytes_of("0100003039")), "-123.45");
  EXPECT_EQ(*value_text(format(108, 5, 3), bytes_of("0000000005")), "0.005");
}

TEST(StandinValues, BindValuesByClass) {
  EXPECT_EQ(bind_value(format(38, 4), bytes_of("0000002a")).i, 42);
  EXPECT_EQ(bind_value(format(110, 8), bytes_of("0000000000006d60")).d, 2.8);
  EXPECT_EQ(bind_value(format(37, 4), bytes_of("cafe")).kind, BindValue::blob);
  EXPECT_EQ(bind_value(format(111, 8), bytes_of("00008eac0000012c")).s, "2000-01-01 00:00:01.000");
  EXPECT_EQ(bind_value(format(39, 4), WireValue{}).kind, BindValue::null);
}

TEST(StandinValues, LanguageCallsReadTheirParameters) {
  std::vector<Tok> toks;
  std::string err;
  ASSERT_TRUE(tokenize("echo_params @a = 'it''s', -5, 2.5, 0xcafe, null, bare, @o = 7 output", toks, err));
  ProcCall call;
  ASSERT_TRUE(parse_language_call(toks, call, err)) << err;
  EXPECT_EQ(call.name, "echo_params");
  ASSERT_EQ(call.params.size(), 7u);
  const char* want[] = {
      "@a status=0 type=39 length=4 data=69742773 value=it's",
      "(unnamed) status=0 type=38 length=4 data=fffffffb value=-5",
      "(unnamed) status=0 type=109 length=8 data=4004000000000000 value=2.5",
      "(unnamed) status=0 type=37 length=2 data=cafe value=0xcafe",
      "(unnamed) status=0 type=39 length=4 data=NULL value=NULL",
      "(unnamed) status=0 type=39 length=4 data=62617265 value=bare",
      "@o status=1 type=38 length=4 data=00000007 value=7",
  };
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(describe_param(call.params[i]), want[i]);
  EXPECT_EQ(find_param(call, "o", 0), &call.params[6]);
  EXPECT_EQ(find_param(call, "@A", 9), &call.params[0]);
  EXPECT_EQ(find_param(call, "@none", 1), &call.params[2]);  // by position among the unnamed
  for (const char* bad : {"p @a", "p @a = @b", "p 1 2", "p 'x' outpt"}) {
    ASSERT_TRUE(tokenize(bad, toks, err));
    EXPECT_FALSE(parse_language_call(toks, call, err)) << bad;
  }
}
