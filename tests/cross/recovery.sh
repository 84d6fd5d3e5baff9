#!/usr/bin/env bash
# Emergency access across the two builds: the organisation's key pair made by the Windows
# qor-admin, the preference file prepared by the Linux one (both must show the same
# fingerprint); a user set up over it on Linux, whose files both builds encrypt, locally and
# for file sharing; then each build's qor-admin recovers what the other build encrypted, byte
# for byte, with the key file the Windows build wrote.
#
#   tests/cross/recovery.sh LINUX_BIN_DIR WIN64_BIN_DIR
#
# Wine as in run.sh (common.sh). Quiet on success; on a failure it names the step.
set -euo pipefail

# shellcheck source-path=SCRIPTDIR source=common.sh
source "$(dirname "$0")/common.sh"
for program in "$lin/qor-admin" "$win/qor-admin.exe"; do
    [[ -f $program ]] || { echo "cross: missing $program" >&2; exit 2; }
done

# --- the organisation: keys from Windows, the preference file from Linux.
org=$root/org
mkdir -p "$org"
printf 'cross organisation phrase\n' >"$org/pass"
wine_run "$win/qor-admin.exe" keygen --org "Cross Organisation" --out "$(winpath "$org/org.key")" \
    --passphrase-file "$(winpath "$org/pass")" >"$root/keygen.out" 2>&1 ||
    fail "qor-admin.exe keygen" "$root/keygen.out"
fingerprint=$(sed -n 's/^Fingerprint: //p' "$root/keygen.out" | tr -d '\r')
[[ -n $fingerprint ]] || fail "qor-admin.exe keygen printed no fingerprint" "$root/keygen.out"
"$lin/qor-admin" prepare --public "$org/org.key.pub" --org "Cross Organisation" \
    --out "$org/userpref.!!!" >"$root/prepare.out" 2>&1 || fail "qor-admin prepare" "$root/prepare.out"
grep -qxF "Emergency key: 1024-bit RSA, fingerprint $fingerprint, always on" "$root/prepare.out" ||
    fail "the Linux build shows another fingerprint than the Windows one ($fingerprint)" \
        "$root/prepare.out"

# --- the user, set up over the prepared file; both builds share the home folder.
home=$root/home
install_home linux "$home"
cp -- "$org/userpref.!!!" "$home/userpref.!!!"
run linux setup "$root" "$(setup_scenario "Cross Tester" crosspw1)" setup
install_home windows "$home"

orig=$root/orig
mkdir -p "$orig"
printf 'Dear Sam,\nthe meeting moves to Thursday.\r\n' >"$orig/letter.txt"
printf 'Gr\xc3\xbc\xc3\x9fe aus K\xc3\xb6ln\n' >"$orig/Gr"$'\xc3\xbc\xc3\x9f'"e.txt"
head -c 150000 /dev/urandom >"$orig/figures.dat"
: >"$orig/empty.txt"
mapfile -t names < <(cd "$orig" && printf '%s\n' *)

local_encrypt='dialog "Encrypt": 1022="crosspw1" -> 1'
share_encrypt='dialog "File Sharing - Encryption": 1044="share-it1" 1045="share-it1" 1049=1 -> 1'
for side in linux windows; do
    for kind in local share; do
        folder=$root/$kind-$side
        mkdir -p "$folder"
        cp -p -- "$orig"/* "$folder"/
        verb=encrypt scenario=$local_encrypt
        [[ $kind == share ]] && verb=share-encrypt scenario=$share_encrypt
        if [[ $side == linux ]]; then
            run linux "$verb" "$root" "$scenario" "$verb" "$folder"
        else
            run windows "$verb" "$root" "$scenario" "$verb" "$(basename "$folder")"
        fi
        for name in "${names[@]}"; do
            [[ ! -e $folder/$name ]] || fail "$side did not encrypt $folder/$name"
        done
    done
done

# --- each build's qor-admin recovers the other's files, with the key file written on Windows.
# recover ADMIN KIND: into a folder of their own; the encrypted files stay.
recover() {
    local admin=$1 kind=$2 from=windows
    [[ $admin == windows ]] && from=linux
    local out=$root/recovered-$kind-by-$admin log=$root/recover-$kind-by-$admin.out file
    local files=()
    mkdir -p "$out"
    for file in "$root/$kind-$from"/*; do
        if [[ $admin == linux ]]; then files+=("$file"); else files+=("$(winpath "$file")"); fi
    done
    if [[ $admin == linux ]]; then
        "$lin/qor-admin" recover --key "$org/org.key" --passphrase-file "$org/pass" --out "$out" \
            "${files[@]}" >"$log" 2>&1 || fail "qor-admin recover of the Windows build's $kind files" "$log"
    else
        wine_run "$win/qor-admin.exe" recover --key "$(winpath "$org/org.key")" \
            --passphrase-file "$(winpath "$org/pass")" --out "$(winpath "$out")" "${files[@]}" \
            >"$log" 2>&1 || fail "qor-admin.exe recover of the Linux build's $kind files" "$log"
    fi
    for name in "${names[@]}"; do
        cmp -s -- "$orig/$name" "$out/$name" || fail "$out/$name differs from the original" "$log"
    done
    [[ $(find "$out" -mindepth 1 | wc -l) == "${#names[@]}" ]] || fail "more files in $out" "$log"
    [[ $(find "$root/$kind-$from" -mindepth 1 | wc -l) == "${#names[@]}" ]] ||
        fail "the encrypted files in $root/$kind-$from did not stay" "$log"
}
for admin in linux windows; do
    for kind in local share; do
        recover "$admin" "$kind"
    done
done

# --- a self-extracting program of each build (an ELF decryptor in front, or a PE one), recovered
# by the other build's qor-admin.
self_encrypt='dialog "File Sharing - Encryption": 1044="share-it1" 1045="share-it1" 1046=1 -> 1'
for side in linux windows; do
    folder=$root/self-$side
    mkdir -p "$folder"
    cp -p -- "$orig/figures.dat" "$folder/"
    if [[ $side == linux ]]; then
        run linux self "$root" "$self_encrypt" share-encrypt "$folder/figures.dat"
    else
        run windows self "$root" "$self_encrypt" share-encrypt "self-$side\\figures.dat"
    fi
    [[ -f $folder/figures.exe ]] || fail "$side made no self-extracting program"
done
# The source stays beside the program: the recovered files go to folders of their own.
log=$root/recover-self.out
mkdir -p "$root/self-by-linux" "$root/self-by-windows"
"$lin/qor-admin" recover --key "$org/org.key" --passphrase-file "$org/pass" \
    --out "$root/self-by-linux" "$root/self-windows/figures.exe" >"$log" 2>&1 ||
    fail "qor-admin recover of the Windows build's self-extracting program" "$log"
wine_run "$win/qor-admin.exe" recover --key "$(winpath "$org/org.key")" \
    --passphrase-file "$(winpath "$org/pass")" --out "$(winpath "$root/self-by-windows")" \
    "$(winpath "$root/self-linux/figures.exe")" >"$log" 2>&1 ||
    fail "qor-admin.exe recover of the Linux build's self-extracting program" "$log"
for recovered in "$root/self-by-linux/figures.dat" "$root/self-by-windows/figures.dat"; do
    cmp -s -- "$orig/figures.dat" "$recovered" || fail "$recovered differs from the original"
done
