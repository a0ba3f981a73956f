// The shapes of the "set" statements the server knows.
#include "setoptions.h"

#include <algorithm>
#include <iterator>

#include "textutil.h"

namespace standin {
namespace {

enum class Shape { flag, number, name, values_then_switch, isolation, other };

struct OptionShape {
  const char* name;
  Shape shape;
};

const OptionShape kShapes[] = {
    {"parseonly", Shape::flag},       {"estimate", Shape::flag},
    {"showplan", Shape::flag},        {"noexec", Shape::flag},
    {"arithignore", Shape::flag},     {"nocount", Shape::flag},
    {"arithabort", Shape::flag},      {"browse", Shape::flag},
    {"confirm", Shape::flag},         {"spid", Shape::flag},
    {"chained", Shape::flag},         {"fipsflagger", Shape::flag},
    {"textsize", Shape::number},      {"rowcount", Shape::number},
    {"datefirst", Shape::number},     {"language", Shape::name},
    {"dateformat", Shape::name},      {"offsets", Shape::values_then_switch},
    {"statistics", Shape::values_then_switch}, {"errlvl", Shape::values_then_switch},
    {"auth", Shape::values_then_switch},       {"identity_insert", Shape::values_then_switch},
    {"transaction", Shape::isolation},
};

Shape shape_of(const std::string& option) {
  const auto* s = std::find_if(std::begin(kShapes), std::end(kShapes),
                               [&](const OptionShape& k) { return option == k.name; });
  return s == std::end(kShapes) ? Shape::other : s->shape;
}

bool is_switch(const std::string& w) { return w == "on" || w == "off"; }

bool is_count(const std::string& w) {
  long v = 0;
  return parse_long(w, v) && v >= 0;
}

// The index of the word a statement (`w`, not empty) went wrong at -- the
// last word when it ends too soon -- or -1 when it has its option's shape.
long wrong_word(const std::vector<std::string>& w) {
  const long n = static_cast<long>(w.size());
  switch (shape_of(w[0])) {
    case Shape::flag:
    case Shape::number:
      if (n < 2) return 0;
      if (shape_of(w[0]) == Shape::flag ? !is_switch(w[1]) : !is_count(w[1])) return 1;
      return n > 2 ? 2 : -1;
    case Shape::name:
      if (n < 2) return 0;
      return n > 2 ? 2 : -1;
    case Shape::values_then_switch:
      return n < 3 || !is_switch(w[static_cast<std::size_t>(n - 1)]) ? n - 1 : -1;
    case Shape::isolation:
      if (n < 2 || w[1] != "isolation") return std::min(1L, n - 1);
      if (n < 3 || w[2] != "level") return std::min(2L, n - 1);
      if (n < 4) return 2;
      if (!is_count(w[3])) return 3;
      return n > 4 ? 4 : -1;
    case Shape::other:
      return n < 2 ? 0 : -1;
  }
  return -1;
}

}  // namespace

bool check_set_statement(const std::vector<std::string>& words, SqlError& e) {
  const long at = words.empty() ? -2 : wrong_word(words);
  if (at == -1) return true;
  const std::string near = at < 0 ? std::string("set") : words[static_cast<std::size_t>(at)];
  e = {102, 15, 1, "Incorrect syntax near '" + near + "'."};
  return false;
}

}  // namespace standin
