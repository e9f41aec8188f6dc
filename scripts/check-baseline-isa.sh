#!/usr/bin/env bash
# Checks that the 32-bit updater's code runs on a CPU without SSE: only the carry-less checksum
# kernels, which are chosen at run time from the CPU's feature flags, may use vector registers or
# instructions newer than the Pentium Pro's. Reads the win32 build's object files.
# Usage: scripts/check-baseline-isa.sh   (after scripts/build.sh win32)
set -euo pipefail
cd "$(dirname "$0")/.."
objdump=i686-w64-mingw32-objdump
objects=$(find build/win32/src -name '*.obj' | sort)
[ -n "$objects" ] || { echo "check-baseline-isa: build the win32 preset first" >&2; exit 1; }

# MMX/SSE/AVX registers, and the general-register instructions that came after the Pentium Pro.
beyond_baseline='%(x|y|z)?mm[0-9]|%k[0-7]|\b(movnti|popcnt|lzcnt|tzcnt|movbe|crc32[bwlq]?|andn|bextr|blsi|blsr|blsmsk|shlx|shrx|sarx|rorx|pdep|pext|adcx|adox|[lms]fence|clflush|prefetch[a-z0-9]*)\b'
runtime_chosen='/x86/checksum_clmul[0-9]+\.cpp\.obj$'

status=0
for object in $objects; do
  # Function name, then every instruction beyond the baseline inside it.
  hits=$($objdump -d --no-show-raw-insn "$object" | awk -v pattern="$beyond_baseline" '
    /^[0-9a-f]+ <.*>:$/ { function_name = $2; next }
    $0 ~ pattern { count[function_name]++ }
    END { for (f in count) printf "  %s %d instructions\n", f, count[f] }')
  if [[ "$object" =~ $runtime_chosen ]]; then
    listing=$($objdump -d --no-show-raw-insn "$object")
    registers=$(grep -oE '%[xyz]mm' <<<"$listing" | sort -u | tr -d '%' | tr '\n' ' ')
    multiplies=$(grep -oE '\bv?pclmul[a-z]*' <<<"$listing" | sed -E 's/pclmul[hl]q[hl]qdq/pclmulqdq/' | sort -u | tr '\n' ' ')
    echo "run-time kernel $(basename "$object"): ${multiplies}on ${registers}"
  elif [ -n "$hits" ]; then
    echo "BEYOND BASELINE in $object:"
    echo "$hits"
    status=1
  fi
done
count=$(echo "$objects" | wc -l)
if [ "$status" -eq 0 ]; then
  echo "baseline: no vector or post-Pentium Pro instructions outside the run-time kernels ($count objects)"
fi
exit "$status"
