// Paths of the common library's files under the installation home, and
// the openers that read them as localisation files.
#include <cstring>
#include <string_view>

#include "comnlib/comn_path.h"

namespace {

// A path being built in the caller's buffer: every piece is appended only
// when it and the closing NUL still fit.
class PathBuf {
 public:
  PathBuf(char* buf, int len) : buf_(buf), len_(len) {}

  // Puts the home directory first: 1, 0 (does not fit) or -301.
  int home(COMN_CONTEXT* ctx) {
    if (buf_ == nullptr || len_ < 1) return 0;
    buf_[0] = '\0';
    int r = intl_home(buf_, len_);
    if (r == -7) return 0;
    if (r < 0) {
      if (ctx != nullptr) ctx->intl_err = r;
      buf_[0] = '\0';
      return COMN_EINTL;
    }
    used_ = r;
    return 1;
  }

  bool add(std::string_view piece) {
    if (static_cast<long>(used_) + static_cast<long>(piece.size()) + 1 > len_) return false;
    std::memcpy(buf_ + used_, piece.data(), piece.size());
    used_ += static_cast<int>(piece.size());
    buf_[used_] = '\0';
    return true;
  }

 private:
  char* buf_;
  int len_;
  int used_ = 0;
};

std::string_view sv(const char* s, int len = -9) {
  if (s == nullptr) return {};
  if (len < 0) return std::string_view(s);
  return std::string_view(s, strnlen(s, static_cast<size_t>(len)));
}

}  // namespace

// home "/" name (the first namelen characters).
int com_path_anyfile(COMN_CONTEXT* ctx, char* buf, int buflen, const char* name, int namelen) {
  PathBuf p(buf, buflen);
  int r = p.home(ctx);
  if (r != 1) return r;
  return p.add("/") && p.add(sv(name, namelen)) ? 1 : 0;
}

// home "/interfaces".
int com_path_ifile(COMN_CONTEXT* ctx, char* buf, int buflen) {
  return com_path_anyfile(ctx, buf, buflen, "interfaces", -9);
}

// home "/config/" file.
int com_path_cfgfile(COMN_CONTEXT* ctx, const char* file, char* buf, int buflen) {
  PathBuf p(buf, buflen);
  int r = p.home(ctx);
  if (r != 1) return r;
  return p.add("/") && p.add("config") && p.add("/") && p.add(sv(file)) ? 1 : 0;
}

// home "/locales" ["/" lang ["/" charset]] "/" file.
int com__path_locfile(COMN_CONTEXT* ctx, const char* lang, const char* charset, const char* file,
                      char* buf, int buflen) {
  PathBuf p(buf, buflen);
  int r = p.home(ctx);
  if (r != 1) return r;
  if (!p.add("/") || !p.add("locales")) return 0;
  if (lang != nullptr) {
    if (!p.add("/") || !p.add(sv(lang))) return 0;
    if (charset != nullptr && (!p.add("/") || !p.add(sv(charset)))) return 0;
  }
  return p.add("/") && p.add(sv(file)) ? 1 : 0;
}

// home "/locales/message/" lang "/" file; the buffer is cleared first.
int comn__path_msgfile(COMN_CONTEXT* ctx, const char* lang, int langlen, const char* file,
                       int filelen, char* buf, int buflen) {
  if (buf != nullptr && buflen > 0) std::memset(buf, 0, static_cast<size_t>(buflen));
  PathBuf p(buf, buflen);
  int r = p.home(ctx);
  if (r != 1) return r;
  return p.add("/") && p.add("locales") && p.add("/") && p.add("message") && p.add("/") &&
                 p.add(sv(lang, langlen)) && p.add("/") && p.add(sv(file, filelen))
             ? 1
             : 0;
}

// home "/charsets" ["/" charset] "/" file ["." ext].
int com__path_charfile(COMN_CONTEXT* ctx, const char* charset, const char* file, const char* ext,
                       char* buf, int buflen) {
  PathBuf p(buf, buflen);
  int r = p.home(ctx);
  if (r != 1) return r;
  if (!p.add("/") || !p.add("charsets")) return 0;
  if (charset != nullptr && (!p.add("/") || !p.add(sv(charset)))) return 0;
  if (!p.add("/") || !p.add(sv(file))) return 0;
  if (ext != nullptr && (!p.add(".") || !p.add(sv(ext)))) return 0;
  return 1;
}

// home "/locales/" kind-directory "/" name "." kind-extension.
int comn__path_locdata(COMN_CONTEXT* ctx, int kind, const char* name, char* buf, int buflen) {
  const char* dir = nullptr;
  const char* ext = nullptr;
  switch (kind) {
    case 4: dir = "money"; ext = "mon"; break;
    case 5: dir = "numeric"; ext = "num"; break;
    case 6: dir = "datetime"; ext = "dt"; break;
    default: return 0;
  }
  PathBuf p(buf, buflen);
  int r = p.home(ctx);
  if (r != 1) return r;
  return p.add("/") && p.add("locales") && p.add("/") && p.add(dir) && p.add("/") &&
                 p.add(sv(name)) && p.add(".") && p.add(ext)
             ? 1
             : 0;
}

namespace {

// Copies the built path into the caller's buffer (cut, NUL-ended) and
// opens it.
int open_built(COMN_CONTEXT* ctx, int built, const char* path, INTL_LOCFILE* lf, char* pathbuf,
               int pathlen) {
  if (pathbuf != nullptr && pathlen > 0) {
    size_t n = built == 1 || built == 0 ? std::strlen(path) : 0;
    if (n > static_cast<size_t>(pathlen - 1)) n = static_cast<size_t>(pathlen - 1);
    std::memcpy(pathbuf, path, n);
    pathbuf[n] = '\0';
  }
  if (built != 1) return built;
  int r = intl_open(path, lf);
  if (r != 1) {
    if (ctx != nullptr) ctx->intl_err = r;
    return COMN_EOPEN;
  }
  return 1;
}

}  // namespace

int com__open_locfile(COMN_CONTEXT* ctx, const char* lang, const char* charset, const char* file,
                      INTL_LOCFILE* lf, char* pathbuf, int pathlen) {
  char path[COMN_PATHMAX] = {};
  int r = com__path_locfile(ctx, lang, charset, file, path, sizeof path);
  return open_built(ctx, r, path, lf, pathbuf, pathlen);
}

int com__open_charfile(COMN_CONTEXT* ctx, const char* charset, const char* file, const char* ext,
                       INTL_LOCFILE* lf, char* pathbuf, int pathlen) {
  char path[COMN_PATHMAX] = {};
  int r = com__path_charfile(ctx, charset, file, ext, path, sizeof path);
  return open_built(ctx, r, path, lf, pathbuf, pathlen);
}

int comn__open_msgfile(COMN_CONTEXT* ctx, const char* lang, int langlen, const char* file,
                       int filelen, INTL_LOCFILE* lf, char* pathbuf, int pathlen) {
  char path[COMN_PATHMAX] = {};
  int r = comn__path_msgfile(ctx, lang, langlen, file, filelen, path, sizeof path);
  return open_built(ctx, r, path, lf, pathbuf, pathlen);
}

int com__open_cfgfile(COMN_CONTEXT* ctx, const char* file, INTL_LOCFILE* lf) {
  char path[COMN_PATHMAX] = {};
  int r = com_path_cfgfile(ctx, file, path, sizeof path);
  return open_built(ctx, r, path, lf, nullptr, 0);
}
