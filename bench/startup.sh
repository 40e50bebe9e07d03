#!/usr/bin/env bash
# Start-up of the whole program, from exec to its window shown: process start, libraries, the Qt
# application and its connection to the X server, the identification exchange with both
# converters of korvat-sim, the window built and mapped. The moment of mapping comes from the X
# server itself (a MapNotify event on the root window, read as it happens), and the window is
# checked to be korvat's. Repeated runs; the median and the range are printed.
#
# Usage: bench/startup.sh BIN_DIR [RUNS]      (default 15 runs after one warm-up)
set -euo pipefail
bin="$(cd "$1" && pwd)"
runs="${2:-15}"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=whole-program.bash
source "$here/whole-program.bash"

start_x
start_sim
make_program_folder

# MapNotify events of every top-level window, one line each, as they happen.
coproc MAPS { stdbuf -oL xev -root -event substructure 2>/dev/null; }
sleep 0.3

load_before="$(loadavg)"
times=()
for run in $(seq 0 "$runs"); do
  t0="$(now_ns)"
  "$program/korvat" >"$work/korvat.out" 2>&1 &
  program_pid=$!
  window=""
  while read -r -t 30 line <&"${MAPS[0]}"; do
    case "$line" in
      MapNotify*) ;;
      *) continue ;;
    esac
    read -r -t 5 detail <&"${MAPS[0]}" || true
    case "$detail" in *"override YES"*) continue ;; esac
    window="$(sed -n 's/.*window \(0x[0-9a-f]*\), override.*/\1/p' <<<"$detail")"
    break
  done
  t1="$(now_ns)"
  [ -n "$window" ] || fail "no window was mapped within 30 s (run $run): $(cat "$work/korvat.out")"
  kill -0 "$program_pid" 2>/dev/null || fail "korvat ended at start-up: $(cat "$work/korvat.out")"
  wm_pid="$(xprop -id "$window" _NET_WM_PID 2>/dev/null | sed -n 's/.* = //p')"
  [ "$wm_pid" = "$program_pid" ] || fail "the mapped window $window is not korvat's (pid '$wm_pid', korvat $program_pid)"
  kill "$program_pid"
  wait "$program_pid" 2>/dev/null || true
  program_pid=""
  [ "$run" -eq 0 ] && continue # warm-up: libraries and fonts into the page cache
  times+=("$(( (t1 - t0) / 1000 ))")
done
load_after="$(loadavg)"

read -r med lo hi < <(printf '%s\n' "${times[@]}" | median_range)
awk -v m="$med" -v lo="$lo" -v hi="$hi" -v n="$runs" -v b="$load_before" -v a="$load_after" 'BEGIN {
  printf "startup_to_window_shown_ms median %.1f min %.1f max %.1f runs %d load %s -> %s\n", m / 1000, lo / 1000, hi / 1000, n, b, a }'
