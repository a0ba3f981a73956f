// The component-table task: the database conversation, the throughput
// column choice and the run that ties them to the output table.
#pragma once

#include "loadfile/table.h"
#include "loadfile/text.h"

// ---- Throughput column choice ---------------------------------------------

// Longest path of a throughput file, and of a chosen column name.
inline constexpr int THRU_MAXPATH = 127;
inline constexpr int THRU_MAXCOL = 63;

// Similarity score of two strings: the number of characters matched by
// repeatedly taking the longest common run (case-insensitive); 0 when
// either is empty.
int similar(const char* a, const char* b);

// The matching count behind `similar`, over two inclusive character ranges.
int common_length(const char* first1, const char* last1, const char* first2, const char* last2);

// Applies the candidate rules to one lower-cased column name (wavelength and
// error columns, "_err" columns and parameterized "_err#" columns are
// skipped; a parameterized name is rewritten; repeats are skipped) and
// appends it to the list when it is a candidate.  `name` may be rewritten.
void add_thru_candidate(text* list, char* name);

// Chooses among the candidates for a component: the single one, or the
// first with the highest similarity.  No candidate is warning 25 with the
// path as detail and gives the empty name.  The result is cut to maxch.
void choose_thrucol(text* list, const char* component, const char* path, char* column, int maxch);

// The FILENAME cell for a path and its chosen column: the bare path for a
// column named "throughput", else "path[column]".
void thru_cell(const char* path, const char* column, char* out, int maxch);

// Appends the candidate columns of the table file at path (translated
// first) to the list; a file that cannot be opened is fatal error 1.
void getthrulist(const char* path, text* list);

// Chooses the throughput column of the file at path for a component.
void getthrucol(const char* path, const char* component, char* column, int maxch);

// Rewrites every row's FILENAME cell as the throughput file's path and
// column, using the throughput catalogue.
void update_comp(table* t);

// ---- Database conversation -----------------------------------------------

// The buffer size of the comment column and its longest value.
inline constexpr int COMMENT_BUFSIZE = 16001;
inline constexpr int COMMENT_MAXLEN = COMMENT_BUFSIZE - 1;
// The buffer size and bound of the other fetched columns.
inline constexpr int FETCH_BUFSIZE = 64;
inline constexpr int FETCH_BOUND = 63;

// Cleans a fetched value in place: outer blanks dropped, inner runs of
// blanks and control characters made one blank, lower-cased.
void clean_fetched(char* value);

// Ends a fetched text value of `length` bytes in a buffer of `size` bytes,
// cutting it so that the terminator stays inside the buffer.
void end_text_value(char* buffer, int length, int size);

// Runs the four statements and fills the table's rows (count database
// columns feed the table columns of the same position).
void comptab_qry(const char* date, int count, const char* dbcols, const char* tabcols,
                 const char* ext, table* t);

// ---- The run -------------------------------------------------------------

// Puts the first four header keywords and the columns of the
// comma-separated list (four are taken) into the table.
void init_comptab(const char* columns, table* t);

// The HISTORY value for a given time ("Created on " and the date text,
// cut to 63 characters).
void history_text(double now, char* out);

// Turns the date option (or the current time) into the database date
// text; an invalid date is fatal error 12 with the option text.
void cutoff_text(const char* option, char* out, int maxch);

// Fills the table: header, columns, cut-off date, database rows, throughput
// columns.
void quorel(table* t);
