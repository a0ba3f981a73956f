// The binding's error state, handler stack, exception handler and error
// action.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "halvo/c_tables.h"
#include "halvo/halvo.h"
#include "vos/error.h"
#include "vos/exception.h"
#include "vos/files.h"

int halvo::halvo_errcode = 0;
char halvo::halvo_errmsg[halvomsglen + 1] = "";

namespace {

void (*errhandler[max_err_handlers])(void) = {};
int halvo_errtop = -1;
bool g_in_signal = false;

// Flushes every output stream and ends the process with status -1.
[[noreturn]] void halvo_exit() {
  std::fflush(nullptr);
  if (g_in_signal) std::_Exit(255);
  std::exit(-1);
}

// Hook for VOS's erract: warnings and fatal errors go through ceract.  VOS
// has already cleared a warning's error; it is posted again for ceract, and
// stays posted only when an open block is to see it.
void vos_action_hook(int action, int code, const std::string& message) {
  if (action == vos::EA_WARN) {
    vos::post_error(code, message);
    ceract(action);
    if (vos::open_error_blocks() == 0) vos::xerret();
    return;
  }
  ceract(action);
}

// A VOS error that escaped every catching block ends the process as the
// error action does; anything else keeps the usual termination.
void on_terminate() {
  if (std::exception_ptr ep = std::current_exception()) {
    try {
      std::rethrow_exception(ep);
    } catch (const vos::Error& e) {
      vos::post_error(e.code() < 1 ? 1 : e.code(), e.message());
      ceract(vos::EA_ERROR);
    } catch (...) {
    }
  }
  std::abort();
}

}  // namespace

void halvo::clear_halvoerr() {
  halvo_errcode = 0;
  halvo_errmsg[0] = '\0';
}

void halvo::set_halvoerr() {
  std::string msg;
  int code = vos::errget(msg);
  vos::xerret();
  // An error is never reported without words.
  if (msg.empty()) msg = "Error " + std::to_string(code == 0 ? 99 : code);
  char16_t* buf = CH2I_buffer(0);
  slot_put(0, msg, 0, halvomsglen);
  halvo_errcode = code == 0 ? 99 : code;
  std::size_t i = 0;
  for (; i < static_cast<std::size_t>(halvomsglen) && buf[i] != 0; ++i)
    halvo_errmsg[i] = static_cast<char>(buf[i] & 0xff);
  halvo_errmsg[i] = '\0';
  if (halvo_errtop >= 0 && errhandler[halvo_errtop]) errhandler[halvo_errtop]();
}

extern "C" int c_voserr(void) { return halvo_errcode; }
extern "C" const char* c_voserrmsg(void) { return halvo_errmsg; }

extern "C" int c_pusherr(void (*handler)(void)) {
  if (halvo_errtop + 1 >= max_err_handlers) return -1;
  errhandler[++halvo_errtop] = handler;
  return halvo_errtop + 1;
}

extern "C" int c_poperr(void) {
  if (halvo_errtop < 0) return -1;
  errhandler[halvo_errtop--] = nullptr;
  return halvo_errtop + 1;
}

void halvo::halvoih() {
  for (int x : {vos::X_ACV, vos::X_INT, vos::X_ARITH, vos::X_IPC}) vos::xwhen(x, halvoxh);
  vos::intrrt();
}

void halvo::halvoxh(int exception) {
  g_in_signal = true;
  std::string ostext;
  int oscode = vos::zxgmes(ostext, 1023);
  for (int fd : {vos::STDOUT, vos::CLOUT, vos::CLIN}) vos::fseti(fd, vos::F_FLUSHNL, 0);
  auto text = [&](const char* fallback) {
    return (oscode != 0 && !ostext.empty()) ? ostext : std::string(fallback);
  };
  switch (exception) {
    case vos::X_ACV: halvofl(501, text("Access violation"));
    case vos::X_ARITH: halvofl(502, text("Arithmetic exception"));
    case vos::X_INT: halvofl(503, text("Keyboard interrupt"));
    case vos::X_IPC: halvofl(504, "Write to IPC with no reader");
    default: halvofl(1, "Unknown exception");
  }
}

void halvo::halvoxt(int code, std::string_view message, int action) {
  vos::post_error(code < 1 ? 1 : code, message);
  if (vos::open_error_blocks() > 0 && action == vos::EA_ERROR) {
    // The open block takes the error: unwind to it.
    vos::erract(vos::EA_ERROR);
  }
  ceract(action);
}

void halvo::halvofl(int code, std::string_view message) {
  halvoxt(code, message, vos::EA_FATAL);
  halvo_exit();
}

void halvo::halvoer(int code, std::string_view message) {
  if (vos::error_pending()) {
    std::string old;
    int pending = vos::errget(old);
    if (pending == (code < 1 ? 1 : code)) return;
    ceract(vos::EA_FATAL);
    return;
  }
  halvoxt(code, message, vos::EA_ERROR);
}

void halvo::ceract(int action) {
  if (action == vos::EA_CLEAR) {
    vos::xerret();
    return;
  }
  std::string msg;
  int code = vos::errget(msg);
  const bool in_block = vos::open_error_blocks() > 0;
  if (in_block) {
    if (action == vos::EA_ERROR || action == vos::EA_WARN) return;  // the block sees it
    if (action == vos::EA_FATAL) {
      halvo_errcode = code;
      std::fprintf(stderr, "VOS fatal error: %s (%d)\nAborting...\n", msg.c_str(), code);
      halvo_exit();
    }
  } else if (action == vos::EA_WARN) {
    std::fprintf(stderr, "VOS warning: %s (%d)\n", msg.c_str(), code);
    return;
  }
  halvo_errcode = code;
  std::fprintf(stderr, "VOS error: %s (%d)\nNo user-posted exception handler!  Aborting...\n",
               msg.c_str(), code);
  halvo_exit();
}

void halvo::halvo_install_error_action() {
  vos::set_error_action_hook(vos_action_hook);
  std::set_terminate(on_terminate);
}
