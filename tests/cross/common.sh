# shellcheck shell=bash
# What the scripts of this folder share: the two builds' programs, Wine, a scratch folder that
# goes away at the end, and `run`, which runs one qor command of either build with its dialogs
# answered from a scenario. Sourced with the two bin folders as $1 and $2.
if [[ $# -ne 2 ]]; then
    echo "usage: $0 LINUX_BIN_DIR WIN64_BIN_DIR" >&2
    exit 2
fi
lin=$(cd "$1" && pwd)
win=$(cd "$2" && pwd)
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# What Explorer does for a choice in the context menu, with the product's installed COM object.
explorer=$win/../tests/windows/helpers/explorer_menu.exe
for program in "$lin/qor" "$lin/qor-install" "$lin/libqorsec95.so" "$win/qor.exe" \
    "$win/qor-install.exe" "$win/qorsec95.dll" "$win/qorshell.dll" "$explorer"; do
    [[ -f $program ]] || { echo "cross: missing $program" >&2; exit 2; }
done

if [[ -n ${WINEPREFIX:-} ]]; then
    prefix=$WINEPREFIX
    wine_home=${QOR_WINE_HOME:-$HOME}
    # shellcheck source-path=SCRIPTDIR source=../../scripts/wine-env.sh
    source "$repo/scripts/wine-env.sh"
    export WINEPREFIX=$prefix QOR_WINE_HOME=$wine_home
    own_wine=0
else
    QOR_WIN64_BUILD=${QOR_WIN64_BUILD:-$(dirname "$win")}
    # shellcheck source-path=SCRIPTDIR source=../../scripts/wine-env.sh
    source "$repo/scripts/wine-env.sh"
    wine_start
    own_wine=1
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/qor-cross.XXXXXX")
# The Linux programs get a user of their own: the install step writes desktop entries and the
# emulated registry below these.
export HOME=$root/user XDG_DATA_HOME=$root/user/data XDG_CONFIG_HOME=$root/user/config
export QOR_REGISTRY=$root/registry.reg
# The shared password block of this run alone.
export QOR_SHARED_TAG="cross-${root##*.}"
mkdir -p "$HOME"
windows_homes=()
cleanup() {
    local home
    # The Windows installs wrote registry values into the prefix that name their home folders.
    for home in "${windows_homes[@]}"; do
        wine_run "$win/qor-install.exe" --uninstall --home "$(winpath "$home")" >/dev/null 2>&1 ||
            true
    done
    if ((own_wine)); then wine_stop; fi
    rm -rf -- "$root"
}
trap cleanup EXIT

wine_run() {
    # Wine turns the Unix command line into the Windows one in the locale's character set; the
    # names handed over are UTF-8, whatever the calling environment's locale.
    LC_ALL=C.UTF-8 HOME="$QOR_WINE_HOME" "$QOR_WINE" "$@" </dev/null
}

# install_home SIDE HOME: lays out HOME as that build's home folder and registers it.
install_home() {
    local side=$1 home=$2 out="$root/install-$1.out"
    if [[ $side == linux ]]; then
        "$lin/qor-install" --home "$home" >"$out" 2>&1 || fail "qor-install --home $home" "$out"
    else
        windows_homes+=("$home")
        wine_run "$win/qor-install.exe" --home "$(winpath "$home")" >"$out" 2>&1 ||
            fail "qor-install.exe --home $(winpath "$home")" "$out"
    fi
}

# The scenario of a first use: a new user NAME with the password PASSWORD.
setup_scenario() {
    printf '%s\n' \
        'dialog "QOR Vaultis" -> 1' \
        'dialog "Random Seeding": events=300' \
        'message "Done with random seeding." -> OK' \
        "dialog \"QOR Vaultis\": \"Enter your user &name:\"=\"$1\" \"Enter your user &password:\"=\"$2\" \"Enter the password again to &confirm it:\"=\"$2\" -> 1" \
        'dialog "QOR Vaultis" -> 2' \
        'message "will not be backed up" -> OK' \
        'message "QOR Vaultis setup is now complete." -> OK'
}

# Wine's drive Z: is the Unix root.
winpath() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

fail() {
    printf 'cross: FAILED: %s\n' "$1" >&2
    shift
    for file in "$@"; do
        [[ -s $file ]] || continue
        printf -- '--- %s\n' "${file#"$root"/}" >&2
        cat -- "$file" >&2
    done
    exit 1
}

# run SIDE LABEL FOLDER SCENARIO COMMAND [ARGS...]: one qor command in FOLDER with its dialogs
# answered from SCENARIO (a text). SIDE is linux, windows (qor.exe) or explorer (the command
# chosen in the context menu of the files, through the COM object).
step=0
run() {
    local side=$1 label=$2 folder=$3 scenario=$4
    shift 4
    step=$((step + 1))
    local base="$root/log/$step-$side-$label"
    mkdir -p "$root/log"
    printf '%s\n' "$scenario" >"$base.scenario"
    local status=0
    if [[ $side == linux ]]; then
        (cd "$folder" && QOR_UI="script:$base.scenario" QOR_UI_LOG="$base.transcript" \
            "$lin/qor" "$@") </dev/null >"$base.out" 2>&1 || status=$?
    else
        local program=$win/qor.exe
        [[ $side == explorer ]] && program=$explorer
        (cd "$folder" && QOR_UI="script:$(winpath "$base.scenario")" \
            QOR_UI_LOG="$(winpath "$base.transcript")" wine_run "$program" "$@") \
            >"$base.out" 2>&1 || status=$?
    fi
    ((status == 0)) ||
        fail "$side qor $* ($label) exited with $status" "$base.out" "$base.transcript" \
            "$base.scenario"
}

