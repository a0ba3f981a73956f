// Hooks for the access layer's tests (kept apart from the DB client header,
// whose SUCCEED and FAIL would clash with the test framework's macros).
#pragma once

namespace qelt {
// Resets every slot, context and report setting to the state at process start.
void qelt_reset_for_tests();
}  // namespace qelt
