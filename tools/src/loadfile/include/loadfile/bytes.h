// Growable bytes of a character buffer.
//
// Like a vector of char, but a large block grows where it lies (the system
// remaps its pages) instead of being copied into a new one, so that a
// growing buffer never holds its bytes twice.
#pragma once

#include <cstddef>

class byte_store {
 public:
  byte_store() = default;
  byte_store(const byte_store& other);
  byte_store& operator=(const byte_store& other);
  ~byte_store();

  char* data() { return p_; }
  const char* data() const { return p_; }
  // Bytes in use (a pointer past them is never handed out).
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // n bytes: the first ones kept, new ones zero.  Growing may move them.
  void resize(std::size_t n);
  // n bytes, each c.
  void assign(std::size_t n, char c);
  // No bytes, and the memory given back.
  void clear();

 private:
  void reserve(std::size_t n);
  void release();

  char* p_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool mapped_ = false;  // p_ is a mapping of its own, else malloc'd
};
