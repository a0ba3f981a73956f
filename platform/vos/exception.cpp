// Signals turned into VOS exceptions and handed to the posted handlers.
#include "vos/exception.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "vos/error.h"

namespace vos {
namespace {

XHandler g_handlers[4] = {nullptr, nullptr, nullptr, nullptr};
int g_last_code = 0;
const char* g_last_text = "";

int slot(int exception) {
  if (exception < X_ACV || exception > X_IPC) return -1;
  return exception - X_ACV;
}

// The operating system's text for a signal's detail code.
const char* detail_text(int sig, int code) {
  if (sig == SIGFPE) {
    switch (code) {
      case FPE_INTDIV: return "Integer divide by zero";
      case FPE_INTOVF: return "Integer overflow";
      case FPE_FLTDIV: return "Floating point divide by zero";
      case FPE_FLTOVF: return "Floating point overflow";
      case FPE_FLTUND: return "Floating point underflow";
      case FPE_FLTRES: return "Floating point inexact result";
      case FPE_FLTINV: return "Floating point invalid operation";
      case FPE_FLTSUB: return "Subscript out of range";
      default: return "";
    }
  }
  if (sig == SIGSEGV) {
    switch (code) {
      case SEGV_MAPERR: return "Segmentation violation: address not mapped";
      case SEGV_ACCERR: return "Segmentation violation: invalid permissions";
      default: return "";
    }
  }
  if (sig == SIGBUS) return code > 0 ? "Bus error" : "";
  if (sig == SIGILL) return code > 0 ? "Illegal instruction" : "";
  return "";
}

int exception_of(int sig) {
  switch (sig) {
    case SIGSEGV: case SIGBUS: case SIGILL: return X_ACV;
    case SIGFPE: return X_ARITH;
    case SIGINT: return X_INT;
    case SIGPIPE: return X_IPC;
    default: return 0;
  }
}

void on_signal(int sig, siginfo_t* info, void*) {
  const int exc = exception_of(sig);
  // A signal raised by a process (kill, raise) carries no fault detail.
  const int code = (info && info->si_code > 0) ? info->si_code : 0;
  const char* text = detail_text(sig, code);
  g_last_code = *text ? code : 0;
  g_last_text = text;
  XHandler h = slot(exc) >= 0 ? g_handlers[slot(exc)] : nullptr;
  if (h) h(exc);
  if (exc == X_INT || exc == X_IPC) {
    if (h) return;
  }
  // No handler, or a handler that returned from a fault: the program cannot
  // go on.
  static const char msg[] = "VOS: unhandled exception\n";
  ssize_t w = ::write(2, msg, sizeof msg - 1);
  (void)w;
  std::_Exit(-1 & 0xff);
}

void install(int sig) {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_sigaction = on_signal;
  sa.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  ::sigaction(sig, &sa, nullptr);
}

void uninstall(int sig) {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  ::sigaction(sig, &sa, nullptr);
}

}  // namespace

XHandler xwhen(int exception, XHandler handler) {
  int s = slot(exception);
  if (s < 0) error(SYS_ERROR, "Unknown exception (" + std::to_string(exception) + ")");
  XHandler old = g_handlers[s];
  g_handlers[s] = handler;
  switch (exception) {
    case X_ACV: install(SIGSEGV); install(SIGBUS); install(SIGILL); break;
    case X_ARITH: install(SIGFPE); break;
    case X_INT: install(SIGINT); break;
    case X_IPC: install(SIGPIPE); break;
  }
  return old;
}

int zxgmes(std::string& text, std::size_t maxch) {
  text.assign(g_last_text);
  if (text.size() > maxch) text.resize(maxch);
  return g_last_code;
}

void intrrt() {
  if (g_handlers[slot(X_INT)]) install(SIGINT);
}

void xwhen_reset() {
  for (XHandler& h : g_handlers) h = nullptr;
  for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGINT, SIGPIPE}) uninstall(sig);
  g_last_code = 0;
  g_last_text = "";
}

}  // namespace vos
