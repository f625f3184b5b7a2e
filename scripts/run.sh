#!/usr/bin/env bash
# Pelkan's main job on this machine: the real pelkan.exe under Wine next to the monitor stand-in,
# with a remote party on a virtual serial line (a pseudo-terminal behind COM7).
#   scripts/run.sh          a short session: START, then CPU, READ, BTRV, READ, DEVN, READ, each
#                           command and reply printed with READ decoded; a screenshot of the
#                           desktop; everything it started is stopped again. It also leaves the
#                           build for Windows users in build/pelkan-windows/.
#   scripts/run.sh --stay   the same start, then leaves everything running for a person to watch
#                           and prints how to talk to the line
set -euo pipefail
source "$(dirname "$0")/lib.sh"
STAY=0
[ "${1:-}" = --stay ] && STAY=1
COM=${PELKAN_RUN_COM:-7}

setup_all
say "building"
configure "$PELKAN_BUILD/win" -DCMAKE_TOOLCHAIN_FILE="$PELKAN_ROOT/cmake/mingw-w64-x86_64.cmake"
cmake --build "$PELKAN_BUILD/win" --target pelkan standin winctl >"$PELKAN_LOG/run-build.log" 2>&1 ||
    { tail -n 30 "$PELKAN_LOG/run-build.log"; exit 1; }
configure "$PELKAN_BUILD/host"
cmake --build "$PELKAN_BUILD/host" --target pelkan-peer >>"$PELKAN_LOG/run-build.log" 2>&1 ||
    { tail -n 30 "$PELKAN_LOG/run-build.log"; exit 1; }

RUN=$PELKAN_BUILD/run
WIN=$PELKAN_BUILD/win
# What a Windows user copies: the program without its debug information (the build's own copy
# carries 15 MB of it) beside the commented sample settings file. The session below runs it.
USER_BUILD=$PELKAN_BUILD/pelkan-windows
mkdir -p "$RUN" "$USER_BUILD"
x86_64-w64-mingw32-strip -o "$USER_BUILD/pelkan.exe" "$WIN/app/pelkan.exe"
cp "$PELKAN_ROOT/docs/pelkan.ini" "$USER_BUILD/pelkan.ini"
cp "$USER_BUILD/pelkan.exe" "$RUN/pelkan.exe"

# The settings beside the executable: Pelkan to the right of the monitor, the virtual port chosen.
# The port list holds the ports that open, in ascending order; under Wine those are the comN links
# of the prefix whose device exists.
index=0
for n in $(seq 1 $((COM - 1))); do
    link="$WINEPREFIX/dosdevices/com$n"
    [ -e "$link" ] && index=$((index + 1))
done
printf '[Form]\r\nLeft=1000\r\nTop=40\r\n[COM]\r\nPortIndex=%d\r\n' "$index" >"$RUN/pelkan.ini"

PIDS=()
cleanup() {
    { exec 3>&-; } 2>/dev/null || true
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    stop_wineserver
}
[ $STAY = 0 ] && trap cleanup EXIT
start_wineserver

say "remote party on COM$COM"
rm -f "$RUN/peer.in"
mkfifo "$RUN/peer.in"
"$PELKAN_BUILD/host/tools/peer/pelkan-peer" --pty-link "$WINEPREFIX/dosdevices/com$COM" \
    --timeout 5000 <"$RUN/peer.in" &
PIDS+=($!)
exec 3>"$RUN/peer.in"

say "monitor stand-in"
"$PELKAN_ROOT/scripts/wine-run" "$WIN/tools/standin/standin.exe" --pos 0,0 --size 980,640 \
    --fx --first X000 --on X000,X003,X007,X012 --stay >"$PELKAN_LOG/standin.log" 2>&1 3>&- &
PIDS+=($!)

say "pelkan.exe"
"$PELKAN_ROOT/scripts/wine-run" "$RUN/pelkan.exe" >"$PELKAN_LOG/pelkan.log" 2>&1 3>&- &
PIDS+=($!)
# Programs started from here must not hold the peer's input open (fd 3), or it never ends.
winctl() { "$PELKAN_ROOT/scripts/wine-run" "$WIN/tools/winctl/winctl.exe" "$@" 3>&-; }
winctl wait "Pelkan 1.02" 20000 || { echo "pelkan.exe did not show its window"; exit 1; }
winctl select "Pelkan 1.02" "COM$COM." || { echo "COM$COM is not in Pelkan's port list"; exit 1; }
say "pressing START"
winctl click "Pelkan 1.02" "START"
sleep 1  # a few 250 ms samples of the grid

if [ $STAY = 1 ]; then
    cat <<MSG
Everything is running on display $DISPLAY (Wine prefix $WINEPREFIX).
Type commands for the remote party here (CPU, READ, BTRV X003, DEVN X010), one per line; each
reply is printed, READ decoded. End with Ctrl-D; then stop the programs with: wineserver -k
MSG
    cat >&3
    exit 0
fi

# The toggle shows in the states after the first sample taken once the action has ended: the
# timer starts again then, so that sample comes one sampling period (250 ms) after the "OK". The
# READ waits that period and as long again for the tick itself (a READ at 250 ms raced the tick
# and still showed X003 ON).
for command in CPU READ "BTRV X003" @sleep=500 READ "DEVN X010" @sleep=800 READ; do
    echo "$command" >&3
done
exec 3>&-
wait "${PIDS[0]}" || echo "(a command got no reply)"
PIDS=("${PIDS[@]:1}")
import -window root "$RUN/desktop.png" 2>/dev/null && say "screenshot: $RUN/desktop.png"
winctl click "Pelkan 1.02" "STOP" || true
winctl close "Pelkan 1.02" || true
