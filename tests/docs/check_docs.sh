#!/usr/bin/env bash
# The manual pages are well formed, and they and README.md name the same
# options, exit statuses and commands.
#
#   check_docs.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source=$1 build=$2
installer_page=$build/man/installer.8 pkgtool_page=$build/man/pkgtool.1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

if command -v mandoc >/dev/null; then
  lint() { mandoc -Tlint -W warning "$1"; }
  render() { mandoc -Tascii "$1" | col -b; }
elif command -v groff >/dev/null; then
  lint() { groff -man -ww -z "$1" 2>&1 | { ! grep .; }; }
  render() { groff -man -Tascii -P-cbou "$1" 2>/dev/null; }
else
  echo "neither mandoc nor groff is installed"
  exit 77
fi
for page in "$installer_page" "$pkgtool_page"; do
  lint "$page" || fail "$(basename "$page") has formatting faults"
done
installer_text=$(render "$installer_page") pkgtool_text=$(render "$pkgtool_page")

# README's section between the heading $1 and the next heading.
section() { awk -v h="$1" '$0 == h { on = 1; next } /^## / { on = 0 } on' "$source/README.md"; }

# The installer's arguments and exit statuses, from README's tables.
while read -r option; do
  grep -qF -- "$option" <<<"$installer_text" || fail "installer.8 does not name $option"
done < <(section "## Command line" | sed -n 's/^| `\([^`]*\)`.*/\1/p' | sed 's/ <.*//' | tr ',' '\n' | tr -d ' `')
while read -r status; do
  grep -qE "^ +$status( |$)" <<<"$installer_text" || fail "installer.8 does not list exit status $status"
done < <(section "## Exit statuses" | sed -n 's/^| \([0-9][0-9]*\) |.*/\1/p')

# pkgtool's commands and options: README's synopsis, pkgtool --help and the
# page's synopsis name the same.
synopsis=$(section "## Making packages with pkgtool" | awk '/^```/ { n++; next } n == 1')
[[ -n $synopsis ]] || fail "README has no pkgtool synopsis"
help=$("$build/pkgtool" --help)
while read -r line; do
  for word in $(tr -d '[]' <<<"$line" | tr ' |' '\n\n' | grep -E '^(-|[a-z]+$)'); do
    grep -qF -- "$word" <<<"$pkgtool_text" || fail "pkgtool.1 does not name '$word' of: $line"
    grep -qF -- "$word" <<<"$help" || fail "pkgtool --help does not name '$word' of: $line"
  done
done <<<"$synopsis"
exit $failed
