// The process-wide option store and the positional argument array.
//
// Options are name=value, name+ ("yes") or name- ("no"); the first setting
// of a name wins, so command-line values override defaults declared later.
#pragma once

#include "loadfile/alist.h"

// The option list; made by init_option, freed by free_option.
extern alist* options;

// Most positional entries held (the program name included).
inline constexpr int ORVO_MAXPARAM = 2000;

// Positional arguments: entry 0 the program name, then the arguments after
// wildcard expansion, then a null pointer at `nparam`.  Owned here.
extern char* param[ORVO_MAXPARAM + 1];
extern int nparam;

// 1 if the argument is an option (holds "=" and no blank, or ends in "+"
// or "-"), else 0.
int is_option(const char* arg);

// Stores one option; an existing name is left as it is.  Text of neither
// form is warning 44.
void put_option(const char* arg);

// Declares defaults from a comma-separated list (at most 50 entries, up to
// the first empty one), each taken as put_option takes it.  Returns the
// number of entries taken.
int def_option(const char* list);

// The value of a name (owned by the list); an unknown name is fatal error 43.
char* get_option(const char* name);

// The index-th option in order of first setting; 0, or -1 past the end.
int each_option(int index, char** name, char** value);

void init_option();
void free_option();

// Appends arg, or the bare names of the entries of its directory that match
// it when it holds "*" or "?", to array at *count (at most max entries).
void wild_expand(const char* arg, int max, int* count, char** array);

// Declares "v=no"; when v is exactly "yes", reports the installation date.
void print_ver();

// Frees the positional entries and sets nparam to 0.
void free_param();
