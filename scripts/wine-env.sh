# Sourced by the scripts that run Windows programs: a private Wine prefix and home inside the
# build folder, quiet logs, and no menu entries or Mono/Gecko installers.
QOR_WIN64_BUILD="${QOR_WIN64_BUILD:-$(pwd)/build/win64}"
export WINEDEBUG=-all
export WINEPREFIX="$QOR_WIN64_BUILD/wineprefix"
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export QOR_WINE_HOME="$QOR_WIN64_BUILD/home"
QOR_WINE=/usr/lib/wine/wine64
QOR_WINESERVER=/usr/lib/wine/wineserver64
[ -x "$QOR_WINESERVER" ] || QOR_WINESERVER=$(command -v wineserver)

# Starts the Wine server and boots the prefix with every standard stream pointed away from the
# caller, so Wine's background services never hold CTest's output pipe open.
wine_start() {
    mkdir -p "$WINEPREFIX" "$QOR_WINE_HOME"
    HOME="$QOR_WINE_HOME" "$QOR_WINESERVER" -p </dev/null >/dev/null 2>&1 || true
    HOME="$QOR_WINE_HOME" "$QOR_WINE" wineboot --init </dev/null >/dev/null 2>&1 || true
    # On a display without a window manager (Xvfb) Wine draws the windows' frames itself and
    # does not wait for a manager to map or withdraw them.
    local key='HKCU\Software\Wine\X11 Driver'
    HOME="$QOR_WINE_HOME" "$QOR_WINE" reg add "$key" /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
    HOME="$QOR_WINE_HOME" "$QOR_WINE" reg add "$key" /v Decorated /d N /f </dev/null >/dev/null 2>&1 || true
}

wine_stop() {
    HOME="$QOR_WINE_HOME" "$QOR_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
}

# A virtual display of its own for the Windows tests, so that real dialogs are made, shown and
# photographed (without one they end as cancelled, and their tests are skipped). Does nothing
# when Xvfb is missing; wine_display_stop ends it.
wine_display_start() {
    command -v Xvfb >/dev/null 2>&1 || return 0
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    QOR_XVFB_PID=$!
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    export DISPLAY=":$n"
}

wine_display_stop() {
    [ -n "${QOR_XVFB_PID:-}" ] && kill "$QOR_XVFB_PID" 2>/dev/null || true
    QOR_XVFB_PID=
}
