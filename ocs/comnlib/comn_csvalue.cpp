// Typed value readers shared by the character-set and sort-order loaders,
// hexadecimal images, the report of conversion-configuration errors and
// the truncation of text to whole characters.
#include <cstring>

#include "comnlib/com_charclass.h"
#include "comnlib/comn_cs.h"
#include "comnlib/comn_err.h"
#include "comnlib/comn_cschar.h"

namespace {

// The next value of the current entry, or null with *rc 0 (no value) or
// -301 (reader error, its code kept in the context).  The value area is
// cleared first, so bytes a short hexadecimal value does not supply read
// as zero instead of as what an earlier value left there.
char* next_value(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, int* rc) {
  std::memset(lf->value, 0, sizeof lf->value);
  int st = 0;
  char* v = intl_nextvalue(lf, &st);
  if (v == nullptr) {
    if (st < 0 && ctx != nullptr) ctx->intl_err = st;
    *rc = st < 0 ? COMN_EINTL : 0;
  }
  return v;
}

int hexval(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int comn__get_byteval(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, std::uint8_t* out) {
  int rc = 0;
  const char* v = next_value(ctx, lf, &rc);
  if (v == nullptr) return rc;
  *out = static_cast<std::uint8_t>(v[0]);
  return 1;
}

int comn__get_shortval(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, std::uint16_t* out) {
  int rc = 0;
  const auto* v = reinterpret_cast<const std::uint8_t*>(next_value(ctx, lf, &rc));
  if (v == nullptr) return rc;
  *out = static_cast<std::uint16_t>((v[0] << 8) | v[1]);
  return 1;
}

int comn__get_longval(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, std::uint32_t* out) {
  int rc = 0;
  const auto* v = reinterpret_cast<const std::uint8_t*>(next_value(ctx, lf, &rc));
  if (v == nullptr) return rc;
  *out = (std::uint32_t{v[0]} << 24) | (std::uint32_t{v[1]} << 16) | (std::uint32_t{v[2]} << 8) |
         v[3];
  return 1;
}

// Reads a text of at most `max` characters into dest (NUL-ended; with no
// dest the value is only consumed); with `identifier` it must be a letter
// followed by letters, digits and "_".
int comn__get_string(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, char* dest, int identifier, int max) {
  int rc = 0;
  const char* v = next_value(ctx, lf, &rc);
  if (v == nullptr) return rc;
  if (dest == nullptr) return 1;
  const size_t n = std::strlen(v);
  if (max < 0 || n > static_cast<size_t>(max)) return 0;
  if (identifier) {
    if (n == 0 || !com_isalpha(static_cast<unsigned char>(v[0]))) return 0;
    for (size_t i = 1; i < n; ++i) {
      const int c = static_cast<unsigned char>(v[i]);
      if (!com_isalpha(c) && !com_isdigit(c) && c != '_') return 0;
    }
  }
  std::memcpy(dest, v, n + 1);
  return 1;
}

int comn__get_boolval(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, std::int32_t* out) {
  int rc = 0;
  const char* v = next_value(ctx, lf, &rc);
  if (v == nullptr) return rc;
  if (std::strcmp(v, "true") == 0) {
    *out = 1;
  } else if (std::strcmp(v, "false") == 0) {
    *out = 0;
  } else {
    return 0;
  }
  return 1;
}

// True when every character is a hexadecimal digit and their number is even.
int comn__check_hexadecimal(const char* text) {
  if (text == nullptr) return 0;
  size_t n = 0;
  for (; text[n] != '\0'; ++n)
    if (!com_isxdigit(static_cast<unsigned char>(text[n]))) return 0;
  return n % 2 == 0 ? 1 : 0;
}

// Collects 2 x count hexadecimal characters from "definition" values and
// converts them to bytes.  With cont 0 the first value comes from the
// entry just read; with 1 each chunk starts a new "definition" entry.
// 1; 0 for a wrong entry, too many characters or a bad digit; -1; -301.
int comn__get_image(COMN_CONTEXT* ctx, std::uint8_t* dest, std::uint32_t count, INTL_LOCFILE* lf,
                    int cont) {
  const size_t want = 2 * static_cast<size_t>(count);
  size_t have = 0;
  bool need_entry = cont != 0;
  while (have < want) {
    if (need_entry) {
      int st = 0;
      char* e = intl_nextentry(lf, &st);
      if (e == nullptr) {
        if (st < 0 && ctx != nullptr) ctx->intl_err = st;
        return st < 0 ? COMN_EINTL : 0;
      }
      if (std::strcmp(e, "definition") != 0) return 0;
      need_entry = false;
    }
    int rc = 0;
    const char* v = next_value(ctx, lf, &rc);
    if (v == nullptr) {
      if (rc != 0) return rc;
      need_entry = true;
      continue;
    }
    const size_t n = std::strlen(v);
    if (n > want - have) return 0;
    for (size_t i = 0; i < n; ++i) {
      const int h = hexval(static_cast<unsigned char>(v[i]));
      if (h < 0) return 0;
      const size_t pos = have + i;
      if (pos % 2 == 0)
        dest[pos / 2] = static_cast<std::uint8_t>(h << 4);
      else
        dest[pos / 2] = static_cast<std::uint8_t>(dest[pos / 2] | h);
    }
    have += n;
  }
  return 1;
}

namespace {

struct ConfigErr {
  int code;
  const char* text;
};

const ConfigErr Comn__convConfigErrs[] = {
    {-414, "Can not open the file!"},
    {-403, "Can't not find `conversion' section in the Conversion Configuration File."},
    {-404, "Can't not find any `convertto' entry in the Conversion Configuration File."},
    {-405,
     "The `convertto' entry doesn't specify `to' character set name in a Conversion "
     "Configuration File."},
    {-424,
     "The system failed to load a `to' charset global id. Please check the "
     "$MERROW/locales/objectid.dat file."},
    {-409,
     "The `convertto' entry doesn't specify the conversion method in the Conversion "
     "Configuration File."},
    {-409,
     "The `convertto' entry doesn't specify the conversion method in the Conversion "
     "Configuration File."},
    {-406,
     "The `convertto' entry doesn't have match mode specified in the Conversion Configuration "
     "File."},
    {-407,
     "The `convertto' entry has wrong match mode specified in the Conversion Configuration "
     "file."},
    {-408,
     "The `convertto' entry doesn't specify the nomap replacement character in the Conversion "
     "Configuration File."},
    {-410,
     "The `convertto' entry has an illegal method specified in the Conversion Configuration "
     "File"},
    {-411, "The `convertto' entry contains a bad hexadecimal number."},
    {-412,
     "The `convertto' entry with sys-algorithm method misses the definition of conversion "
     "maximum multiplier."},
    {-413, "The `convertto' entry contains a nagitive conversion maximum multiplier."},
    {-425, "This Conversion Table File is not installed! "},
    {-422, "Conversion to utf8 is not provided! "},
    {-301, "A Intl-Lib error occurs!"},
    {-1, "Memory allocation failure!"},
};

}  // namespace

void comn__print_conv_config_err(int code, const char* file, int line) {
  const char* text = "Failed to load the file!";
  for (const auto& e : Comn__convConfigErrs)
    if (e.code == code) {
      text = e.text;
      break;
    }
  if (file == nullptr) file = "";
  if (line == 0)
    com_perrf("File %s: %s\n", file, text);
  else
    com_perrf("In file %s, on line %d, %s\n", file, line, text);
}

// The length when below the limit; 0 for a limit below 1; else the largest
// sum of whole character lengths from the start within the limit.
int comnb_truncate_chars(const COM_CHARATTRIB* attr, const std::uint8_t* text, int len,
                         int limit) {
  if (len < limit) return len;
  if (limit < 1) return 0;
  if (attr == nullptr || attr->lentab == nullptr) return limit;
  int total = 0;
  while (total < len) {
    int w = attr->lentab[text[total]] & 0x0F;
    if (w < 1) w = 1;
    if (total + w > limit) break;
    total += w;
  }
  return total;
}

int comb__intl_xlate() { return 0; }
