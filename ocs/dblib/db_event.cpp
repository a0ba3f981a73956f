// Event notifications: a server may push an event into any answer.  The
// notification is read whole (its parameters come as RETURNVALUE tokens,
// its end as a DONE that leaves the batch alone), handed to the event's
// handler, and dropped; the caller's reading goes on with the next token.
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "dblib/db_internal.h"

namespace {

const int kEventBuckets = 7;

// The DONE that ends a notification: read without touching the DONE
// status, command and count the connection keeps for the caller.
int read_event_done(DBPROCESS* dbproc) {
  uint16_t st, cmd;
  int32_t count;
  return db__getu16(dbproc, &st) && db__getu16(dbproc, &cmd) && db__get32(dbproc, &count);
}

// Runs the event's handler with the event made the current one and its
// parameters numbered as return parameters.
void call_handler(DBPROCESS* dbproc, dbevent* event) {
  if (!event->handler) return;
  uint32_t had = dbproc->status & DBST_EVENTHANDLER;
  dbevent* outer = dbproc->curevent;
  dbproc->status |= DBST_EVENTHANDLER;
  dbproc->curevent = event;
  int answer = event->handler(dbproc, event->name, 0, event->nparams);
  dbproc->curevent = outer;
  dbproc->status = (dbproc->status & ~DBST_EVENTHANDLER) | had;
  if (answer == 0) db__exraise(nullptr);
}

}  // namespace

// Reads one RETURNVALUE token of a notification (exactly one entry, its
// length used exactly) into a parameter appended to the event's list, and
// the token after it.
int db__read_param(DBPROCESS* dbproc, dbevent* event) {
  uint16_t len;
  if (!db__getu16(dbproc, &len)) return 0;
  int64_t start = dbproc->net->consumed;
  auto* p = static_cast<dbparam*>(db__alloc(dbproc, sizeof(dbparam)));
  if (!p) return 0;
  dbparam** tail = &event->params;
  while (*tail) tail = &(*tail)->next;
  *tail = p;
  ++event->nparams;
  if (!db__read_retval_entry(dbproc, p)) return 0;
  if (dbproc->net->consumed - start != len) {
    db__badtoken(dbproc);
    return 0;
  }
  return db__next_token(dbproc);
}

// Drops the parameters of the last notification of `event`.
void db__free_event_data(DBPROCESS*, dbevent* event) {
  if (!event) return;
  event->params = paramfree(event->params);
  event->nparams = 0;
}

// The handler of events nobody asked for: reports 20185 and goes on.
int db__def_event_handler(DBPROCESS* dbproc, char*, int, int) {
  db__raise(dbproc, 20185, 9);
  return 1;
}

// Makes the connection's default event record.
int db__init_defeventrec(DBPROCESS* dbproc) {
  auto* event = static_cast<dbevent*>(comn_calloc(1, sizeof(dbevent)));
  if (!event) {
    db__raise(dbproc, 20010, 8);
    return 0;
  }
  event->handler = db__def_event_handler;
  dbproc->defevent = event;
  return 1;
}

// Frees the default record and the event table of a closing connection.
void db__free_events(DBPROCESS* dbproc) {
  if (dbproc->events) {
    DBKEYTAB* t = dbproc->events;
    for (int b = 0; b < t->buckets; ++b)
      for (DBKEYENT* e = t->heads[b]; e; e = e->next)
        db__free_event_data(dbproc, static_cast<dbevent*>(e->data));
    db__free_tab(t);
    dbproc->events = nullptr;
  }
  db__free_event_data(dbproc, dbproc->defevent);
  comn_free(dbproc->defevent);
  dbproc->defevent = nullptr;
}

// The event record of that name in the connection's table, or null.
dbevent* db__find_event(DBPROCESS* dbproc, const char* name) {
  DBKEYENT* e = nullptr;
  if (!dbproc || !db__find_ent(dbproc->events, name, 0, &e)) return nullptr;
  return static_cast<dbevent*>(e->data);
}

// Enters an event record (owned from then on) into the connection's table,
// making the table on first use.
int db__link_eventrec(DBPROCESS* dbproc, dbevent* event) {
  if (!dbproc || !event) return 0;
  if (!dbproc->events && !(dbproc->events = db__make_tab(kEventBuckets))) return 0;
  return db__add_ent(dbproc->events, event->name, 0, 0, event);
}

// Removes and frees the event record of that name.
int db__delete_event(DBPROCESS* dbproc, const char* name) {
  dbevent* event = db__find_event(dbproc, name);
  if (!event) return 0;
  db__free_event_data(dbproc, event);
  return db__delete_ent(dbproc->events, name, 0);
}

// Reads a notification (the current token is the event token), runs its
// handler and reads the token after its DONE.
int db__handle_event(DBPROCESS* dbproc) {
  uint16_t len;
  unsigned char namelen;
  char name[31];
  if (!db__getu16(dbproc, &len)) return 0;
  int64_t start = dbproc->net->consumed;
  if (!db__getbyte(dbproc, &namelen) || !db__read_name(dbproc, namelen, name, sizeof name)) return 0;
  if (dbproc->net->consumed - start != len) {
    db__badtoken(dbproc);
    return 0;
  }
  dbevent* event = db__find_event(dbproc, name);
  if (!event) event = dbproc->defevent;
  if (!event) {  // a connection still being opened has none yet
    db__badtoken(dbproc);
    return 0;
  }
  db__free_event_data(dbproc, event);
  if (event == dbproc->defevent) std::memcpy(event->name, name, sizeof name);
  auto fail = [&] {
    db__free_event_data(dbproc, event);
    return 0;
  };
  if (!db__next_token(dbproc)) return fail();
  for (;;) {
    int ok;
    switch (dbproc->token) {
      case TK_RETURNVALUE: ok = db__read_param(dbproc, event); break;
      case TK_ERROR: case TK_INFO: case TK_EED: ok = dbsvinfo(dbproc); break;
      case TK_DONE: ok = 1; break;
      default:
        db__badtoken(dbproc);
        return fail();
    }
    if (!ok) return fail();
    if (dbproc->token == TK_DONE) break;
  }
  if (!read_event_done(dbproc)) return fail();
  call_handler(dbproc, event);
  db__free_event_data(dbproc, event);
  return db__next_token(dbproc);
}
