#!/usr/bin/env bash
# Every man page renders without a single warning, through groff with all
# warnings on and through man itself.
# Usage: man_pages_test.sh SOURCE_DIR
set -euo pipefail
src=$1
if ! command -v groff >/dev/null; then
  echo "man_pages_test: groff missing: man pages not checked"
  exit 0
fi
status=0
for page in "$src"/man/*.1; do
  said=$(groff -man -ww -z -Tutf8 "$page" 2>&1)
  if command -v man >/dev/null; then
    said+=$(MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null)
  fi
  if [ -n "$said" ]; then
    echo "$(basename "$page"):" >&2
    echo "$said" >&2
    status=1
  fi
done
exit $status
