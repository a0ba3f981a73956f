// Writing an in-memory table as a new table file through the table
// library's host binding.
#pragma once

#include "loadfile/table.h"

// Writes the table under `name` with one character column per table column
// (widths[c] characters; longer cells are cut) and the header keywords as
// text header parameters (in the primary header for a FITS name).  A count
// that differs from the table's columns is fatal error 24; a failure of the
// table library is fatal error 15 with the name, after removing any file
// this call created and putting back the bytes of an existing file it was
// appending to.
void write_mivutab(table* t, int count, const int* widths, const char* name);
