#!/usr/bin/env bash
# Files encrypted by one platform's build must decrypt with the other's, byte for byte and with
# their times: local files under the user's key (both builds read the one preference file of a
# user set up once on Linux) and file-sharing files under a one-time password, in both
# directions, on Windows by qor.exe and through the context menu's COM object. The encrypted files of both builds must have the same layout.
#
#   tests/cross/run.sh LINUX_BIN_DIR WIN64_BIN_DIR
#
# The Windows programs run under Wine. When the caller has a Wine prefix running (WINEPREFIX
# exported, as scripts/test-all does) it is used as it is; otherwise the prefix of the Windows
# build folder (QOR_WIN64_BUILD, else the parent of WIN64_BIN_DIR) is started and stopped here.
# Quiet on success; on a failure it names the step and shows what the programs said.
set -euo pipefail

# shellcheck source-path=SCRIPTDIR source=common.sh
source "$(dirname "$0")/common.sh"

# --- one user, set up on Linux; the Windows build gets the same home folder through Z:.
home=$root/home
install_home linux "$home"
run linux setup "$root" "$(setup_scenario "Cross Tester" crosspw1)" setup
install_home windows "$home"
run windows status "$root" '' status
grep -q "^set up" "$root/log/$step-windows-status.out" ||
    fail "qor.exe status does not see the user set up on Linux" "$root/log/$step-windows-status.out"

# --- the files: a long name with spaces and several dots (the trailer keeps only 13 bytes of
# a name; the envelope keeps it whole), a name in UTF-8, a name without extension, an empty
# file and a larger binary one. Times are whole multiples of 100 ns, what both systems keep.
orig=$root/orig
mkdir -p "$orig"
printf 'Dear Sam,\nthe meeting moves to Thursday.\r\n' >"$orig/letter.txt"
printf 'Agenda\n1. budget\n2. the new office\n' >"$orig/minutes of the annual meeting.v2.txt"
printf 'Gr\xc3\xbc\xc3\x9fe aus K\xc3\xb6ln\n' >"$orig/Gr"$'\xc3\xbc\xc3\x9f'"e-caf"$'\xc3\xa9'".txt"
printf 'all: build\n' >"$orig/Makefile"
: >"$orig/empty.txt"
head -c 150000 /dev/urandom >"$orig/figures.dat"
touch -d '2019-06-15 12:34:56.1234567' "$orig"/*
mapfile -t names < <(cd "$orig" && printf '%s\n' *)

# encrypted_name NAME SUFFIX: "name.ext" becomes "name(ext)SUFFIX".
encrypted_name() {
    local name=$1 suffix=$2
    if [[ $name == *.* ]]; then
        printf '%s(%s)%s' "${name%.*}" "${name##*.}" "$suffix"
    else
        printf '%s%s' "$name" "$suffix"
    fi
}

# expect_files FOLDER SUFFIX: the folder holds exactly the encrypted names ("" = the plain ones).
expect_files() {
    local folder=$1 suffix=$2 want have
    want=$(for name in "${names[@]}"; do
        if [[ -n $suffix ]]; then encrypted_name "$name" "$suffix"; else printf '%s' "$name"; fi
        echo
    done | LC_ALL=C sort)
    have=$(cd "$folder" && LC_ALL=C ls -A)
    [[ $want == "$have" ]] ||
        fail "$(printf 'files in %s\nexpected:\n%s\nfound:\n%s' "$folder" "$want" "$have")"
}

# same_as_originals FOLDER: contents and modification times as before encryption.
same_as_originals() {
    local folder=$1 name
    expect_files "$folder" ""
    for name in "${names[@]}"; do
        cmp -s -- "$orig/$name" "$folder/$name" || fail "$folder/$name differs from the original"
        [[ $(stat -c %y -- "$orig/$name") == "$(stat -c %y -- "$folder/$name")" ]] ||
            fail "$(printf '%s: modification time %s, the original has %s' "$folder/$name" \
                "$(stat -c %y -- "$folder/$name")" "$(stat -c %y -- "$orig/$name")")"
    done
}

fresh_copy() {
    rm -rf -- "$1"
    mkdir -p -- "$1"
    cp -p -- "$orig"/* "$1"/
}

local_encrypt='dialog "Encrypt": 1022="crosspw1" -> 1'
local_decrypt='dialog "Decrypt": 1022="crosspw1" -> 1'
share_encrypt='dialog "File Sharing - Encryption": 1044="share-it1" 1045="share-it1" 1049=1 -> 1'
share_decrypt='dialog "File Sharing - Decryption": 1022="share-it1" 1049=1 -> 1'

# selection SIDE FOLDER [NAMES...]: the arguments for one command run in $root, the files by
# name: the Linux qor gets full paths, qor.exe paths relative to $root (Wine has no drive for
# the Unix names). The UTF-8 name checks that qor.exe reads its command line in full Unicode.
selection() {
    local side=$1 folder=$2
    shift 2
    if [[ $side == linux ]]; then
        printf '%s\0' "${@/#/$folder/}"
    elif [[ $side == explorer ]]; then
        # Explorer hands over full paths.
        printf '%s\0' "${@/#/$(winpath "$folder")\\}"
    else
        printf '%s\0' "${@/#/$(basename "$folder")\\}"
    fi
}

# cross KIND SUFFIX FROM TO: FROM encrypts a fresh copy of the files, TO decrypts them again.
# The encrypted files are kept in $root/KIND-FROM for the layout comparison.
cross() {
    local kind=$1 suffix=$2 from=$3 to=$4 folder="$root/$1-$3-to-$4"
    local encrypt=$local_encrypt decrypt=$local_decrypt verb=encrypt name args encrypted_names=()
    if [[ $kind == share ]]; then
        encrypt=$share_encrypt decrypt=$share_decrypt verb=share-encrypt
    fi
    fresh_copy "$folder"
    mapfile -d '' -t args < <(selection "$from" "$folder" "${names[@]}")
    run "$from" "$verb" "$root" "$encrypt" "$verb" "${args[@]}"
    expect_files "$folder" "$suffix"
    mkdir -p "$root/$kind-$from"
    cp -p -- "$folder"/* "$root/$kind-$from"/
    for name in "${names[@]}"; do encrypted_names+=("$(encrypted_name "$name" "$suffix")"); done
    mapfile -d '' -t args < <(selection "$to" "$folder" "${encrypted_names[@]}")
    run "$to" "${verb/encrypt/decrypt}" "$root" "$decrypt" "${verb/encrypt/decrypt}" "${args[@]}"
    same_as_originals "$folder"
}

cross local '.!!!' linux windows
cross local '.!!!' windows linux
cross share '.s!!' linux windows
cross share '.s!!' windows linux
# The same through Explorer's path on Windows: the context menu's Encrypt and Decrypt.
cross local '.!!!' explorer linux
cross local '.!!!' linux explorer

# --- the AutoCrypt list: written by one build, read and written again by the other. Folder
# entries are never looked up, so each build reads the other's paths as they were written.
password_answer='dialog "Password": 1022="crosspw1" -> 1'
mkdir -p "$root/listed-linux" "$root/listed-windows"
list_lines() { tr -d '\r' <"$root/log/$step-$1.out" | LC_ALL=C sort; }
run linux list-add "$root" "$password_answer" autocrypt add "$root/listed-linux"
run windows list-read "$root" "$password_answer" autocrypt list
[[ $(list_lines windows-list-read) == "$root/listed-linux/*.*" ]] ||
    fail "qor.exe does not read the list written on Linux" "$root/log/$step-windows-list-read.out"
run windows list-add "$root" "$password_answer" autocrypt add listed-windows
run linux list-read "$root" "$password_answer" autocrypt list
want=$(printf '%s\n' "$root/listed-linux/*.*" "Z:${root//\//\\}\\listed-windows\\*.*" | LC_ALL=C sort)
[[ $(list_lines linux-list-read) == "$want" ]] ||
    fail "$(printf 'qor does not read the list written on Windows; expected:\n%s' "$want")" \
        "$root/log/$step-linux-list-read.out"
[[ ! -e $home/autocryp.lst ]] || fail "a plain AutoCrypt list was left in $home"

# --- layouts: for the same plaintext both builds write files of the same size; a local file's
# 35-byte trailer (name, size, mode) is identical, and a shared file's 75-byte trailer differs
# only in the check value and the salt (its bytes 38-53 and 58-73).
tail_hex() { tail -c "$2" -- "$1" | od -An -v -tx1 | tr -d ' \n'; }
for name in "${names[@]}"; do
    for kind in local share; do
        suffix='.!!!' size=35
        [[ $kind == share ]] && suffix='.s!!' size=75
        encrypted=$(encrypted_name "$name" "$suffix")
        a="$root/$kind-linux/$encrypted" b="$root/$kind-windows/$encrypted"
        [[ $(stat -c %s -- "$a") == "$(stat -c %s -- "$b")" ]] ||
            fail "$encrypted: $(stat -c %s -- "$a") bytes from Linux, $(stat -c %s -- "$b") from Windows"
        ta=$(tail_hex "$a" "$size") tb=$(tail_hex "$b" "$size")
        length=$(printf '%02x%02x' "$size" 0)
        [[ ${ta: -4} == "$length" && ${tb: -4} == "$length" ]] ||
            fail "$encrypted: the trailers do not end with their length $size"
        if [[ $kind == share ]]; then
            # Compare everything but the two random 16-byte values.
            ta=${ta:0:74}${ta:106:8}${ta:146} tb=${tb:0:74}${tb:106:8}${tb:146}
        fi
        [[ $ta == "$tb" ]] || fail "$(printf '%s: trailers differ\nLinux:   %s\nWindows: %s' \
            "$encrypted" "$ta" "$tb")"
    done
done
