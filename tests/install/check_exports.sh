#!/usr/bin/env bash
# Checks that the installed archives export their public entry points and
# nothing else by accident: every global symbol an archive defines is
#   - a routine declared in the installed public headers, or
#   - in a namespace (C++ names of the layers' insides), or
#   - named with a prefix its layers keep for their own routines (the DB
#     client's db, com_, comn_, intl, lm_; the table library's c_ and halvo;
#     the access layer's pravel_ and qelt_; the clock seam's plat_), as C
#     libraries name theirs.
# A symbol with an ordinary name (leapyear, monthdays, t_open, strnew) can
# clash with a caller's own, and is reported.  Weak symbols (inline code,
# template instances) never clash and are not checked.
#
#   check_exports.sh INCLUDE_DIR ARCHIVE...     exit status 1 on any report
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 INCLUDE_DIR ARCHIVE..." >&2; exit 2; }
include=$1
shift

# The names declared in the public headers: every identifier followed by
# "(" in the headers with their comments removed.
declared=$(find "$include" -name '*.h' -exec "${CC:-cc}" -fpreprocessed -dD -E -P -x c {} \; 2>/dev/null |
           grep -oE '[A-Za-z_][A-Za-z0-9_]*[[:space:]]*\(' | tr -d '( \t' | sort -u)
[ -n "$declared" ] || { echo "check_exports: no declarations in $include" >&2; exit 2; }

status=0
for archive in "$@"; do
  case $(basename "$archive") in
    libquorel_dblib.a) prefixes='db|Db__|com_|Com_|comn_|comb_|comnb_|intl|lm_' ;;
    libquorel_halvo.a) prefixes='c_|halvo' ;;
    libquorel_pravel.a) prefixes='pravel_|qelt_' ;;
    libquorel_plat_clock.a) prefixes='plat_' ;;
    *) echo "check_exports: no prefixes known for $archive" >&2; exit 2 ;;
  esac
  # member:address type name, demangled; strong global definitions only.
  stray=$(nm -A -C --defined-only -g "$archive" 2>/dev/null |
    awk -v declared="$declared" -v prefixes="^($prefixes)" '
      BEGIN { n = split(declared, d, "\n"); for (i = 1; i <= n; i++) ok[d[i]] = 1 }
      {
        split($1, loc, ":"); type = $2
        if (type !~ /^[BDGRST]$/) next
        name = $0; sub(/^[^ ]+ [^ ]+ /, "", name)
        if (name ~ /^(__odr_asan|__asan|___asan)/) next
        sub(/^(vtable|typeinfo|typeinfo name|VTT|guard variable) for /, "", name)
        base = name; sub(/\(.*/, "", base); gsub(/\[abi:[^]]*\]/, "", base)
        if (base ~ /::/ || (base in ok) || base ~ prefixes) next
        print "  " loc[2] ": " name
      }')
  if [ -n "$stray" ]; then
    echo "check_exports: $(basename "$archive") exports internal names:" >&2
    echo "$stray" >&2
    status=1
  fi
done
exit $status
