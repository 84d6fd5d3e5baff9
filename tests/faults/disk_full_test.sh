#!/usr/bin/env bash
# The disk fills while a file is encrypted or decrypted. The shim lets the files of the data
# folder take a budget of bytes and then fails their writes (or their sync) the way a full disk
# does, reporting as free space what the budget still holds. Every time the user sees the
# message the product has for it, the file the user had stays byte-identical, and neither a
# partial output nor a temporary file remains.
source "$(dirname "$0")/lib.sh"

SOURCE=$DATA/big.dat
ENCRYPTED="$DATA/big(dat).!!!"
REF=$ROOT/big.ref
make_data "$REF" 8
MIB=$((1 << 20))

# The source in place (and nothing else in the folder) before each case.
fresh_source() {
    rm -rf -- "$DATA" && mkdir -p "$DATA" && cp -- "$REF" "$SOURCE"
}

# An encryption whose writes hit a fault: the one message, the source untouched, nothing else.
# WHAT MESSAGE-SUBSTRING EXPECTED-MESSAGE-LINE, with the shim's settings in the environment.
encrypt_fails() {
    local what=$1 answer=$2 expected=$3
    fresh_source
    run_qor "$what" "$ENCRYPT_DIALOG
message \"$answer\" -> OK" encrypt "$SOURCE"
    expect_eq "$RC" 0 "$what: exit status (failures are the dialogs' to report)"
    expect_eq "$(messages "$LOG")" "$expected" "$what: messages"
    expect_same "$SOURCE" "$REF"
    expect_listing "$DATA" big.dat
    [[ $CHECK_FAILURES -eq 0 ]] || show_run
}

decrypt_fails() {
    local what=$1 answer=$2 expected=$3
    rm -rf -- "$DATA" && mkdir -p "$DATA" && cp -- "$ROOT/big.enc" "$ENCRYPTED"
    run_qor "$what" "$DECRYPT_DIALOG
message \"$answer\" -> OK" decrypt "$ENCRYPTED"
    expect_eq "$RC" 0 "$what: exit status (failures are the dialogs' to report)"
    expect_eq "$(messages "$LOG")" "$expected" "$what: messages"
    expect_same "$ENCRYPTED" "$ROOT/big.enc"
    expect_listing "$DATA" "big(dat).!!!"
    [[ $CHECK_FAILURES -eq 0 ]] || show_run
}

no_space_encrypt="message: QOR Vaultis: Not enough disk space to encrypt \"$SOURCE\". [OK/Cancel]"
no_space_decrypt="message: QOR Vaultis: Not enough disk space to decrypt \"$ENCRYPTED\". [OK/Cancel]"

echo "== encryption: the disk fills after 3 MiB of the output"
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_BUDGET=$((3 * MIB)) QOR_FAULT_FREE=budget \
    QOR_FAULT_REPORT=$ROOT/written encrypt_fails "encrypt, disk full" \
    "Not enough disk space to encrypt" "$no_space_encrypt"
expect_eq "$(cat "$ROOT/written")" $((3 * MIB)) "bytes the output took before the disk was full"

echo "== encryption: the disk is full when the output is synced"
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_BUDGET=$MIB QOR_FAULT_SYNC=1 QOR_FAULT_FREE=budget \
    encrypt_fails "encrypt, full at sync" "Not enough disk space to encrypt" "$no_space_encrypt"

echo "== encryption: a write fails with room to spare"
# Free space that would hold the file: the message is about the failure, not about the disk.
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_BUDGET=$((2 * MIB)) QOR_FAULT_ERRNO=EIO \
    QOR_FAULT_FREE=$((1 << 40)) encrypt_fails "encrypt, write error" "Could not encrypt" \
    "message: QOR Vaultis: Could not encrypt \"$SOURCE\". [OK/Cancel]"

echo "== encryption: little free space reported, every write succeeds"
# The free space only chooses the message after a failure; it never refuses the work.
fresh_source
QOR_FAULT_FREE=4096 run_qor "encrypt, little space reported" "$ENCRYPT_DIALOG" encrypt "$SOURCE"
expect_eq "$RC" 0 "encrypt with little space reported: exit status"
expect_eq "$(messages "$LOG")" "" "encrypt with little space reported: messages"
expect_listing "$DATA" "big(dat).!!!"
[[ -f $ENCRYPTED ]] && cp -- "$ENCRYPTED" "$ROOT/big.enc"

echo "== decryption: the disk fills after 3 MiB of the plaintext"
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_BUDGET=$((3 * MIB)) QOR_FAULT_FREE=budget \
    QOR_FAULT_REPORT=$ROOT/written decrypt_fails "decrypt, disk full" \
    "Not enough disk space to decrypt" "$no_space_decrypt"
expect_eq "$(cat "$ROOT/written")" $((3 * MIB)) "bytes the plaintext took before the disk was full"

echo "== decryption: the disk is full when the plaintext is synced"
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_BUDGET=$MIB QOR_FAULT_SYNC=1 QOR_FAULT_FREE=budget \
    decrypt_fails "decrypt, full at sync" "Not enough disk space to decrypt" "$no_space_decrypt"

echo "== decryption: a write fails with room to spare"
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_BUDGET=$((2 * MIB)) QOR_FAULT_ERRNO=EIO \
    QOR_FAULT_FREE=$((1 << 40)) decrypt_fails "decrypt, write error" "Could not decrypt" \
    "message: QOR Vaultis: Could not decrypt  \"$ENCRYPTED\".  File may have been tampered with or encrypted by another person. [OK/Cancel]"

echo "== decryption with room again"
run_qor "decrypt" "$DECRYPT_DIALOG" decrypt "$ENCRYPTED"
expect_eq "$(messages "$LOG")" "" "decrypt: messages"
expect_same "$SOURCE" "$REF"
expect_listing "$DATA" big.dat

echo "== encryption: the disk fills while the source is overwritten"
# The encrypted file is complete and on the medium by then: the user is told that the original
# could not be zeroized, and it is deleted all the same.
fresh_source
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_BUDGET=$(($(stat -c %s "$ROOT/big.enc") + MIB)) \
    QOR_FAULT_FREE=budget run_qor "encrypt, full in overwrite" "$ENCRYPT_DIALOG
message \"Unable to zeroize\" -> OK" encrypt "$SOURCE"
expect_eq "$RC" 0 "encrypt, full in overwrite: exit status"
expect_eq "$(messages "$LOG")" \
    "message: QOR Vaultis: Unable to zeroize the original file \"$SOURCE\". [OK]" \
    "encrypt, full in overwrite: messages"
expect_listing "$DATA" "big(dat).!!!"
run_qor "decrypt after the overwrite failed" "$DECRYPT_DIALOG" decrypt "$ENCRYPTED"
expect_eq "$(messages "$LOG")" "" "decrypt after the overwrite failed: messages"
expect_same "$SOURCE" "$REF"
expect_listing "$DATA" big.dat

echo "== a full disk in a selection of two files: Cancel in the message ends the run"
fresh_source
cp -- "$REF" "$DATA/second.dat"
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_BUDGET=$MIB QOR_FAULT_FREE=budget \
    run_qor "encrypt two, cancel" "$ENCRYPT_DIALOG
message \"Not enough disk space to encrypt\" -> Cancel" encrypt "$SOURCE" "$DATA/second.dat"
expect_eq "$RC" 0 "encrypt two, cancel: exit status"
expect_eq "$(messages "$LOG")" "$no_space_encrypt" "encrypt two, cancel: messages"
expect_same "$SOURCE" "$REF"
expect_same "$DATA/second.dat" "$REF"
expect_listing "$DATA" big.dat second.dat

echo "== the same with OK: the run goes on to the second file, which fails the same way"
QOR_FAULT_PATH="$DATA/*" QOR_FAULT_BUDGET=$MIB QOR_FAULT_FREE=budget \
    run_qor "encrypt two, ok" "$ENCRYPT_DIALOG
message \"Not enough disk space to encrypt\" -> OK
message \"Not enough disk space to encrypt\" -> OK" encrypt "$SOURCE" "$DATA/second.dat"
expect_eq "$(messages "$LOG")" "$no_space_encrypt
message: QOR Vaultis: Not enough disk space to encrypt \"$DATA/second.dat\". [OK/Cancel]" \
    "encrypt two, ok: messages"
expect_same "$SOURCE" "$REF"
expect_same "$DATA/second.dat" "$REF"
expect_listing "$DATA" big.dat second.dat

checks_end
