// Packet framing and token byte building for the stand-in server.
//
// Every message between client and server travels as packets with an
// 8-byte header (type, status, big-endian length including the header,
// channel, packet number, window).  A message ends with the packet whose
// status has bit 0 set.  All integers in the token stream are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace standin {

constexpr std::uint8_t kPacketLanguage = 1;
constexpr std::uint8_t kPacketLogin = 2;
constexpr std::uint8_t kPacketRpc = 3;
constexpr std::uint8_t kPacketReply = 4;
constexpr std::uint8_t kPacketAttention = 6;
constexpr std::uint8_t kPacketNormal = 15;

constexpr std::uint8_t kStatusEom = 0x01;
constexpr std::size_t kHeaderSize = 8;
// Largest message accepted from a client; a longer one ends the session.
constexpr std::size_t kMaxMessage = 64u << 20;

struct PacketHeader {
  std::uint8_t type = 0;
  std::uint8_t status = 0;
  std::uint16_t length = 0;
  std::uint16_t channel = 0;
  std::uint8_t number = 0;
  std::uint8_t window = 0;
};

// Decodes the 8 header bytes at p.
PacketHeader decode_header(const std::uint8_t* p);
// Text form used in the batch log: "type=15 status=1 length=20 ...".
std::string describe_header(const PacketHeader& h);

// A growing byte buffer with big-endian writers.
class Bytes {
 public:
  void u8(std::uint32_t v) { b_.push_back(static_cast<std::uint8_t>(v)); }
  void u16(std::uint32_t v) { u8(v >> 8); u8(v); }
  void u32(std::uint32_t v) { u16(v >> 16); u16(v); }
  void raw(const void* p, std::size_t n) {
    const auto* c = static_cast<const std::uint8_t*>(p);
    b_.insert(b_.end(), c, c + n);
  }
  void raw(const std::string& s) { raw(s.data(), s.size()); }
  void raw(const Bytes& o) { raw(o.data(), o.size()); }
  // A text preceded by its length in one byte (cut at 255 bytes).
  void str8(const std::string& s);
  // Overwrites a 16-bit value at a position written earlier.
  void patch16(std::size_t at, std::uint32_t v);
  const std::uint8_t* data() const { return b_.data(); }
  std::size_t size() const { return b_.size(); }
  bool empty() const { return b_.empty(); }
  void clear() { b_.clear(); }
  const std::vector<std::uint8_t>& vec() const { return b_; }

 private:
  std::vector<std::uint8_t> b_;
};

// A bounded big-endian reader over received bytes.  Every read checks the
// remaining length first; a short read sets the failed flag and yields 0.
class Reader {
 public:
  Reader(const std::uint8_t* p, std::size_t n) : p_(p), n_(n) {}
  std::uint32_t u8();
  std::uint32_t u16();
  std::uint32_t u32();
  std::string bytes(std::size_t n);
  bool skip(std::size_t n);
  std::size_t left() const { return n_ - pos_; }
  std::size_t pos() const { return pos_; }
  bool failed() const { return failed_; }

 private:
  const std::uint8_t* p_;
  std::size_t n_;
  std::size_t pos_ = 0;
  bool failed_ = false;
};

// One whole message as received: the first packet's type, the bodies of
// all its packets joined, and every header (for the log).
struct Message {
  std::uint8_t type = 0;
  std::vector<std::uint8_t> body;
  std::vector<PacketHeader> headers;
};

enum class ReadStatus { ok, closed, timeout, bad_packet, too_long };

// The client connection of one session: reads packets (keeping packets
// that arrived while a reply was being written) and writes raw bytes.
class Conn {
 public:
  explicit Conn(int fd) : fd_(fd) {}
  int fd() const { return fd_; }

  // Reads one message.  timeout_ms < 0 waits for ever.  A packet whose
  // length is below 8 is reported as bad_packet.
  ReadStatus read_message(Message& m, int timeout_ms = -1);
  // Reads one packet (header and body); used by the message reader and by
  // the attention probe.
  ReadStatus read_packet(PacketHeader& h, std::vector<std::uint8_t>& body, int timeout_ms);
  // True when an attention packet has arrived (without blocking).  Other
  // packets read meanwhile are kept for read_message.
  bool poll_attention();
  // Waits up to timeout_ms for an attention; true when one arrived.
  bool wait_attention(int timeout_ms);
  bool write_all(const std::uint8_t* p, std::size_t n);
  // Removes the first held attention packet (it has been answered).
  void drop_attention();

 private:
  bool fill(std::uint8_t* p, std::size_t n, int timeout_ms, ReadStatus& st);
  int fd_;
  struct Held {
    PacketHeader h;
    std::vector<std::uint8_t> body;
  };
  std::deque<Held> held_;
  bool attention_seen_ = false;
};

// Writes a reply as packets of the session's packet size, polling the
// client for an attention between packets.  Once an attention has been
// seen, the rest of the reply is dropped and finish() sends the
// acknowledgement (a DONE with status 0x20) as its own final packet.
// Without a connection (nullptr) the bytes are only collected, for tests.
class ReplyWriter {
 public:
  ReplyWriter(Conn* conn, std::size_t packet_size, std::uint8_t type = kPacketReply);
  void put(const Bytes& b);
  // Ends the message.  Returns false when the client went away.
  bool finish();
  bool cancelled() const { return attention_; }
  bool broken() const { return broken_; }
  // Every byte put so far (collect mode only keeps them all).
  const std::vector<std::uint8_t>& collected() const { return collected_; }
  std::size_t packet_size() const { return packet_size_; }
  // Also copies every byte put into `tee` (for recording a reply).
  void set_tee(std::vector<std::uint8_t>* tee) { tee_ = tee; }
  // The packets of a whole reply of `n` bytes at p, as put() and finish()
  // would send them with this packet size, in one buffer.
  static std::vector<std::uint8_t> frame(const std::uint8_t* p, std::size_t n, std::size_t packet_size);
  // Ends the message with `packets` (a reply framed for this packet size,
  // nothing put before) in one write; an attention that has already
  // arrived is acknowledged instead, as finish() does.
  bool finish_framed(const std::vector<std::uint8_t>& packets);

 private:
  // Appends one packet of the `n` body bytes at p to `out`.
  void add_packet(std::vector<std::uint8_t>& out, const std::uint8_t* p, std::size_t n, bool eom);
  bool send_packet(const std::uint8_t* p, std::size_t n, bool eom);
  Conn* conn_;
  std::size_t packet_size_;
  std::uint8_t type_;
  std::vector<std::uint8_t> pending_;
  std::vector<std::uint8_t> collected_;
  std::vector<std::uint8_t>* tee_ = nullptr;
  std::uint8_t number_ = 0;
  bool attention_ = false;
  bool broken_ = false;
};

}  // namespace standin
