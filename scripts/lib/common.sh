# Shared by the scripts: paths, installing what is missing, the private Wine prefix and a
# virtual display. Source it; it defines functions and variables and runs nothing by itself.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
NATIVE_DIR="$ROOT/build/native"
WINDOWS_DIR="$ROOT/build/windows"
FUZZ_DIR="$ROOT/build/fuzz"
export WINEPREFIX="${LUMIVO_WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
EMULATOR="$NATIVE_DIR/emulator/lumivo24-emulator"
PROGRAM="$WINDOWS_DIR/lumivo24.exe"

log() { printf '[%s] %s\n' "$(basename "$0")" "$*" >&2; }

# Installs the Debian packages that provide the given commands, when any is missing.
# Arguments come in pairs: command package.
need_commands() {
    local missing=()
    while [ $# -ge 2 ]; do
        command -v "$1" >/dev/null 2>&1 || missing+=("$2")
        shift 2
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    install_packages "${missing[@]}"
}

# Installs the Debian packages that are not installed yet.
need_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    install_packages "${missing[@]}"
}

APT_UPDATED=0
install_packages() {
    if [ "$(id -u)" != 0 ]; then
        log "missing packages: $* (install them, or run this script as root)"
        return 1
    fi
    log "installing: $*"
    if [ "$APT_UPDATED" = 0 ]; then
        apt-get update -qq >/dev/null || return 1
        APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# Tools of the host tree (portable code, emulator, command-line tool, unit tests). lumivo24-cli
# needs CLI11 and nlohmann-json (header-only, for both trees); python3 runs its tests, and
# rsvg-convert renders the SVG pictures of the lighting wave that they check.
need_host_tools() {
    need_commands cmake cmake ninja ninja-build g++ g++ python3 python3 \
        rsvg-convert librsvg2-bin || return 1
    need_packages googletest libgtest-dev libcli11-dev nlohmann-json3-dev locales
}

# The mingw-w64 cross compilers of the Windows tree.
need_windows_tools() {
    need_commands x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix \
        x86_64-w64-mingw32-gcc-posix gcc-mingw-w64-x86-64-posix \
        x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64
}

# Everything scripts/build builds, the fuzz tree's clang included.
need_build_tools() {
    need_host_tools || return 1
    need_windows_tools || return 1
    need_commands clang++ clang || return 1
    need_packages libclang-rt-14-dev
}

# Configures one tree from its preset and builds only the given targets of it.
build_targets() { # preset target...
    local preset=$1
    shift
    cmake --preset "$preset" >/dev/null || return 1
    cmake --build --preset "$preset" --target "$@"
}

# Debian's wine64 package puts its loader in /usr/lib/wine, off the PATH, so it is looked up as
# a package, not as a command.
need_wine_tools() {
    need_commands wine wine wineserver wine Xvfb xvfb xwd x11-apps xdpyinfo x11-utils || return 1
    need_packages wine64
}

# ImageMagick's convert, in CONVERT. Another program may be called convert (on some systems a
# disk converter is), so the command counts only when its -version names ImageMagick; Debian
# also installs it as convert-im6.q16.
CONVERT=
find_imagemagick() {
    local c path
    for c in convert convert-im6.q16 magick; do
        path=$(command -v "$c" 2>/dev/null) || continue
        if timeout 10 "$path" -version </dev/null 2>/dev/null | head -n 1 |
            grep -q ImageMagick; then
            CONVERT=$path
            return 0
        fi
    done
    return 1
}
need_imagemagick() {
    find_imagemagick && return 0
    install_packages imagemagick || return 1
    find_imagemagick && return 0
    log "ImageMagick's convert was not found after installing imagemagick"
    return 1
}

# A virtual display, started when there is none. Sets DISPLAY and XVFB_PID.
XVFB_PID=
start_display_if_needed() {
    [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 && return 0
    local n
    for n in $(seq 91 140); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do
            xdpyinfo >/dev/null 2>&1 && return 0
            sleep 0.1
        done
        kill "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    done
    log "could not start a virtual display"
    return 1
}

stop_display() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    fi
}

# Wine's own fonts (Debian fonts-wine: Tahoma, which stands in for the Windows dialog font, and
# Marlett for the title bar's buttons) in the prefix. This Wine reads the fonts of
# C:\windows\Fonts but not those of its own data folder, where fonts-wine puts them.
ensure_wine_fonts() {
    [ -f "$WINEPREFIX/drive_c/windows/Fonts/tahoma.ttf" ] && return 0
    need_packages fonts-wine || return 1
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    dpkg -L fonts-wine | grep '\.ttf$' | xargs cp -t "$WINEPREFIX/drive_c/windows/Fonts/"
}

# The private Wine prefix of the build tree, created once, with Wine's own fonts. Without a window
# manager Wine waits 2 s whenever a window is hidden, so windows are unmanaged; crash dialogs are
# off so that a crash ends the process.
ensure_wine_prefix() {
    if [ -f "$WINEPREFIX/.lumivo-ready" ]; then
        ensure_wine_fonts
        return
    fi
    log "creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || { log "wineboot failed"; return 1; }
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    ensure_wine_fonts || return 1
    touch "$WINEPREFIX/.lumivo-ready"
}

# The display resolution of the prefix's programs, in DPI (96 is 100 %), read by each program as
# it starts; an empty value goes back to Wine's own 96.
set_wine_dpi() { # dpi
    if [ -n "$1" ]; then
        wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
            >/dev/null 2>&1
    else
        wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
    fi
}

stop_wineserver() {
    wineserver -k >/dev/null 2>&1 || true
}
