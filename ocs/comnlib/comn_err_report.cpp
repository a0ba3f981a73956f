// Building and reporting the common library's error messages: the
// argument records, the texts with their fallbacks, and the report to
// the caller's error routine.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "comnlib/comn_err.h"
#include "comnlib/intl_msg.h"

namespace {

void fill(comn_errparm* p, int kind, const char* formats, const char* routine, int pass1,
          const void* a1, int pass2, const void* a2) {
  *p = comn_errparm{};
  p->kind = kind;
  p->formats = formats;
  p->routine = routine;
  p->pass1 = pass1;
  p->arg1 = a1;
  p->pass2 = pass2;
  p->arg2 = a2;
}

const char* builtin_fallback(int n) {
  switch (n) {
    case 1: return "unable to get string due to lack of memory";
    case 2: return "unable to get layer message string";
    case 3: return "unable to get origin message string";
    case 4: return "unable to get error string";
    default: return "bad default error number";
  }
}

// One argument of a report: a long (read through its address when passed
// by address) or a text.
struct Arg {
  bool is_long;
  long l;
  const char* s;
};

bool take_arg(const char* conv, int pass, const void* a, Arg* out) {
  if (std::strcmp(conv, "%ld") == 0) {
    out->is_long = true;
    out->l = pass == 8 ? (a != nullptr ? *static_cast<const long*>(a) : 0)
                       : static_cast<long>(reinterpret_cast<std::intptr_t>(a));
    return true;
  }
  if (std::strcmp(conv, "%s") == 0) {
    out->is_long = false;
    out->s = static_cast<const char*>(a) != nullptr ? static_cast<const char*>(a) : "";
    return true;
  }
  return false;
}

// Formats a section text with the record's arguments; false when the
// formats are not supported or formatting fails.
bool format_text(const std::string& text, const comn_errparm* p, std::string* out) {
  if (p == nullptr || (p->kind != 2 && p->kind != 3) || p->formats == nullptr) return false;
  char f1[8] = {}, f2[8] = {};
  const int nf = std::sscanf(p->formats, "%7s %7s", f1, f2);
  Arg a{}, b{};
  if (nf < 1 || !take_arg(f1, p->pass1, p->arg1, &a)) return false;
  if (p->kind == 3 && (nf < 2 || !take_arg(f2, p->pass2, p->arg2, &b))) return false;
  std::string area(text.size() + 512, '\0');
  char* buf = area.data();
  const int len = static_cast<int>(area.size());
  int r = -1;
  if (p->kind == 2) {
    r = a.is_long ? intl_strbuild(nullptr, buf, len, text.c_str(), p->formats, a.l)
                  : intl_strbuild(nullptr, buf, len, text.c_str(), p->formats, a.s);
  } else if (a.is_long && b.is_long) {
    r = intl_strbuild(nullptr, buf, len, text.c_str(), p->formats, a.l, b.l);
  } else if (a.is_long) {
    r = intl_strbuild(nullptr, buf, len, text.c_str(), p->formats, a.l, b.s);
  } else if (b.is_long) {
    r = intl_strbuild(nullptr, buf, len, text.c_str(), p->formats, a.s, b.l);
  } else {
    r = intl_strbuild(nullptr, buf, len, text.c_str(), p->formats, a.s, b.s);
  }
  if (r < 0) return false;
  *out = std::string(buf, static_cast<size_t>(r));
  return true;
}

}  // namespace

void com_ep_s(comn_errparm* p, const char* routine) { fill(p, 1, "%s", routine, 0, nullptr, 0, nullptr); }
void com_ep_sd(comn_errparm* p, const char* routine, const long* a) {
  fill(p, 2, "%ld", routine, 8, a, 0, nullptr);
}
void com_ep_ss(comn_errparm* p, const char* routine, const char* a) {
  fill(p, 2, "%s", routine, 0, a, 0, nullptr);
}
void com_ep_sss(comn_errparm* p, const char* routine, const char* a, const char* b) {
  fill(p, 3, "%s %s", routine, 0, a, 0, b);
}
void com_ep_sds(comn_errparm* p, const char* routine, const long* a, const char* b) {
  fill(p, 3, "%ld %s", routine, 8, a, 0, b);
}
void com_ep_sdd(comn_errparm* p, const char* routine, const long* a, const long* b) {
  fill(p, 3, "%ld %ld", routine, 8, a, 8, b);
}
void com_ep_ssd(comn_errparm* p, const char* routine, const char* a, const long* b) {
  fill(p, 3, "%s %ld", routine, 0, a, 8, b);
}

// The "comdefaults" text of the fallback number, else its built-in text.
int com__get_failerr(COMN_CONTEXT* ctx, comn_errfile* ef, int fallback, const char** text,
                     int* len) {
  comn_cachedmsg* m = nullptr;
  if (ef != nullptr && com__err_getcache(ctx, ef, fallback, COM_ERRSECT_DEFAULTS, &m) == 1) {
    *text = m->text;
  } else {
    *text = builtin_fallback(fallback);
  }
  if (len != nullptr) *len = static_cast<int>(std::strlen(*text));
  return 1;
}

int com__get_errstr(COMN_CONTEXT* ctx, comn_errfile* ef, int sectid, int number, int fallback,
                    const char** text, int* len) {
  comn_cachedmsg* m = nullptr;
  if (ef != nullptr && com__err_getcache(ctx, ef, number, sectid, &m) == 1) {
    *text = m->text;
    if (len != nullptr) *len = m->textlen;
    return 1;
  }
  return com__get_failerr(ctx, ef, fallback, text, len);
}

// Builds "routine: layer: origin: error" into buf.  With truncate 0 a
// message that does not fit is refused (0, the length needed in lenout);
// otherwise every part is cut to the room left.  No NUL is added.
int com_notrunc_errmsg(COMN_CONTEXT* ctx, comn_errfile* ef, std::int32_t errnum,
                       const comn_errparm* parm, const char* given, int givenlen, int section,
                       int truncate, char* buf, int buflen, int* lenout) {
  const char* t = nullptr;
  int n = 0;
  std::string parts[4];
  parts[0] = parm != nullptr && parm->routine != nullptr ? parm->routine : "";
  com__get_errstr(ctx, ef, COM_ERRSECT_LAYER, com_err_layer(errnum), 2, &t, &n);
  parts[1].assign(t, static_cast<size_t>(n));
  com__get_errstr(ctx, ef, COM_ERRSECT_ORIGIN, com_err_origin(errnum), 3, &t, &n);
  parts[2].assign(t, static_cast<size_t>(n));
  if (given != nullptr) {
    parts[3].assign(given, static_cast<size_t>(givenlen >= 0 ? givenlen : std::strlen(given)));
  } else if (com_err_origin(errnum) == 5) {
    parts[3] = intl_errstr(-com_err_number(errnum));
  } else {
    com__get_errstr(ctx, ef, section, com_err_number(errnum), 4, &t, &n);
    parts[3].assign(t, static_cast<size_t>(n));
    std::string formatted;
    if (format_text(parts[3], parm, &formatted)) parts[3] = formatted;
  }
  const std::string whole = parts[0] + ": " + parts[1] + ": " + parts[2] + ": " + parts[3];
  if (!truncate && static_cast<long>(whole.size()) > buflen) {
    if (lenout != nullptr) *lenout = static_cast<int>(whole.size());
    return 0;
  }
  const size_t room = buflen > 0 ? static_cast<size_t>(buflen) : 0;
  const size_t w = std::min(room, whole.size());
  if (buf != nullptr) std::memcpy(buf, whole.data(), w);
  if (lenout != nullptr) *lenout = static_cast<int>(w);
  return 1;
}

int com_build_errmsg(COMN_CONTEXT* ctx, comn_errfile* ef, std::int32_t errnum,
                     const comn_errparm* parm, const char* given, int givenlen, int section,
                     char* buf, int buflen, int* lenout) {
  return com_notrunc_errmsg(ctx, ef, errnum, parm, given, givenlen, section, 1, buf, buflen,
                            lenout);
}

// Reports an error to the context's error routine; 0 without one.
int com__error(COMN_CONTEXT* ctx, std::int32_t errnum, const comn_errparm* parm) {
  if (ctx == nullptr || ctx->errhandler == nullptr) return 0;
  comn_climsg msg{};
  int n = 0;
  com_build_errmsg(ctx, ctx->errfile, errnum, parm, nullptr, 0, COM_ERRSECT_APIERROR, msg.text,
                   sizeof msg.text - 1, &n);
  msg.text[n] = '\0';
  msg.textlen = n;
  int sl = 0;
  if (ctx->errfile == nullptr ||
      com_err_sqlstate(ctx, ctx->errfile, com_err_number(errnum), COM_ERRSECT_APIERROR,
                       msg.sqlstate, 7, &sl) != 1 ||
      sl == 0) {
    std::strcpy(msg.sqlstate, "ZZZZZ");
    sl = 5;
  }
  msg.sqlstate[sl] = '\0';
  msg.sqlstatelen = sl;
  msg.severity = com_err_severity(errnum);
  msg.msgnumber = errnum;
  return ctx->errhandler(ctx, &msg);
}
