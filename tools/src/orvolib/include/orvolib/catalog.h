// Catalogue files, glob patterns and file-name translation.
//
// Both catalogues (thrucat.dat: file-name patterns to directories;
// directory.dat: logical names to directories) live under the installation's
// data root in tools/data/.  Their logical lines hold two blank-separated
// fields (quoting allowed), "#" comment lines and blank lines are skipped,
// and a line ending in "\" continues on the next.
#pragma once

#include <cstdio>
#include <string>

#include "loadfile/alist.h"

// The installation's data root (ends in "/"), fixed when the tool is built.
const char* orvo_root();

// The built-in root orvo_root gives unless orvo_set_root pointed it
// elsewhere: the build tree's root for the tool built in the tree and for
// the tests, ORVO_ROOT for the installed tool (orvo_root_dir.cpp).
const char* orvo_default_root();

// Points the data root elsewhere (tests only); null restores the built-in
// root.  Drops a loaded directory catalogue so it is read again.
void orvo_set_root(const char* root);

// <root>tools/data/thrucat.dat and <root>tools/data/directory.dat.
std::string thrucat_path();
std::string directory_path();

// Reads the next logical line into out (at most maxch characters); 0 when
// a line was read, -1 at the end of the file.  A physical line of 511
// characters or more is fatal error 21.
int rdlines(std::FILE* stream, char* out, int maxch);

// Index of the first character above 32 (bytes of 128 and above count as
// blanks), or of the terminator.
int first_char(const char* s);

// If the line holds a backslash followed only by blank-like bytes, cuts the
// line at the last such backslash and returns 1; otherwise 0.
int is_continued(char* line);

// Loads a catalogue into a new list (a repeated key replaces the value and
// keeps its place); a file that cannot be opened is fatal error 1.
alist* read_alist(const char* path);
alist* xlate_init(const char* path);

// 1 if the whole name matches the whole pattern ("*" any run, "?" one
// character, case-sensitive), else 0.
int patmatch(const char* pattern, const char* name);

// The value of the first key, in insertion order, that matches the name as
// a pattern; null if none.
char* patmatch_alist(alist* list, const char* name);

// From *index on, the value of the next key the pattern matches; *index is
// left just after it (at the key count when none is left, result null).
char* match_alist(alist* list, const char* pattern, int* index);

// Splits a file name into directory (up to and including the last
// delimiter), root and extension (the "." included); outputs may be null
// and are cut to maxch characters.
void breakfname(const char* name, char* directory, char* root, char* extension, int maxch);

// Translates logical names (logical$rest, nested at most 8 deep) through
// the directory catalogue; a name still relative is put under the data
// root.  Fatal errors 26 (too deep) and 27 (unknown logical name).
void xlate_fname(const char* name, char* out, int maxch);

// base followed by the "/"-separated subdirectories ("..": up one), ending
// in "/"; returns the number of components taken.
int addsubdir(const char* base, const char* subdirectories, char* out, int maxch);

// 1 for ".fits", ".fit", or a "." and three characters ending in "f".
int is_fitsname(const char* name);
