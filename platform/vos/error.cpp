// Raising errors, the pending-error state, error actions and clean-up
// procedures.
#include "vos/error.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "vos/files.h"

namespace vos {
namespace {

struct ErrorState {
  bool pending = false;
  int code = 0;
  std::string message;
};

ErrorState& state() {
  static ErrorState s;
  return s;
}

int g_open_blocks = 0;

std::vector<OnErrorProc>& procs() {
  static std::vector<OnErrorProc> p;
  return p;
}

// Writes and flushes all output, then ends the process with status -1.
[[noreturn]] void die() {
  std::fflush(nullptr);
  std::exit(-1);
}

// Default error action: a warning is printed, a fatal error ends the process.
void default_hook(int action, int code, const std::string& message) {
  if (action == EA_WARN) {
    std::fprintf(stderr, "VOS warning: %s (%d)\n", message.c_str(), code);
    return;
  }
  std::fprintf(stderr, "VOS fatal error: %s (%d)\nAborting...\n", message.c_str(), code);
  die();
}

ErrorActionHook g_hook = default_hook;

std::string cut(std::string_view m) {
  return std::string(m.substr(0, kMaxErrorMessage));
}

}  // namespace

void error(int code, std::string_view message) { throw Error(code, cut(message)); }

void fatal(int code, std::string_view message) {
  post_error(code, message);
  erract(EA_FATAL);
  die();  // a hook that returns from a fatal error still ends the process
}

void post_error(int code, std::string_view message) {
  ErrorState& s = state();
  s.pending = true;
  s.code = code;
  s.message = cut(message);
}

bool error_pending() { return state().pending; }

int errget(std::string& message) {
  const ErrorState& s = state();
  if (!s.pending) {
    message.clear();
    return 0;
  }
  message = s.message;
  return s.code;
}

void xerret() {
  ErrorState& s = state();
  s.pending = false;
  s.code = 0;
  s.message.clear();
}

void erract(int action) {
  ErrorState& s = state();
  switch (action) {
    case EA_CLEAR:
    case EA_RESTART:
      xerret();
      return;
    case EA_ERROR: {
      if (!s.pending) return;
      Error e(s.code, s.message);
      xerret();
      throw e;
    }
    case EA_WARN: {
      if (!s.pending) return;
      int code = s.code;
      std::string msg = s.message;
      xerret();
      g_hook(EA_WARN, code, msg);
      return;
    }
    case EA_FATAL:
      g_hook(EA_FATAL, s.code, s.message);
      die();
    default:
      return;
  }
}

ErrorActionHook set_error_action_hook(ErrorActionHook hook) {
  ErrorActionHook old = g_hook;
  g_hook = hook ? hook : default_hook;
  return old;
}

int open_error_blocks() { return g_open_blocks; }
ErrorBlock::ErrorBlock() { ++g_open_blocks; }
ErrorBlock::~ErrorBlock() { --g_open_blocks; }

void onerror(OnErrorProc proc) {
  if (proc) procs().push_back(proc);
}

void onerror_remove(OnErrorProc proc) {
  auto& p = procs();
  for (auto it = p.begin(); it != p.end(); ++it) {
    if (*it == proc) {
      p.erase(it);
      return;
    }
  }
}

void xonerr(int status) {
  std::vector<OnErrorProc> run;
  run.swap(procs());
  bool failed = false;
  Error first(0, "");
  for (OnErrorProc p : run) {
    try {
      p(status);
    } catch (const Error& e) {
      if (!failed) first = e;
      failed = true;
    }
  }
  if (failed) throw first;
}

}  // namespace vos
