// The window buffer of host files.
#include "fio_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "vos/osio.h"

namespace vos::fio {

namespace {

constexpr long long kSpan = static_cast<long long>(HostFile::kWindow);

}  // namespace

HostFile::~HostFile() {
  // A change session still open at exit is undone: only a close keeps it.
  if (fd_ < 0) return;
  if (journal_ || staged_) abandon();
  else close();
}

void HostFile::attach(int hfd, bool append, const struct stat* known) {
  fd_ = hfd;
  append_ = append;
  const int acc = ::fcntl(hfd, F_GETFL) & O_ACCMODE;
  readable_ = acc == O_RDONLY || acc == O_RDWR;
  struct stat st;
  if (known != nullptr) st = *known;
  const bool regular = (known != nullptr || ::fstat(hfd, &st) == 0) && S_ISREG(st.st_mode);
  seekable_ = regular || ::lseek(hfd, 0, SEEK_CUR) >= 0;
  size_ = regular ? st.st_size : 0;
  pos_ = append ? size_ : 0;
  buf_.reset(new char[kWindow]);  // what it holds is known by wlen_
  wstart_ = pos_;
  wlen_ = 0;
  tail_known_ = false;
  dlo_ = dhi_ = 0;
}

long HostFile::in(char* p, std::size_t n, long long at) {
  if (pager_) return pager_->read(p, n, at);
  for (;;) {
    const ssize_t k = seekable_ ? ::pread(fd_, p, n, at) : ::read(fd_, p, n);
    if (k >= 0 || errno != EINTR) return static_cast<long>(k);
  }
}

bool HostFile::put(long long at, const char* data, std::size_t n) {
  if (pager_) {
    if (pager_->write(at, data, n)) return true;
    why_ = pager_->why();
    return false;
  }
  while (n > 0) {
    const ssize_t k = append_ || !seekable_ ? osio::write(fd_, data, n) : osio::pwrite(fd_, data, n, at);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) {
      why_ = k < 0 ? std::strerror(errno) : "the system wrote nothing";
      return false;
    }
    data += k;
    n -= static_cast<std::size_t>(k);
    at += k;
  }
  return true;
}

bool HostFile::write_back() {
  if (dlo_ >= dhi_) return true;
  const std::size_t lo = dlo_, n = dhi_ - dlo_;
  dlo_ = dhi_ = 0;
  if (put(wstart_ + static_cast<long long>(lo), buf_.get() + lo, n)) return true;
  // The bytes are lost; the window no longer says what the file holds.
  failed_ = true;
  wlen_ = 0;
  tail_known_ = false;
  return false;
}

bool HostFile::fill(std::size_t upto) {
  // Read ahead of what is needed, more the longer the reading goes on in
  // one direction.
  const std::size_t target = std::min(kWindow, std::max(upto, wlen_ + ahead_));
  ahead_ = std::min(kWindow, ahead_ * 2);
  while (wlen_ < target) {
    const std::size_t want = target - wlen_;
    const long k = in(buf_.get() + wlen_, want, wstart_ + static_cast<long long>(wlen_));
    if (k < 0) return false;
    if (k == 0) {
      tail_known_ = true;
      break;
    }
    wlen_ += static_cast<std::size_t>(k);
    if (static_cast<std::size_t>(k) < want) {
      if (seekable_) tail_known_ = true;  // a regular file ends there
      if (seekable_ || wlen_ >= upto) break;  // a pipe: what has come is enough
    }
  }
  return true;
}

void HostFile::swap_current(Parked& p) {
  std::swap(buf_, p.buf);
  std::swap(wstart_, p.wstart);
  std::swap(wlen_, p.wlen);
  std::swap(tail_known_, p.tail_known);
  std::swap(ahead_, p.ahead);
  std::swap(dlo_, p.dlo);
  std::swap(dhi_, p.dhi);
}

bool HostFile::write_back(Parked& p) {
  if (p.dlo >= p.dhi) return true;
  const std::size_t lo = p.dlo, n = p.dhi - p.dlo;
  p.dlo = p.dhi = 0;
  if (put(p.wstart + static_cast<long long>(lo), p.buf.get() + lo, n)) return true;
  failed_ = true;
  p.wlen = 0;
  p.tail_known = false;
  return false;
}

bool HostFile::drop_parked(long long lo, long long hi) {
  bool ok = true;
  for (std::size_t i = 0; i < parked_.size();) {
    Parked& p = parked_[i];
    if (p.wstart < hi && p.wstart + kSpan > lo) {
      if (!write_back(p)) ok = false;
      parked_.erase(parked_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  return ok;
}

bool HostFile::write_back_all() {
  bool ok = write_back();
  for (Parked& p : parked_)
    if (!write_back(p)) ok = false;
  return ok;
}

bool HostFile::move_window(std::size_t n) {
  // Moving on from the window keeps the read-ahead; a jump starts it small.
  const bool onward = pos_ >= wstart_ && pos_ <= wstart_ + static_cast<long long>(wlen_);
  const long long end = pos_ + static_cast<long long>(n);
  for (Parked& p : parked_) {
    if (pos_ >= p.wstart && end <= p.wstart + kSpan) {
      swap_current(p);
      p.used = ++clock_;
      return true;
    }
  }
  if (dlo_ < dhi_) {  // a clean window has nothing to keep: its bytes are in the file
    if (parked_.size() >= kParked) {
      auto lru = parked_.begin();
      for (auto it = parked_.begin(); it != parked_.end(); ++it)
        if (it->used < lru->used) lru = it;
      const bool ok = write_back(*lru);
      parked_.erase(lru);
      if (!ok) return false;
    }
    Parked p;
    p.buf.reset(new char[kWindow]);
    p.used = ++clock_;
    swap_current(p);  // the current window is parked, a fresh buffer is current
    parked_.push_back(std::move(p));
  }
  if (!drop_parked(pos_, pos_ + kSpan)) return false;
  wstart_ = pos_;
  wlen_ = 0;
  tail_known_ = false;
  dlo_ = dhi_ = 0;
  ahead_ = onward ? ahead_ : kMinFill;
  return true;
}

HostFile::Status HostFile::write_through(const char* data, std::size_t n) {
  if (!put(pos_, data, n)) {
    failed_ = true;
    return Status::WriteFailed;
  }
  const long long lo = std::max(pos_, wstart_);
  const long long hi = std::min(pos_ + static_cast<long long>(n), wstart_ + static_cast<long long>(wlen_));
  if (lo < hi)
    std::memcpy(buf_.get() + (lo - wstart_), data + (lo - pos_), static_cast<std::size_t>(hi - lo));
  pos_ += static_cast<long long>(n);
  size_ = std::max(size_, pos_);
  return Status::Ok;
}

HostFile::Status HostFile::write(const char* data, std::size_t n) {
  if (n == 0) return Status::Ok;
  if (pager_) return write_through(data, n);
  if (append_) pos_ = size_;
  long long o = pos_ - wstart_;
  if (o < 0 || o + static_cast<long long>(n) > kSpan) {
    if (n >= kWindow) {
      // Too large for the window: written straight through, after the
      // dirty bytes of the windows it meets; the window starts again after it.
      if (!write_back() || !drop_parked(pos_, pos_ + static_cast<long long>(n))) return Status::WriteFailed;
      const bool ok = put(pos_, data, n);
      wstart_ = pos_ + static_cast<long long>(n);
      wlen_ = 0;
      tail_known_ = false;
      if (!ok) {
        failed_ = true;
        return Status::WriteFailed;
      }
      pos_ += static_cast<long long>(n);
      size_ = std::max(size_, pos_);
      return Status::Ok;
    }
    if (!move_window(n)) return Status::WriteFailed;
    o = pos_ - wstart_;
  }
  std::size_t at = static_cast<std::size_t>(o);
  if (at > wlen_) {
    if (!readable_ || !seekable_) {
      // The bytes between cannot be read: the window starts here instead.
      if (!write_back() || !drop_parked(pos_, pos_ + kSpan)) return Status::WriteFailed;
      wstart_ = pos_;
      wlen_ = 0;
      tail_known_ = false;
      at = 0;
    } else {
      if (!tail_known_ && !fill(at)) return Status::ReadFailed;
      if (at > wlen_) {  // past the end of the file: the gap reads as zeros
        std::memset(buf_.get() + wlen_, 0, at - wlen_);
        wlen_ = at;
      }
    }
  }
  std::memcpy(buf_.get() + at, data, n);
  wlen_ = std::max(wlen_, at + n);
  if (dlo_ >= dhi_) {
    dlo_ = at;
    dhi_ = at + n;
  } else {
    dlo_ = std::min(dlo_, at);
    dhi_ = std::max(dhi_, at + n);
  }
  pos_ += static_cast<long long>(n);
  size_ = std::max(size_, pos_);
  return Status::Ok;
}

HostFile::Status HostFile::read_more(char* out, std::size_t n, std::size_t& got) {
  got = 0;
  if (n == 0) return Status::Ok;
  long long o = pos_ - wstart_;
  if (o < 0 || o + static_cast<long long>(n) > kSpan) {
    if (n >= kWindow) {
      // Too large for the window: read straight from the file, once the
      // dirty bytes of every window are there.
      if (!write_back_all()) return Status::WriteFailed;
      while (got < n) {
        const long k = in(out + got, n - got, pos_ + static_cast<long long>(got));
        if (k < 0) return Status::ReadFailed;
        if (k == 0) break;
        got += static_cast<std::size_t>(k);
      }
      pos_ += static_cast<long long>(got);
      return Status::Ok;
    }
    if (!move_window(n)) return Status::WriteFailed;
    o = pos_ - wstart_;
  }
  const std::size_t at = static_cast<std::size_t>(o);
  // Past the known bytes the file is asked again: another descriptor may
  // have made it longer.
  if (at + n > wlen_ && !fill(at + n)) return Status::ReadFailed;
  if (at + n > wlen_ && tail_known_ && !parked_.empty() &&
      wstart_ + static_cast<long long>(at) < size_) {
    // The file ends short of what is written: a parked window holds bytes
    // past this one.  Once they are in the file, the bytes between read.
    if (!write_back_all()) return Status::WriteFailed;
    tail_known_ = false;
    if (!fill(at + n)) return Status::ReadFailed;
  }
  if (at < wlen_) {
    got = std::min(n, wlen_ - at);
    std::memcpy(out, buf_.get() + at, got);
  }
  pos_ += static_cast<long long>(got);
  return Status::Ok;
}

int HostFile::getc_slow() {
  char c;
  std::size_t got = 0;
  if (read(&c, 1, got) != Status::Ok) return -2;
  return got == 0 ? -1 : static_cast<unsigned char>(c);
}

long long HostFile::size() {
  if (pager_) return size_;
  struct stat st;
  if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > size_) size_ = st.st_size;
  return size_;
}

HostFile::Status HostFile::flush() {
  return write_back_all() && !failed_ ? Status::Ok : Status::WriteFailed;
}

HostFile::Status HostFile::truncate(long long size) {
  if (!write_back_all() || failed_) return Status::WriteFailed;
  parked_.clear();
  if (size < 0) size = 0;
  if (pager_) {
    if (!pager_->cut(size)) {
      why_ = pager_->why();
      failed_ = true;
      return Status::WriteFailed;
    }
  } else if (osio::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    why_ = std::strerror(errno);
    failed_ = true;
    return Status::WriteFailed;
  }
  size_ = size;
  if (wstart_ + static_cast<long long>(wlen_) > size) {
    wlen_ = wstart_ < size ? static_cast<std::size_t>(size - wstart_) : 0;
    tail_known_ = false;
  }
  return Status::Ok;
}

bool HostFile::publish() {
  const std::string from = temp_.empty() ? "/proc/self/fd/" + std::to_string(fd_) : temp_;
  if (osio::link(from.c_str(), target_.c_str()) != 0) {
    name_taken_ = errno == EEXIST;
    why_ = name_taken_ ? "a file of that name was made meanwhile"
                       : std::string("cannot give it its name: ") + std::strerror(errno);
    return false;
  }
  if (!temp_.empty()) {
    osio::unlink(temp_.c_str());
    temp_.clear();
  }
  if (!sync_dir(dir_of(target_))) {
    why_ = std::string("cannot sync the directory (") + dir_of(target_) + ")";
    return false;
  }
  return true;
}

bool HostFile::commit() {
  if (journal_) {
    if (!pager_->write_back()) {
      why_ = pager_->why();
      return false;
    }
    const bool ok = journal_->commit();
    if (!ok) why_ = journal_->why();
    return ok;
  }
  if (!staged_) return true;
  if (osio::fsync(fd_) != 0) {
    why_ = std::string("cannot sync it: ") + std::strerror(errno);
    return false;
  }
  return publish();
}

HostFile::Status HostFile::close() {
  bool ok = write_back_all() && !failed_;
  if (ok && !commit()) ok = false;
  if (!ok && (journal_ || staged_)) {
    // A change that cannot be kept is undone whole.
    const std::string why = why_;
    const bool taken = name_taken_;
    abandon();
    why_ = why;
    return taken ? Status::NameTaken : Status::WriteFailed;
  }
  pager_.reset();
  journal_.reset();
  if (::close(fd_) != 0) ok = false;
  fd_ = -1;
  buf_.reset();
  parked_.clear();
  return ok ? Status::Ok : Status::WriteFailed;
}

HostFile::Status HostFile::abandon() {
  dlo_ = dhi_ = 0;
  parked_.clear();
  bool ok = true;
  pager_.reset();
  if (journal_) {
    ok = journal_->rollback();
    if (!ok) why_ = journal_->why();
    journal_.reset();
  }
  if (staged_ && !temp_.empty()) osio::unlink(temp_.c_str());
  staged_ = false;
  temp_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buf_.reset();
  return ok ? Status::Ok : Status::WriteFailed;
}

}  // namespace vos::fio
