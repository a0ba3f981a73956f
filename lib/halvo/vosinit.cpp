// Start-up of the VOS run time for a program of the host's own kind.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "halvo/c_tables.h"
#include "halvo/halvo.h"
#include "halvo/sysscan.h"
#include "vos/env.h"
#include "vos/error.h"
#include "vos/files.h"

int halvo::halvo_vosinit = 0;

namespace {

// Task kind, fixed when the program is built: exactly one is non-zero.
constexpr int vos_native_task = 0;
constexpr int os_host_task = 1;

constexpr int kHostTask = 3;       // process type of a host task
constexpr int kSzCommand = 1023;   // command buffer
constexpr long kFileCloseFd = 23;  // file parameter set on a string-file argument stream

// Process state kept by the start-up.
struct ProcessState {
  std::string name = " ";
  std::string bkgfile;
  int proctype = kHostTask;
  int startup_state = 0;  // 0 during the first start-up, 3 once done
};

ProcessState& proc() {
  static ProcessState p;
  return p;
}

[[noreturn]] void startup_failed() {
  std::fprintf(stderr, "fatal error during process startup\n");
  std::fflush(nullptr);
  std::exit(-1);
}

// Reads the environment definitions file, ignoring any error in it.
void read_zzsetenv() {
  const char* stmt = nullptr;
  if (vos::access("zzsetenv.def")) stmt = "set @zzsetenv.def";
  else if (vos::access("host$hlib/zzsetenv.def")) stmt = "set @host$hlib/zzsetenv.def";
  if (!stmt) return;
  if (vos::iferr([&] { vos::envscan(stmt); })) vos::xerret();
}

// The VOS side of the start-up: streams, error machinery, environment and
// the scan of the (empty) argument list.
void irinit(const std::string& command, int proctype) {
  ProcessState& p = proc();
  p.startup_state = 0;
  try {
    halvoih();
    vos::xerret();
    vos::erract(vos::EA_CLEAR);
    halvo_install_error_action();
    clcint();
    if (proctype == kHostTask) read_zzsetenv();
  } catch (const vos::Error&) {
    startup_failed();
  }
  // From here on an error that no catching block takes ends the process
  // through the binding's error action (installed above).
  std::size_t ip = command.find_first_not_of(" \t\n");
  int argstream = vos::CLIN;
  bool strfile = false;
  if (ip != std::string::npos) {
    argstream = vos::stropen(command.substr(ip), vos::READ_ONLY);
    vos::fseti(argstream, kFileCloseFd, 1);
    strfile = true;
  }
  p.startup_state = 3;
  clcint();
  std::string args;
  if (strfile) vos::getline(argstream, args);
  syssct(argstream, args);
  if (strfile) vos::close(argstream);
  vos::flush(vos::CLOUT);
}

}  // namespace

extern "C" void c_vosinit(void) {
  if (halvo_vosinit) return;  // the run time starts once
  halvo_vosinit = 1;
  if (!vos_native_task && !os_host_task) {
    std::fputs("Program must be compiled either as VOS native task or a host operating system task.\n",
               stdout);
    std::fflush(stdout);
    std::exit(-1);
  }
  if (vos_native_task) return;
  ProcessState& p = proc();
  p.name = " ";
  p.bkgfile.clear();
  p.proctype = kHostTask;
  std::string command;  // the empty command of a host task
  command.reserve(kSzCommand);
  irinit(command, p.proctype);
}
