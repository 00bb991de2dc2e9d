#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# kavrictl.exe under Wine against the Linux emulator, end to end. kavri-sim serves a
# pseudo-terminal that a link in the Wine prefix's dosdevices folder makes COM5 (COM6 for the
# faults); kavrictl.exe talks to it through Wine's serial driver, with the exact COMMTIMEOUTS
# of the Windows build. The Linux kavrictl, when given, runs the same fault cases, and both
# must end with the same exit status. The settings must land in Wine's registry, in the
# 32-bit view of HKEY_LOCAL_MACHINE where the Windows focuser driver reads them.
#
# Usage: kavrictl-e2e.sh KAVRI_SIM KAVRICTL_EXE [LINUX_KAVRICTL]
# Runs in a throwaway Wine prefix of its own, without network or display.
set -uo pipefail
sim=$1
exe=$2
linux_ctl=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../cmake/wine-run.sh

work=$(mktemp -d)
export WINEPREFIX=$work/prefix
export XDG_CONFIG_HOME=$work/linux-config XDG_DATA_HOME=$work/linux-data KAVRI_LOCK_DIR=
sims=()
cleanup() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    "$(wineserver_path)" -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # description, then a command that must succeed
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
    fi
}

wineserver_path() {
    for w in wineserver /usr/lib/wine/wineserver; do
        if command -v "$w" >/dev/null 2>&1; then echo "$w"; return; fi
    done
}

start=$(date +%s%N)
"$wine_run" wineboot -i >/dev/null 2>&1
"$(wineserver_path)" -w
echo "Wine prefix created in $((($(date +%s%N) - start) / 1000000)) ms"
# The COM ports Wine set up for the machine's serial devices (/dev/ttyS0 as COM1, ...): the
# system's list, which a machine without serial devices has empty.
boot_ports=()
for n in $(seq 16); do [ -L "$WINEPREFIX/dosdevices/com$n" ] && boot_ports+=("$n"); done

# Starts an emulator as COM<n> of the prefix; its pseudo-terminal's path goes to pts[n].
declare -A pts
start_sim() {
    local n=$1
    shift
    local out=$work/sim$n.out
    "$sim" --link "$WINEPREFIX/dosdevices/com$n" "$@" >"$out" 2>"$work/sim$n.err" &
    sims+=($!)
    for _ in $(seq 100); do
        [ -s "$out" ] && [ -L "$WINEPREFIX/dosdevices/com$n" ] && break
        sleep 0.05
    done
    pts[$n]=$(head -n 1 "$out")
}
stop_sims() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; done
    wait "${sims[@]}" 2>/dev/null
    sims=()
}

wctl() { timeout 120 "$wine_run" "$exe" "$@"; }
output=$work/output
run_ok() { wctl "$@" >"$output" 2>&1; }
contains() { grep -q -- "$1" "$output" || { cat "$output"; false; }; }

ms_of() {  # runs the command, prints its wall time in ms
    local t0
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1
    echo $((($(date +%s%N) - t0) / 1000000))
}
median3() { printf '%s\n' "$@" | sort -n | sed -n 2p; }

# --- Line rate: status timed against the paced emulator (9600 baud, motion times).
start_sim 5
# The port list is the system's: Wine lists the ports it set up when the prefix started, not
# one linked later (COM5 here), which still opens.
run_ok ports
usable=$(tr -d '\r' <"$output" | awk '$3 == "usable" { print substr($1, 4) }' | xargs)
check "ports lists the system's COM ports (${boot_ports[*]:-none})" \
    test "$usable" = "${boot_ports[*]}"
wine_times=()
start_times=()
linux_times=()
for _ in 1 2 3; do
    wine_times+=("$(ms_of wctl --port 5 status)")
    start_times+=("$(ms_of wctl --version)")
    if [ -n "$linux_ctl" ]; then linux_times+=("$(ms_of "$linux_ctl" --port "${pts[5]}" status)"); fi
done
echo "status at line rate: kavrictl.exe under Wine median $(median3 "${wine_times[@]}") ms" \
     "(${wine_times[*]}); Wine start-up alone (--version) median" \
     "$(median3 "${start_times[@]}") ms (${start_times[*]})"
if [ -n "$linux_ctl" ]; then
    echo "status at line rate: Linux kavrictl median $(median3 "${linux_times[@]}") ms" \
         "(${linux_times[*]})"
fi
stop_sims

# --- The commands, against the emulator without pacing.
start_sim 5 --fast
check "status" run_ok --port 5 status
check "status names the wheel and focuser" contains "focuser *present"
check "goto by name" run_ok --port 5 goto ha
check "goto arrived" run_ok --port 5 --json status
check "current filter is Ha" contains '"currentFilter": 4'
check "move" run_ok --port 5 move 1200
check "position after move" run_ok --port 5 position
check "position is 1200" contains "1200"
check "config write" run_ok --port 5 config focuserBacklash=25
check "config read" run_ok --port 5 config focuserBacklash
check "backlash is 25" contains "25"
check "compensation thermometer stored" run_ok --port 5 compensation 1
fws="Z:${work//\//\\}\\tonight.fws"
check "save" run_ok --port 5 save "$fws"
check "saved file exists" test -s "$work/tonight.fws"
check "load" run_ok --port 5 load "$fws"
# One 5-second tick of the daily log: it goes to the user's local application data folder.
check "log-temps" run_ok --port 5 log-temps --count 1
daily_logs() { compgen -G "$WINEPREFIX/drive_c/users/*/AppData/Local/Kavri/term_log_*.csv"; }
check "daily log below %LOCALAPPDATA%\\Kavri" eval "daily_logs >/dev/null"
check "daily log holds its header and the row" \
    test "$(cat $(daily_logs) 2>/dev/null | grep -c '^Time,\|^[0-9][0-9]:')" = 2
stop_sims

# --- A port above COM16, where USB adapters often land: named as the system's device.
start_sim 20 --fast
check "status on \\\\.\\COM20" run_ok --port '\\.\COM20' status
check "status on \\\\.\\COM20 names the focuser" contains "focuser *present"
check "goto on \\\\.\\com20" run_ok --port '\\.\com20' goto 2
stop_sims

# --- A stray byte before the focuser's answer while connecting: the probe runs once more and
# reads the controller right (a focuser at 0, not a position made of the stray byte).
start_sim 6 --fast --fault garbage,cmd=FWfocus
check "a stray byte while probing" run_ok --port 6 status
check "the probe read the focuser right" contains "focuser position  0"
stop_sims

# --- A line pulled during a move (the emulator at line rate: 3000 steps take 30 s). Windows
# reports a device that is gone through the port's status, which the wait checks after every
# empty read: kavrictl.exe must end at once with the hang-up, not at the move's time limit.
start_sim 7 --trace
wctl --port 7 move 3000 >"$output" 2>&1 &
mover=$!
for _ in $(seq 400); do
    grep -q 'FWgoFocus' "$work/sim7.err" && break
    sleep 0.05
done
sleep 0.5
pulled=$(date +%s%N)
stop_sims
wait "$mover"
move_status=$?
after_pull=$((($(date +%s%N) - pulled) / 1000000))
echo "line pulled during a move: kavrictl.exe ended ${after_pull} ms later, exit $move_status"
check "a pulled line ends the move at once (${after_pull} ms)" \
    test "$move_status" = 1 -a "$after_pull" -lt 10000
check "a pulled line is told as a hang-up" contains "the line was hung up on COM7"

# --- The settings, where the Windows focuser driver reads them.
key='HKLM\Software\ASCOM\Focuser Drivers\Orvanta.Focuser'
"$wine_run" reg query "$key" /reg:32 >"$output" 2>&1
check "registry: ComPort REG_DWORD" contains "ComPort.*REG_DWORD"
check "registry: AscomPreferredTermometer 1" contains "AscomPreferredTermometer.*REG_DWORD.*0x1"
check "registry: AscomMaxFocusPos 30000" contains "AscomMaxFocusPos.*REG_DWORD.*0x7530"
check "registry: StepLenInMicrons 10.0" contains "StepLenInMicrons.*REG_BINARY.*0000000000002440"
check "registry: TermometerName0 REG_SZ" contains "TermometerName0.*REG_SZ"
"$wine_run" reg query "$key" /reg:64 >"$output" 2>&1
check "registry: nothing in the 64-bit view" bash -c "! grep -q ComPort '$output'"

# --- Faults: the same exit status as the Linux build.
fault_case() {  # expected status, command, emulator options...
    local expected=$1 command=$2
    shift 2
    start_sim 6 --fast "$@"
    wctl --port 6 "$command" >"$output" 2>&1
    local wine_status=$?
    stop_sims
    local linux_status=$expected
    if [ -n "$linux_ctl" ]; then
        start_sim 6 --fast "$@"
        "$linux_ctl" --port "${pts[6]}" "$command" >/dev/null 2>&1
        linux_status=$?
        stop_sims
    fi
    echo "fault $* on $command: Wine $wine_status, Linux $linux_status (expected $expected)"
    check "fault $* ($command)" test "$wine_status" = "$expected" -a "$linux_status" = "$expected"
}
fault_case 3 status --fault silent,times=always
fault_case 1 position --fault drop,cmd=FWfocus,times=2
fault_case 3 status --fault pause,ms=150,times=always

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
