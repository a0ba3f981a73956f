// Paths of the common library's files under the installation home, and
// the global-id cache that turns names of character sets, sort orders,
// languages and locale data into object ids and back.
// Path builders: 1 built, 0 does not fit the buffer, -301 no home
// directory (intl_home's code in the context's intl_err).
#pragma once

#include "comnlib/comn_loc.h"
#include "intllib/intl_loc.h"

int com_path_anyfile(COMN_CONTEXT* ctx, char* buf, int buflen, const char* name, int namelen);
int com_path_ifile(COMN_CONTEXT* ctx, char* buf, int buflen);
int com_path_cfgfile(COMN_CONTEXT* ctx, const char* file, char* buf, int buflen);
int com__path_locfile(COMN_CONTEXT* ctx, const char* lang, const char* charset, const char* file,
                      char* buf, int buflen);
int comn__path_msgfile(COMN_CONTEXT* ctx, const char* lang, int langlen, const char* file,
                       int filelen, char* buf, int buflen);
int com__path_charfile(COMN_CONTEXT* ctx, const char* charset, const char* file, const char* ext,
                       char* buf, int buflen);
// kind 4 money (.mon), 5 numeric (.num), 6 date and time (.dt).
int comn__path_locdata(COMN_CONTEXT* ctx, int kind, const char* name, char* buf, int buflen);

// Global ids.  A name length of -9 means the name is NUL-ended.
// op 2: looks `name` up; `object` is a comn_object** result and `kind`
// the kind to search (null: all).  Other ops: `object` is a comn_oid*,
// `kind` receives the object's kind, `name`/`namelen` the buffer for the
// local name at `index` (counted from 1).
int comn_globalid(COMN_CONTEXT* ctx, int op, void* object, int* kind, int index, char* name,
                  int namelen, int* namecount, int* namelenout);
int comn__nametooid(COMN_CONTEXT* ctx, comn_object** out, const int* kind, const char* name,
                    int namelen);
int comn__find_lclname(COMN_CONTEXT* ctx, const comn_object* node, const char* name, int len);
int comn__oidtoname(COMN_CONTEXT* ctx, const comn_oid* oid, int* kind, int index, char* buf,
                    int buflen, int* namecount, int* namelenout);
// Looks a name up in one kind; 1 with the object, else -417.
int comn__lookup_id(COMN_CONTEXT* ctx, int kind, const char* name, int namelen, comn_object** out);

// Adds an object (or a further local name of an existing id) to the cache;
// 1 or -1.  Makes the localisation state when the context has none.
int comn_globalid_add(COMN_CONTEXT* ctx, int kind, const char* id, int idlen, const char* name,
                      int namelen);
// Fills the cache from config/objectid.dat: one section per kind, named
// "charset", "numeric", "money", "datetime", "sortorder" or "language";
// each entry is named by the object's id and its values are the local
// names.  1, -301, -414 or -1.
int comn__load_objectids(COMN_CONTEXT* ctx);
// Frees every object of the cache.
void comn__drop_objectids(COMN_CONTEXT* ctx);

// File openers: build the path (into a 1,025-byte area, copied into
// `pathbuf` cut to its length when one is given) and open it with
// intl_open.  1, -414 (intl code in the context), or the builder's code
// (a path that does not fit gives 0).
int com__open_locfile(COMN_CONTEXT* ctx, const char* lang, const char* charset, const char* file,
                      INTL_LOCFILE* lf, char* pathbuf, int pathlen);
int com__open_charfile(COMN_CONTEXT* ctx, const char* charset, const char* file, const char* ext,
                       INTL_LOCFILE* lf, char* pathbuf, int pathlen);
int comn__open_msgfile(COMN_CONTEXT* ctx, const char* lang, int langlen, const char* file,
                       int filelen, INTL_LOCFILE* lf, char* pathbuf, int pathlen);
int com__open_cfgfile(COMN_CONTEXT* ctx, const char* file, INTL_LOCFILE* lf);
