// Loading character sets: the descriptor list of the localisation state,
// charset.loc images of class 1 and class 2 sets, and dropping them.
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_err.h"
#include "comnlib/comn_path.h"
#include "comnlib/comn_sort.h"

namespace {

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

// A copy of `size` bytes of the image from `at` (null: no memory).
std::uint8_t* carve(const std::uint8_t* image, std::uint32_t at, std::uint32_t size) {
  auto* t = static_cast<std::uint8_t*>(comn_malloc(size));
  if (t != nullptr) std::memcpy(t, image + at, size);
  return t;
}

// Reads the whole image of `size` bytes; null with the code in *rc.
std::uint8_t* read_image(COMN_CONTEXT* ctx, std::uint32_t size, INTL_LOCFILE* lf, int* rc) {
  auto* t = static_cast<std::uint8_t*>(comn_calloc(size, 1));
  if (t == nullptr) {
    *rc = COMN_NOMEM;
    return nullptr;
  }
  *rc = comn__get_image(ctx, t, size, lf, 0);
  if (*rc != 1) {
    comn_free(t);
    return nullptr;
  }
  return t;
}

void free_tables(COM_CHARATTRIB* a) {
  comn_free(const_cast<std::uint8_t*>(a->lentab));
  comn_free(const_cast<std::uint8_t*>(a->mbmap));
  comn_free(const_cast<std::uint8_t*>(a->typemap));
  comn_free(const_cast<std::uint8_t*>(a->soundex));
  a->lentab = a->mbmap = a->typemap = a->soundex = nullptr;
}

bool is_utf8(const comn_loccache* e) {
  return e->csname != nullptr && std::strcmp(e->csname, "utf8") == 0;
}

}  // namespace

// Class 1: exactly 1,285 bytes, the type map (1,028) then the fourth
// table (257).
int comn__load_charset1(COMN_CONTEXT* ctx, COM_CHARATTRIB* attr, std::uint32_t imagesize,
                        INTL_LOCFILE* lf) {
  if (imagesize != 1285) return 0;
  int rc = 0;
  std::uint8_t* image = read_image(ctx, imagesize, lf, &rc);
  if (image == nullptr) return rc;
  attr->typemap = carve(image, 0, 1028);
  attr->soundex = carve(image, 1028, 257);
  comn_free(image);
  if (attr->typemap == nullptr || attr->soundex == nullptr) {
    free_tables(attr);
    return COMN_NOMEM;
  }
  const std::uint8_t flags[5] = {1, 1, 0, 1, 1};
  std::memcpy(attr->flags, flags, sizeof flags);
  return 1;
}

// Class 2: a 44-byte header giving the sizes of the length table, the
// multibyte map, the type map and the fourth table, which follow it.
// Every table must lie inside the image, and the tables read by byte
// value must cover every byte value and every block they name.
int comn__load_charset2(COMN_CONTEXT* ctx, COM_CHARATTRIB* attr, std::uint32_t imagesize,
                        INTL_LOCFILE* lf) {
  if (imagesize < 1324 || imagesize > (1u << 24)) return 0;
  int rc = 0;
  std::uint8_t* image = read_image(ctx, imagesize, lf, &rc);
  if (image == nullptr) return rc;
  const std::uint8_t* hdr = image;
  const std::uint32_t sizes[4] = {be32(hdr + 16), be32(hdr + 24), be32(hdr + 32), be32(hdr + 40)};
  std::uint64_t total = 44;
  for (std::uint32_t sz : sizes) total += sz;
  bool ok = sizes[2] != 0 && sizes[2] == hdr[5] * 1024u && sizes[3] != 0 &&
            sizes[3] == hdr[7] * 256u && (sizes[0] == 0 || sizes[0] >= 256) &&
            (sizes[1] == 0 || sizes[1] >= 256) && total <= imagesize;
  std::uint8_t* tabs[4] = {};
  std::uint32_t at = 44;
  for (int i = 0; i < 4 && ok; ++i) {
    if (sizes[i] != 0) {
      tabs[i] = carve(image, at, sizes[i]);
      if (tabs[i] == nullptr) rc = COMN_NOMEM;
      ok = tabs[i] != nullptr;
    }
    at += sizes[i];
  }
  // A lead byte of a longer character names a block of the ASCII map.
  if (ok && tabs[1] != nullptr && tabs[0] != nullptr)
    for (int b = 0; b < 256 && ok; ++b)
      if ((tabs[0][b] & 0x0F) > 1) ok = (tabs[1][b] + 1u) * 256u <= sizes[1];
  if (ok) {
    attr->lentab = tabs[0];
    attr->mbmap = tabs[1];
    attr->typemap = tabs[2];
    attr->soundex = tabs[3];
    attr->flags[0] = hdr[3];
    attr->flags[1] = hdr[4];
    attr->flags[2] = hdr[6];
    attr->flags[3] = hdr[5];
    attr->flags[4] = hdr[7];
  } else {
    for (auto* t : tabs) comn_free(t);
  }
  comn_free(image);
  return ok ? 1 : (rc == COMN_NOMEM ? rc : 0);
}

namespace {

// Reads the "charset" section's entries into attr up to and including
// the image.
int read_charset_section(COMN_CONTEXT* ctx, COM_CHARATTRIB* attr, INTL_LOCFILE* lf) {
  std::uint32_t imagesize = 0;
  int st = 0;
  while (char* e = intl_nextentry(lf, &st)) {
    int r = 1;
    if (std::strcmp(e, "class") == 0) {
      std::uint8_t c = 0;
      r = comn__get_byteval(ctx, lf, &c);
      if (r == 1 && c != 1 && c != 2) r = 0;
      attr->cs_class = c;
    } else if (std::strcmp(e, "name") == 0) {
      char name[31] = {};
      r = comn__get_string(ctx, lf, name, 0, 30);
      if (r == 1) {
        std::memcpy(attr->name, name, sizeof attr->name);
        attr->namelen = static_cast<std::int16_t>(std::strlen(name));
      }
    } else if (std::strcmp(e, "description") == 0) {
      r = comn__get_string(ctx, lf, nullptr, 0, 0);
    } else if (std::strcmp(e, "id") == 0) {
      r = comn__get_byteval(ctx, lf, &attr->id);
    } else if (std::strcmp(e, "status") == 0) {
      std::uint16_t s = 0;
      r = comn__get_shortval(ctx, lf, &s);
      attr->status = static_cast<std::int16_t>(s);
    } else if (std::strcmp(e, "image_size") == 0) {
      r = comn__get_longval(ctx, lf, &imagesize);
    } else if (std::strcmp(e, "definition") == 0) {
      if (attr->cs_class == 1) return comn__load_charset1(ctx, attr, imagesize, lf);
      if (attr->cs_class == 0) attr->cs_class = 2;
      return comn__load_charset2(ctx, attr, imagesize, lf);
    } else {
      r = 0;
    }
    if (r != 1) return r;
  }
  if (st < 0) {
    ctx->intl_err = st;
    return COMN_EINTL;
  }
  return 0;
}

}  // namespace

// Reads charsets/<set>/charset.loc into a new attribute record hung on the
// entry's descriptor.
int comn__get_charset(COMN_CONTEXT* ctx, comn_loccache* entry, char* pathbuf, int pathlen) {
  if (entry == nullptr || entry->chardesc == nullptr || entry->csname == nullptr) return 0;
  INTL_LOCFILE lf;
  int r = com__open_charfile(ctx, entry->csname, "charset", "loc", &lf, pathbuf, pathlen);
  if (r != 1) return r;
  int st = 0;
  char* sect = nullptr;
  while ((sect = intl_nextsection(&lf, &st)) != nullptr && std::strcmp(sect, "charset") != 0) {
  }
  if (sect == nullptr) {
    if (st < 0) ctx->intl_err = st;
    r = st < 0 ? COMN_EINTL : 0;
  } else {
    auto* attr = static_cast<COM_CHARATTRIB*>(comn_calloc(1, sizeof(COM_CHARATTRIB)));
    if (attr == nullptr) {
      r = COMN_NOMEM;
    } else {
      entry->chardesc->attr = attr;
      r = read_charset_section(ctx, attr, &lf);
    }
  }
  const int c = intl_close(&lf);
  if (r == 1 && c != 1) {
    ctx->intl_err = c;
    r = COMN_EINTL;
  }
  return r;
}

void comn__chardesc_drop(comn_chardesc* desc) {
  if (desc == nullptr) return;
  if (desc->attr != nullptr) {
    free_tables(desc->attr);
    comn_free(desc->attr);
  }
  while (desc->sortorders != nullptr) {
    comn_sortorder* s = desc->sortorders;
    desc->sortorders = s->next;
    comn__sortorder_drop(s);
  }
  while (desc->configs != nullptr) {
    comn_convconfig* c = desc->configs;
    desc->configs = c->next;
    comn__convconfig_drop(c);
  }
  comn_free(desc);
}

void com_intl_chardesc_drop(COMN_CONTEXT* ctx) {
  if (ctx == nullptr || ctx->intlstate == nullptr) return;
  while (ctx->intlstate->chardescs != nullptr) {
    comn_chardesc* d = ctx->intlstate->chardescs;
    ctx->intlstate->chardescs = d->next;
    if (d == ctx->intlstate->utf8desc) ctx->intlstate->utf8desc = nullptr;
    comn__chardesc_drop(d);
  }
  // A utf8 descriptor not on the list (being loaded) is dropped with it too.
  if (ctx->intlstate->utf8desc != nullptr) {
    comn__chardesc_drop(ctx->intlstate->utf8desc);
    ctx->intlstate->utf8desc = nullptr;
  }
}

// Makes the set's descriptor available for the entry, loading it once.
int comn__intl_load_charset(COMN_CONTEXT* ctx, comn_object* csid, comn_loccache* entry,
                            char* pathbuf, int pathlen) {
  if (ctx == nullptr || entry == nullptr) return 0;
  int r = comn_intlstate_alloc(ctx);
  if (r != 1) return r;
  comn_intlstate* s = ctx->intlstate;
  for (comn_chardesc* d = s->chardescs; d != nullptr; d = d->next)
    if (d->csid == csid) {
      entry->chardesc = d;
      return 1;
    }
  auto* d = static_cast<comn_chardesc*>(comn_calloc(1, sizeof(comn_chardesc)));
  if (d == nullptr) return COMN_NOMEM;
  d->csid = csid;
  entry->chardesc = d;
  auto fail = [&](int code) {
    comn__chardesc_drop(d);
    entry->chardesc = nullptr;
    return code;
  };
  r = comn__get_charset(ctx, entry, pathbuf, pathlen);
  if (r != 1) return fail(r);
  int line = 0;
  r = comn__load_conv_config(ctx, entry, pathbuf, pathlen, &line);
  if (r != 1) {
    char cfg[COMN_PATHMAX] = {};
    if (r == COMN_ENOCTB && pathbuf != nullptr) {
      std::strncpy(cfg, pathbuf, sizeof cfg - 1);
    } else {
      com__path_charfile(ctx, entry->csname, entry->csname, "cfg", cfg, sizeof cfg);
    }
    comn__print_conv_config_err(r, cfg, line);
    return fail(r);
  }
  if (!is_utf8(entry)) {
    bool covered = false;
    if (s->utf8desc != nullptr)
      for (comn_convconfig* c = s->utf8desc->configs; c != nullptr && !covered; c = c->next)
        covered = c->toid == csid;
    if (!covered) {
      com_perrf("Conversion from utf8 to %s %s %s\n", entry->csname, "is not defined in",
                "$MERROW/charsets/utf8/utf8.cfg");
      return fail(0);
    }
  }
  if (ctx->deflocale != nullptr && entry->soname != nullptr) {
    comn_object* so = nullptr;
    r = comn__lookup_id(ctx, COMN_GID_SORTORDER, entry->soname, -9, &so);
    if (r == 1) r = comn__intl_load_sortorder(ctx, so, entry, pathbuf, pathlen);
    if (r != 1) return fail(r);
  }
  d->next = s->chardescs;
  s->chardescs = d;
  return 1;
}
