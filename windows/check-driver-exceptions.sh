#!/usr/bin/env bash
# Checks the exception handling of the kernel driver's image, from its
# exception directory (objdump -p: the function table in .pdata, the unwind
# information and scope tables in .xdata) and its disassembly.
#   check-driver-exceptions.sh <objdump> <nm> <driver.sys> unwind
#     the unwind tables are present: every function that calls, pushes or
#     moves the stack pointer starts inside a function-table entry. Only such
#     a frame can be unwound to an exception handler; a leaf needs no entry.
#   check-driver-exceptions.sh <objdump> <nm> <driver.sys> guarded <routine>
#     every call of <routine>, a kernel routine that raises, runs under an
#     exception handler: the call lies in a scope that __C_specific_handler
#     serves with an __except block, or in a function called directly only
#     from such scopes (the compiler keeps a call inside __try out of line).
set -euo pipefail
usage() { echo "usage: $0 <objdump> <nm> <driver.sys> unwind | guarded <routine>" >&2; exit 2; }
[ $# -ge 4 ] || usage
objdump=$1 nm=$2 driver=$3 mode=$4 routine=${5:-}
case "$mode" in
  unwind) [ $# -eq 4 ] || usage
          failed="has functions without unwind information" passed="unwind tables present" ;;
  guarded) [ $# -eq 5 ] || usage
           failed="calls $routine outside every exception handler, or never"
           passed="every call of $routine is guarded" ;;
  *) usage ;;
esac
fail() { echo "$driver: $1" >&2; exit 1; }

handler=$("$nm" "$driver" | awk '$3 == "__C_specific_handler" && $2 ~ /[Tt]/ { print $1 }')
if [ "$mode" = guarded ] && [ -z "$handler" ]; then
  fail "does not import __C_specific_handler: nothing is guarded"
fi
headers=$("$objdump" -p "$driver")
grep -Eq '^Entry 3 0*[1-9a-f][0-9a-f]* 0*[1-9a-f][0-9a-f]* Exception Directory' <<<"$headers" ||
  fail "has no exception directory"
grep -q '^Dump of \.xdata' <<<"$headers" || fail "has no unwind information (.xdata)"
image_base=$(awk '$1 == "ImageBase" { print $2 }' <<<"$headers")

"$objdump" -d -C --no-show-raw-insn "$driver" | cat <(echo "$headers") - |
  awk -v mode="$mode" -v routine="$routine" -v handler="${handler:-0}" -v image_base="$image_base" '
  function hex(s,   n, i) {
    s = tolower(s); n = 0
    for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
    return n
  }
  function inside(address, first, last, count,   i) {
    for (i = 1; i <= count; i++) if (address >= first[i] && address < last[i]) return 1
    return 0
  }
  # The little-endian 32-bit word at byte offset i of the current unwind data.
  function word(i) { return hex(data[i + 3] data[i + 2] data[i + 1] data[i]) }
  # A C scope table: a count, then begin, end, filter and target per scope
  # (image-relative); a target of 0 marks a __finally block, which handles
  # nothing.
  function take_scopes(   count, i, at) {
    if (hex(unwind_handler) != hex(handler) || bytes < 4) return
    count = word(0)
    for (i = 0; i < count && 4 + 16 * i + 16 <= bytes; i++) {
      at = 4 + 16 * i
      if (word(at + 12) == 0) continue
      scopes++; scope_begin[scopes] = base + word(at); scope_end[scopes] = base + word(at + 4)
    }
  }
  function end_function() {
    if (name == "" || !needs_frame) return
    framed++
    if (!inside(start, entry_begin, entry_end, entries)) { print "  no unwind entry: " name; missing++ }
  }
  function guarded_by_callers(callee,   list, n, i) {
    n = split(sites_of[callee], list, " ")
    for (i = 1; i <= n; i++) if (!inside(hex(list[i]), scope_begin, scope_end, scopes)) return 0
    return n > 0
  }
  BEGIN { base = hex(image_base) }

  /^The Function Table/ { table = 1; next }
  table && /^ [0-9a-f]+:\t[0-9a-f]+ [0-9a-f]+ [0-9a-f]+$/ {
    split($0, f, /[\t ]+/); entries++; entry_begin[entries] = hex(f[3]); entry_end[entries] = hex(f[4])
    next
  }
  table && /^$/ { table = 0 }

  /^Dump of \.xdata/ { xdata = 1; next }
  xdata && /^ [0-9a-f]+ \(rva: / { take_scopes(); unwind_handler = ""; bytes = 0; user_data = 0; next }
  xdata && /^\tHandler: / { unwind_handler = $2; sub(/\.$/, "", unwind_handler); next }
  xdata && /^\tUser data:/ { user_data = 1; next }
  xdata && user_data && /^\t  [0-9a-f]+: / { for (i = 2; i <= NF; i++) data[bytes++] = $i; next }
  xdata && /^[^ \t]/ { take_scopes(); xdata = 0 }

  /^[0-9a-f]+ <.*>:$/ {
    end_function()
    start_text = $1; sub(/^0+/, "", start_text); start = hex(start_text)
    name = substr($0, length($1) + 3, length($0) - length($1) - 4); needs_frame = 0
    next
  }
  name != "" && /^ +[0-9a-f]+:\t/ && ($0 ~ /\t(call|push)/ || $0 ~ /,%rsp$/) { needs_frame = 1 }
  /^ +[0-9a-f]+:\tcall / {
    site = $1; sub(/:$/, "", site)
    if ($0 ~ ("<(__imp_)?" routine ">$")) {
      calls++; call_site[calls] = hex(site); caller[calls] = start_text; caller_name[calls] = name
    } else if (match($0, /call +[0-9a-f]+ </)) {
      split(substr($0, RSTART, RLENGTH), target, / +/)
      sites_of[target[2]] = sites_of[target[2]] " " site
    }
  }

  END {
    end_function()
    if (mode == "unwind") {
      printf "%d function table entries; %d functions with a frame, %d of them without an entry\n",
             entries, framed, missing
      exit missing > 0 || entries == 0
    }
    printf "%d guarded scopes of __C_specific_handler\n", scopes
    for (i = 1; i <= calls; i++) {
      if (inside(call_site[i], scope_begin, scope_end, scopes)) how = "inside a guarded scope"
      else if (guarded_by_callers(caller[i])) how = "called only from guarded scopes"
      else { how = "UNGUARDED"; unguarded++ }
      printf "  %s calls %s: %s\n", caller_name[i], routine, how
    }
    exit calls == 0 || unguarded > 0
  }' || fail "$failed"
echo "$driver: $passed"
