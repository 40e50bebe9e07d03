#!/usr/bin/env bash
# Monitoring against its floor, side by side in one sitting: korvat under Xvfb against korvat-sim
# with both converters, monitoring switched on from the settings page as an operator does it, and
# beside it monitoring_floor (a plain Qt program that reads the same two ports of a second
# korvat-sim at the same line rate and repaints the same QCustomPlot at 5 Hz, nothing else). Both
# start streaming together; once their views follow the newest sample (305 s on) each is measured
# over the same seconds: the share of one core (user + system, /proc/PID/stat) and the wake-ups
# (voluntary context switches of all its threads, /proc/PID/task/*/status) per second. korvat is
# measured with the settings page in front, then with the run page in front (its own controls
# then not painted). Goal: korvat within 1.2 times the floor.
#
# Usage: bench/monitoring-floor.sh BIN_DIR [SECONDS] [WARM]   (default 60 s each, after 305 s)
set -euo pipefail
bin="$(cd "$1" && pwd)"
seconds="${2:-60}"
warm="${3:-305}"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=whole-program.bash
source "$here/whole-program.bash"
[ -x "$bin/monitoring_floor" ] || fail "$bin/monitoring_floor is not built"

floor_sim_pid=""
floor_pid=""
floor_cleanup() {
  for pid in "$floor_pid" "$floor_sim_pid"; do
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  whole_program_cleanup
}
trap floor_cleanup EXIT

start_x
start_sim
make_program_folder
"$bin/korvat-sim" --fidfpd --link-a "$work/floorA" --link-b "$work/floorB" >"$work/floor-sim.out" 2>&1 &
floor_sim_pid=$!
for _ in $(seq 200); do
  grep -q READY "$work/floor-sim.out" 2>/dev/null && break
  sleep 0.05
done
grep -q READY "$work/floor-sim.out" || fail "the floor's korvat-sim did not start: $(cat "$work/floor-sim.out")"

"$program/korvat" >"$work/korvat.out" 2>&1 &
program_pid=$!
window=""
for _ in $(seq 100); do
  window="$(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | head -n1 || true)"
  [ -n "$window" ] && break
  kill -0 "$program_pid" 2>/dev/null || fail "korvat ended at start-up: $(cat "$work/korvat.out")"
  sleep 0.1
done
[ -n "$window" ] || fail "korvat's window did not show"
sleep 3

# Both start streaming now: the settings page, "Monitoring An" (positions at the designed size).
xdotool mousemove --window "$window" 159 430 click 1
sleep 0.5
xdotool mousemove --window "$window" 952 538 click 1
"$bin/monitoring_floor" "$work/floorA" "$work/floorB" >"$work/floor.out" 2>&1 &
floor_pid=$!
clicked="$(now_ns)"
sleep 3
starts="$(grep -c '<12Z1100' "$work/sim.log" || true)"
[ "$starts" -ge 2 ] || fail "korvat's monitoring did not start on both converters (the click missed the button?)"
kill -0 "$floor_pid" 2>/dev/null || fail "monitoring_floor ended: $(cat "$work/floor.out")"

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
wakeups() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ { s += $2 } END { print s + 0 }'; }
hz="$(getconf CLK_TCK)"

# Both processes over the same `$1` seconds: "korvat_share korvat_wakeups_per_s floor_share floor_wakeups_per_s".
measure_both() {
  local k0 f0 kw0 fw0 t0 k1 f1 kw1 fw1 t1
  k0="$(cpu_ticks "$program_pid")"; f0="$(cpu_ticks "$floor_pid")"
  kw0="$(wakeups "$program_pid")"; fw0="$(wakeups "$floor_pid")"
  t0="$(now_ns)"
  sleep "$1"
  k1="$(cpu_ticks "$program_pid")"; f1="$(cpu_ticks "$floor_pid")"
  kw1="$(wakeups "$program_pid")"; fw1="$(wakeups "$floor_pid")"
  t1="$(now_ns)"
  awk -v k="$((k1 - k0))" -v f="$((f1 - f0))" -v kw="$((kw1 - kw0))" -v fw="$((fw1 - fw0))" -v hz="$hz" \
    -v s="$(((t1 - t0) / 1000000))" \
    'BEGIN { s /= 1000; printf "%.3f %.1f %.3f %.1f", 100 * k / hz / s, kw / s, 100 * f / hz / s, fw / s }'
}

sleep "$(awk -v c="$clicked" -v n="$(now_ns)" -v w="$warm" 'BEGIN { r = w - (n - c) / 1e9; print (r > 0 ? r : 0) }')"
load0="$(loadavg)"
read -r ks kw fs fw <<<"$(measure_both "$seconds")"
# The run page in front.
xdotool mousemove --window "$window" 54 430 click 1
sleep 2
read -r ks2 kw2 fs2 fw2 <<<"$(measure_both "$seconds")"
load1="$(loadavg)"
kill -0 "$program_pid" 2>/dev/null || fail "korvat ended while monitoring: $(cat "$work/korvat.out")"
kill -0 "$floor_pid" 2>/dev/null || fail "monitoring_floor ended: $(cat "$work/floor.out")"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
echo "monitoring_vs_floor settings page: korvat ${ks} % ${kw} wake-ups/s, floor ${fs} % ${fw} wake-ups/s, ratio $(ratio "$ks" "$fs"); run page: korvat ${ks2} % ${kw2} wake-ups/s, floor ${fs2} % ${fw2} wake-ups/s, ratio $(ratio "$ks2" "$fs2") (${seconds} s each after ${warm} s, load ${load0} -> ${load1})"
awk -v r="$(ratio "$ks2" "$fs2")" 'BEGIN { exit !(r <= 1.2) }' || echo "  above the goal of 1.2 times the floor"
