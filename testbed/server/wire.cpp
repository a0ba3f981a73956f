#include "wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace standin {

PacketHeader decode_header(const std::uint8_t* p) {
  PacketHeader h;
  h.type = p[0];
  h.status = p[1];
  h.length = static_cast<std::uint16_t>((p[2] << 8) | p[3]);
  h.channel = static_cast<std::uint16_t>((p[4] << 8) | p[5]);
  h.number = p[6];
  h.window = p[7];
  return h;
}

std::string describe_header(const PacketHeader& h) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "type=%u status=%u length=%u channel=%u number=%u window=%u",
                unsigned{h.type}, unsigned{h.status}, unsigned{h.length}, unsigned{h.channel},
                unsigned{h.number}, unsigned{h.window});
  return buf;
}

void Bytes::str8(const std::string& s) {
  std::size_t n = s.size() > 255 ? 255 : s.size();
  u8(static_cast<std::uint32_t>(n));
  raw(s.data(), n);
}

void Bytes::patch16(std::size_t at, std::uint32_t v) {
  if (at + 2 > b_.size()) return;
  b_[at] = static_cast<std::uint8_t>(v >> 8);
  b_[at + 1] = static_cast<std::uint8_t>(v);
}

std::uint32_t Reader::u8() {
  if (left() < 1) { failed_ = true; pos_ = n_; return 0; }
  return p_[pos_++];
}

std::uint32_t Reader::u16() {
  if (left() < 2) { failed_ = true; pos_ = n_; return 0; }
  std::uint32_t v = (std::uint32_t{p_[pos_]} << 8) | p_[pos_ + 1];
  pos_ += 2;
  return v;
}

std::uint32_t Reader::u32() {
  std::uint32_t hi = u16();
  std::uint32_t lo = u16();
  return (hi << 16) | lo;
}

std::string Reader::bytes(std::size_t n) {
  if (left() < n) { failed_ = true; pos_ = n_; return {}; }
  std::string s(reinterpret_cast<const char*>(p_ + pos_), n);
  pos_ += n;
  return s;
}

bool Reader::skip(std::size_t n) {
  if (left() < n) { failed_ = true; pos_ = n_; return false; }
  pos_ += n;
  return true;
}

// Reads exactly n bytes.  The time-out applies to each wait for data.
bool Conn::fill(std::uint8_t* p, std::size_t n, int timeout_ms, ReadStatus& st) {
  std::size_t got = 0;
  while (got < n) {
    pollfd pfd{fd_, POLLIN, 0};
    int r = ::poll(&pfd, 1, timeout_ms);
    if (r < 0) {
      if (errno == EINTR) continue;
      st = ReadStatus::closed;
      return false;
    }
    if (r == 0) {
      st = ReadStatus::timeout;
      return false;
    }
    ssize_t k = ::recv(fd_, p + got, n - got, 0);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) {
      st = ReadStatus::closed;
      return false;
    }
    got += static_cast<std::size_t>(k);
  }
  return true;
}

ReadStatus Conn::read_packet(PacketHeader& h, std::vector<std::uint8_t>& body, int timeout_ms) {
  std::uint8_t hdr[kHeaderSize];
  ReadStatus st = ReadStatus::ok;
  if (!fill(hdr, kHeaderSize, timeout_ms, st)) return st;
  h = decode_header(hdr);
  if (h.length < kHeaderSize) return ReadStatus::bad_packet;
  body.assign(h.length - kHeaderSize, 0);
  // Once a header has arrived, the body follows; wait for it patiently.
  if (!body.empty() && !fill(body.data(), body.size(), 30000, st)) return st;
  return ReadStatus::ok;
}

ReadStatus Conn::read_message(Message& m, int timeout_ms) {
  m = Message{};
  for (;;) {
    PacketHeader h;
    std::vector<std::uint8_t> body;
    if (!held_.empty()) {
      h = held_.front().h;
      body = std::move(held_.front().body);
      held_.pop_front();
    } else {
      ReadStatus st = read_packet(h, body, timeout_ms);
      if (st != ReadStatus::ok) {
        if (st == ReadStatus::bad_packet) m.headers.push_back(h);
        return st;
      }
    }
    if (m.headers.empty()) m.type = h.type;
    m.headers.push_back(h);
    // An attention stands alone, even in the middle of another message.
    if (h.type == kPacketAttention) {
      m.type = kPacketAttention;
      m.body.clear();
      return ReadStatus::ok;
    }
    if (m.body.size() + body.size() > kMaxMessage) return ReadStatus::too_long;
    m.body.insert(m.body.end(), body.begin(), body.end());
    if (h.status & kStatusEom) return ReadStatus::ok;
  }
}

bool Conn::poll_attention() { return wait_attention(0); }

bool Conn::wait_attention(int timeout_ms) {
  for (const auto& p : held_)
    if (p.h.type == kPacketAttention) return true;
  pollfd pfd{fd_, POLLIN, 0};
  int r;
  do {
    r = ::poll(&pfd, 1, timeout_ms);
  } while (r < 0 && errno == EINTR);
  if (r <= 0) return false;
  // Data is waiting: clients write whole packets, so read it completely.
  PacketHeader h;
  std::vector<std::uint8_t> body;
  ReadStatus st = read_packet(h, body, 30000);
  if (st != ReadStatus::ok) return false;
  held_.push_back(Held{h, std::move(body)});
  return h.type == kPacketAttention;
}

void Conn::drop_attention() {
  for (auto it = held_.begin(); it != held_.end(); ++it)
    if (it->h.type == kPacketAttention) {
      held_.erase(it);
      return;
    }
}

bool Conn::write_all(const std::uint8_t* p, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    ssize_t k = ::send(fd_, p + done, n - done, MSG_NOSIGNAL);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    done += static_cast<std::size_t>(k);
  }
  return true;
}

ReplyWriter::ReplyWriter(Conn* conn, std::size_t packet_size, std::uint8_t type)
    : conn_(conn), packet_size_(packet_size < 512 ? 512 : packet_size), type_(type) {}

void ReplyWriter::add_packet(std::vector<std::uint8_t>& out, const std::uint8_t* p, std::size_t n,
                             bool eom) {
  const std::uint8_t h[kHeaderSize] = {type_, static_cast<std::uint8_t>(eom ? kStatusEom : 0),
                                       static_cast<std::uint8_t>((n + kHeaderSize) >> 8),
                                       static_cast<std::uint8_t>(n + kHeaderSize), 0, 0, number_, 0};
  out.insert(out.end(), h, h + kHeaderSize);
  if (n > 0) out.insert(out.end(), p, p + n);
  number_ = eom ? 0 : static_cast<std::uint8_t>(number_ + 1);
}

bool ReplyWriter::send_packet(const std::uint8_t* p, std::size_t n, bool eom) {
  if (!conn_) return true;
  std::vector<std::uint8_t> pkt;
  pkt.reserve(kHeaderSize + n);
  add_packet(pkt, p, n, eom);
  if (!conn_->write_all(pkt.data(), pkt.size())) {
    broken_ = true;
    return false;
  }
  return true;
}

std::vector<std::uint8_t> ReplyWriter::frame(const std::uint8_t* p, std::size_t n, std::size_t packet_size) {
  ReplyWriter w(nullptr, packet_size);
  // Every packet but the last is full; the last carries at least one byte
  // (put() keeps one back for it).
  const std::size_t body = w.packet_size_ - kHeaderSize;
  std::vector<std::uint8_t> out;
  out.reserve(n + (n / body + 1) * kHeaderSize);
  std::size_t off = 0;
  while (n - off > body) {
    w.add_packet(out, p + off, body, false);
    off += body;
  }
  w.add_packet(out, p + off, n - off, true);
  return out;
}

bool ReplyWriter::finish_framed(const std::vector<std::uint8_t>& packets) {
  if (broken_) return false;
  if (!conn_) return true;
  if (!attention_ && conn_->poll_attention()) attention_ = true;
  if (attention_) return finish();
  if (!conn_->write_all(packets.data(), packets.size())) {
    broken_ = true;
    return false;
  }
  return true;
}

void ReplyWriter::put(const Bytes& b) {
  if (attention_ || broken_) return;
  if (tee_) tee_->insert(tee_->end(), b.data(), b.data() + b.size());
  if (!conn_) {
    collected_.insert(collected_.end(), b.data(), b.data() + b.size());
    return;
  }
  pending_.insert(pending_.end(), b.data(), b.data() + b.size());
  const std::size_t body = packet_size_ - kHeaderSize;
  // Keep at least one byte back so that the last packet always carries
  // the end-of-message status with data in it.
  std::size_t off = 0;
  while (pending_.size() - off > body) {
    if (conn_->poll_attention()) {
      attention_ = true;
      pending_.clear();
      return;
    }
    if (!send_packet(pending_.data() + off, body, false)) return;
    off += body;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(off));
}

bool ReplyWriter::finish() {
  if (broken_) return false;
  if (!conn_) return true;
  if (!attention_ && conn_->poll_attention()) attention_ = true;
  if (attention_) {
    pending_.clear();
    conn_->drop_attention();  // it is answered here
    static const std::uint8_t ack[] = {0xFD, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    return send_packet(ack, sizeof ack, true);
  }
  bool ok = send_packet(pending_.data(), pending_.size(), true);
  pending_.clear();
  return ok;
}

}  // namespace standin
