#!/bin/bash
# Co-simulates programs on a hardware design against the simulator: for each
# program tavora-run writes the memory image, Icarus Verilog runs the design
# in the testbench tb.v on it, and tavora-cosim compares the design's commit
# log with the simulator's. Prints one line per program, and after a line
# that reports a difference the whole report.
#
#   hdl/cosim.sh [options] PROGRAM...
#
#   -d DESIGN.v      a file of the design; repeat it for a design in several
#                    files (default: hdl/ref_core.v). Its top module is
#                    tavora_core with the port list of ref_core.v (or give
#                    -D TAVORA_DUT=name); a .sv file makes it SystemVerilog
#   -D NAME[=VALUE]  a macro for iverilog
#   -I DIR           a folder iverilog searches for `include files
#   -n STEPS         the step limit of the simulator, the testbench and the
#                    comparison (default 1000000)
#   -w               write each run's waveform (VCD) and say where it is
#   -k               keep the work folder and print its path
#   -b BUILD         take tavora-run and tavora-cosim from the build folder
#                    BUILD (default: the installed ones on PATH)
#   PROGRAM          a .cod image, or a .s/.asm source
#
# Exit status: 0 every program matches, 1 some difference, 2 a program or
# tool could not be used, 77 Icarus Verilog is not installed, 64 usage.
set -u

here=$(cd "$(dirname "$0")" && pwd)
usage() {
  echo "usage: hdl/cosim.sh [-d DESIGN.v]... [-D NAME[=VALUE]]... [-I DIR]... [-n STEPS] [-w] [-k] [-b BUILD] PROGRAM..." >&2
  exit 64
}

designs=()
flags=()
steps=1000000
waves=
keep=
build=
while getopts b:d:D:I:n:wkh opt; do
  case $opt in
    b) build=$OPTARG ;;
    d) designs+=("$OPTARG") ;;
    D) flags+=("-D$OPTARG") ;;
    I) flags+=("-I$OPTARG") ;;
    n) steps=$OPTARG ;;
    w) waves=1 ;;
    k) keep=1 ;;
    h) sed -n '2,25s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 0 ] && usage
if ! [[ $steps =~ ^[0-9]+$ ]] || [ ${#steps} -gt 10 ] || [ "$steps" -lt 1 ] || [ "$steps" -gt 2147483647 ]; then
  echo "cosim: -n takes a decimal step count from 1 to 2147483647, not '$steps'" >&2
  exit 64
fi
[ ${#designs[@]} -eq 0 ] && designs=("$here/ref_core.v")
for file in "${designs[@]}"; do
  case $file in *.sv|*.SV) flags+=(-g2012) ;; esac
  if [ ! -r "$file" ]; then echo "cosim: cannot read the design file $file" >&2; exit 2; fi
done

if ! command -v iverilog >/dev/null || ! command -v vvp >/dev/null; then
  echo "skipped: Icarus Verilog (iverilog, vvp) is not installed; 'make deps' or 'apt-get install iverilog' installs it" >&2
  exit 77
fi

tool() {
  if [ -n "$build" ]; then echo "$build/tools/$1/$2"; else command -v "$2" || echo "$2"; fi
}
runner=$(tool run tavora-run)
cosim=$(tool cosim tavora-cosim)
for t in "$runner" "$cosim"; do
  if [ ! -x "$t" ]; then echo "cosim: $t not found (build it, or give the build folder with -b)" >&2; exit 2; fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tavora-cosim-XXXXXX") || exit 2
# The folder goes unless it was asked for or a report names a file in it.
names_work=
finish() {
  if [ -n "$keep" ]; then
    echo "work folder: $work"
  elif [ -n "$names_work" ]; then
    echo "work folder: $work (kept: the lines above name files in it)"
  else
    rm -rf "$work"
  fi
}
trap finish EXIT

status=0
worse() { [ "$1" -gt "$status" ] && status=$1; }
say() {
  case $1 in *"$work"*) names_work=1 ;; esac
  printf '%s\n' "$1"
}

# Every program's memory image first: the testbench is compiled once, with
# room for the largest.
words=$((1 << 20))
runs=$((1 << 12))
count=0
folders=()
for program in "$@"; do
  count=$((count + 1))
  folder=$work/$count-$(basename "$program")
  folders+=("$folder")
  mkdir -p "$folder"
  "$runner" -n "$steps" --memory-image "$folder/image.mem" -- "$program" >"$folder/run.txt" 2>"$folder/run.err"
  case $? in 0|3) ;; *) continue ;; esac
  w=0 r=0
  read -r w r < <(sed -n '1s/.*: \([0-9]*\) words in \([0-9]*\) runs; .*/\1 \2/p' "$folder/image.mem")
  [ "${w:-0}" -gt "$words" ] && words=$w
  [ "${r:-0}" -gt "$runs" ] && runs=$r
done

if ! iverilog -o "$work/tb.vvp" -Ptb.MEM_WORDS="$words" -Ptb.MEM_RUNS="$runs" "${flags[@]}" \
    "$here/tb.v" "${designs[@]}" >"$work/iverilog.txt" 2>&1; then
  echo "cosim: the design does not compile (iverilog ${flags[*]} tb.v ${designs[*]}):" >&2
  cat "$work/iverilog.txt" >&2
  exit 2
fi

index=0
for program in "$@"; do
  folder=${folders[$index]}
  index=$((index + 1))
  name=$(basename "$program")
  if [ ! -f "$folder/image.mem" ]; then
    echo "$name: tavora-run cannot load it:"
    sed 's/^/  /' "$folder/run.err"
    worse 2
    continue
  fi
  wave=()
  [ -n "$waves" ] && wave=("+vcd=$folder/design.vcd")
  # Where the simulator stopped by itself, one instruction more shows a
  # design that goes on; there is no need to run it to the limit.
  limit=$steps
  ran=$(sed -n 's/^steps: //p' "$folder/run.txt")
  [ -n "$ran" ] && [ "$ran" -lt "$steps" ] && limit=$((ran + 1))
  vvp -n "$work/tb.vvp" +mem="$folder/image.mem" +log="$folder/design.log" +max_steps="$limit" "${wave[@]}" \
    >"$folder/testbench.txt" 2>&1
  if [ $? -eq 2 ]; then
    echo "$name: the testbench could not start:"
    sed -n 's/^tb: error: /  /p' "$folder/testbench.txt"
    worse 2
    continue
  fi
  report=$("$cosim" -n "$steps" --testbench "$folder/testbench.txt" -- "$program" "$folder/design.log" 2>&1)
  result=$?
  worse $result
  say "$name: $(printf '%s\n' "$report" | head -n 1)"
  if [ $result -ne 0 ]; then
    say "$(printf '%s\n' "$report" | tail -n +2)"
    # What the design printed itself, the last of it.
    own=$(grep -v '^tb: \|^VCD info: ' "$folder/testbench.txt" | tail -n 20)
    [ -n "$own" ] && say "$(printf 'the design printed (last lines):\n%s' "$own" | sed '2,$s/^/  /')"
  fi
  if [ -n "$waves" ]; then
    names_work=1
    echo "  waveform: $folder/design.vcd"
  fi
done
exit $status
