// Scripted misbehaviour of the stand-in server, for tests.
//
// A script file holds one directive per line ("#" starts a comment line):
//
//   login refuse [times N]            answer the login with ERROR 4002 and a failing DONE
//   login silent SECONDS [times N]    answer nothing for SECONDS, then close
//   login packetsize N                grant packet size N whatever was asked
//   login redirect NODE [times N]     answer with message 4014 naming 'NODE' and a failing DONE
//   login badlength big|small, login badtoken [BYTE], login close, login closemid [times N]
//                                     the protocol breaches below, as the answer to a login
//   batch PATTERN error NUMBER SEVERITY [afterformat] [times N] [text TEXT...]
//                                     answer a matching batch with that error and a
//                                     failing DONE instead of running it; with
//                                     "afterformat", run it and send the error after
//                                     the first result format, before any row
//   batch PATTERN badlength big|small [times N]
//                                     send a packet whose length is above the packet size,
//                                     or below 8
//   batch PATTERN badtoken [BYTE] [rows] [times N]
//                                     send an unknown token (default 0x05); with "rows",
//                                     after the batch's first result format and row
//   batch PATTERN close [times N]     close the connection instead of answering
//   batch PATTERN closemid [times N]  send part of a packet, then close
//   batch PATTERN replay FILE [times N]
//                                     answer with the reply tokens stored in FILE
//   batch PATTERN record FILE [times N]
//                                     run the batch and also write its reply tokens to FILE
//   batch PATTERN silent SECONDS [noattention] [times N]
//                                     wait SECONDS before answering; an attention ends the
//                                     wait with its acknowledgement unless "noattention"
//
// PATTERN is "*" (every batch) or a text in double quotes that the batch
// must contain.  Without "times" a directive applies every time; with it,
// the first N times (counted over all sessions).  Seconds pass through the
// clock seam, so the test time scale applies.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace standin {

enum class Action { refuse_login, silent_login, packet_size, error, bad_length_big, bad_length_small,
                    bad_token, close, close_mid_packet, silent, replay, record, redirect };

struct Rule {
  bool login = false;
  std::string pattern;  // empty = every batch
  Action action = Action::error;
  std::uint32_t number = 0;
  std::uint8_t severity = 16;
  std::string text;
  double seconds = 0;
  std::uint8_t token = 0x05;
  bool after_rows = false;
  bool after_format = false;  // error: after the first ROWFMT
  bool answer_attention = true;
  long value = 0;
  std::string file;  // replay, record
  int times = -1;  // -1 = always
  int used = 0;
};

class Script {
 public:
  // Parses script text; false with a message naming the bad line.
  bool parse(const std::string& text, std::string& error);
  bool load(const std::string& path, std::string& error);
  // The rule that applies to this login (and counts its use), if any.
  std::optional<Rule> take_login(Action a);
  // The first login rule other than packetsize that still has uses left.
  std::optional<Rule> take_login_breach();
  // The first batch rule that matches and still has uses left.
  std::optional<Rule> take_batch(const std::string& batch);

 private:
  std::mutex mu_;
  std::vector<Rule> rules_;
};

// The default text of a scripted error number.
std::string default_error_text(std::uint32_t number);

}  // namespace standin
