// Evaluation of compiled row-selection expressions, and the selected rows
// of a table.
#include <cmath>
#include <memory>
#include <string>

#include "trscode.h"
#include "tablelib/tables.h"
#include "vos/error.h"
#include "vos/format.h"
#include "vos/indef.h"
#include "vos/strings.h"

namespace tbl {

namespace {

using trs::Instr;

// A column value as a double; the row number for the row-number column.
double trsged(Table* tp, Column* col, int row) {
  if (col == nullptr) return row;
  double v = 0.0;
  tbegtd(tp, col, row, v);
  return v;
}

// A column value as text (at most 1023 characters).
void trsget(Table* tp, Column* col, int row, std::string& text) {
  if (col == nullptr) {
    text = vos::itoc(row);
    return;
  }
  tbegtt(tp, col, row, text, 1023);
}

// True when every bit of mask is set in v; values that are not numbers in
// the int range (undefined cells among them) match no mask.
bool bits_match(double v, double mask) {
  auto to_int = [](double d, long long& out) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return false;
    out = static_cast<long long>(d);  // truncation toward zero
    return true;
  };
  long long iv = 0, im = 0;
  if (!to_int(v, iv) || !to_int(mask, im)) return false;
  const auto uv = static_cast<unsigned int>(static_cast<int>(iv));
  const auto um = static_cast<unsigned int>(static_cast<int>(im));
  return (uv & um) == um;
}

// Result of one value test.
bool test_value(Table* tp, int row, const RowSelectorCode* code, const Instr& in,
                std::string& text) {
  const trs::Pool& pool = code->pool;
  if (!pool.valid(in.v1) || !pool.valid(in.v2)) vos::error(1, "trscalc: bad instruction");
  const trs::PoolValue& a = pool[in.v1];
  const trs::PoolValue& b = pool[in.v2];
  switch (in.op) {
    // An undefined cell equals INDEF and lies in no range.
    case trs::kNumEq: return trsged(tp, in.col, row) == a.number;
    case trs::kNumLe: {
      const double v = trsged(tp, in.col, row);
      return !vos::is_indef(v) && v <= a.number;
    }
    case trs::kNumRange: {
      const double v = trsged(tp, in.col, row);
      return !vos::is_indef(v) && a.number <= v && v <= b.number;
    }
    case trs::kNumGe: {
      const double v = trsged(tp, in.col, row);
      return !vos::is_indef(v) && v >= a.number;
    }
    case trs::kBitMask: return bits_match(trsged(tp, in.col, row), a.number);
    default: break;
  }
  trsget(tp, in.col, row, text);
  trstrim(text);
  switch (in.op) {
    case trs::kStrEq: return text == a.text;
    case trs::kStrLe: return vos::strcmp(text, a.text) <= 0;
    case trs::kStrRange: return vos::strcmp(text, a.text) >= 0 && vos::strcmp(text, b.text) <= 0;
    case trs::kStrGe: return vos::strcmp(text, a.text) >= 0;
    default: vos::error(1, "trscalc: bad instruction");
  }
}

}  // namespace

// The value of the expression for one row.
bool trscalc(Table* tp, int row, RowSelectorCode* code) {
  bool stack[trs::kEvalDepth] = {};
  int top = 0;  // values on the stack
  bool jumped = false;
  std::size_t pc = 0;
  std::string text;
  while (true) {
    if (top >= trs::kEvalDepth) vos::error(1, "trscalc: stack overflow");
    if (pc >= code->code.size()) vos::error(1, "trscalc: bad instruction");
    const Instr& in = code->code[pc];
    switch (in.op) {
      case trs::kEnd: return top == 0 ? true : stack[0];
      case trs::kCol: break;
      case trs::kAnd:
      case trs::kOr:
        if (jumped) break;
        if (top < 2) vos::error(1, "trscalc: bad instruction");
        --top;
        stack[top - 1] = in.op == trs::kAnd ? (stack[top - 1] && stack[top])
                                            : (stack[top - 1] || stack[top]);
        break;
      case trs::kNot:
        if (top > 0) stack[top - 1] = !stack[top - 1];
        break;
      default:
        if (in.op < trs::kNumEq || in.op > trs::kBitMask)
          vos::error(1, "trscalc: bad instruction");
        stack[top++] = test_value(tp, row, code, in, text);
    }
    const bool has_top = top > 0;
    if (in.jump_true != 0 && has_top && stack[top - 1]) {
      pc = static_cast<std::size_t>(in.jump_true);
      jumped = true;
    } else if (in.jump_false != 0 && has_top && !stack[top - 1]) {
      pc = static_cast<std::size_t>(in.jump_false);
      jumped = true;
    } else {
      ++pc;
      jumped = false;
    }
  }
}

// True when row is a candidate of the code and the expression holds.
bool trseval(Table* tp, int row, RowSelectorCode* code) {
  if (code == nullptr || code->magic != trs::kMagic) vos::error(1, "trseval: not pointer to code");
  return rstint(code->rows, row) && trscalc(tp, row, code);
}

// Frees compiled code.
void trsclose(RowSelectorCode*& code) {
  if (code == nullptr || code->magic != trs::kMagic) vos::error(1, "trsclose: not pointer to code");
  code->magic = 0;
  delete code;
  code = nullptr;
}

// The rows of the table that satisfy the expression.
RowSet* trsrows(Table* tp, std::string_view expr) {
  RowSelectorCode* raw = trsopen(tp, expr);
  std::unique_ptr<RowSelectorCode> code(raw);
  if (code->code.front().op == trs::kEnd) return rstcoy(code->rows);
  auto free_set = [](RowSet* s) { rstfre(s); };
  std::unique_ptr<RowSet, decltype(free_set)> out(rstcre(0, 0), free_set);
  const int candidates = rstnem(code->rows);
  for (int i = 1; i <= candidates; ++i) {
    const int row = rstrom(code->rows, i);
    if (row != 0 && trscalc(tp, row, code.get())) rstadl(out.get(), row);
  }
  return out.release();
}

}  // namespace tbl
