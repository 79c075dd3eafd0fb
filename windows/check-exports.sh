#!/usr/bin/env bash
# Checks a motion library's export table against the ordinal table: the same
# set of ordinals, each with its name, and nothing else.
#   check-exports.sh <objdump> <library.dll> <ordinals.txt> <rm720|rm730>
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 <objdump> <library.dll> <ordinals.txt> <rm720|rm730>" >&2; exit 2; }
objdump=$1 dll=$2 table=$3 model=$4
case "$model" in
  rm720) column=2 ;;
  rm730) column=3 ;;
  *) echo "$0: unknown model $model" >&2; exit 2 ;;
esac

expected=$(awk -v c="$column" '!/^#/ && NF && $c != "-" { print $1, $c }' "$table" | sort -n)
# The export address table lists every ordinal with code behind it; the name
# table gives each name's index, which is the ordinal less the base.
actual=$("$objdump" -p "$dll" | awk '
  /^Ordinal Base/ { base = $3 }
  /^Export Address Table --/ { section = "addresses"; next }
  /^\[Ordinal\/Name Pointer\] Table/ { section = "names"; next }
  /^[[:space:]]*$/ { section = "" }
  section == "addresses" && /Export RVA/ { gsub(/[][+]/, " "); ordinals[$3] = 1 }
  section == "names" { gsub(/[][]/, " "); names[$1 + base] = $2 }
  END {
    for (o in ordinals) print o, (o in names ? names[o] : "(no name)")
    for (o in names) if (!(o in ordinals)) print o, names[o], "(no code)"
  }' | sort -n)

if [ "$expected" != "$actual" ]; then
  echo "$dll: its exports differ from $table (< expected, > built):" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
echo "$dll: $(echo "$actual" | wc -l) exports, each at its ordinal"
