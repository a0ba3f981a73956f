// Parser of row-selection expressions.
//
//   sentence:   expression END
//   expression: (empty) | "(" expression ")" | expression "," expression
//             | expression ";" expression | "!" expression
//             | NUMBER "=" test | STRING "=" test
//   test:       "(" test ")" | test "," test | "!" test | NUMBER | STRING
//             | ":" NUMBER | ":" STRING | NUMBER ":" NUMBER | STRING ":" STRING
//             | NUMBER ":" | STRING ":" | "%" NUMBER
//
// "!" binds tighter than "," and ";" (left-associative).  A column test
// takes a single test: a "," after it belongs to the expression, so a list
// of alternatives must stand in parentheses.
//
// Written as a shift-reduce parser by hand: it keeps the depth its state
// stack would have and fails with "yacc stack overflow" past kParseDepth
// states, so nesting is bounded whatever the text.  Reductions happen as
// soon as they are due (before the next token is examined), so an action
// such as a column look-up runs before a later syntax error is seen.
#include <string>

#include "trslex.h"
#include "tablelib/tables.h"
#include "vos/format.h"

namespace tbl::trs {

namespace {

struct SyntaxError {};
struct StackOverflow {};
struct ActionFailed {};

class Parser {
 public:
  Parser(Compile& cs, Lexer& lx) : cs_(cs), lx_(lx) {}

  // sentence: expression END
  int sentence() {
    const int e = expr_list();
    if (peek() != kTokEnd) throw SyntaxError{};
    shift();
    return cs_.tree.make(kEnd, e, 0);
  }

 private:
  int peek() {
    if (la_ < 0) la_ = lx_.next(laval_);
    return la_;
  }
  // Shifts the lookahead token; returns its value.
  int shift() {
    push();
    la_ = -1;
    return laval_;
  }
  void push() {
    if (depth_ >= kParseDepth) throw StackOverflow{};
    ++depth_;
  }
  void reduce(int rhs) { depth_ -= rhs - 1; }

  // expression {("," | ";") expression}
  int expr_list() {
    int left = expr_primary();
    while (peek() == kTokComma || peek() == kTokSemicolon) {
      shift();
      const int right = expr_primary();
      reduce(3);
      left = cs_.tree.make(kAnd, left, right);
    }
    return left;
  }

  int expr_primary() {
    switch (peek()) {
      case kTokOpen: {
        shift();
        const int e = expr_list();
        if (peek() != kTokClose) throw SyntaxError{};
        shift();
        reduce(3);
        return e;
      }
      case kTokNot: {
        shift();
        const int e = expr_primary();
        reduce(2);
        return cs_.tree.make(kNot, e, 0);
      }
      case kTokNumber:
      case kTokString: {
        const bool by_number = peek() == kTokNumber;
        const int v = shift();
        if (peek() != kTokEquals) throw SyntaxError{};
        shift();
        const int t = test_primary();
        reduce(3);
        Column* col = nullptr;
        if (!(by_number ? by_num(v, col) : by_name(v, col))) {
          cs_.errtext = "column not found";
          throw ActionFailed{};
        }
        return cs_.tree.make(kCol, t, 0, col);
      }
      default:  // the empty expression
        push();
        return 0;
    }
  }

  // test {"," test}, inside parentheses only.
  int test_list() {
    int left = test_primary();
    while (peek() == kTokComma) {
      shift();
      const int right = test_primary();
      reduce(3);
      left = cs_.tree.make(kOr, left, right);
    }
    return left;
  }

  int test_primary() {
    const int tok = peek();
    switch (tok) {
      case kTokOpen: {
        shift();
        const int t = test_list();
        if (peek() != kTokClose) throw SyntaxError{};
        shift();
        reduce(3);
        return t;
      }
      case kTokNot: {
        shift();
        const int t = test_primary();
        reduce(2);
        return cs_.tree.make(kNot, t, 0);
      }
      case kTokNumber:
      case kTokString: {
        const bool num = tok == kTokNumber;
        const int v1 = shift();
        if (peek() != kTokColon) return cs_.tree.make(num ? kNumEq : kStrEq, -v1, 0);
        shift();
        if (peek() == tok) {
          const int v2 = shift();
          reduce(3);
          return cs_.tree.make(num ? kNumRange : kStrRange, -v1, -v2);
        }
        reduce(2);
        return cs_.tree.make(num ? kNumGe : kStrGe, -v1, 0);
      }
      case kTokColon: {
        shift();
        const int t = peek();
        if (t != kTokNumber && t != kTokString) throw SyntaxError{};
        const int v = shift();
        reduce(2);
        return cs_.tree.make(t == kTokNumber ? kNumLe : kStrLe, -v, 0);
      }
      case kTokPercent: {
        shift();
        if (peek() != kTokNumber) throw SyntaxError{};
        const int v = shift();
        reduce(2);
        return cs_.tree.make(kBitMask, -v, 0);
      }
      default:
        throw SyntaxError{};
    }
  }

  // Column by name, or the row number for "row" when no column is so named.
  bool by_name(int pos, Column*& col) {
    const std::string& name = (*cs_.pool)[pos].text;
    tbcfnd1(cs_.tp, name, col);
    return col != nullptr || name == "row";
  }

  // Column by number (the value truncated); numbers beyond the int range
  // name no column.
  bool by_num(int pos, Column*& col) {
    const double v = (*cs_.pool)[pos].number;
    if (!(v >= 1.0 && v < 2147483648.0)) return false;
    col = tbcnum(cs_.tp, static_cast<int>(v));
    return col != nullptr;
  }

  Compile& cs_;
  Lexer& lx_;
  int depth_ = 1;  // the start state
  int la_ = -1;    // lookahead token, -1 when none has been read
  int laval_ = 0;
};

}  // namespace

// Parses the expression read from fd; 0 when it is not one.
int trsparse(Compile& cs, int fd, std::string& last_read) {
  Lexer lx(cs, fd);
  int root = 0;
  try {
    Parser p(cs, lx);
    root = p.sentence();
  } catch (const SyntaxError&) {
    vos::eprintf("syntax error\n");
  } catch (const StackOverflow&) {
    vos::eprintf("yacc stack overflow\n");
  } catch (const ActionFailed&) {
  }
  last_read = lx.last_read();
  return root;
}

}  // namespace tbl::trs
