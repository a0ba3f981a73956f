// Compilation of a row-selection expression into code.
//
// The parse tree is first simplified (empty operands dropped, "!" with an
// empty operand made a condition that never holds).  Tests on the row
// number that are conjuncts of the whole expression are then answered at
// once with row-set arithmetic and cut out of the tree, giving the rows that
// can satisfy the expression at all; what remains is emitted as a postfix
// program whose "and"/"or" jumps skip a right operand that cannot change
// the result.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "trscode.h"
#include "tablelib/tables.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/format.h"
#include "vos/strings.h"

namespace tbl::trs {

namespace {

bool is_value_test(int type) { return type >= kNumEq && type <= kBitMask; }

// ---- tree walks (children and parents count only when positive) -------------

// First node of the subtree in postorder.
int trsfie(Tree& t, int node) {
  while (true) {
    if (t[node].left > 0)
      node = t[node].left;
    else if (t[node].right > 0)
      node = t[node].right;
    else
      return node;
  }
}

// Postorder successor; 0 after the root.
int trsnee(Tree& t, int node) {
  const int p = t[node].parent;
  if (p <= 0) return 0;
  if (t[p].left == node && t[p].right > 0) return trsfie(t, t[p].right);
  return p;
}

bool is_row_test(Tree& t, int node) { return t[node].type == kCol && t[node].col == nullptr; }

// Column of the nearest column-test node at or above node.
Column* trscoe(Tree& t, int node) {
  for (; node > 0; node = t[node].parent)
    if (t[node].type == kCol) return t[node].col;
  return nullptr;
}

// True when a row-number test is met walking in postorder from the first
// node of node's subtree up to (not including) node's parent.
bool trsove(Tree& t, int node) {
  const int stop = t[node].parent;
  for (int n = trsfie(t, node); n > 0 && n != stop; n = trsnee(t, n))
    if (is_row_test(t, n)) return true;
  return false;
}

// True when a row-number test lies strictly above node.
bool trsune(Tree& t, int node) {
  for (int n = t[node].parent; n > 0; n = t[n].parent)
    if (is_row_test(t, n)) return true;
  return false;
}

// Replaces child by repl (a node or 0) in child's parent.
void relink(Tree& t, int child, int repl, const char* who) {
  const int p = t[child].parent;
  if (t[p].left == child)
    t[p].left = repl;
  else if (t[p].right == child)
    t[p].right = repl;
  else
    vos::error(1, vos::sprintf("%s: bad links in binary tree", who));
  if (repl > 0) t[repl].parent = p;
  t[child].parent = 0;
}

// Detaches node from its parent.
void trs_snip_tree(Tree& t, int node) { relink(t, node, 0, "trs_snip_tree"); }

// Exchanges a not node with the column-test node below it, so the not
// applies to the column's test: parent -> column -> not -> test.
void trs_xcg_tree(Tree& t, int notnode) {
  const int col = t[notnode].left;
  relink(t, notnode, col, "trs_xcg_tree");
  const int test = t[col].left;
  t[col].left = notnode;
  t[notnode].parent = col;
  t[notnode].left = test;
  if (test > 0) t[test].parent = notnode;
}

// Value positions of a value test; a range's v1 is its smaller bound.
void trsvae(Tree& t, const Pool& pool, int node, int& v1, int& v2) {
  v1 = t[node].left < 0 ? -t[node].left : 0;
  v2 = t[node].right < 0 ? -t[node].right : v1;
  const int type = t[node].type;
  if ((type == kNumRange || type == kStrRange) && pool.valid(v1) && pool.valid(v2)) {
    const bool swap = type == kNumRange ? pool[v1].number > pool[v2].number
                                        : vos::strcmp(pool[v1].text, pool[v2].text) > 0;
    if (swap) std::swap(v1, v2);
  }
}

// Simplifies the subtree below an expression-level node: an "and" with an
// empty operand is its other operand, "!" of nothing never holds, "!" of
// such a condition is no condition, and an "and" with one is one itself.
// Returns the replacement (0 for no condition).  Recursion depth is bounded
// by the parser's nesting limit.
int simplify(Tree& t, int node) {
  if (node <= 0) return 0;
  switch (t[node].type) {
    case kAnd: {
      const int l = simplify(t, t[node].left);
      const int r = simplify(t, t[node].right);
      if (l > 0 && t[l].type == kFalse) return l;
      if (r > 0 && t[r].type == kFalse) return r;
      if (l == 0) return r;
      if (r == 0) return l;
      t[node].left = l;
      t[node].right = r;
      t[l].parent = t[r].parent = node;
      return node;
    }
    case kNot: {
      const int l = simplify(t, t[node].left);
      if (l == 0) {
        t[node].type = kFalse;
        return node;
      }
      if (t[l].type == kFalse) return 0;
      t[node].left = l;
      t[l].parent = node;
      return node;
    }
    default:  // a column test: its test tree is never empty
      return node;
  }
}

// A number as a bound within 1..n: floor or ceiling clipped, never
// converting a value beyond the int range.
long long clip_floor(double v, int n) {
  if (std::isnan(v)) return 0;
  const double f = std::floor(v);
  return f >= n ? n : (f < 0 ? 0 : static_cast<long long>(f));
}
long long clip_ceil(double v, int n) {
  if (std::isnan(v)) return static_cast<long long>(n) + 1;
  const double c = std::ceil(v);
  return c <= 1 ? 1 : (c > n ? static_cast<long long>(n) + 1 : static_cast<long long>(c));
}

RowSet* range_set(long long lo, long long hi) {
  if (lo > hi) return rstcre(0, 0);
  return rstcre(static_cast<int>(lo), static_cast<int>(hi));
}

struct SetStack {
  std::vector<RowSet*> sets;
  ~SetStack() {
    for (RowSet*& s : sets) rstfre(s);
  }
};

}  // namespace

// One step of row-number evaluation on a stack of row sets.
void trs_roweval(int op, double v1, double v2, int n, std::vector<RowSet*>& stack) {
  auto pop = [&stack] {
    RowSet* s = stack.back();
    stack.pop_back();
    return s;
  };
  if (stack.size() >= 32) vos::error(1, "trs_roweval: stack overflow");
  switch (op) {
    case kNumEq: {
      const bool whole = v1 == std::floor(v1) && v1 >= 1 && v1 <= n;
      stack.push_back(whole ? rstcre(static_cast<int>(v1), static_cast<int>(v1)) : rstcre(0, 0));
      return;
    }
    case kNumLe: stack.push_back(range_set(1, clip_floor(v1, n))); return;
    case kNumGe: stack.push_back(range_set(clip_ceil(v1, n), n)); return;
    case kNumRange: stack.push_back(range_set(clip_ceil(v1, n), clip_floor(v2, n))); return;
    case kAnd:
    case kOr: {
      if (stack.size() < 2) vos::error(1, "trs_roweval: bad instruction");
      RowSet* b = pop();
      RowSet* a = pop();
      RowSet* r = op == kAnd ? rstand(a, b) : rstor(a, b);
      rstfre(a);
      rstfre(b);
      stack.push_back(r);
      return;
    }
    case kNot: {
      if (stack.empty()) vos::error(1, "trs_roweval: bad instruction");
      RowSet* a = pop();
      RowSet* r = rstnot(n, a);
      rstfre(a);
      stack.push_back(r);
      return;
    }
    default:
      vos::error(1, "trs_roweval: bad instruction");
  }
}

// Fills code's instructions and candidate rows from the tree.
void trsgencode(Compile& cs, int root, RowSelectorCode* code) {
  Tree& t = cs.tree;
  const Pool& pool = code->pool;
  const int n = std::max(tbpsta(cs.tp, 21), 0);

  const int top = simplify(t, t[root].left);
  t[root].left = top;
  if (top > 0) t[top].parent = root;
  if (top > 0 && t[top].type == kFalse) {  // nothing can hold
    t[root].left = 0;
    code->rows = rstcre(0, 0);
    code->code.push_back(Instr{kEnd});
    return;
  }

  // A "!" over a column test moves below it, onto the test.
  std::vector<int> nots;
  for (int k = trsfie(t, root); k > 0; k = trsnee(t, k))
    if (t[k].type == kNot) nots.push_back(k);
  for (int k : nots)
    if (t[k].left > 0 && t[t[k].left].type == kCol) trs_xcg_tree(t, k);

  bool any_row = false, foldable = true;
  for (int k = trsfie(t, root); k > 0; k = trsnee(t, k)) {
    if (is_row_test(t, k)) any_row = true;
    if (t[k].type == kNot && trsove(t, k)) foldable = false;
  }

  if (any_row && foldable) {
    // Row-number tests are conjuncts of the whole expression: their row
    // sets are intersected into one as each test is finished.
    SetStack stack;
    RowSet* rows = rstcre(1, n);
    std::unique_ptr<RowSet, void (*)(RowSet*)> keep(rows, [](RowSet* s) { rstfre(s); });
    for (int k = trsfie(t, root); k > 0;) {
      const int next = trsnee(t, k);
      if (is_row_test(t, k)) {
        if (stack.sets.empty()) vos::error(1, "trs_roweval: bad instruction");
        RowSet* s = stack.sets.back();
        stack.sets.pop_back();
        RowSet* both = rstand(keep.get(), s);
        rstfre(s);
        keep.reset(both);
        trs_snip_tree(t, k);
      } else if ((t[k].type == kAnd || t[k].type == kOr) && t[k].left <= 0 && t[k].right <= 0) {
        trs_snip_tree(t, k);
      } else if (trsune(t, k)) {
        int v1 = 0, v2 = 0;
        trsvae(t, pool, k, v1, v2);
        const double d1 = pool.valid(v1) ? pool[v1].number : 0.0;
        const double d2 = pool.valid(v2) ? pool[v2].number : 0.0;
        trs_roweval(t[k].type, d1, d2, n, stack.sets);
      }
      k = next;
    }
    code->rows = keep.release();
  } else {
    code->rows = rstcre(n >= 1 ? 1 : 0, n);
  }

  // Emission, in postorder.
  for (int k = trsfie(t, root); k > 0; k = trsnee(t, k)) {
    const int type = t[k].type;
    if ((type == kAnd || type == kOr) && (t[k].left <= 0 || t[k].right <= 0)) {
      t[k].code = -1;
      continue;
    }
    if (static_cast<int>(code->code.size()) >= kMaxInstr)
      vos::error(1, "Table row selection expression too complex");
    Instr in;
    in.op = type;
    if (is_value_test(type)) {
      in.col = trscoe(t, k);
      trsvae(t, pool, k, in.v1, in.v2);
    }
    t[k].code = static_cast<int>(code->code.size());
    code->code.push_back(in);
  }

  // Jumps: the left operand of an "or" jumps to it when true, of an "and"
  // when false.
  for (int k = trsfie(t, root); k > 0; k = trsnee(t, k)) {
    const int type = t[k].type;
    if ((type != kAnd && type != kOr) || t[k].code < 0 || t[k].left <= 0) continue;
    const int lc = t[t[k].left].code;
    if (lc < 0) continue;
    if (type == kOr)
      code->code[static_cast<std::size_t>(lc)].jump_true = t[k].code;
    else
      code->code[static_cast<std::size_t>(lc)].jump_false = t[k].code;
  }
}

}  // namespace tbl::trs

namespace tbl {

// Compiles an expression for the table.
RowSelectorCode* trsopen(Table* tp, std::string_view expr) {
  auto code = std::make_unique<RowSelectorCode>();
  trs::Compile cs;
  cs.tp = tp;
  cs.pool = &code->pool;
  const int fd = vos::stropen(expr, vos::READ_ONLY);
  std::string last;
  int root = 0;
  try {
    root = trs::trsparse(cs, fd, last);
  } catch (...) {
    vos::close(fd);
    throw;
  }
  vos::close(fd);
  if (root == 0)
    vos::error(1, vos::sprintf("Error in table row selector, %s. Last read: %s\n", cs.errtext,
                               last));
  trs::trsgencode(cs, root, code.get());
  return code.release();
}

}  // namespace tbl
