#!/usr/bin/env bash
# First use: before setup nothing works and `qor status` says so; `qor setup` runs the setup
# dialogs, writes the preference file into the installed home folder, and `qor status` agrees.
source "$(dirname "$0")/lib.sh"

e2e_install
run_qor status-before 1 "" status
expect_output status-before out "not set up"
expect_transcript status-before </dev/null

# Without a preference file an operation is refused with what to do (a file manager grays it),
# without a dialog and with nothing touched.
echo "untouched" >"$DATA/letter.txt"
run_qor encrypt-before 1 "" encrypt "$DATA/letter.txt"
expect_output encrypt-before err "qor: QOR Vaultis is not set up for this user yet: run qor setup first"
expect_transcript encrypt-before </dev/null
expect_tree "$DATA" <<<"letter.txt"

run_qor setup 0 "$SETUP_SCENARIO" setup
expect_transcript setup <<<"$SETUP_TRANSCRIPT"
expect_output setup out ""
expect_output setup err ""
expect_file "$QOR_HOME/userpref.!!!"
grep -qF '"UserHomeDir"="'"$QOR_HOME"'"' "$QOR_REGISTRY" || fail "the registry names no home folder"

run_qor status-after 0 "" status
expect_output status-after out "set up"
expect_transcript status-after </dev/null

# The preference file holds the key wrapped under the password, never the password itself.
expect_no_secrets "$QOR_HOME/userpref.!!!"
checks_end
