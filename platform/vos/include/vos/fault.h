// Test seam: fault injection into the file layer.  Tests use it to check that
// a failing write or rename loses no data.  Production code never calls it.
#pragma once

namespace vos::fault {

// The write call after `n` more successful writes (0: the very next one)
// raises SYS_FWRITE "Cannot write to file (name)" without writing anything;
// a host file then counts as failed, as after a failed write-back (its
// later flushes and its close fail, and a change in place is rolled back).
// Only one failure is injected; a negative `n` cancels.
void fail_write_after(long n);

// The next `rename` raises SYS_FRENAME without renaming anything.
void fail_next_rename();

// Cancels every pending injected fault.
void clear();

}  // namespace vos::fault
