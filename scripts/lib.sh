# Shared by the project's scripts: where things live, and the steps that prepare this machine.
# Every step is idempotent and quiet when there is nothing to do.

PELKAN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PELKAN_BUILD=${PELKAN_BUILD:-$PELKAN_ROOT/build}
export WINEPREFIX=${PELKAN_WINEPREFIX:-$PELKAN_BUILD/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts when the prefix is created.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=;mshtml=}
PELKAN_LOG=$PELKAN_BUILD/logs
mkdir -p "$PELKAN_LOG"

# clang with libclang-rt-14-dev (libFuzzer and the sanitizer runtimes) builds the fuzz targets.
PELKAN_PACKAGES=(cmake ninja-build g++ g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth
                 x11-utils fonts-noto-cjk imagemagick googletest libgtest-dev libgmock-dev
                 clang libclang-rt-14-dev)

say() { printf '== %s\n' "$*"; }

ensure_packages() {
    local missing=() p
    for p in "${PELKAN_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq >"$PELKAN_LOG/apt.log" 2>&1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" \
        </dev/null >>"$PELKAN_LOG/apt.log" 2>&1 ||
        { tail -n 30 "$PELKAN_LOG/apt.log"; return 1; }
}

# A display for Wine's windows: the one given, or a private Xvfb with 24-bit colour (the grid's
# pure blue and white must come through unchanged).
ensure_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    export DISPLAY=${PELKAN_DISPLAY:-:77}
    if ! xdpyinfo >/dev/null 2>&1; then
        say "starting Xvfb on $DISPLAY"
        (setsid Xvfb "$DISPLAY" -screen 0 1600x1000x24 -nolisten tcp \
            </dev/null >"$PELKAN_LOG/xvfb.log" 2>&1 &)
        local i
        for i in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
        echo "Xvfb did not start, see $PELKAN_LOG/xvfb.log" >&2
        return 1
    fi
}

# The project's own Wine prefix: CJK font link for Tahoma, and no 2-second freeze when a
# top-level window hides on a display without a window manager.
# Wine's first start can hang (a setup step was once seen spinning for an hour), so every step
# has a time limit; a prefix whose making ran out of time is thrown away and made again, once.
ensure_wineprefix() {
    if [ -f "$WINEPREFIX/.pelkan-ready" ]; then return 0; fi
    local attempt
    for attempt in 1 2; do
        say "creating Wine prefix $WINEPREFIX"
        if make_wineprefix; then
            touch "$WINEPREFIX/.pelkan-ready"
            return 0
        fi
        say "making the Wine prefix ran out of time (attempt $attempt, $PELKAN_LOG/wineboot.log)"
        wineserver -k </dev/null >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    done
    return 1
}

# One try at the prefix; false when a step ran past its limit (what the steps answer otherwise
# is not looked at: wineboot reports failures it recovers from).
make_wineprefix() {
    mkdir -p "$WINEPREFIX"
    within 600 wineboot -i </dev/null >"$PELKAN_LOG/wineboot.log" 2>&1 || return 1
    within 120 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK JP' /f \
        </dev/null >>"$PELKAN_LOG/wineboot.log" 2>&1 || return 1
    within 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        </dev/null >>"$PELKAN_LOG/wineboot.log" 2>&1 || return 1
    within 300 wineserver -w || return 1
}

# within <seconds> <command...>: runs the command; false only when it ran out of time.
within() {
    local limit=$1; shift
    local rc=0
    timeout --kill-after=10 "$limit" "$@" || rc=$?
    [ "$rc" -ne 124 ] && [ "$rc" -ne 137 ]
}

# One persistent wineserver and Wine's background services for the prefix, its output in a log file: a Wine program started by a
# test would otherwise hand the test's output pipe to Wine's background processes, and a runner
# that reads that pipe to its end would wait for them.
start_wineserver() {
    wineserver -p </dev/null >>"$PELKAN_LOG/wineserver.log" 2>&1 || true
    # Start Wine's services now, with their output in the log, so that no test program is the
    # one that starts them.
    wineboot </dev/null >>"$PELKAN_LOG/wineserver.log" 2>&1 || true
}
stop_wineserver() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
}

# Configures a build folder once: configure <dir> [cmake args...].
configure() {
    local dir=$1; shift
    [ -f "$dir/build.ninja" ] || cmake -S "$PELKAN_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
}

# The fuzz targets' tree: clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
build_fuzz_targets() {
    CC=clang CXX=clang++ configure "$PELKAN_BUILD/fuzz" -DPELKAN_FUZZ=ON &&
        cmake --build "$PELKAN_BUILD/fuzz" --target fuzz_targets -j "${JOBS:-$(nproc)}"
}

setup_all() {
    ensure_packages
    ensure_display
    ensure_wineprefix
}
