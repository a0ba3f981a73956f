// The message files of a message descriptor: loaded files, their sections
// and the cached messages.
#include "comnlib/comn_alloc.h"
#include "comnlib/comn_err.h"

void com__errfile_cache_drop(comn_msgfile* files) {
  while (files != nullptr) {
    comn_msgfile* f = files;
    files = f->next;
    while (comn_msgsection* s = f->sections) {
      f->sections = s->next;
      while (comn_cachedmsg* m = s->msgs) {
        s->msgs = m->snext;
        comn_free(m->text);
        comn_free(m);
      }
      comn_free(s->name);
      comn_free(s);
    }
    comn_free(f->name);
    comn_free(f);
  }
}
