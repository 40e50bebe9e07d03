# Sourced by the whole-program benchmarks (bench/*.sh): an X server of its own (Xvfb), the
# virtual instrument with both converters on pseudo-terminals, and a program folder holding
# korvat, the substance lists and a Korvat.ini that points at the instrument. Everything started
# here is ended when the sourcing script exits.
#
# Needs: $bin, the folder of korvat, korvat-sim and the substance lists.

work="$(mktemp -d)"
xvfb_pid=""
sim_pid=""
program_pid=""

whole_program_cleanup() {
  for pid in "$program_pid" "$sim_pid" "$xvfb_pid"; do
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  rm -rf "$work"
}
trap whole_program_cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# Xvfb picks a free display and tells its number on fd 3.
start_x() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do
    [ -s "$work/display" ] && break
    sleep 0.05
  done
  [ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -n1 "$work/display")"
  export XDG_RUNTIME_DIR="$work"
  unset QT_QPA_PLATFORM
}

# korvat-sim with both converters; extra options are passed on.
start_sim() {
  "$bin/korvat-sim" --fidfpd --link-a "$work/portA" --link-b "$work/portB" --log "$work/sim.log" "$@" \
    >"$work/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 200); do
    grep -q READY "$work/sim.out" 2>/dev/null && break
    sleep 0.05
  done
  grep -q READY "$work/sim.out" || fail "korvat-sim did not start: $(cat "$work/sim.out")"
}

# The program reads Korvat.ini and the substance lists beside itself, so it gets a folder of its
# own: German captions, both detectors, the two links of the virtual instrument.
make_program_folder() {
  program="$work/program"
  mkdir -p "$program"
  cp "$bin/korvat" "$bin/CH-Substanzen.txt" "$bin/S-Substanzen.txt" "$program/"
  printf '[Language]\r\nCode=DE\r\n[DeviceTyp]\r\nTyp=FIDFPD\r\n[Communication]\r\nComPortA=%s\r\nComPortB=%s\r\n' \
    "$work/portA" "$work/portB" >"$program/Korvat.ini"
}

now_ns() { date +%s%N; }

# Median, minimum and maximum of numbers, one a line: "median min max".
median_range() {
  sort -n | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "- - -"; exit }
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    print m, v[1], v[NR] }'
}

loadavg() { cut -d' ' -f1-3 /proc/loadavg; }
