// Internals of the row-selection expression compiler and interpreter: the
// value pool, parse-tree nodes, instructions and the compiled code record.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tablelib/tbselector.h"

namespace tbl {
namespace trs {

// Node types and opcodes.
enum : int {
  kEnd = 1,
  kCol = 2,
  kAnd = 3,
  kOr = 4,
  kNot = 5,
  kNumEq = 6,
  kStrEq = 7,
  kNumLe = 8,
  kStrLe = 9,
  kNumRange = 10,
  kStrRange = 11,
  kNumGe = 12,
  kStrGe = 13,
  kBitMask = 14,
  kFalse = 15,  // parse tree only: a condition that never holds; never emitted
};

// Token codes.
enum : int {
  kTokBlank = 257,
  kTokNot = 258,
  kTokComma = 259,
  kTokColon = 260,
  kTokEquals = 261,
  kTokLexError = 262,
  kTokEnd = 263,
  kTokOpen = 264,
  kTokInclude = 265,
  kTokNumber = 266,
  kTokPercent = 267,
  kTokClose = 268,
  kTokSemicolon = 269,
  kTokString = 270,
};

inline constexpr int kPoolSlots = 600;   // value pool, in 8-byte slots
inline constexpr int kMaxNodes = 120;    // parse-tree nodes
inline constexpr int kMaxInstr = 99;     // instructions of one program
inline constexpr int kMaxToken = 1023;   // characters of one token
inline constexpr int kMaxInclude = 8;    // included files open at once
inline constexpr int kParseDepth = 64;   // parser states
inline constexpr int kEvalDepth = 8;     // evaluation stack
inline constexpr int kMagic = 0x545253;  // "TRS"

// One value of the pool: a number, or a string occupying several slots.
struct PoolValue {
  bool is_number = false;
  double number = 0.0;
  std::string text;
};

// The values of one expression, addressed by position (from 1).
class Pool {
 public:
  Pool() : at_(kPoolSlots + 1) {}
  // The position of a new value, or 0 when the pool is full.
  int add_number(double v);
  int add_string(std::string text);
  const PoolValue& operator[](int pos) const { return at_[static_cast<std::size_t>(pos)]; }
  bool valid(int pos) const { return pos >= 1 && pos <= fill_; }
  int fill() const { return fill_; }

 private:
  std::vector<PoolValue> at_;
  int fill_ = 0;
};

// One parse-tree node.  left/right: a child node (> 0), a value as the
// negated pool position (< 0), or 0.  A column-test node keeps its column in
// col (nullptr for the row number).
struct Node {
  int type = 0;
  int code = -1;  // index of the node's instruction, -1 none
  int left = 0;
  int right = 0;
  int parent = 0;
  Column* col = nullptr;
};

// The parse tree; node 0 is unused so that 0 means "none".
class Tree {
 public:
  Tree() : nodes_(1) { nodes_.reserve(kMaxNodes + 1); }
  // Makes a node; raises "Table row selection expression too complex" when
  // the tree is full.
  int make(int type, int left, int right, Column* col = nullptr);
  Node& operator[](int id) { return nodes_[static_cast<std::size_t>(id)]; }
  int size() const { return static_cast<int>(nodes_.size()) - 1; }

 private:
  std::vector<Node> nodes_;
};

// One instruction.  Jumps name the index of the instruction to go on with
// (0: none; a jump always goes forward, so index 0 is never a target).
struct Instr {
  int op = 0;
  Column* col = nullptr;
  int jump_true = 0;
  int jump_false = 0;
  int v1 = 0;
  int v2 = 0;
};

// The state shared by the token reader and the parser of one compilation.
struct Compile {
  Table* tp = nullptr;
  Tree tree;
  Pool* pool = nullptr;
  std::string errtext = "syntax error";
};

// Parses the expression read from fd (a string file); returns the root
// node, or 0 when the text is not an expression (errtext says why; "syntax
// error" lines go to the standard error stream).  Last read characters are
// returned in last_read.
int trsparse(Compile& cs, int fd, std::string& last_read);

// Fills code's instructions and candidate rows from the tree.
void trsgencode(Compile& cs, int root, RowSelectorCode* code);

// Row-number evaluation of one node on a stack of row sets (at most 32).
void trs_roweval(int op, double v1, double v2, int nrows, std::vector<RowSet*>& stack);

}  // namespace trs

// The compiled expression.
struct RowSelectorCode {
  RowSelectorCode() = default;
  RowSelectorCode(const RowSelectorCode&) = delete;
  RowSelectorCode& operator=(const RowSelectorCode&) = delete;
  ~RowSelectorCode() { rstfre(rows); }

  int magic = trs::kMagic;
  std::vector<trs::Instr> code;
  trs::Pool pool;
  RowSet* rows = nullptr;  // candidate rows
};

}  // namespace tbl
