#!/usr/bin/env bash
# Command lines qor refuses: exit status 2 and a one-line reason, before any dialog (an empty
# scenario ends the process with status 3 at the first one) and with nothing touched.
source "$(dirname "$0")/lib.sh"

e2e_setup_user
mkdir -p "$DATA/one" "$DATA/two"
printf 'a\n' >"$DATA/one/a.txt"
printf 'b\n' >"$DATA/two/b.txt"
cp -a -- "$DATA" "$E2E_ROOT/before"

# refused NAME REASON ARGS...: status 2, REASON on stderr, nothing on stdout, no dialog.
refused() {
    local name=$1 reason=$2
    shift 2
    run_qor "$name" 2 "" "$@"
    expect_output "$name" err "$reason"
    expect_output "$name" out ""
    expect_transcript "$name" </dev/null
}

run_qor no-command 2 ""
head -n 1 "$E2E_ROOT/no-command.err" | grep -qx 'usage: qor COMMAND \[ARGS\]' ||
    fail "qor without a command shows no usage"
refused unknown "qor: unknown command frobnicate (try qor --help)" frobnicate
refused no-paths "qor: encrypt needs at least one path" encrypt
refused no-share-paths "qor: share-decrypt needs at least one path" share-decrypt
refused setup-args "qor: setup takes no arguments" setup now
refused status-args "qor: status takes no arguments" status now
refused open-none "qor: open takes exactly one file" open
refused open-two "qor: open takes exactly one file" open "$DATA/one/a.txt" "$DATA/two/b.txt"
refused two-folders \
    "qor: all items must lie in one folder ($DATA/one), but $DATA/two/b.txt does not" \
    encrypt "$DATA/one/a.txt" "$DATA/two/b.txt"
(cd "$DATA/one" && refused relative-folders \
    "qor: all items must lie in one folder ($DATA/one), but ../two/b.txt does not" \
    decrypt a.txt ../two/b.txt)
refused missing "qor: no such file or folder: $DATA/one/missing.txt" \
    encrypt "$DATA/one/a.txt" "$DATA/one/missing.txt"
refused root "qor: cannot select a whole drive or the root folder: /" encrypt /
refused open-missing "qor: no such file: $DATA/one/missing.!!!" open "$DATA/one/missing.!!!"
refused open-folder "qor: open takes a file, not a folder: $DATA/one" open "$DATA/one"

# Two items of one folder, given relative to it, are one selection (a dialog follows).
(cd "$DATA/one" && run_qor same-folder 0 'dialog "Encrypt" -> 2' encrypt a.txt ../one/a.txt)
expect_transcript same-folder <<<"dialog: Encrypt"

run_qor help 0 "" --help
head -n 1 "$E2E_ROOT/help.out" | grep -qx 'usage: qor COMMAND \[ARGS\]' || fail "no usage for --help"

# Without its core library beside it (or on the library path), qor says so: status 4.
mkdir -p "$E2E_ROOT/lonely"
cp "$BUILT_QOR" "$E2E_ROOT/lonely/qor"
QOR_UI="script:/dev/null" LD_LIBRARY_PATH='' "$E2E_ROOT/lonely/qor" status >/dev/null \
    2>"$E2E_ROOT/lonely.err"
expect_eq "$?" 4 "status of qor without its library"
expect_output lonely err "qor: cannot load libqorshell.so"

expect_eq "$(tree_of "$DATA")" "$(tree_of "$E2E_ROOT/before")" "files after refused commands"
checks_end
