#!/usr/bin/env bash
# The file managers' entries as the install writes them into a home folder whose name holds
# blanks, quotes, $, % and a non-ASCII letter: the desktop entries pass the desktop's validator,
# Thunar's uca.xml stays well-formed with the user's action in it, a Thunar action and a Nautilus
# script run qor on files with odd names (the dialogs answered from a scenario, as the launcher
# lets a chosen host answer them), and the uninstall leaves the user's action and nothing of ours.
source "$(dirname "$0")/lib.sh"

for tool in desktop-file-validate xmllint; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

QOR_HOME="$E2E_ROOT/my \$home 'q' \"d\" 100% é"
QOR=$QOR_HOME/qor
APPS=$HOME/.local/share
UCA=$HOME/.config/Thunar/uca.xml
mkdir -p -- "$(dirname "$UCA")"
cat >"$UCA" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<actions>
<action><icon>utilities-terminal</icon><name>Mine &amp; only</name><unique-id>1-user</unique-id><command>xterm %f</command><patterns>*</patterns><directories/></action>
</actions>
XML
cp -- "$UCA" "$E2E_ROOT/uca.before"
e2e_setup_user

# The association and Dolphin's service menus are valid desktop entries.
for entry in "$APPS"/applications/qor-vaultis-open.desktop "$APPS"/kio/servicemenus/*.desktop; do
    desktop-file-validate "$entry" >"$E2E_ROOT/validate.out" 2>&1 ||
        fail "desktop-file-validate refuses $entry: $(cat "$E2E_ROOT/validate.out")"
    [[ -x $entry ]] || [[ $entry == */applications/* ]] || fail "not executable: $entry"
done
expect_eq "$(find "$APPS/kio/servicemenus" -name 'qor-vaultis-*.desktop' | wc -l)" 5 "service menus"

# Where the desktop's caches are built, its own lookup knows an encrypted file by its name.
content_type() {
    XDG_DATA_HOME=$APPS XDG_DATA_DIRS=/usr/share gio info -a standard::content-type "$1" |
        sed -n 's/^ *standard::content-type: //p'
}
caches=
command -v gio >/dev/null && command -v update-mime-database >/dev/null && caches=1
if [[ -n $caches ]]; then
    printf 'x' >"$E2E_ROOT/cached.!!!"
    expect_eq "$(content_type "$E2E_ROOT/cached.!!!")" application/x-qor-encrypted \
        "the content type of an encrypted file"
fi

# Thunar's file: well-formed, the user's action first and unchanged, ours once each.
xmllint --noout "$UCA" || fail "uca.xml is not well-formed after the install"
expect_eq "$(xmllint --xpath 'string(//action[1]/name)' "$UCA")" "Mine & only" "the user's action"
expect_eq "$(xmllint --xpath 'count(//action)' "$UCA")" 12 "actions in uca.xml"
"$BUILT_INSTALL" --home "$QOR_HOME" >/dev/null || fail "reinstall failed"
expect_eq "$(xmllint --xpath 'count(//action)' "$UCA")" 12 "actions after a reinstall"

# A Thunar action as Thunar runs it: %% is a percent sign, %F the selection with each path in
# single quotes, the whole given to /bin/sh -c.
thunar_run() {  # UNIQUE-ID PATH...
    local command quoted="" path
    command=$(xmllint --xpath "string(//action[unique-id='$1']/command)" "$UCA")
    shift
    for path in "$@"; do
        quoted+=" '${path//\'/\'\\\'\'}'"
    done
    command=${command//%F/$'\x01'}
    command=${command//%%/%}
    command=${command//$'\x01'/${quoted# }}
    sh -c "$command"
}
F=$DATA/'odd $HOME "name" 50% ü'
mkdir -p -- "$F"
printf 'one\n' >"$F/it's a \$file %F.txt"
printf 'two\n' >"$F/plain.txt"
cp -- "$F/it's a \$file %F.txt" "$E2E_ROOT/one.txt"
printf '%s\n' "$ENCRYPT_OK" >"$E2E_ROOT/thunar.scenario"
QOR_UI="script:$E2E_ROOT/thunar.scenario" thunar_run qor-vaultis-encrypt \
    "$F/it's a \$file %F.txt" "$F/plain.txt" </dev/null >"$E2E_ROOT/thunar.out" 2>&1 ||
    fail "the Thunar action failed: $(cat "$E2E_ROOT/thunar.out")"
expect_tree "$F" <<<$'it\'s a $file %F(txt).!!!\nplain(txt).!!!'

# A Nautilus script as Nautilus runs it: in the folder, with the names.
printf '%s\n' "$DECRYPT_OK" >"$E2E_ROOT/script.scenario"
(cd "$F" && QOR_UI="script:$E2E_ROOT/script.scenario" \
    "$APPS/nautilus/scripts/Decrypt..." "it's a \$file %F(txt).!!!" </dev/null \
    >"$E2E_ROOT/script.out" 2>&1) || fail "the Nautilus script failed: $(cat "$E2E_ROOT/script.out")"
expect_tree "$F" <<<$'it\'s a $file %F.txt\nplain(txt).!!!'
expect_same "$F/it's a \$file %F.txt" "$E2E_ROOT/one.txt"

# Without a terminal, a display host or a chosen host, the launcher says why nothing shows.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY PATH=/nonexistent /bin/sh "$QOR_HOME/qor-desktop" about \
    </dev/null 2>&1)
expect_eq "$out" "qor-desktop: no terminal to show the dialogs of qor about in" "no terminal"

# The uninstall gives back the user's file to the byte and leaves nothing of ours.
"$BUILT_INSTALL" --uninstall --home "$QOR_HOME" >/dev/null || fail "uninstall failed"
expect_same "$UCA" "$E2E_ROOT/uca.before"
left=$(grep -rl "X-QOR-Home" "$HOME" 2>/dev/null)
expect_eq "$left" "" "files of ours left after the uninstall"
expect_absent "$QOR_HOME/qor-desktop"
[[ -z $caches ]] || [[ $(content_type "$E2E_ROOT/cached.!!!") != application/x-qor-encrypted ]] ||
    fail "the desktop still knows encrypted files after the uninstall"
checks_end
