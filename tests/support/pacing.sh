# How a game under a virtual X server paces itself, for the desktop
# end-to-end scripts (sourced). Start the game with
#   LD_PRELOAD=$SDL_CALL_COUNTER SDL_CALL_COUNTS=<file>
# (the counter library that ctest names in SDL_CALL_COUNTER), then
#   pacing_sample PID FILE SECONDS
# prints, per second over SECONDS: presents, event polls (at least one for
# every PumpMessages), the main thread's share of a core in percent (CPU
# time, not wall time, so other work on the machine does not count), and
# the wake-ups of all the process's threads (their voluntary switches).

# Prints the counters, the main thread's CPU ticks, the wake-ups so far and
# the time the counters were read (the middle of the read, which forks).
pacing_snapshot() {  # PID FILE
  local pid=$1 counts=$2 presents=0 polls=0 main wakeups start
  start=$EPOCHREALTIME
  [ -s "$counts" ] && read -r presents polls < <(od -An -t u8 -N 16 "$counts")
  local now="$start $EPOCHREALTIME"
  main=$(awk '{ print $14 + $15 }' "/proc/$pid/task/$pid/stat")
  wakeups=$(cat /proc/"$pid"/task/*/status 2> /dev/null \
    | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }')
  echo "$presents $polls $main $wakeups $now"
}

# The figures are per second of the time that really passed between the
# two reads, which on a busy machine is longer than SECONDS.
pacing_sample() {  # PID FILE SECONDS
  local before after
  before=$(pacing_snapshot "$1" "$2")
  sleep "$3"
  after=$(pacing_snapshot "$1" "$2")
  echo "$before $after" | awk -v hz="$(getconf CLK_TCK)" '{
    s = ($11 + $12 - $5 - $6) / 2
    printf "%.1f %.1f %.1f %.1f\n", ($7 - $1) / s, ($8 - $2) / s, ($9 - $3) * 100 / (s * hz), ($10 - $4) / s }'
}

# Xvfb does not tell its refresh rate, so the game takes it for 60 Hz: 60
# presents a second, and two of slack over a 4-second sample.
pacing_max_presents=60.5

# 1 when $1 <= $2 as numbers.
at_most() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
