#!/usr/bin/env bash
# Checks that a Linux motion library exports exactly the functions that the
# ordinal table gives its model, so that both builds of a model export the
# same set.
#   check-so-exports.sh <library.so> <ordinals.txt> <rm720|rm730>
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 <library.so> <ordinals.txt> <rm720|rm730>" >&2; exit 2; }
library=$1 table=$2 model=$3
case "$model" in
  rm720) column=2 ;;
  rm730) column=3 ;;
  *) echo "$0: unknown model $model" >&2; exit 2 ;;
esac
expected=$(awk -v c="$column" '!/^#/ && NF && $c != "-" { print $c }' "$table" | sort)
actual=$(nm -D --defined-only "$library" | awk '$2 == "T" { print $3 }' | sort)
if [ "$expected" != "$actual" ]; then
  echo "$library: its exports differ from $table (< in the table only, > in the library only):" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
echo "$library: the $(echo "$actual" | wc -l) exports of the ordinal table"
