#!/usr/bin/env bash
# Cancel pressed while a large file is encrypted or decrypted. The engine asks the progress
# dialog about once per 8 KiB piece (and once per 512-byte block while it overwrites a source),
# so "progress cancel-after=N" presses Cancel at a known point of the work. The shim only counts
# what reaches the data folder, which shows that the cancel came mid-way.
source "$(dirname "$0")/lib.sh"

MIB_COUNT=64
SOURCE=$DATA/large.dat
ENCRYPTED="$DATA/large(dat).!!!"
REF=$ROOT/large.ref
make_data "$REF" $MIB_COUNT
cp -- "$REF" "$SOURCE"
MIB=$((1 << 20))
# Pieces of 8144 bytes: the hook calls of the whole envelope, and a point a quarter into it.
PIECES=$(((MIB_COUNT * MIB + 8143) / 8144))
QUARTER=$((PIECES / 4))

# Bytes the data folder took: mid-way means more than an eighth and less than the whole.
expect_mid_way() {  # WHAT
    local written
    written=$(cat "$ROOT/written")
    if [[ $written -le $((MIB_COUNT * MIB / 8)) || $written -ge $((MIB_COUNT * MIB)) ]]; then
        fail "$1: $written bytes written before the cancel, expected a part of $((MIB_COUNT * MIB))"
    fi
}

echo "== encryption cancelled a quarter into the file"
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_REPORT=$ROOT/written run_qor "encrypt, cancel" \
    "$ENCRYPT_DIALOG
progress cancel-after=$QUARTER" encrypt "$SOURCE"
expect_eq "$RC" 0 "encrypt, cancel: exit status"
expect_eq "$(messages "$LOG")" "" "encrypt, cancel: messages"
expect_mid_way "encrypt, cancel"
expect_same "$SOURCE" "$REF"
expect_listing "$DATA" large.dat
[[ $CHECK_FAILURES -eq 0 ]] || show_run

echo "== cancel of the first of three files: the other two are not started"
printf 'first small file\n' >"$DATA/a.txt"
printf 'second small file\n' >"$DATA/b.txt"
run_qor "encrypt three, cancel" "$ENCRYPT_DIALOG
progress cancel-after=$QUARTER" encrypt "$SOURCE" "$DATA/a.txt" "$DATA/b.txt"
expect_eq "$RC" 0 "encrypt three, cancel: exit status"
expect_eq "$(messages "$LOG")" "" "encrypt three, cancel: messages"
expect_same "$SOURCE" "$REF"
expect_listing "$DATA" a.txt b.txt large.dat
rm -f -- "$DATA/a.txt" "$DATA/b.txt"

echo "== cancel while the source is overwritten: the encrypted file stands, the source goes"
# The overwrite does not listen to Cancel: with the encrypted copy complete and on the medium,
# stopping half-way would leave a half-destroyed plaintext beside it.
run_qor "encrypt, cancel in overwrite" "$ENCRYPT_DIALOG
progress cancel-after=$((PIECES + MIB_COUNT * MIB / 512 / 2))" encrypt "$SOURCE"
expect_eq "$RC" 0 "encrypt, cancel in overwrite: exit status"
expect_eq "$(messages "$LOG")" "" "encrypt, cancel in overwrite: messages"
expect_listing "$DATA" "large(dat).!!!"
[[ $CHECK_FAILURES -eq 0 ]] || show_run
cp -- "$ENCRYPTED" "$ROOT/large.enc"

echo "== decryption cancelled a quarter into the file"
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_REPORT=$ROOT/written run_qor "decrypt, cancel" \
    "$DECRYPT_DIALOG
progress cancel-after=$QUARTER" decrypt "$ENCRYPTED"
expect_eq "$RC" 0 "decrypt, cancel: exit status"
expect_eq "$(messages "$LOG")" "" "decrypt, cancel: messages"
expect_mid_way "decrypt, cancel"
expect_same "$ENCRYPTED" "$ROOT/large.enc"
expect_listing "$DATA" "large(dat).!!!"
[[ $CHECK_FAILURES -eq 0 ]] || show_run

echo "== decryption to the end"
run_qor "decrypt" "$DECRYPT_DIALOG" decrypt "$ENCRYPTED"
expect_eq "$(messages "$LOG")" "" "decrypt: messages"
expect_same "$SOURCE" "$REF"
expect_listing "$DATA" large.dat

checks_end
