// The option store: parsing, defaults and look-up.
#include "orvolib/options.h"

#include <cstring>
#include <string>

#include "loadfile/strfn.h"
#include "orvolib/orvo_error.h"

alist* options = nullptr;

namespace {
const int kMaxDefaults = 50;
}

int is_option(const char* arg) {
  if (std::strchr(arg, '=') != nullptr && std::strchr(arg, ' ') == nullptr) return 1;
  std::size_t n = std::strlen(arg);
  return n > 0 && (arg[n - 1] == '+' || arg[n - 1] == '-') ? 1 : 0;
}

void put_option(const char* arg) {
  std::string text(arg);
  std::string name, value;
  std::size_t eq = text.find('=');
  if (eq != std::string::npos) {
    name = text.substr(0, eq);
    value = text.substr(eq + 1);
  } else if (!text.empty() && (text.back() == '+' || text.back() == '-')) {
    value = text.back() == '+' ? "yes" : "no";
    name = text.substr(0, text.size() - 1);
  } else {
    orvo_warn(ORVO_BADOPTION, "%s", arg);
    return;
  }
  if (options == nullptr) init_option();
  if (find_alist(options, name.c_str()) == nullptr) add_alist(options, name.c_str(), value.c_str());
}

int def_option(const char* list) {
  std::string copy(list);
  char* fields[kMaxDefaults];
  strsplit(',', copy.data(), fields, kMaxDefaults);
  int taken = 0;
  while (taken < kMaxDefaults && fields[taken][0] != '\0') put_option(fields[taken++]);
  return taken;
}

char* get_option(const char* name) {
  char* value = options == nullptr ? nullptr : find_alist(options, name);
  if (value == nullptr) orvo_error(ORVO_BADOPTNAME, "%s", name);
  return value;
}

int each_option(int index, char** name, char** value) {
  if (options == nullptr) {
    *name = *value = nullptr;
    return -1;
  }
  return each_alist(options, index, name, value);
}

void init_option() {
  free_option();
  options = create_alist();
}

void free_option() {
  free_alist(options);
  options = nullptr;
}

void print_ver() {
  def_option("v=no");
  if (std::strcmp(get_option("v"), "yes") == 0) orvo_info(ORVO_INSTALLDATE, "%s", "Mon Feb  4 2002");
}
