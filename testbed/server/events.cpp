#include "events.h"

namespace standin {

void EventHub::watch(const std::string& name, long session) {
  std::lock_guard<std::mutex> lock(m_);
  watchers_[name].insert(session);
}

int EventHub::raise(const std::string& name, const Bytes& tokens) {
  std::lock_guard<std::mutex> lock(m_);
  auto it = watchers_.find(name);
  if (it == watchers_.end()) return 0;
  for (long s : it->second) pending_[s].raw(tokens);
  return static_cast<int>(it->second.size());
}

Bytes EventHub::take(long session) {
  std::lock_guard<std::mutex> lock(m_);
  Bytes out;
  auto it = pending_.find(session);
  if (it != pending_.end()) {
    out = std::move(it->second);
    pending_.erase(it);
  }
  return out;
}

void EventHub::forget(long session) {
  std::lock_guard<std::mutex> lock(m_);
  pending_.erase(session);
  for (auto& [name, sessions] : watchers_) sessions.erase(session);
}

}  // namespace standin
