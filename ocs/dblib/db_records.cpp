// Making and freeing the records that hang off a connection, and the reset
// of a connection between batches.
#include <cerrno>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "dblib/db_internal.h"
#include "db_compute.h"

namespace {

template <typename T>
T* zalloc() {
  return static_cast<T*>(comn_calloc(1, sizeof(T)));
}

}  // namespace

char* db__strdup(const char* s, int len) {
  if (!s) s = "";
  std::size_t n = len < 0 ? std::strlen(s) : static_cast<std::size_t>(len);
  auto* p = static_cast<char*>(comn_malloc(n + 1));
  if (!p) return nullptr;
  std::memcpy(p, s, n);
  p[n] = '\0';
  return p;
}

DBPROCESS* dblib::newdbproc() { return zalloc<dbprocess>(); }

dbstring* dblib::strnew() { return zalloc<dbstring>(); }

dbstring* dblib::strfree(dbstring* list) {
  while (list) {
    dbstring* next = list->next;
    comn_free(list->data);
    comn_free(list);
    list = next;
  }
  return nullptr;
}

dbstring* dblib::strlast(dbstring* list) {
  while (list && list->next) list = list->next;
  return list;
}

int dblib::savestr(DBPROCESS* dbproc, dbstring* node, const char* bytes, int len) {
  if (len <= 0) {
    comn_free(node->data);
    node->data = nullptr;
    node->len = 0;
    return 1;
  }
  if (len > node->len || !node->data) {
    char* p = static_cast<char*>(comn_realloc(node->data, static_cast<std::size_t>(len)));
    if (!p) {
      dbsetdead(dbproc);
      db__raise(dbproc, 20010, 8, errno);
      return 0;
    }
    node->data = p;
  }
  if (bytes) std::memcpy(node->data, bytes, static_cast<std::size_t>(len));
  node->len = len;
  return 1;
}

dbcolumn* dblib::colnew() { return zalloc<dbcolumn>(); }

dbcolumn* dblib::colfree(dbcolumn* list) {
  while (list) {
    dbcolumn* next = list->next;
    comn_free(list->control);
    comn_free(list->srcname);
    comn_free(list->texttable);
    comn_free(list);
    list = next;
  }
  return nullptr;
}

dbrow* dblib::rownew(int nvalues) {
  dbrow* r = zalloc<dbrow>();
  if (!r) return nullptr;
  if (nvalues > 0) {
    r->values = static_cast<dbcolvalue*>(comn_calloc(static_cast<std::size_t>(nvalues), sizeof(dbcolvalue)));
    if (!r->values) {
      comn_free(r);
      return nullptr;
    }
  }
  r->nvalues = nvalues;
  return r;
}

dbrow* dblib::rowfree(dbrow* list) {
  while (list) {
    dbrow* next = list->next;
    for (int i = 0; i < list->nvalues; ++i) comn_free(list->values[i].data);
    comn_free(list->values);
    comn_free(list);
    list = next;
  }
  return nullptr;
}

dboffset* dblib::offfree(dboffset* list) {
  while (list) {
    dboffset* next = list->next;
    comn_free(list);
    list = next;
  }
  return nullptr;
}

dbmsgrec* dblib::infonew() { return zalloc<dbmsgrec>(); }

void db__free_msg(dbmsgrec* m) {
  if (!m) return;
  comn_free(m->text);
  comn_free(m->server);
  comn_free(m->proc);
  comn_free(m);
}

dbmsgrec* dblib::infofree(dbmsgrec* list) {
  while (list) {
    dbmsgrec* next = list->next;
    db__free_msg(list);
    list = next;
  }
  return nullptr;
}

dbparam* dblib::paramfree(dbparam* list) {
  while (list) {
    dbparam* next = list->next;
    comn_free(list->data);
    comn_free(list);
    list = next;
  }
  return nullptr;
}

dbnegmsg* dblib::msgnew() { return zalloc<dbnegmsg>(); }

dbnegmsg* dblib::msgfree(dbnegmsg* m) {
  if (m) {
    paramfree(m->params);
    comn_free(m);
  }
  return nullptr;
}

dbtabrec* dbtabfree(dbtabrec* list) {
  while (list) {
    dbtabrec* next = list->next;
    comn_free(list);
    list = next;
  }
  return nullptr;
}

void dblib::tidyproc(DBPROCESS* dbproc) {
  if (!dbproc) return;
  if (dbproc->curcmd == 0) {
    dbproc->offsets = offfree(dbproc->offsets);
    dbproc->status = 0;
  }
  dbproc->procid = 0;
  dbproc->curoffset = -1;
  dbproc->columns = colfree(dbproc->columns);
  dbproc->numcols = 0;
  dbproc->tabnames = dbtabfree(dbproc->tabnames);
  dbproc->retvals = paramfree(dbproc->retvals);
  dbproc->retstatus = 0;
  dbproc->hasretstat = 0;
  altfree(dbproc);
  // The row chain; a separate current row (a compute row, possibly read
  // before any regular row) goes as well.
  if (dbproc->currow && dbproc->currow != dbproc->firstrow &&
      (!dbproc->firstrow || !dbproc->firstrow->next)) {
    rowfree(dbproc->currow);
  }
  rowfree(dbproc->firstrow);
  dbproc->firstrow = dbproc->currow = dbproc->lastrow = nullptr;
  dbproc->msgs = infofree(dbproc->msgs);
  dbproc->msgcursor = nullptr;
  dbproc->donestatus = 0;
  dbproc->donecount = 0;
  comn_free(dbproc->orders);
  dbproc->orders = nullptr;
  dbproc->norders = 0;
  db__free_rpcrec(dbproc);
  comn_free(dbproc->rowscratch);
  dbproc->rowscratch = nullptr;
}

void* db__alloc(DBPROCESS* dbproc, std::size_t size) {
  void* p = comn_calloc(1, size);
  if (!p) {
    dbsetdead(dbproc);
    db__raise(dbproc, 20010, 8, errno);
  }
  return p;
}
