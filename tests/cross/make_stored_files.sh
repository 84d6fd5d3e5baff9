#!/usr/bin/env bash
# Writes tests/data/vectors/stored_files.vec: a local file and a file-sharing file made by each
# build, with what they were made with (the user's preference file and password, the one-time
# password). Run once by hand; the engine tests of both platforms decrypt the stored files.
#
#   tests/cross/make_stored_files.sh LINUX_BIN_DIR WIN64_BIN_DIR > tests/data/vectors/stored_files.vec
set -euo pipefail

# shellcheck source-path=SCRIPTDIR source=common.sh
source "$(dirname "$0")/common.sh"

hex() { od -An -v -tx1 -- "$1" | tr -d ' \n'; }

# record MADE KIND PASSWORD HOME NAME ENCRYPTED_NAME ORIGINAL FOLDER
record() {
    local made=$1 kind=$2 password=$3 home=$4 name=$5 encrypted=$6 original=$7 folder=$8
    [[ -f $folder/$encrypted ]] || fail "no $folder/$encrypted"
    echo
    echo "made = \"$made\""
    echo "kind = \"$kind\""
    echo "password = \"$password\""
    [[ $kind == local ]] && echo "userpref = $(hex "$home/userpref.!!!")"
    echo "user = \"$9\""
    printf '%s' "$name" >"$root/name"
    echo "name = $(hex "$root/name")"
    printf '%s' "$encrypted" >"$root/name"
    echo "encrypted_name = $(hex "$root/name")"
    echo "plaintext = $(hex "$original")"
    echo "file = $(hex "$folder/$encrypted")"
}

share_scenario() {
    echo "dialog \"File Sharing - Encryption\": 1044=\"$1\" 1045=\"$1\" 1049=1 -> 1"
}

# Each file alone in a folder that is handed over as the selection: the walk finds the name,
# so no non-ASCII name passes through a command line.
made() {
    local side=$1 kind=$2 name=$3 encrypted=$4 password=$5 home=$6 user=$7 scenario verb
    local folder="$root/$side-$kind"
    mkdir -p "$folder" "$root/originals"
    if [[ $kind == local ]]; then
        printf 'Made by the %s build for %s: %s\n' "$side" "$user" "$name" >"$folder/$name"
        scenario="dialog \"Encrypt\": 1022=\"$password\" -> 1" verb=encrypt
    else
        head -c 96 /dev/urandom >"$folder/$name"
        scenario=$(share_scenario "$password") verb=share-encrypt
    fi
    cp -- "$folder/$name" "$root/originals/$side-$kind"
    run "$side" "$verb" "$root" "$scenario" "$verb" "$(basename "$folder")"
    record "$side" "$kind" "$password" "$home" "$name" "$encrypted" "$root/originals/$side-$kind" \
        "$folder" "$user"
}

install_home linux "$root/linux-home"
run linux setup "$root" "$(setup_scenario "Lina Linux" linuxpw1)" setup
install_home windows "$root/windows-home"
run windows setup "$root" "$(setup_scenario "Wim Windows" winpw123)" setup

cat <<'EOF'
# Files made by the product's own builds, once by the Linux build and once by the Windows build
# (under Wine), with tests/cross/make_stored_files.sh: a local file with the preference file
# "userpref.!!!" of the user who encrypted it and that user's password, and a file-sharing file
# with its one-time password. Every build must decrypt all of them. Names are hex UTF-8 bytes
# without their terminator; `user` is the user name stored in the envelope.
EOF
made linux local $'\xc3\x9c''bersicht M'$'\xc3\xa4''rz 2024.txt' \
    $'\xc3\x9c''bersicht M'$'\xc3\xa4''rz 2024(txt).!!!' linuxpw1 "$root/linux-home" "Lina Linux"
made linux share 'photo-2024-06.jpg' 'photo-2024-06(jpg).s!!' lin-share1 "" "Lina Linux"
made windows local 'quarterly.report.final.doc' 'quarterly.report.final(doc).!!!' winpw123 \
    "$root/windows-home" "Wim Windows"
made windows share 'R'$'\xc3\xa9''sum'$'\xc3\xa9''.pdf' 'R'$'\xc3\xa9''sum'$'\xc3\xa9''(pdf).s!!' \
    win-share1 "" "Wim Windows"
