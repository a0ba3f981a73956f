// Event notifications between sessions: a session registers for an event
// by name (the procedure watch_event); a session raising it (raise_event)
// queues a notification for every registered session.  A session sends
// its queued notifications within its next reply: before the reply's
// first token, and after each row of a language batch's result sets (so a
// notification raised by a statement of the same batch arrives while the
// rows of a later select are being read).
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "wire.h"

namespace standin {

class EventHub {
 public:
  void watch(const std::string& name, long session);
  // Queues the notification's tokens for every session watching the
  // name; returns how many sessions that is.
  int raise(const std::string& name, const Bytes& tokens);
  // Takes the session's queued notifications (empty when there are none).
  Bytes take(long session);
  // Forgets a session that ended.
  void forget(long session);

 private:
  std::mutex m_;
  std::map<std::string, std::set<long>> watchers_;
  std::map<long, Bytes> pending_;
};

}  // namespace standin
