// Checks that message and character-set files are readable, and the
// diagnosis printed when a context cannot load its localisation files.
#include <unistd.h>

#include <cstring>
#include <initializer_list>

#include "comnlib/comn_cs.h"
#include "comnlib/comn_err.h"
#include "comnlib/comn_path.h"

namespace {

// 1 readable, 0 not; "*" in the buffer and the builder's code when the
// path cannot be built.
int verdict(int built, char* pathbuf, int pathlen) {
  if (built != 1) {
    if (pathbuf != nullptr && pathlen >= 2) std::strcpy(pathbuf, "*");
    return built;
  }
  return ::access(pathbuf, R_OK) == 0 ? 1 : 0;
}

bool readable(const char* path) { return ::access(path, R_OK) == 0; }

}  // namespace

int com__verify_msgfile(COMN_CONTEXT* ctx, const char* lang, int langlen, const char* file,
                        int filelen, char* pathbuf, int pathlen) {
  return verdict(comn__path_msgfile(ctx, lang, langlen, file, filelen, pathbuf, pathlen), pathbuf,
                 pathlen);
}

int com__verify_charfile(COMN_CONTEXT* ctx, const char* charset, const char* file,
                         const char* ext, char* pathbuf, int pathlen) {
  return verdict(com__path_charfile(ctx, charset, file, ext, pathbuf, pathlen), pathbuf, pathlen);
}

int com_intl_verify_a_msgfile(COMN_CONTEXT* ctx, comn_locale* loc, const char* file,
                              char* pathbuf, int pathlen) {
  if (loc == nullptr && ctx != nullptr) loc = ctx->deflocale;
  const comn_loccache* e = loc != nullptr ? loc->cat[COMN_LC_MESSAGE - 1] : nullptr;
  if (e == nullptr || e->langname == nullptr || file == nullptr) return 0;
  return com__verify_msgfile(ctx, e->langname, e->langnamelen, file,
                             static_cast<int>(std::strlen(file)), pathbuf, pathlen);
}

// Prints, through com_perr, why the context's localisation files may
// have failed to load.
void com_intl_verify_ctxloc(COMN_CONTEXT* ctx) {
  com_perr("\n\nThe context allocation routine failed when it tried to load localization files!!\n");
  com_perr("One or more following problems may caused the failure\n\n");
  char home[COMN_PATHMAX] = {};
  if (intl_home(home, sizeof home) < 0) {
    com_perr(
        "Cannot access the merrow home directory, please check environment variable MERROW or "
        "~merrow\n");
    return;
  }
  com_perrf("Your merrow home directory is %s. ", home);
  com_perr("Check the environment variable MERROW if it is not the one you want!\n");
  char path[COMN_PATHMAX] = {};
  char locpath[COMN_PATHMAX] = {};
  if (com_path_cfgfile(ctx, "objectid.dat", path, sizeof path) != 1 || !readable(path)) {
    com_perrf("Cannot access file %s\n", path);
    return;
  }
  if (com__path_locfile(ctx, nullptr, nullptr, "locales.dat", locpath, sizeof locpath) != 1 ||
      !readable(locpath)) {
    com_perrf("Cannot access file %s\n", locpath);
    return;
  }
  char name[256] = {};
  const char* var = nullptr;
  for (const char* v : {"LC_ALL", "LANG"}) {
    const int r = intlgetenv(name, sizeof name, v);
    if (r < 0) {
      com_perrf("An intl library error occurs when trying to get locale name from environment "
                "variable %s\n",
                v);
      return;
    }
    if (r > 0) {
      var = v;
      break;
    }
  }
  if (var != nullptr) {
    com_perrf("Using locale name \"%s\" defined in environment variable %s\n", name, var);
  } else {
    std::strcpy(name, "default");
    com_perrf("Using default locale name: \"%s\"\n", name);
  }
  comn_lookup look{};
  const int r = comn__intl_lookup(ctx, name, static_cast<int>(std::strlen(name)), &look, nullptr, 0);
  if (r < 0) {
    com_perrf("An intl library error occurs when trying to get local names from file: %s, can't "
              "continue!\n",
              locpath);
    return;
  }
  if (r == 0) {
    com_perrf("Locale name \"%s\" doesn't exist in your %s file\n", name, locpath);
    return;
  }
  const int ll = static_cast<int>(std::strlen(look.lang));
  if (look.datetime[0] == '\0' &&
      com__verify_msgfile(ctx, look.lang, ll, "common.loc", 10, path, sizeof path) != 1)
    com_perrf("Cannot access %s file\n", path);
  if (com__verify_msgfile(ctx, look.lang, ll, "cslib.loc", 9, path, sizeof path) != 1)
    com_perrf("Cannot access %s file\n", path);
  if (com__verify_charfile(ctx, look.charset, look.sortorder, "srt", path, sizeof path) != 1)
    com_perrf("Cannot access %s file\n", path);
  if (com__verify_charfile(ctx, look.charset, "charset", "loc", path, sizeof path) != 1)
    com_perrf("Cannot access %s file\n", path);
  if (com__verify_charfile(ctx, look.charset, look.charset, "cfg", path, sizeof path) != 1)
    com_perrf("Cannot access %s file\n", path);
}
