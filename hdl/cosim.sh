#!/bin/bash
# Co-simulates programs on a hardware design against the simulator: each
# program goes through brennel (memory file), Icarus Verilog with tb.v and
# the design (the design's commit log) and tavora-cosim (the comparison with
# tavora-run's log). Prints one line per program, and after a line that
# reports a difference the whole report.
#
#   hdl/cosim.sh [-b BUILD] [-d DESIGN.v] PROGRAM...
#
#   -b BUILD     take brennel, tavora-as, tavora-run and tavora-cosim from the build
#                folder BUILD (default: the installed ones on PATH)
#   -d DESIGN.v  the design (default: hdl/ref_core.v); its module is
#                tavora_core with the port list of ref_core.v
#   PROGRAM      a .cod image, or a .s/.asm source (assembled with tavora-as)
#
# Exit status: 0 every program matches, 1 some difference, 2 a program or
# tool could not be used, 77 Icarus Verilog is not installed, 64 usage.
set -u

here=$(cd "$(dirname "$0")" && pwd)
design=$here/ref_core.v
build=
while getopts b:d:h opt; do
  case $opt in
    b) build=$OPTARG ;;
    d) design=$OPTARG ;;
    h) sed -n '2,17s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) exit 64 ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -eq 0 ]; then
  echo "usage: hdl/cosim.sh [-b BUILD] [-d DESIGN.v] PROGRAM..." >&2
  exit 64
fi

if ! command -v iverilog >/dev/null || ! command -v vvp >/dev/null; then
  echo "skipped: Icarus Verilog (iverilog, vvp) is not installed; 'make deps' or 'apt-get install iverilog' installs it" >&2
  exit 77
fi

tool() {
  if [ -n "$build" ]; then echo "$build/tools/$1/$2"; else command -v "$2" || echo "$2"; fi
}
brennel=$(tool brennel brennel)
assembler=$(tool as tavora-as)
cosim=$(tool cosim tavora-cosim)
runner=$(tool run tavora-run)
for t in "$brennel" "$cosim" "$runner"; do
  if [ ! -x "$t" ]; then echo "cosim: $t not found (build it, or give the build folder with -b)" >&2; exit 2; fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tavora-cosim-XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT

if ! iverilog -o "$work/tb.vvp" "$here/tb.v" "$design" 2>"$work/iverilog.txt"; then
  echo "cosim: $design does not compile:" >&2
  cat "$work/iverilog.txt" >&2
  exit 2
fi

# The word address of the memory file's first line: brennel starts it at the
# first code or data section (or at 0 when a .DS section comes first).
base_of() {
  awk '/^\.DS/ { print "0"; exit }
       /^\.(CODE|DATA)/ { getline; sub(/^0x/, ""); print; exit }' "$1"
}

status=0
worse() { [ "$1" -gt "$status" ] && status=$1; }

for program in "$@"; do
  name=$(basename "$program")
  image=$program
  case $program in
    *.s|*.S|*.asm|*.ASM)
      image=$work/$name.cod
      if ! "$assembler" -o "$image" "$program" >"$work/as.txt" 2>&1; then
        echo "$name: does not assemble:"; sed 's/^/  /' "$work/as.txt"; worse 2; continue
      fi ;;
  esac
  rm -f "$work/prog.mem"
  "$brennel" -o "$work/prog.mem" "$image" 2>/dev/null
  if [ ! -f "$work/prog.mem" ]; then
    echo "$name: brennel cannot convert it (brennel reads numbers written as 0x... only)"; worse 2; continue
  fi
  base=$(base_of "$image")
  # The simulator's step count bounds the testbench: one instruction more
  # shows a design that goes on, and the cycle limit ends one that hangs.
  steps=$("$runner" "$image" 2>/dev/null | sed -n 's/^steps: //p')
  if [ -z "$steps" ]; then
    echo "$name: tavora-run cannot run it:"; "$runner" "$image" 2>&1 >/dev/null | sed 's/^/  /'; worse 2; continue
  fi
  vvp -n "$work/tb.vvp" +mem="$work/prog.mem" +base="${base:-800000}" +log="$work/design.log" \
    +max_steps=$((steps + 1)) +max_cycles=$((100 * steps + 10000)) >"$work/vvp.txt" 2>&1
  report=$("$cosim" "$image" "$work/design.log" 2>&1)
  result=$?
  worse $result
  echo "$name: $(printf '%s\n' "$report" | head -n 1)"
  if [ $result -ne 0 ]; then
    printf '%s\n' "$report" | tail -n +2
    sed 's/^/  testbench: /' "$work/vvp.txt"
  fi
done
exit $status
