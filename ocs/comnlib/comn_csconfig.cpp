// A character set's conversion configuration (<set>/<set>.cfg) and the
// conversion tables (<set>/<target>.ctb) its entries name.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_path.h"

namespace {

// The next value of the current entry (null with *rc 0 or -301).
char* value(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, int* rc) {
  int st = 0;
  char* v = intl_nextvalue(lf, &st);
  if (v == nullptr) {
    if (st < 0) ctx->intl_err = st;
    *rc = st < 0 ? COMN_EINTL : 0;
  }
  return v;
}

// Reads the values of one "convertto" entry into cfg.
int read_convertto(COMN_CONTEXT* ctx, comn_loccache* entry, comn_convconfig* cfg,
                   INTL_LOCFILE* lf, char* pathbuf, int pathlen, int* line) {
  int rc = 0;
  const char* to = value(ctx, lf, &rc);
  if (to == nullptr) return rc != 0 ? rc : COMN_ENOTONAME;
  if (to[0] == '\0') return COMN_ENOTONAME;
  const int tolen = static_cast<int>(std::strlen(to));
  cfg->toname = static_cast<char*>(comn_malloc(static_cast<size_t>(tolen) + 1));
  if (cfg->toname == nullptr) return COMN_NOMEM;
  std::memcpy(cfg->toname, to, static_cast<size_t>(tolen) + 1);
  cfg->tonamelen = tolen;
  if (comn__lookup_id(ctx, COMN_GID_CHARSET, cfg->toname, tolen, &cfg->toid) != 1)
    return COMN_ENOTOID;

  const char* method = value(ctx, lf, &rc);
  if (method == nullptr) return rc != 0 ? rc : COMN_ENOMETHOD;
  if (std::strcmp(method, "table") == 0) {
    cfg->method = 1;
    char ctb[COMN_PATHMAX] = {};
    int r = com__path_charfile(ctx, entry->csname, cfg->toname, "ctb", ctb, sizeof ctb);
    if (r != 1 || ::access(ctb, R_OK) != 0) {
      if (pathbuf != nullptr && pathlen > 0) {
        std::strncpy(pathbuf, ctb, static_cast<size_t>(pathlen - 1));
        pathbuf[pathlen - 1] = '\0';
      }
      *line = 0;
      return COMN_ENOCTB;
    }
    const char* mode = value(ctx, lf, &rc);
    if (mode == nullptr) return rc != 0 ? rc : COMN_ENOMATCH;
    if (std::strcmp(mode, "MATCH") == 0) {
      cfg->matchmode = 1;
    } else if (std::strcmp(mode, "BESTGUESS") == 0) {
      cfg->matchmode = 2;
    } else if (std::strcmp(mode, "MNEMONIC") == 0) {
      cfg->matchmode = 3;
    } else {
      return COMN_EBADMATCH;
    }
    const char* repl = value(ctx, lf, &rc);
    if (repl == nullptr) return rc != 0 ? rc : COMN_ENOREPL;
    const size_t digits = std::strlen(repl);
    // More than four bytes do not fit the replacement field.
    if (comn__check_hexadecimal(repl) != 1 || digits > 8) return COMN_EBADHEX;
    const std::uint32_t v = digits == 0 ? 0 : static_cast<std::uint32_t>(std::strtoul(repl, nullptr, 16));
    cfg->repllen = static_cast<std::int32_t>(digits / 2);
    for (int i = 0; i < cfg->repllen; ++i)
      cfg->repl[i] = static_cast<std::uint8_t>(v >> (8 * (cfg->repllen - 1 - i)));
    return 1;
  }
  if (std::strcmp(method, "sys-algorithm") == 0) {
    cfg->method = 2;
    const char* mult = value(ctx, lf, &rc);
    if (mult == nullptr) return rc != 0 ? rc : COMN_ENOMULT;
    const long m = std::strtol(mult, nullptr, 10);
    if (m < 1) return COMN_EBADMULT;
    cfg->sysmult = static_cast<std::int32_t>(m > 1000 ? 1000 : m);
    comn_object* from = entry->chardesc != nullptr ? entry->chardesc->csid : nullptr;
    return comn__get_sys_algo(ctx, from, cfg->toid, &cfg->sysalgo) == 1 ? 1 : 0;
  }
  return COMN_EBADMETHOD;
}

}  // namespace

// Reads the set's conversion configuration into its descriptor's list.
int comn__load_conv_config(COMN_CONTEXT* ctx, comn_loccache* entry, char* pathbuf, int pathlen,
                           int* line) {
  int dummy = 0;
  if (line == nullptr) line = &dummy;
  *line = 0;
  if (entry == nullptr || entry->chardesc == nullptr || entry->csname == nullptr) return 0;
  INTL_LOCFILE lf;
  int r = com__open_charfile(ctx, entry->csname, entry->csname, "cfg", &lf, pathbuf, pathlen);
  if (r != 1) return r;
  int st = 0;
  char* sect = nullptr;
  while ((sect = intl_nextsection(&lf, &st)) != nullptr && std::strcmp(sect, "conversion") != 0) {
  }
  if (sect == nullptr) {
    if (st < 0) ctx->intl_err = st;
    intl_close(&lf);
    return st < 0 ? COMN_EINTL : COMN_ENOCONVSECT;
  }
  bool first = true;
  bool to_utf8 = false;
  r = 1;
  while (char* e = intl_nextentry(&lf, &st)) {
    if (std::strcmp(e, "convertto") != 0) {
      if (first) r = COMN_ENOCONVERTTO;
      break;
    }
    first = false;
    *line = lf.lineno;
    auto* cfg = static_cast<comn_convconfig*>(comn_calloc(1, sizeof(comn_convconfig)));
    if (cfg == nullptr) {
      r = COMN_NOMEM;
      break;
    }
    cfg->next = entry->chardesc->configs;
    entry->chardesc->configs = cfg;
    r = read_convertto(ctx, entry, cfg, &lf, pathbuf, pathlen, line);
    if (r != 1) break;
    if (std::strcmp(cfg->toname, "utf8") == 0) to_utf8 = true;
  }
  if (r == 1 && st < 0) {
    ctx->intl_err = st;
    r = COMN_EINTL;
  }
  if (r == 1 && first) r = COMN_ENOCONVERTTO;
  if (r == 1 && std::strcmp(entry->csname, "utf8") != 0 && !to_utf8) {
    *line = 0;
    r = COMN_ENOUTF8;
  }
  if (r == 1) *line = 0;
  intl_close(&lf);
  return r;
}

void comn__convtable_drop(comn_convconfig* cfg) {
  if (cfg == nullptr || cfg->table == nullptr) return;
  comn_free(cfg->table->index);
  comn_free(cfg->table->dest);
  comn_free(cfg->table);
  cfg->table = nullptr;
}

void comn__convconfig_drop(comn_convconfig* cfg) {
  if (cfg == nullptr) return;
  comn_free(cfg->toname);
  comn__convtable_drop(cfg);
  comn_free(cfg);
}


namespace {

// Reads the table's entries up to and including the two images.
int read_table_section(COMN_CONTEXT* ctx, comn_convtable* t, INTL_LOCFILE* lf) {
  std::uint32_t imagesize = 0;
  int st = 0;
  while (char* e = intl_nextentry(lf, &st)) {
    int r = 1;
    if (std::strcmp(e, "min_src_len") == 0) {
      r = comn__get_byteval(ctx, lf, &t->minsrc);
    } else if (std::strcmp(e, "max_multiplier") == 0) {
      r = comn__get_byteval(ctx, lf, &t->maxmult);
    } else if (std::strcmp(e, "nindex") == 0) {
      r = comn__get_shortval(ctx, lf, &t->nindex);
    } else if (std::strcmp(e, "ndest") == 0) {
      r = comn__get_shortval(ctx, lf, &t->ndest);
    } else if (std::strcmp(e, "index_size") == 0) {
      r = comn__get_longval(ctx, lf, &t->indexsize);
    } else if (std::strcmp(e, "dest_size") == 0) {
      r = comn__get_longval(ctx, lf, &t->destsize);
    } else if (std::strcmp(e, "image_size") == 0) {
      r = comn__get_longval(ctx, lf, &imagesize);
    } else if (std::strcmp(e, "definition") == 0) {
      if (t->indexsize != 2u * t->nindex || t->destsize != 8u * t->ndest ||
          static_cast<std::uint64_t>(imagesize) <
              static_cast<std::uint64_t>(t->indexsize) + t->destsize ||
          t->nindex == 0 || t->ndest == 0)
        return COMN_ECTBCORRUPT;
      auto* idx = static_cast<std::uint8_t*>(comn_calloc(t->indexsize, 1));
      t->dest = static_cast<std::uint8_t*>(comn_calloc(t->destsize, 1));
      t->index = static_cast<std::uint16_t*>(comn_calloc(t->nindex, sizeof(std::uint16_t)));
      if (idx == nullptr || t->dest == nullptr || t->index == nullptr) {
        comn_free(idx);
        return COMN_NOMEM;
      }
      r = comn__get_image(ctx, idx, t->indexsize, lf, 0);
      // The index must end with its entry: a value left over would be lost
      // between the two images.
      int vst = 0;
      if (r == 1 && intl_nextvalue(lf, &vst) != nullptr) r = 0;
      if (r == 1) r = comn__get_image(ctx, t->dest, t->destsize, lf, 1);
      for (std::uint32_t i = 0; r == 1 && i < t->nindex; ++i)
        t->index[i] = static_cast<std::uint16_t>((idx[2 * i] << 8) | idx[2 * i + 1]);
      comn_free(idx);
      return r == 1 ? 1 : (r < 0 ? r : COMN_ECTBCORRUPT);
    }
    if (r != 1) return r < 0 ? r : COMN_ECTBCORRUPT;
  }
  if (st < 0) {
    ctx->intl_err = st;
    return COMN_EINTL;
  }
  return COMN_ECTBCORRUPT;
}

}  // namespace

// Loads the table of a "table" entry from <source set>/<target>.ctb.
int comn__load_conv_table(COMN_CONTEXT* ctx, comn_loccache* entry, comn_convconfig* cfg,
                          char* pathbuf, int pathlen) {
  if (entry == nullptr || cfg == nullptr || entry->csname == nullptr) return 0;
  if (cfg->table != nullptr) return 1;
  INTL_LOCFILE lf;
  int r = com__open_charfile(ctx, entry->csname, cfg->toname, "ctb", &lf, pathbuf, pathlen);
  if (r != 1) return r;
  int st = 0;
  char* sect = nullptr;
  while ((sect = intl_nextsection(&lf, &st)) != nullptr && std::strcmp(sect, "conversion") != 0) {
  }
  if (sect == nullptr) {
    if (st < 0) ctx->intl_err = st;
    intl_close(&lf);
    return st < 0 ? COMN_EINTL : COMN_ECTBCORRUPT;
  }
  cfg->table = static_cast<comn_convtable*>(comn_calloc(1, sizeof(comn_convtable)));
  r = cfg->table == nullptr ? COMN_NOMEM : read_table_section(ctx, cfg->table, &lf);
  const int c = intl_close(&lf);
  if (r == 1 && c != 1) {
    ctx->intl_err = c;
    r = COMN_EINTL;
  }
  if (r == 1) {
    const int minsrc = cfg->table->minsrc > 0 ? cfg->table->minsrc : 1;
    cfg->tabmult = cfg->table->maxmult;
    if (cfg->matchmode == 3) {
      r = comn__load_mnemonic(ctx);
      if (r == 1) cfg->tabmult = (ctx->intlstate->mnemmax + minsrc - 1) / minsrc;
    }
  }
  if (r != 1) comn__convtable_drop(cfg);
  return r;
}
