// Password encryption for the encrypted login: the same routine the DB
// client uses, so that the server can check what the client sends.
#include "dblib/db_encrypt.h"
#include "session.h"

namespace standin {

bool encrypt_login_password(const std::string& password, const std::string& key, std::string& out) {
  unsigned char buf[33];
  int len = 0;
  if (!com__string_initialize(reinterpret_cast<const unsigned char*>(key.data()), static_cast<int>(key.size()),
                              password.data(), static_cast<int>(password.size()), buf, &len))
    return false;
  out.assign(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(len));
  return true;
}

bool decrypt_login_password(const std::string& key, const std::string& encrypted, std::string& password) {
  char buf[64] = {};
  int len = 0;
  if (!com__string_uninitialize(reinterpret_cast<const unsigned char*>(key.data()), static_cast<int>(key.size()),
                                reinterpret_cast<const unsigned char*>(encrypted.data()),
                                static_cast<int>(encrypted.size()), buf, &len))
    return false;
  password.assign(buf, static_cast<std::size_t>(len < 0 ? 0 : len));
  return true;
}

}  // namespace standin
