#!/usr/bin/env bash
# Fails when a text marked for translation in the code has no finished
# translation in one of the .ts files: lupdate reads the code into a copy of
# each.
#   translations_complete.sh LUPDATE TS_FOLDER LUPDATE_OPTIONS... -- SOURCES...
set -euo pipefail
lupdate=$1 folder=$2
shift 2
options=()
while [ "$1" != -- ]; do options+=("$1"); shift; done
shift
copy=$(mktemp --suffix=.ts)
trap 'rm -f "$copy"' EXIT
status=0
for ts in "$folder"/*.ts; do
  cp "$ts" "$copy"
  "$lupdate" "${options[@]}" "$@" -ts "$copy" >/dev/null
  unfinished=$(grep -c 'type="unfinished"' "$copy" || true)
  vanished=$(grep -c 'type="vanished"\|type="obsolete"' "$copy" || true)
  grep -B2 'type="unfinished"' "$copy" | grep '<source>' || true
  echo "$(basename "$ts"): $unfinished unfinished, $vanished no longer in the code"
  [ "$unfinished" -eq 0 ] && [ "$vanished" -eq 0 ] || status=1
done
exit $status
