// The tests' time scale.  Test programs (the unit and fuzz tests, the
// stand-in server, the tool built in the tree for the end-to-end tests)
// link this file, which applies QUOREL_TIME_SCALE from the environment
// before main, so that CTest shortens their waits.  The installed tool and
// libraries never link it: their waits are always the nominal ones.
#include <cstdlib>

#include "platform/clock.h"

namespace platform {
namespace {

// Sets the scale from the environment; the value only marks it done.
const bool kScaleApplied = [] {
  plat_set_time_scale(plat_scale_from_text(std::getenv("QUOREL_TIME_SCALE")));
  return true;
}();

}  // namespace
}  // namespace platform
