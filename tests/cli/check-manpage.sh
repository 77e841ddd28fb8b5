#!/usr/bin/env bash
# Checks a manual page against its program: the OPTIONS section has an entry
# for every option the program's --help lists, with the same value name, and
# none for an option the program does not know; groff reads the page without
# a warning. Prints what differs and exits 1 if anything does.
# Usage: check-manpage.sh <program> <page>
set -uo pipefail
program=$1
page=$2

help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help) || {
  echo "$program --help failed"
  exit 1
}
# "  -h, --help  Print ..." and "  --port <port>  TCP ...": the words before
# the gap of two spaces, from the long name on, as "--port port".
known=$(sed -nE 's/^  +(-[[:alnum:]], )?(--[[:alnum:]-]+( <[[:alnum:]-]+>)?)( {2,}.*)?$/\2/p' <<<"$help" \
  | tr -d '<>' | sort -u)
# The line after each .TP of the OPTIONS section, without the font macros,
# quotes and escapes: ".BI \-\-port \" port\"" reads "--port port". Qt's
# options (one dash) have entries of their own and are left out.
documented=$(sed -n '/^\.SH OPTIONS/,/^\.SH /{/^\.TP/{n;p}}' "$page" \
  | sed -E 's/\\-/-/g; s/\\f[BIRP]//g; s/"//g; s/^\.[A-Z]+ +//; s/ +/ /g; s/ +$//' \
  | grep -oE -- '--[[:alnum:]-]+( [[:alnum:]-]+)?$' | sort -u)

status=0
[ -n "$known" ] || { echo "$program --help lists no option"; status=1; }
while read -r option; do
  [ -n "$option" ] && echo "$page has no entry for $option" && status=1
done < <(comm -23 <(echo "$known") <(echo "$documented"))
while read -r option; do
  [ -n "$option" ] && echo "$page documents $option, which $program does not have" && status=1
done < <(comm -13 <(echo "$known") <(echo "$documented"))

warnings=$(groff -man -ww -z -Tutf8 "$page" 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; status=1; }
exit $status
