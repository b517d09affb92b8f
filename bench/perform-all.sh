#!/usr/bin/env bash
# Perform All in the real program, as a user meets it, against a plain safe-copy loop.
#   bench/perform-all.sh [--tasks N] [--idle SECONDS] [--program PATH] [--keep]
# Makes N tasks (default 1000; at most 1276) in a scratch folder, each with its own source and
# destination in one folder, written with the seven fields the task editor writes, turns
# "LogToFile" on, shows the window on a desktop (Xvfb with a window manager), presses Shift+F5
# and times until the log file holds N "Successfully performed" lines. In the same run it times
# the least a safe copy does (temporary file, write, fsync, rename, fsync of the folder) over the
# same N files, and prints both and their ratio. Without --program it builds build/src/tidewell.
# With --idle it presses nothing: it prints the time from start to the window, the memory held,
# and the processor time the program takes while it idles for that many seconds.
# Set PERFORM_ALL_TRACE to a command prefix (for example "strace -c -f -o calls.txt" or
# "perf record -g -o perf.data") to run the program under it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tasks=1000
program=
idle=0
keep=0
while [[ $# -gt 0 ]]; do
    case $1 in
        --tasks) tasks=$2; shift 2 ;;
        --program) program=$2; shift 2 ;;
        --idle) idle=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) sed -n '2,13p' "$0"; exit 2 ;;
    esac
done
((tasks >= 1 && tasks <= 1276)) || { echo "--tasks must be 1..1276" >&2; exit 2; }

if [[ -z $program ]]; then
    if [[ -f $root/build/CMakeCache.txt ]]; then
        cmake --build "$root/build" --target tidewell -j2 >/dev/null
    else
        "$root/scripts/build.sh" --target tidewell >/dev/null
    fi
    program=$root/build/src/tidewell
fi
program=$(realpath "$program")

# Everything below runs on a desktop: start one when there is none.
if [[ -z ${DISPLAY:-} ]]; then
    session=${DESKTOP_SESSION_TOOL:-/work/shared/tools/desktop-session}
    args=(--tasks "$tasks" --idle "$idle" --program "$program")
    ((keep)) && args+=(--keep)
    if [[ -x $session ]]; then
        exec "$session" -- "$0" "${args[@]}"
    fi
    exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" "${args[@]}"
fi
command -v xdotool >/dev/null || { echo "xdotool is needed" >&2; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/perform-all.XXXXXX")
cleanup() {
    # The program itself ends first, so that a tracer around it finishes its report.
    [[ -n ${window:-} ]] && kill "$(xdotool getwindowpid "$window")" 2>/dev/null
    for _ in $(seq 50); do kill -0 "${pid:-0}" 2>/dev/null && sleep 0.1; done
    [[ -n ${pid:-} ]] && { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }
    if ((keep)); then echo "kept $scratch"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT
home=$scratch/home
files=$scratch/files
mkdir -p "$home" "$files" "$scratch/config/Kestrelmoor"
printf '[Settings]\nLogToFile=1\n' >"$scratch/config/Kestrelmoor/Tidewell.conf"

# The tasks, cell by cell as the table file holds them: field slot, live flag, record number,
# value padded with NULs to the field's width; the editor writes name, source, destination,
# rule and the three confirmation fields, in that order.
# Perform All runs tasks that wait to be selected; idling, tasks that look at their sources
# (performed once by the first check, then waiting for a change).
rule="Only when I select to perform the task"
((idle > 0)) && rule="When the source file is changed"
python3 - "$tasks" "$home/tasks.dat" "$files" "$rule" <<'PY'
import sys
tasks, table, folder, rule = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
def number(n):
    out = bytearray()
    while n > 255:
        out.append(255); n -= 255
    out.append(n)
    return bytes(out.ljust(5, b"\0"))
def cell(slot, width, n, value):
    data = value.encode()
    assert len(data) <= width
    return bytes([slot, 0]) + number(n) + data.ljust(width, b"\0")
with open(table, "wb") as out:
    for n in range(tasks):
        source, destination = f"{folder}/source{n}.txt", f"{folder}/copy{n}.txt"
        with open(source, "w") as f:
            f.write(f"content {n}\n")
        for slot, width, value in ((0, 255, f"Task {n}"), (2, 255, source), (3, 255, destination),
                                   (4, 100, rule),
                                   (8, 1, "0"), (9, 50, "Confirm"), (10, 255, "Copy it now?")):
            out.write(cell(slot, width, n, value))
PY

log=$home/Tidewell.log
performed() { grep -c "Successfully performed" "$log" 2>/dev/null || true; }

launched=$(date +%s%N)
XDG_CONFIG_HOME=$scratch/config TIDEWELL_HOME=$home ${PERFORM_ALL_TRACE:-} "$program" &
pid=$!
window=
for _ in $(seq 1000); do
    window=$(xdotool search --onlyvisible --name "^Kestrelmoor Tidewell$" 2>/dev/null | head -1) || true
    [[ -n $window ]] && break
    sleep 0.01
done
[[ -n $window ]] || { echo "the window did not show" >&2; exit 1; }
shown_ns=$(($(date +%s%N) - launched))
# The first checks record every source's date and time, or perform the task: wait until they
# have, and the table stops growing.
if ((idle > 0)); then
    while (($(performed) < tasks)); do sleep 0.5; done
fi
last=-1
while :; do
    size=$(stat -c %s "$home/tasks.dat")
    ((size == last)) && break
    last=$size
    sleep 1
done

# The program's own processor time (nanoseconds over all its threads) tells its share apart
# from waiting, which other work on a busy machine stretches.
ticks() { cat /proc/"$(xdotool getwindowpid "$window")"/task/*/schedstat | awk '{ t += $1 } END { printf "%.0f", t }'; }
ns_per_s=1000000000
if ((idle > 0)); then
    cpu=$(ticks)
    sleep "$idle"
    rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$(xdotool getwindowpid "$window")/status")
    awk -v n="$tasks" -v s="$shown_ns" -v t="$(($(ticks) - cpu))" -v hz="$ns_per_s" -v i="$idle" \
        -v m="$rss" 'BEGIN { printf "tasks %d  start to window %.3f s  memory %.1f MB  idle %.3f %% of a core over %d s\n",
                             n, s / 1e9, m / 1024, 100 * t / hz / i, i }'
    exit 0
fi
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
cpu=$(ticks)
start=$(date +%s%N)
xdotool key --window "$window" shift+F5
while (($(performed) < tasks)); do
    kill -0 "$pid" 2>/dev/null || { echo "the program ended" >&2; exit 1; }
    sleep 0.005
done
program_ns=$(($(date +%s%N) - start))
cpu_s=$(awk -v t="$(($(ticks) - cpu))" -v hz="$ns_per_s" 'BEGIN { print t / hz }')

loop_ns=$(python3 - "$tasks" "$files" <<'PY'
import os, sys, time
tasks, folder = int(sys.argv[1]), sys.argv[2]
start = time.perf_counter_ns()
for n in range(tasks):
    with open(f"{folder}/source{n}.txt", "rb") as f:
        data = f.read()
    destination = f"{folder}/copy{n}.txt"
    out = os.open(destination + ".tmp", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    os.write(out, data)
    os.fsync(out)
    os.close(out)
    os.rename(destination + ".tmp", destination)
    directory = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    os.fsync(directory)
    os.close(directory)
print(time.perf_counter_ns() - start)
PY
)
awk -v n="$tasks" -v p="$program_ns" -v l="$loop_ns" -v c="$cpu_s" 'BEGIN {
    printf "tasks %d  perform_all %.3f s (program cpu %.2f s)  safe_copy_loop %.3f s  ratio %.1f\n",
           n, p / 1e9, c, l / 1e9, p / l }'
