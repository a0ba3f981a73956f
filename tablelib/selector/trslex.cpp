// Token reader of row-selection expressions.
//
// Tokens are the stop characters " ,;:%=!()@", quoted strings and words; a
// word that reads whole as a number is a number.  Numbers and strings go to
// the value pool.  "@name" includes a file, at most kMaxInclude deep.
#include <string>
#include <string_view>

#include "trslex.h"
#include "vos/error.h"
#include "vos/files.h"
#include "vos/scan.h"

namespace tbl::trs {

namespace {

constexpr std::string_view kStops = " ,;:%=!()@";
constexpr int kStopCodes[] = {kTokBlank, kTokComma,  kTokSemicolon, kTokColon, kTokPercent,
                              kTokEquals, kTokNot,   kTokOpen,      kTokClose, kTokInclude};

}  // namespace

// ---- value pool -------------------------------------------------------------------

int Pool::add_number(double v) {
  if (fill_ + 1 >= kPoolSlots) return 0;
  const int pos = fill_ + 1;
  at_[static_cast<std::size_t>(pos)] = PoolValue{true, v, {}};
  fill_ += 1;
  return pos;
}

int Pool::add_string(std::string text) {
  const int slots = (static_cast<int>(text.size()) + 1 + 3) / 4;
  if (fill_ + slots >= kPoolSlots) return 0;
  const int pos = fill_ + 1;
  at_[static_cast<std::size_t>(pos)] = PoolValue{false, 0.0, std::move(text)};
  fill_ += slots;
  return pos;
}

// ---- parse-tree nodes --------------------------------------------------------------

int Tree::make(int type, int left, int right, Column* col) {
  if (size() >= kMaxNodes) vos::error(1, "Table row selection expression too complex");
  nodes_.push_back(Node{type, -1, left, right, 0, col});
  const int id = size();
  if (left > 0) nodes_[static_cast<std::size_t>(left)].parent = id;
  if (right > 0) nodes_[static_cast<std::size_t>(right)].parent = id;
  return id;
}

// ---- trimming -----------------------------------------------------------------------

// Drops leading and trailing characters below 33, squeezes inner runs of
// them to one blank; returns the new length.
int trstrim_impl(std::string& text) {
  std::string out;
  out.reserve(text.size());
  bool gap = false;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 33) {
      gap = !out.empty();
      continue;
    }
    if (gap) out += ' ';
    gap = false;
    out += c;
  }
  text.swap(out);
  return static_cast<int>(text.size());
}

// ---- reader ------------------------------------------------------------------------

Lexer::~Lexer() {
  while (!below_.empty()) {
    try {
      vos::close(fd_);
    } catch (const vos::Error&) {
    }
    fd_ = below_.back();
    below_.pop_back();
  }
}

void Lexer::clear_ring() {
  ring_.fill(0);
  ringpos_ = 0;
}

// Reads one character (EOF as vos::EOF_) and records it in the ring.
int Lexer::trsneh() {
  const int ch = vos::getc(fd_);
  ring_[static_cast<std::size_t>(ringpos_)] = ch < 0 ? 0 : ch;
  ringpos_ = (ringpos_ + 1) % 32;
  return ch;
}

// Pushes a character back; it is recorded again when read again.
void Lexer::unget(int ch) {
  vos::ungetc(fd_, ch);
  ringpos_ = (ringpos_ + 31) % 32;
  ring_[static_cast<std::size_t>(ringpos_)] = 0;
}

std::string Lexer::last_read() const {
  std::string out;
  for (int k = 0; k < 31; ++k) {
    const int ch = ring_[static_cast<std::size_t>((ringpos_ + k) % 32)];
    if (ch != 0) out += static_cast<char>(ch);
  }
  return out;
}

void Lexer::close_current() {
  const int fd = fd_;
  fd_ = below_.back();
  below_.pop_back();
  clear_ring();
  vos::close(fd);
}

// One token of the current file.
int Lexer::trstok(int& value) {
  value = 0;
  int ch = trsneh();
  while (ch != static_cast<int>(vos::EOF_) && ch <= 32) ch = trsneh();
  if (ch == static_cast<int>(vos::EOF_)) return kTokEnd;
  const std::size_t stop = kStops.find(static_cast<char>(ch));
  if (stop != std::string_view::npos) return kStopCodes[stop];

  std::string text;
  const bool quoted = ch == '\'' || ch == '"';
  if (quoted) {
    const int quote = ch;
    for (ch = trsneh(); ch != quote; ch = trsneh()) {
      if (ch == static_cast<int>(vos::EOF_)) throw Failure{"trailing quote not found"};
      if (text.size() >= static_cast<std::size_t>(kMaxToken)) throw Failure{"token too long"};
      text += static_cast<char>(ch);
    }
  } else {
    while (true) {
      if (text.size() >= static_cast<std::size_t>(kMaxToken)) throw Failure{"token too long"};
      text += static_cast<char>(ch);
      ch = trsneh();
      if (ch == static_cast<int>(vos::EOF_)) break;
      if (ch < 32 || kStops.find(static_cast<char>(ch)) != std::string_view::npos) {
        unget(ch);
        break;
      }
    }
  }
  trstrim_impl(text);

  if (!quoted) {
    std::size_t ip = 0;
    double v = 0.0;
    if (vos::ctod(text, ip, v) > 0 && ip == text.size()) {
      value = cs_.pool->add_number(v);
      if (value == 0) throw Failure{"expression too complex"};
      return kTokNumber;
    }
  }
  value = cs_.pool->add_string(std::move(text));
  if (value == 0) throw Failure{"expression too complex"};
  return kTokString;
}

// The next token for the parser, across included files.
int Lexer::next(int& value) {
  try {
    while (true) {
      int code = trstok(value);
      if (code == kTokBlank) continue;
      if (code == kTokEnd && !below_.empty()) {
        close_current();
        continue;
      }
      if (code != kTokInclude) return code;
      if (trstok(value) != kTokString) throw Failure{"bad file name"};
      if (static_cast<int>(below_.size()) >= kMaxInclude) throw Failure{"files nested too deep"};
      const std::string name = (*cs_.pool)[value].text;
      int fd = 0;
      if (vos::iferr([&] { fd = vos::open(name, vos::READ_ONLY, vos::TEXT_FILE); })) {
        vos::xerret();
        throw Failure{"bad file name"};
      }
      below_.push_back(fd_);
      fd_ = fd;
      clear_ring();
    }
  } catch (const Failure& f) {
    cs_.errtext = f.message;
    value = 0;
    return kTokLexError;
  }
}

}  // namespace tbl::trs

namespace tbl {

int trstrim(std::string& text) { return trs::trstrim_impl(text); }

}  // namespace tbl
