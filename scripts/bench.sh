#!/usr/bin/env bash
# Builds the benchmarks, runs every one of them under a private Wine session and writes
# docs/performance.md with their figures, the machine and the date. Takes about three minutes
# after the build. Figures only: nothing here passes or fails on a time.
#   bash scripts/bench.sh [OUTPUT]             (docs/performance.md when not given)
#   bash scripts/bench.sh --startup [OUTPUT]   only the start-up: its section of OUTPUT is
#                                              rewritten, the rest of the page is left as it is
# The start-up is measured side by side with the previous build (scripts/previous-build.sh:
# VANTREL_PREVIOUS_REF, by default where this branch left main), built once into build/previous/.
set -euo pipefail
cd "$(dirname "$0")/.."
startup_only=false
if [ "${1:-}" = --startup ]; then
  startup_only=true
  shift
fi
out="${1:-docs/performance.md}"

bash scripts/deps.sh
cmake --preset mingw >/dev/null
targets=(Vantrel outlook_sim session_keeper bench_pump_bench bench_load_bench bench_release_bench
         bench_countdown_bench bench_write_hold_bench)
if $startup_only; then
  targets=(Vantrel bench_load_bench)
fi
# The installer package's build (where there is one) makes the stripped release DLL.
if cmake --build build --target help | grep -qE '^(\.\.\. vantrel_package$|vantrel_package:)'; then
  targets+=(vantrel_package)
fi
cmake --build build --parallel 2 --target "${targets[@]}"
# shellcheck source=scripts/previous-build.sh
source scripts/previous-build.sh
previous_dll=$(previous_dll)
previous_commit=$(basename "$(dirname "$previous_dll")" 2>/dev/null || true)
previous_args=()
if [ -n "$previous_dll" ]; then
  previous_args=(--previous "Z:${previous_dll//\//\\}")
fi

work=$(mktemp -d)
export VANTREL_WINEPREFIX="${VANTREL_WINEPREFIX:-$PWD/build/bench-prefix}"
# shellcheck source=scripts/wine-session.sh
source scripts/wine-session.sh
trap 'wine_session_stop; rm -rf "$work"' EXIT
wine_session_start build
# The Wine server of this session: the benchmarks add its processor time to their children's
# (it does part of the work of every message call).
for pid in $(pgrep -f '^/usr/lib/wine/wineserver' || true); do
  if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
    export VANTREL_BENCH_SERVER_PID=$pid
  fi
done

run() {  # run NAME ARGS...: one benchmark, its output kept in $work/NAME.txt and shown
  run_as "$1" "$@"
}
run_as() {  # run_as KEY NAME ARGS...: the same, its output kept in $work/KEY.txt
  local key=$1 name=$2
  shift 2
  echo "== $key" >&2
  "$WINE64" "build/bin/$name.exe" "$@" </dev/null | tr -d '\r' | tee "$work/$key.txt" >&2
}
result() {  # result FILE KEY: a figure the benchmark printed as "RESULT KEY=VALUE" (empty if not run)
  [ -f "$work/$1.txt" ] || return 0
  sed -n "s/^RESULT $2=//p" "$work/$1.txt" | head -n 1
}
body() {  # the benchmark's printed table and summary, without the RESULT lines
  grep -v '^RESULT ' "$work/$1.txt"
}

# 21 hosts of each build: the machine is shared, and the side-by-side wants medians that hold.
run bench_load_bench 21 "${previous_args[@]}"
# The same start-up with Enabled switched off by a policy: the add-in then writes event 1003 at
# each start, and Outlook's thread waits for that entry (at most a second).
"$WINE64" reg add 'HKCU\SOFTWARE\Policies\Vantrel' /v Enabled /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
run_as load_with_event bench_load_bench 9
"$WINE64" reg delete 'HKCU\SOFTWARE\Policies\Vantrel' /f </dev/null >/dev/null 2>&1
if ! $startup_only; then
  run bench_countdown_bench 3
  run bench_write_hold_bench 9
  run bench_release_bench 5
  run bench_pump_bench
fi
wine_session_stop

if ! $startup_only; then
  # The x86 build (32-bit Office): the same start-up under Debian's i386 Wine, which runs through
  # qemu-i386 here, and the size of its shipped DLL.
  cmake --preset mingw-x86 >/dev/null
  cmake --build build-x86 --parallel 2 --target Vantrel session_keeper bench_load_bench vantrel_package
  VANTREL_WINEPREFIX="$PWD/build-x86/bench-prefix" wine_session_start build-x86 x86
  echo "== x86 bench_load_bench" >&2
  "$WINE64" build-x86/bin/bench_load_bench.exe 9 </dev/null | tr -d '\r' | tee "$work/x86_load.txt" >&2
  wine_session_stop
  x86_dll=build-x86/release/Vantrel.dll
  x86_dll_bytes=$(stat -c %s "$x86_dll")
  x86_load_median=$(result x86_load load_median)
fi

# The DLL that is shipped: the installer's stripped release DLL when this build has one.
objdump=x86_64-w64-mingw32-objdump
if [ -f build/release/Vantrel.dll ]; then
  dll=build/release/Vantrel.dll
  dll_note="the stripped release DLL that the installer package ships (\`$dll\`)"
else
  dll=build/bin/Vantrel.dll
  dll_note="\`$dll\` as the build makes it, with its symbols (this build has no stripped release DLL)"
fi
dll_bytes=$(stat -c %s "$dll")
bin_bytes=$(stat -c %s build/bin/Vantrel.dll)
# The Event Log's message file beside it (resources only; Outlook never loads it).
events_dll=build/bin/VantrelEvents.dll
events_bytes=$(stat -c %s "$events_dll" 2>/dev/null || echo 0)
"$objdump" -p "$dll" >"$work/objdump.txt"
# One line per imported DLL: its name and how many functions are taken from it.
awk '/^\tDLL Name: /{name=$3; order[++n]=name; count[name]=0; next}
     /^$/{name=""; next}
     name && /^\t[0-9a-f]+\t *[0-9]+ +[A-Za-z_?@]/{count[name]++}
     END{for (i=1; i<=n; i++) printf "| %s | %d |\n", order[i], count[order[i]]}' "$work/objdump.txt" >"$work/imports.txt"
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' "$work/objdump.txt" |
          sed 's/.*/`&`/' | paste -sd, - | sed 's/,/, /g')
if [ "$dll" = build/bin/Vantrel.dll ]; then
  # What stripping would leave, for comparison with the shipped file of a build that has one.
  x86_64-w64-mingw32-objcopy --strip-all "$dll" "$work/stripped.dll"
  bin_note=""
  stripped_note="Stripped of symbols and debug information (\`objcopy --strip-all\`, as the installer's build does) it would be $(stat -c %s "$work/stripped.dll") bytes."
else
  bin_note="The build's \`build/bin/Vantrel.dll\`, with symbols, is $bin_bytes bytes."
  stripped_note=""
fi
import_dlls=$(wc -l <"$work/imports.txt")
import_functions=$(awk -F'|' '{s+=$3} END{print s+0}' "$work/imports.txt")

pump_line() {  # pump_line NAME: "CPU % of one core" and median dispatch delay of one pump
  awk -v name="$1" '$1==name {for (i=1; i<=NF; i++) { if ($i=="%") pct=$(i-1); if ($i=="median") med=$(i+1) }
                    print pct " " med}' "$work/bench_pump_bench.txt"
}
waiting_pct="" waiting_delay="" polling_pct="" polling_delay=""
if [ -f "$work/bench_pump_bench.txt" ]; then
  read -r waiting_pct waiting_delay < <(pump_line waiting)
  read -r polling_pct polling_delay < <(pump_line polling)
fi

cpu_model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(awk '/^MemTotal:/{printf "%.1f GiB", $2/1048576}' /proc/meminfo)
# The wine64 loader takes no --version: the version is the package's.
wine_version="Wine $(dpkg-query -W -f='${Version}' wine64 2>/dev/null || echo unknown)"
commit=$(git rev-parse --short HEAD)
git diff --quiet HEAD -- src tests bench installer 2>/dev/null || commit="$commit with uncommitted changes"


# Conclusions are computed from this run's figures, each against its threshold.
#   compare VALUE LIMIT: "below" or "above" (VALUE <= LIMIT counts as below)
compare() { awk -v v="$1" -v l="$2" 'BEGIN { if (v == "" || l == "") print "not measured"; else if (v + 0 <= l + 0) print "below"; else print "above" }'; }
#   percent VALUE LIMIT: VALUE as a share of LIMIT, in per cent
percent() { awk -v v="$1" -v l="$2" 'BEGIN { if (v == "" || l + 0 == 0) print "?"; else printf "%.2f", 100 * v / l }'; }
#   absolute VALUE: VALUE without its sign
absolute() { awk -v v="$1" 'BEGIN { printf "%.0f", v < 0 ? -v : v }'; }
# The thresholds.
resiliency_ms=1000        # Outlook disables an add-in whose start-up takes longer (median of five)
event_wait_ms=1000        # the longest that Outlook's thread waits for one Event Log entry
memory_goal_mib=2         # this project's goal for the memory the add-in adds to Outlook
core_goal_pct=1           # this project's goal for the countdown's share of one core
sample_ms=1000            # the write hold's resolution: one sample a second
wind_down_ms=2000         # the wind-down that a release during the countdown waits for
dll_goal_bytes=524288     # 512 KiB, this project's goal for the shipped DLL

load_median=$(result bench_load_bench load_median)
event_load_median=$(result load_with_event load_median)
event_load_max=$(result load_with_event load_max)
memory_added=$(result bench_load_bench workingset_added_median_mib)
worker_pct=$(result bench_countdown_bench worker_pct)
worker_total=$(result bench_countdown_bench worker_total)
hold_extra=$(result bench_write_hold_bench hold_extra_wall)
hold_cpu=$(result bench_write_hold_bench hold_cpu)
hold_spread=$(result bench_write_hold_bench hold_base_wall_spread)
release_median=$(result bench_release_bench release_median)
release_max=$(result bench_release_bench release_max)

# The start-up's section of the page (written alone by --startup).
startup_section() {
  cat <<SECTION
## Load cost at Outlook's start-up

Each run is a fresh host process with a fake Outlook (one Explorer and a window of its own): it
loads \`Vantrel.dll\` with \`LoadLibrary\`, asks \`DllGetClassObject\` for the add-in object, and
calls \`OnConnection\` and \`OnStartupComplete\` (\`bench/load_bench.cpp\`). Under Wine every
process's token reports itself elevated, so each of the start-up's log lines takes the path of an
elevated Outlook: the log's folder is opened, checked for a link and held at the first line, and
each line's file is opened as itself and checked, one call more per line than a normal,
unelevated Outlook makes. Measured on $(date -u '+%Y-%m-%d %H:%M UTC') from commit $commit.

$(body bench_load_bench)

$(side_by_side)

With the policy "Turn Vantrel on or off" switching the add-in off, every start writes event
1003, and Outlook's thread waits for that entry: 9 fresh hosts of this build then take
$event_load_median ms at the median (at most $event_load_max ms) from the class-object request to
the end of \`OnStartupComplete\`, the entry included. Wine's Event Log stores nothing and answers at
once, so this shows the cost of the entry's thread and of the wait, not of a slow Event Log
service. On Windows each of the two start-up entries (1003 for the policy, 1004 for a crash
recorded in the run before) holds Outlook's thread at most $event_wait_ms ms
(\`kEventReportOutlookWaitMs\` in \`src/log/event_log.h\`).

**What it means for you:** Outlook disables an add-in whose start-up takes more than
$resiliency_ms ms (its resiliency rules). Vantrel's start-up, $load_median ms at the median, is
$(compare "$load_median" "$resiliency_ms") that threshold ($(percent "$load_median" "$resiliency_ms") % of it), with
$(result bench_load_bench loadlibrary_median) ms more to load the DLL itself; with the policy's entry it is
$event_load_median ms, $(compare "$event_load_median" "$resiliency_ms") the threshold ($(percent "$event_load_median" "$resiliency_ms") %).
Only an Event Log service that does not answer at all can hold a start up to the bound:
$event_wait_ms ms for one entry is $(compare "$(awk -v a="$load_median" -v b="$event_wait_ms" 'BEGIN { print a + b }')" "$resiliency_ms") the threshold with the
start-up added; both entries at one start ($((2 * event_wait_ms)) ms) would be
$(compare $((2 * event_wait_ms)) "$resiliency_ms") it, so on a machine whose Event Log service hangs, Outlook may disable
Vantrel for slowness after a crash under the policy. The memory the add-in adds to Outlook,
$memory_added MiB of working set at the median, is $(compare "$memory_added" "$memory_goal_mib") this project's goal of
$memory_goal_mib MiB.
SECTION
}

# The paragraph on the side-by-side run with the previous build, when there was one.
side_by_side() {
  local side previous
  side=$(result bench_load_bench side_median)
  previous=$(result bench_load_bench previous_median)
  if [ -z "$previous" ]; then
    echo "No previous build could be built for a side-by-side run."
    return
  fi
  cat <<PARAGRAPH
The side-by-side table compares this build with the previous one (commit $previous_commit, built from
its own sources into \`build/previous/\` and stripped as the installer strips the shipped DLL):
the two builds' hosts start in turn within the one run, each build first every other time, so
that whatever else the machine does falls on both alike.

**What it means for you:** an elevated Outlook's start-up with this build, $side ms at the
median, is $(compare "$side" "$previous") the previous build's $previous ms; run by run, this build's host took
$(result bench_load_bench side_difference_median) ms more than the previous build's next to it, at the median (a negative
figure: less).
PARAGRAPH
}

if $startup_only; then
  # The page as it is, with only the start-up's section put in anew.
  startup_section >"$work/startup.md"
  awk -v section="$work/startup.md" '
    /^## Load cost at Outlook.s start-up$/ { while ((getline line < section) > 0) print line; print ""; skip = 1; next }
    skip && /^## / { skip = 0 }
    !skip { print }' "$out" >"$work/page.md"
  cp "$work/page.md" "$out"
  echo "wrote the start-up section of $out" >&2
  exit 0
fi
mkdir -p "$(dirname "$out")"
cat >"$out" <<PAGE
# Performance

Written by \`bash scripts/bench.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), from commit $commit.
Every figure below was measured by the benchmark programs in \`bench/\` in that run; they print
figures and assert nothing.

**Machine:** $(nproc) processors ($cpu_model), $memory of memory, $wine_version under Xvfb
on $(. /etc/os-release && echo "$PRETTY_NAME"). The programs are the 64-bit Windows build, run under
Wine, with other builds possibly running on the same machine: read the figures as orders of
magnitude for Windows, not as Windows timings.

$(startup_section)

## The countdown's processor time

The whole shutdown worker with the exit dialog shown and a Delay of 5 seconds, in the simulated
Outlook (\`OUTLOOK.EXE\`, loading the registered \`Vantrel.dll\`), which the worker ends; an idle
simulated Outlook with the add-in loaded, terminated after the same time, is its baseline. Next
to it, a busy-polling message pump of the same length against a host that waits for messages
(\`bench/countdown_bench.cpp\`). The processor time is that of each whole child process: on
Windows from \`GetProcessTimes\` on its handle; under Wine, which does not answer that call for
another process, from \`/proc/PID/stat\` of the Linux process behind it, in steps of 10 ms. Wine's
server does part of every message call's work in a process of its own, so its processor time
during each child's life is shown beside it and counted in the totals. The machine's two cores
are shared with other builds, so single figures move by some tens of milliseconds; the spread
over the rounds shows how much.

$(body bench_countdown_bench)

**What it means for you:** from the last window closing to the end of Outlook (the 5-second
countdown and two seconds of winding down, $(result bench_countdown_bench worker_wall) ms in all
here), Vantrel's worker costs about $worker_total ms of processor time on top of an idle Outlook,
server included (from $(result bench_countdown_bench worker_total_min) to
$(result bench_countdown_bench worker_total_max) ms over the rounds: the idle baseline itself moves
that much, so the worker's cost is at the limit of what this measurement can tell), that is
$worker_pct % of one core: $(compare "$worker_pct" "$core_goal_pct") this project's goal of $core_goal_pct %. A pump that
polled instead would have kept $(result bench_countdown_bench polling_pct) % of a core busy for
the whole time.

## The hold for Outlook's writes

Before it ends Outlook, the worker waits while Outlook is still writing: it reads the process's
write count and the data files' sizes and times once a second from the start of the wind-down.
For an Outlook that is not writing, two quiet samples fall within the wind-down, and the end
comes with one more, taken a full second after Outlook's windows were asked to close (when
Outlook's own exit work begins). Each round runs the simulated Outlook (one data file in its
stores, nobody writing it, Delay 1 s) with the hold off ("WaitForWrites" "0") and on (60 s), and
takes the difference in wall time and processor time (\`bench/write_hold_bench.cpp\`).

$(body bench_write_hold_bench)

**What it means for you:** an Outlook that is not writing is ended $hold_extra ms later with the
hold than without it (from $(result bench_write_hold_bench hold_extra_wall_min) to
$(result bench_write_hold_bench hold_extra_wall_max) ms over the rounds). The goal is at most one
sample ($sample_ms ms), the second after the close messages, give or take the runs' own spread
($hold_spread ms between the fastest and the slowest run without the hold): the median,
$hold_extra ms, is $(compare "$hold_extra" "$(awk -v a="$sample_ms" -v b="$hold_spread" 'BEGIN { print a + b }')") $sample_ms + $hold_spread ms. The difference in
processor time between the two runs is $hold_cpu ms, in a run that costs
$(result bench_write_hold_bench hold_base_cpu) ms in all; one sample of one data file and of the
process's write count, measured on its own, costs $(result bench_write_hold_bench hold_sample_cpu_us)
microseconds. The goal is a hold cheaper than the countdown ($worker_total ms above): the hold's
$hold_cpu ms are $(compare "$hold_cpu" "$worker_total") it.

## Outlook's release of the add-in during the countdown

When Outlook lets go of the add-in (its final release) while the countdown runs, that release
waits for the worker to stop: the worker winds down for about two seconds (it closes its dialog
and serves its last messages) before it returns. Each run is a fresh host that releases the
add-in one second into a 5-second countdown (\`bench/release_bench.cpp\`).

$(body bench_release_bench)

**What it means for you:** if Outlook ends by itself during the countdown, its release of
Vantrel waits $release_median ms at the median (at most $release_max ms here): the
$wind_down_ms ms wind-down that is allowed for and $(awk -v a="$release_median" -v b="$wind_down_ms" 'BEGIN { printf "%.0f", a - b }') ms
more. Then Vantrel stays out of the way (it does not end Outlook's process) and Outlook finishes
its own shutdown.

## The countdown's message pump

The worker's pump (\`PumpMessages\`) and a busy-polling pump, each for 10 seconds on one thread,
with a message posted to it every 100 ms from another thread (\`bench/pump_bench.cpp\`): the
thread's processor time and the delay from posting to dispatch.

\`\`\`
$(cat "$work/bench_pump_bench.txt")
\`\`\`

**What it means for you:** the waiting pump uses ${waiting_pct:-?} % of a core where polling uses
${polling_pct:-?} % ($(awk -v a="${waiting_pct:-0}" -v b="${polling_pct:-0}" 'BEGIN { if (a + 0 > 0) printf "%.0f times less", b / a; else print "no measurable share" }')),
and answers a message in ${waiting_delay:-?} ms at the median (polling: ${polling_delay:-?} ms).

## Size of the shipped DLL and its imports

Measured: $dll_note: **$dll_bytes bytes** ($(awk -v b="$dll_bytes" 'BEGIN{printf "%.0f KiB", b/1024}')).
$bin_note$stripped_note

It exports $exports. The compiler's runtime is linked in, so the DLL needs nothing but these
DLLs that Windows ships (\`x86_64-w64-mingw32-objdump -p\`): $import_dlls DLLs,
$import_functions functions.

| imported DLL | functions |
|:---|---:|
$(cat "$work/imports.txt")

Beside it the package installs \`VantrelEvents.dll\`, the Event Log's message file: $events_bytes
bytes of resources only (no code, no imports), the events' texts in every language and a copy
for every regional variant of each. Outlook never loads it; Event Viewer reads it.

**What it means for you:** Outlook loads this one file, with no runtime library to install
beside it; everything it calls is part of every Windows installation. At $dll_bytes bytes it is
$(compare "$dll_bytes" "$dll_goal_bytes") this project's goal of $dll_goal_bytes bytes (512 KiB), with every language's
texts of the add-in inside (the events' texts are in the message file).

## The x86 build (32-bit Office)

Measured: the stripped release DLL of the x86 package (\`$x86_dll\`, compiled for size): **$x86_dll_bytes
bytes** ($(awk -v b="$x86_dll_bytes" 'BEGIN{printf "%.0f KiB", b/1024}')), $(compare "$x86_dll_bytes" "$dll_goal_bytes") the goal of $dll_goal_bytes bytes.

The same start-up as above (\`bench/load_bench.cpp\`, built for x86) under Debian's i386 Wine,
which this machine runs through \`qemu-i386\` (the processor emulated): median **${x86_load_median:-?} ms**
(x64 under Wine: ${load_median:-?} ms).

\`\`\`
$(body x86_load)
\`\`\`

**What it means for you:** the 32-bit add-in is the same code and ships in one file of the same
kind. Its start-up time here includes the emulation of every instruction, so it says little
about a real 32-bit Outlook, where the x86 code runs natively; emulated, it is
$(compare "${x86_load_median:-}" "$resiliency_ms") Outlook's ${resiliency_ms} ms all the same.
PAGE
echo "wrote $out" >&2
