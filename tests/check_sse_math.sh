#!/bin/sh
# The 32-bit DLL does its arithmetic in SSE2, as every other build does: no
# x87 arithmetic instruction may appear in the library's own functions (the
# x87 stack still carries double results across calls, as the 32-bit calling
# convention requires, but loads, stores and fabs are exact).
# Usage: check_sse_math.sh OBJDUMP DLL
set -eu
"$1" -d --no-show-raw-insn "$2" | awk '
  /^[0-9a-f]+ <.*>:$/ { name = $2; ours = (name ~ /2zt|<_E_|<_DLL|<_Dll_|<_LogMemoryReport/) }
  ours && /\tf(add|sub|mul|div|sqrt|prem|scale|rndint)/ { print name ": " $0; bad = 1 }
  END { if (bad) exit 1; print "no x87 arithmetic in the library'\''s functions" }'
