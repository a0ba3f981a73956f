// The caller's character-set conversion routines, one record per pair of
// set ids in the context's user converter list.
#include <cstring>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_err.h"
#include "comnlib/comn_path.h"

int comn__get_user_charconv(COMN_CONTEXT* ctx, const comn_object* src, const comn_object* dst,
                            comn_userconv** out) {
  if (out != nullptr) *out = nullptr;
  if (ctx == nullptr) return 0;
  for (comn_userconv* u = ctx->user_convlist; u != nullptr; u = u->next)
    if (u->srcid == src && u->dstid == dst && u->fn != nullptr) {
      if (out != nullptr) *out = u;
      return 1;
    }
  return 0;
}

int comn_set_user_charset_convert(COMN_CONTEXT* ctx, int action, const char* src, int srclen,
                                  const char* dst, int dstlen, std::int32_t* mult,
                                  COMN_USERCONVFN* routine) {
  if (ctx == nullptr || src == nullptr || dst == nullptr) return 0;
  if (srclen == -9) srclen = static_cast<int>(std::strlen(src));
  if (dstlen == -9) dstlen = static_cast<int>(std::strlen(dst));
  if (srclen < 0 || dstlen < 0 || srclen > 255 || dstlen > 255) return 0;
  comn_object* sid = nullptr;
  comn_object* did = nullptr;
  if (comn__lookup_id(ctx, COMN_GID_CHARSET, src, srclen, &sid) != 1 ||
      comn__lookup_id(ctx, COMN_GID_CHARSET, dst, dstlen, &did) != 1)
    return COMN_ENOID;
  comn_userconv** pp = &ctx->user_convlist;
  while (*pp != nullptr && !((*pp)->srcid == sid && (*pp)->dstid == did)) pp = &(*pp)->next;
  comn_userconv* u = *pp;
  switch (action) {
    case 33:
      if (routine != nullptr) *routine = u != nullptr ? u->fn : nullptr;
      if (mult != nullptr && u != nullptr) *mult = u->mult;
      return 1;
    case 34:
      if (u == nullptr) {
        u = static_cast<comn_userconv*>(comn_calloc(1, sizeof(comn_userconv)));
        if (u == nullptr) return COMN_NOMEM;
        std::memcpy(u->srcname, src, static_cast<size_t>(srclen));
        u->srclen = srclen;
        std::memcpy(u->dstname, dst, static_cast<size_t>(dstlen));
        u->dstlen = dstlen;
        u->srcid = sid;
        u->dstid = did;
        u->next = ctx->user_convlist;
        ctx->user_convlist = u;
      }
      u->fn = routine != nullptr ? *routine : nullptr;
      u->mult = mult != nullptr && *mult > 0 ? *mult : 1;
      return 1;
    case 35:
      if (u != nullptr) {
        *pp = u->next;
        comn_free(u);
      }
      return 1;
    default:
      return 0;
  }
}

void comn_drop_user_charconv_list(COMN_CONTEXT* ctx) {
  if (ctx == nullptr) return;
  while (comn_userconv* u = ctx->user_convlist) {
    ctx->user_convlist = u->next;
    comn_free(u);
  }
}
