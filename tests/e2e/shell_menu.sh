#!/usr/bin/env bash
# The menu a file manager shows, through qor menu: before setup, for each kind of selection, while
# another process works; and the password kept in one qor run serving the next one, forgotten by
# clear-password, never written to a file.
source "$(dirname "$0")/lib.sh"

menu_of() {  # NAME PATH...: the menu's text for the selection
    local name=$1
    shift
    run_qor "$name" 0 "" menu "$@"
    cat "$E2E_ROOT/$name.out"
}
expect_menu() {  # NAME EXPECTED PATH...
    local name=$1 expected=$2
    shift 2
    expect_eq "$(menu_of "$name" "$@")" "$expected" "menu $name"
}
# The lines of a menu that are not grayed, joined with "|".
usable() {
    grep -v ' (grayed)$' | grep -v -- '-$' | sed 's/^ *//' | paste -sd '|'
}

e2e_install
M=$DATA/menu
mkdir -p "$M/folder"
printf 'plain\n' >"$M/a.txt"
printf 'x\n' >"$M/README"
printf 'x\n' >"$M/page.html"
printf 'x\n' >"$M/X.S!1"
printf 'x\n' >"$M/b.!!!"
printf 'x\n' >"$M/tool.exe"

# Before setup only Setup and About are usable.
expect_eq "$(menu_of fresh "$M/a.txt" | usable)" "&QOR Settings|&About QOR...|&Setup QOR Vaultis..." \
    "usable items before setup"

# What the menu grays, the command line refuses with what to do (no dialog, no diskette prompt).
for command in "encrypt $M/a.txt" "change-password" "autocrypt list"; do
    # shellcheck disable=SC2086  # the command's words
    run_qor not-set-up 1 "" $command
    expect_output not-set-up err "qor: QOR Vaultis is not set up for this user yet: run qor setup first"
done

run_qor setup 0 "$SETUP_SCENARIO" setup
expect_menu plain "-
&Encrypt...
Decr&ypt... (grayed)
&File Share
  &Encrypt...
  Decr&ypt... (grayed)
&QOR Settings
  &AutoCrypt...
  -
  &Password
    &Change Password...
    C&lear Password from Memory (grayed)
  QOR &Help...
  -
  &About QOR...
-" "$M/a.txt"
expect_eq "$(menu_of none "$M/README" | usable)" "$(menu_of plain2 "$M/a.txt" | usable)" "README is plain"
expect_eq "$(menu_of html "$M/page.html" | usable)" "$(menu_of plain3 "$M/a.txt" | usable)" ".html is plain"
EVERYTHING="&Encrypt...|Decr&ypt...|&File Share|&Encrypt...|Decr&ypt...|&QOR Settings|&AutoCrypt...|&Password|&Change Password...|QOR &Help...|&About QOR..."
SETTINGS="&QOR Settings|&AutoCrypt...|&Password|&Change Password...|QOR &Help...|&About QOR..."
expect_eq "$(menu_of folder "$M/folder" | usable)" "$EVERYTHING" "a folder"
expect_eq "$(menu_of mixed "$M/a.txt" "$M/b.!!!" | usable)" "$EVERYTHING" "plain and encrypted"
expect_eq "$(menu_of local "$M/b.!!!" | usable)" "Decr&ypt...|&File Share|$SETTINGS" "a local file"
expect_eq "$(menu_of share "$M/X.S!1" | usable)" "&File Share|Decr&ypt...|$SETTINGS" "a shared file"
expect_eq "$(menu_of excluded "$M/tool.exe" | usable)" "$SETTINGS" "a program"
expect_eq "$(menu_of system /usr/bin | usable)" "$SETTINGS" "the system folder"
run_qor menu-bad 2 "" menu
expect_output menu-bad err "qor: menu needs at least one path"

# A password kept in one run serves the next process, and clear-password forgets it.
run_qor keep 0 'dialog "Encrypt": 1022="secret1" "&Keep password in memory for"=1 1026=5 -> 1' \
    encrypt "$M/a.txt"
expect_file "$M/a(txt).!!!"
expect_eq "$(menu_of kept "$M/README" | grep -c 'C&lear Password from Memory$')" 1 "clear usable"
run_qor kept-decrypt 0 'dialog "Decrypt" -> 1' decrypt "$M/a(txt).!!!"
expect_transcript kept-decrypt <<'TEXT'
dialog: Decrypt
dialog: Decrypting
TEXT
expect_file "$M/a.txt"
# The password is in no file the product or the tests can reach.
# (The scenarios that type it are the tests' own files.)
for place in "$E2E_ROOT" /dev/shm; do
    if grep -rqsF --exclude='*.scenario' -- secret1 "$place"; then
        fail "the kept password shows in a file under $place"
    fi
done
run_qor clear 0 "" clear-password
expect_transcript clear </dev/null
expect_eq "$(menu_of cleared "$M/README" | grep -c 'C&lear Password from Memory (grayed)$')" 1 \
    "clear grayed again"
run_qor asks-again 0 "$ENCRYPT_OK" encrypt "$M/a.txt"
expect_transcript asks-again <<'TEXT'
dialog: Encrypt
dialog: Encrypting
TEXT

# What a file is, through the shell and the core, without a secret; damaged or missing: status 1.
run_qor inspect 0 "" inspect "$M/a(txt).!!!"
grep -q ': local file, ' "$E2E_ROOT/inspect.out" || fail "inspect does not say what a local file is"
grep -q 'item 1, flag 1: source name "a.txt"' "$E2E_ROOT/inspect.out" || fail "inspect: no name"
head -c 100 -- "$M/a(txt).!!!" >"$M/cut.!!!"
run_qor inspect-bad 1 "" inspect "$M/cut.!!!" "$M/gone.!!!"
grep -q 'problem: no trailer of a known form ends the file' "$E2E_ROOT/inspect-bad.out" ||
    fail "inspect does not say what is wrong with a damaged file"
expect_output inspect-bad err "qor: cannot read $M/gone.!!!"
run_qor inspect-none 2 "" inspect
rm -f -- "$M/cut.!!!"

# While another process works through the shell, every product item is gray (the password is
# forgotten first and not kept by the worker, so that clearing it is gray as well).
run_qor clear-again 0 "" clear-password
head -c $((96 << 20)) /dev/urandom >"$M/big.dat"
printf '%s\n' 'dialog "Encrypt": 1022="secret1" "&Keep password in memory for"=0 -> 1' \
    >"$E2E_ROOT/worker.scenario"
QOR_UI="script:$E2E_ROOT/worker.scenario" "$QOR" encrypt "$M/big.dat" </dev/null >/dev/null 2>&1 &
worker=$!
seen=0
for _ in $(seq 1 100); do
    if [[ -z $(menu_of busy "$M/README" | usable) ]]; then
        seen=1
        break
    fi
    kill -0 "$worker" 2>/dev/null || break
    sleep 0.05
done
wait "$worker"
expect_eq "$?" 0 "status of the worker"
expect_eq "$seen" 1 "every item gray while another process works"
checks_end
