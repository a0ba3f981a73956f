// Message files of the common library (comnlib.loc and its like): their
// sections, the cache of messages read (at most 100 per message
// descriptor) and looking a message up.
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_err.h"
#include "comnlib/comn_path.h"

namespace {

constexpr int kMaxCached = 100;

comn_loccache* msg_entry(const comn_errfile* ef) {
  return ef != nullptr && ef->loc != nullptr ? ef->loc->cat[COMN_LC_MESSAGE - 1] : nullptr;
}

comn_msgfile* find_file(comn_msgdesc* d, const char* name) {
  for (comn_msgfile* f = d->files; f != nullptr; f = f->next)
    if (std::strcmp(f->name, name) == 0) return f;
  return nullptr;
}

comn_msgsection* find_section(comn_msgfile* f, int id) {
  for (comn_msgsection* s = f->sections; s != nullptr; s = s->next)
    if (s->id == id) return s;
  return nullptr;
}

char* dup(const char* s) {
  const size_t n = std::strlen(s);
  auto* p = static_cast<char*>(comn_malloc(n + 1));
  if (p != nullptr) std::memcpy(p, s, n + 1);
  return p;
}

// Reads the values of a message entry: the SQL state and the text, whose
// pieces (a value reaching 512 bytes continues in the next) are joined.
// 1, 0 for a missing value, -301.
int read_message(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, std::string* state, std::string* text) {
  int st = 0;
  const char* v = intl_nextvalue(lf, &st);
  if (v == nullptr) {
    if (st < 0) ctx->intl_err = st;
    return st < 0 ? COMN_EINTL : 0;
  }
  *state = std::string(v).substr(0, 7);
  v = intl_nextvalue(lf, &st);
  if (v == nullptr) {
    if (st < 0) ctx->intl_err = st;
    return st < 0 ? COMN_EINTL : 0;
  }
  *text = v;
  while (st == 1 && v != nullptr && std::strlen(v) >= 512) {
    v = intl_nextvalue(lf, &st);
    if (v != nullptr) *text += v;
  }
  if (st < 0) {
    ctx->intl_err = st;
    return COMN_EINTL;
  }
  return 1;
}

bool wanted(const comn_errtext* texts, int n, int section, int number) {
  for (int i = 0; i < n; ++i)
    if (texts[i].section == section && texts[i].number == number) return true;
  return false;
}

// Converts UTF-8 text into the set of the messages entry: into an area of
// the text's length plus one, again into three times that when too short;
// unmappable characters are accepted.  The raw text when there is no
// conversion to the set.
std::string from_utf8(COMN_CONTEXT* ctx, comn_loccache* entry, const std::string& text) {
  for (size_t room : {text.size() + 1, 3 * text.size() + 1}) {
    std::string out(room, '\0');
    COMN_DATAFORMAT f{};
    f.maxlength = static_cast<std::int32_t>(room);
    std::int32_t n = 0;
    const int r = comn__convt_from_utf8(ctx, 0, reinterpret_cast<const std::uint8_t*>(text.data()),
                                        static_cast<int>(text.size()), &f, entry,
                                        reinterpret_cast<std::uint8_t*>(out.data()), &n);
    if (r == COMN_OK || r == COMN_EREPLACED) return out.substr(0, static_cast<size_t>(n));
    if (r != COMN_ETRUNCATED) break;
  }
  return text;
}

void free_msg(comn_cachedmsg* m) {
  comn_free(m->text);
  comn_free(m);
}

}  // namespace

int com__err_filterescape(char* text) {
  if (text == nullptr) return 0;
  char* o = text;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p != '\\' || p[1] == '\0') {
      *o++ = *p;
      continue;
    }
    ++p;
    switch (*p) {
      case '"': *o++ = '"'; break;
      case 'b': *o++ = '\b'; break;
      case 'f': *o++ = '\f'; break;
      case 'n': *o++ = '\n'; break;
      case 'r': *o++ = '\r'; break;
      case 't': *o++ = '\t'; break;
      default: *o++ = '\\'; break;  // the character after it is dropped
    }
  }
  *o = '\0';
  return static_cast<int>(o - text);
}

comn_cachedmsg* com__scan_cache(comn_msgsection* sect, int number) {
  for (comn_cachedmsg* m = sect != nullptr ? sect->msgs : nullptr; m != nullptr; m = m->snext)
    if (m->number == number) return m;
  return nullptr;
}

// Caches a message, dropping the oldest when the descriptor holds 100.
int com__update_cache(COMN_CONTEXT* ctx, comn_loccache* entry, comn_msgsection* sect,
                      const char* sqlstate, int number, const char* text) {
  comn_msgdesc* d = entry->msgdesc;
  if (d->nmsgs >= kMaxCached && d->msgs != nullptr) {
    comn_cachedmsg** pp = &d->msgs;
    while ((*pp)->next != nullptr) pp = &(*pp)->next;
    comn_cachedmsg* old = *pp;
    *pp = nullptr;
    for (comn_cachedmsg** sp = &old->section->msgs; *sp != nullptr; sp = &(*sp)->snext)
      if (*sp == old) {
        *sp = old->snext;
        break;
      }
    free_msg(old);
    d->nmsgs--;
  }
  const std::string conv = from_utf8(ctx, entry, text);
  const std::string state = from_utf8(ctx, entry, sqlstate).substr(0, 7);
  auto* m = static_cast<comn_cachedmsg*>(comn_calloc(1, sizeof(comn_cachedmsg)));
  if (m == nullptr) return COMN_NOMEM;
  m->text = static_cast<char*>(comn_malloc(conv.size() + 1));
  if (m->text == nullptr) {
    comn_free(m);
    return COMN_NOMEM;
  }
  std::memcpy(m->text, conv.c_str(), conv.size() + 1);
  m->textlen = static_cast<std::int32_t>(conv.size());
  std::memcpy(m->sqlstate, state.c_str(), state.size() + 1);
  m->number = number;
  m->section = sect;
  m->snext = sect->msgs;
  sect->msgs = m;
  m->next = d->msgs;
  d->msgs = m;
  d->nmsgs++;
  return 1;
}

// Reads a section's wanted messages into the cache.
int com__err_load_errors(COMN_CONTEXT* ctx, comn_loccache* entry, INTL_LOCFILE* lf,
                         const comn_errtext* texts, int ntexts, comn_msgsection* sect) {
  int want = 0;
  for (int i = 0; i < ntexts; ++i)
    if (texts[i].section == sect->id) ++want;
  int taken = 0;
  int st = 0;
  while (taken < want) {
    char* e = intl_nextentry(lf, &st);
    if (e == nullptr) break;
    char* end = nullptr;
    const long number = std::strtol(e, &end, 10);
    if (end == e || *end != '\0' || !wanted(texts, ntexts, sect->id, static_cast<int>(number)))
      continue;
    ++taken;
    if (com__scan_cache(sect, static_cast<int>(number)) != nullptr) continue;
    std::string state, text;
    int r = read_message(ctx, lf, &state, &text);
    if (r != 1) return r;
    com__err_filterescape(text.data());
    text.resize(std::strlen(text.c_str()));
    r = com__update_cache(ctx, entry, sect, state.c_str(), static_cast<int>(number), text.c_str());
    if (r != 1) return r;
  }
  if (st < 0) {
    ctx->intl_err = st;
    return COMN_EINTL;
  }
  return 1;
}

// Reads sections until every table section was found (1) or the file
// ends (0).
int com__err_load_sections(COMN_CONTEXT* ctx, comn_loccache* entry, comn_msgfile* file,
                           INTL_LOCFILE* lf, const comn_errsect* sects, int nsects,
                           const comn_errtext* texts, int ntexts) {
  int found = 0;
  int st = 0;
  while (found < nsects) {
    char* name = intl_nextsection(lf, &st);
    if (name == nullptr) break;
    for (int i = 0; i < nsects; ++i) {
      if (std::strcmp(name, sects[i].name) != 0) continue;
      ++found;
      comn_msgsection* s = find_section(file, sects[i].id);
      if (s == nullptr) {
        s = static_cast<comn_msgsection*>(comn_calloc(1, sizeof(comn_msgsection)));
        if (s == nullptr || (s->name = dup(sects[i].name)) == nullptr) {
          comn_free(s);
          return COMN_NOMEM;
        }
        s->id = sects[i].id;
        s->next = file->sections;
        file->sections = s;
      }
      if (texts != nullptr) {
        const int r = com__err_load_errors(ctx, entry, lf, texts, ntexts, s);
        if (r != 1) return r;
      }
      break;
    }
  }
  if (st < 0) {
    ctx->intl_err = st;
    return COMN_EINTL;
  }
  return found == nsects ? 1 : 0;
}

// Loads a message file's sections (and the listed texts) for the message
// descriptor of the record's locale.
int com_err_init(COMN_CONTEXT* ctx, comn_errfile* ef, const comn_errsect* sects, int nsects,
                 const comn_errtext* texts, int ntexts) {
  comn_loccache* entry = msg_entry(ef);
  if (ctx == nullptr || entry == nullptr || entry->msgdesc == nullptr || entry->langname == nullptr)
    return 0;
  comn_msgdesc* d = entry->msgdesc;
  comn_msgfile* f = find_file(d, ef->filename);
  const bool fresh = f == nullptr;
  if (fresh) {
    f = static_cast<comn_msgfile*>(comn_calloc(1, sizeof(comn_msgfile)));
    if (f == nullptr || (f->name = dup(ef->filename)) == nullptr) {
      comn_free(f);
      return COMN_NOMEM;
    }
  }
  INTL_LOCFILE lf;
  int r = comn__open_msgfile(ctx, entry->langname, entry->langnamelen, ef->filename,
                             static_cast<int>(std::strlen(ef->filename)), &lf, nullptr, 0);
  if (r == 1) {
    r = com__err_load_sections(ctx, entry, f, &lf, sects, nsects, texts, ntexts);
    intl_close(&lf);
  }
  if (fresh) {
    if (r == 1) {
      f->next = d->files;
      d->files = f;
    } else {
      com__errfile_cache_drop(f);
    }
  }
  return r;
}

int com_errinit(COMN_CONTEXT* ctx) {
  if (ctx == nullptr) return 0;
  if (ctx->errfile == nullptr) {
    ctx->errfile = static_cast<comn_errfile*>(comn_calloc(1, sizeof(comn_errfile)));
    if (ctx->errfile == nullptr) return COMN_NOMEM;
    std::strcpy(ctx->errfile->filename, "comnlib.loc");
  }
  ctx->errfile->loc = ctx->deflocale;
  static const comn_errsect sects[] = {{COM_ERRSECT_DEFAULTS, "comdefaults"},
                                       {COM_ERRSECT_LAYER, "comlayer"},
                                       {COM_ERRSECT_ORIGIN, "comorigin"},
                                       {COM_ERRSECT_APIERROR, "comapierror"}};
  static const comn_errtext texts[] = {{1, 1}, {1, 2}, {1, 3}, {1, 4}};
  return com_err_init(ctx, ctx->errfile, sects, 4, texts, 4);
}

int com_errdrop(COMN_CONTEXT* ctx) {
  if (ctx != nullptr) {
    comn_free(ctx->errfile);
    ctx->errfile = nullptr;
  }
  return 1;
}

// The cached message, read from the file when its file and section are
// known but the message is not.  1, 0 unknown, -301, -1.
int com__err_getcache(COMN_CONTEXT* ctx, comn_errfile* ef, int number, int sectid,
                      comn_cachedmsg** result) {
  *result = nullptr;
  comn_loccache* entry = msg_entry(ef);
  if (ctx == nullptr || entry == nullptr || entry->msgdesc == nullptr) return 0;
  comn_msgfile* f = find_file(entry->msgdesc, ef->filename);
  comn_msgsection* s = f != nullptr ? find_section(f, sectid) : nullptr;
  if (s == nullptr) return 0;
  if ((*result = com__scan_cache(s, number)) != nullptr) return 1;
  INTL_LOCFILE lf;
  if (comn__open_msgfile(ctx, entry->langname, entry->langnamelen, ef->filename,
                         static_cast<int>(std::strlen(ef->filename)), &lf, nullptr, 0) != 1)
    return 0;
  int st = 0;
  char* name = nullptr;
  while ((name = intl_nextsection(&lf, &st)) != nullptr && std::strcmp(name, s->name) != 0) {
  }
  int r = 0;
  if (name != nullptr) {
    const comn_errtext one{sectid, number};
    r = com__err_load_errors(ctx, entry, &lf, &one, 1, s);
    if (r == 1) {
      *result = com__scan_cache(s, number);
      r = *result != nullptr ? 1 : 0;
    }
  } else if (st < 0) {
    ctx->intl_err = st;
    r = COMN_EINTL;
  }
  intl_close(&lf);
  return r;
}

int com_err_msg(COMN_CONTEXT* ctx, comn_errfile* ef, const comn_errtext* key, const char** text) {
  comn_cachedmsg* m = nullptr;
  if (key == nullptr || com__err_getcache(ctx, ef, key->number, key->section, &m) != 1) return 0;
  *text = m->text;
  return 1;
}

int com_err_sqlstate(COMN_CONTEXT* ctx, comn_errfile* ef, int number, int sectid, char* buf,
                     int buflen, int* lenout) {
  comn_cachedmsg* m = nullptr;
  if (com__err_getcache(ctx, ef, number, sectid, &m) != 1) return 0;
  const int n = static_cast<int>(std::strlen(m->sqlstate));
  if (lenout != nullptr) *lenout = n;
  if (n > buflen) return 0;
  std::memcpy(buf, m->sqlstate, static_cast<size_t>(n));
  return 1;
}
