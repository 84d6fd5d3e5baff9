#!/usr/bin/env bash
# Names of encrypted files: report.doc becomes report(doc).!!!, a second report.doc becomes
# report(doc)2.!!!, and each decrypts to the name stored inside it, in its own folder; a name
# already taken is only replaced when the user says so.
source "$(dirname "$0")/lib.sh"

e2e_setup_user
D=$DATA/names
mkdir -p "$D"
printf 'first report\n' >"$E2E_ROOT/first"
printf 'second report, longer\n' >"$E2E_ROOT/second"
printf 'third\n' >"$E2E_ROOT/third"

cp "$E2E_ROOT/first" "$D/report.doc"
run_qor first 0 "$ENCRYPT_OK" encrypt "$D/report.doc"
cp "$E2E_ROOT/second" "$D/report.doc"
run_qor second 0 "$ENCRYPT_OK" encrypt "$D/report.doc"
cp "$E2E_ROOT/third" "$D/report.doc"
run_qor third 0 "$ENCRYPT_OK" encrypt "$D/report.doc"
expect_tree "$D" <<'TEXT'
report(doc).!!!
report(doc)2.!!!
report(doc)3.!!!
TEXT
for run in first second third; do
    expect_transcript $run <<<$'dialog: Encrypt\ndialog: Encrypting'
done

run_qor first-back 0 "$DECRYPT_OK" decrypt "$D/report(doc).!!!"
expect_same "$D/report.doc" "$E2E_ROOT/first"
expect_tree "$D" <<'TEXT'
report(doc)2.!!!
report(doc)3.!!!
report.doc
TEXT

# report(doc)2.!!! holds the name report.doc, which is taken: declining leaves both files.
run_qor decline 0 "$DECRYPT_OK
message \"already exists\" -> No" decrypt "$D/report(doc)2.!!!"
expect_transcript decline <<TEXT
dialog: Decrypt
dialog: Decrypting
message: QOR Vaultis: "$D/report.doc" already exists.  Overwrite this file? [Yes/No]
TEXT
expect_same "$D/report.doc" "$E2E_ROOT/first"
expect_tree "$D" <<'TEXT'
report(doc)2.!!!
report(doc)3.!!!
report.doc
TEXT

# Moved to another folder and renamed, it still decrypts to report.doc beside itself.
mkdir -p "$D/elsewhere"
mv "$D/report(doc)2.!!!" "$D/elsewhere/renamed.!!!"
run_qor moved 0 "$DECRYPT_OK" decrypt "$D/elsewhere/renamed.!!!"
expect_same "$D/elsewhere/report.doc" "$E2E_ROOT/second"
expect_absent "$D/elsewhere/renamed.!!!"

# Agreeing replaces the file.
run_qor replace 0 "$DECRYPT_OK
message \"already exists\" -> Yes" decrypt "$D/report(doc)3.!!!"
expect_same "$D/report.doc" "$E2E_ROOT/third"
expect_tree "$D" <<'TEXT'
elsewhere/report.doc
report.doc
TEXT

# Only the file's own name counts: a dot in a folder's name is left alone, a name without a dot
# keeps its name, and file sharing uses ".s!!".
mkdir -p "$DATA/my.data"
printf 'readme\n' >"$DATA/my.data/README"
run_qor no-dot 0 "$ENCRYPT_OK" encrypt "$DATA/my.data"
expect_tree "$DATA/my.data" <<<"README.!!!"
cp "$E2E_ROOT/first" "$D/share.doc"
run_qor share-name 0 'dialog "File Sharing - Encryption": 1044="onetime1" 1045="onetime1" 1049=1 -> 1' \
    share-encrypt "$D/share.doc"
expect_file "$D/share(doc).s!!"
expect_absent "$D/share.doc"
expect_eq "$(find "$DATA" -name '~fs*' | wc -l)" 0 "temporary files left"
checks_end
