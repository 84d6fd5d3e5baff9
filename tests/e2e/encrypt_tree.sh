#!/usr/bin/env bash
# A folder tree encrypted and decrypted again with the user's own key: which files are refused
# (with their messages), which are skipped silently, the output names, and a round trip that
# restores content, permissions and modification times and leaves nothing behind.
source "$(dirname "$0")/lib.sh"

e2e_setup_user
T=$DATA/tree
mkdir -p "$T/a/b/c" "$T/skip"
head -c 70000 /dev/urandom >"$T/a/b/c/deep.bin.txt"   # several stream buffers, a dotted name
printf 'MARKER plain text\n' >"$T/plain.txt"
printf 'MARKER with spaces\n' >"$T/my report (final).doc"
: >"$T/empty.dat"
printf 'ab\n' >"$T/ab"                                   # too short a name to be a program type
printf 'MARKER dot-name\n' >"$T/a/.hidden"              # hidden on Linux
printf 'MARKER read-only\n' >"$T/a/readonly.txt"
chmod 0444 "$T/a/readonly.txt"
printf 'MARKER owner only\n' >"$T/a/private.txt"
chmod 0600 "$T/a/private.txt"
printf 'MARKER group\n' >"$T/a/group.txt"
chmod 0640 "$T/a/group.txt"
ln -s plain.txt "$T/link.txt"                            # links are system entries, never followed
mkfifo "$T/a/fifo"
# Program and system types, in either case of their last three characters.
for type in exe COM bat dll sys Ini bin drv ovl grp 'e!!' 'U!!' pif ico 386 cfg fon ttf fot vbx; do
    printf 'MARKER %s\n' "$type" >"$T/skip/prog.$type"
done
# The product's own files, and files already encrypted (these are not real encrypted files).
printf 'own\n' >"$T/skip/decexe"
printf 'own\n' >"$T/skip/USERPREF.!!!"
printf 'not really\n' >"$T/skip/old.!!!"
printf 'not really\n' >"$T/skip/old.s!!"
printf 'not really\n' >"$T/skip/old.S!!"
touch -d '2001-02-03 04:05:06.1234567' "$T/plain.txt"
touch -d '1999-12-31 23:59:59' "$T/a/private.txt"
cp -a -- "$T" "$E2E_ROOT/original"

# Cancelling the dialog encrypts nothing.
run_qor cancel 0 'dialog "Encrypt": 1022="secret1" -> 2' encrypt "$T"
expect_transcript cancel <<<"dialog: Encrypt"
expect_eq "$(tree_of "$T")" "$(tree_of "$E2E_ROOT/original")" "files after a cancelled dialog"

# Only excluded, own and already encrypted files: the run shows nothing at all.
run_qor silent 0 "$ENCRYPT_OK" encrypt "$T/skip"
expect_transcript silent <<'TEXT'
dialog: Encrypt
dialog: Encrypting
TEXT
expect_eq "$(tree_of "$T")" "$(tree_of "$E2E_ROOT/original")" "files after a run over skipped files"

# The whole tree; each refusal offers OK and Cancel, and OK goes on with the next file.
run_qor encrypt 0 "$ENCRYPT_OK
message \"hidden file.\" -> OK
message \"system file.\" -> OK
message \"Read only file.\" -> OK
message \"system file.\" -> OK" encrypt "$T"
expect_transcript encrypt <<TEXT
dialog: Encrypt
dialog: Encrypting
message: QOR Vaultis: Cannot encrypt "$T/a/.hidden": hidden file. [OK/Cancel]
message: QOR Vaultis: Cannot encrypt "$T/a/fifo": system file. [OK/Cancel]
message: QOR Vaultis: Cannot encrypt "$T/a/readonly.txt": Read only file. [OK/Cancel]
message: QOR Vaultis: Cannot encrypt "$T/link.txt": system file. [OK/Cancel]
TEXT
expect_tree "$T" <<'TEXT'
a/.hidden
a/b/c/deep.bin(txt).!!!
a/fifo
a/group(txt).!!!
a/private(txt).!!!
a/readonly.txt
ab.!!!
empty(dat).!!!
link.txt
my report (final)(doc).!!!
plain(txt).!!!
skip/USERPREF.!!!
skip/decexe
skip/old.!!!
skip/old.S!!
skip/old.s!!
skip/prog.386
skip/prog.COM
skip/prog.Ini
skip/prog.U!!
skip/prog.bat
skip/prog.bin
skip/prog.cfg
skip/prog.dll
skip/prog.drv
skip/prog.e!!
skip/prog.exe
skip/prog.fon
skip/prog.fot
skip/prog.grp
skip/prog.ico
skip/prog.ovl
skip/prog.pif
skip/prog.sys
skip/prog.ttf
skip/prog.vbx
TEXT
# Refused and skipped files are untouched; no plaintext shows in an encrypted file, and every
# one ends in the 35-byte local trailer (its own length, 23 00).
for kept in a/.hidden a/readonly.txt skip/prog.exe skip/old.!!! skip/decexe; do
    expect_same "$T/$kept" "$E2E_ROOT/original/$kept"
done
while IFS= read -r -d '' encrypted; do
    grep -q MARKER "$encrypted" && fail "plaintext visible in $encrypted"
    expect_eq "$(tail -c 2 "$encrypted" | od -An -tx1 | tr -d ' ')" "2300" "trailer end of $encrypted"
done < <(find "$T" -name '*(*).!!!' -print0)
expect_eq "$(mtime_of "$T/plain(txt).!!!")" "2001-02-03 04:05:06.123456700 +0000" \
    "the encrypted file carries the source's modification time"
expect_eq "$(mode_of "$T/a/private(txt).!!!")" 600 "permissions of the encrypted private.txt"

# Decryption over the tree: the damaged ".!!!" file is reported, the ".s!!" files get one
# notice for the whole run, an encrypted file made read-only is refused.
chmod 0444 "$T/a/group(txt).!!!"
run_qor decrypt 0 "$DECRYPT_OK
message \"Read only file.\" -> OK
message \"tampered with\" -> OK
message \"will not be decrypted\" -> OK" decrypt "$T"
expect_transcript decrypt <<TEXT
dialog: Decrypt
dialog: Decrypting
message: QOR Vaultis: Cannot decrypt $T/a/group(txt).!!!: Read only file. [OK/Cancel]
message: QOR Vaultis: Could not decrypt  "$T/skip/old.!!!".  File may have been tampered with or encrypted by another person. [OK/Cancel]
message: QOR Vaultis: Files with the .s!* extenstions will not be decrypted. To decrypt these files, please chose "Decrypt" under the File Sharing menu item. [OK]
TEXT
expect_file "$T/a/group(txt).!!!"
expect_absent "$T/a/group.txt"
chmod 0640 "$T/a/group(txt).!!!"
run_qor decrypt-one 0 "$DECRYPT_OK" decrypt "$T/a/group(txt).!!!"
expect_transcript decrypt-one <<'TEXT'
dialog: Decrypt
dialog: Decrypting
TEXT

# Back to the original: the same files, byte for byte, with their permissions and times.
expect_eq "$(tree_of "$T")" "$(tree_of "$E2E_ROOT/original")" "files after decryption"
while IFS= read -r name; do
    [[ -f $E2E_ROOT/original/$name && ! -L $E2E_ROOT/original/$name ]] || continue
    expect_same "$T/$name" "$E2E_ROOT/original/$name"
    expect_eq "$(mode_of "$T/$name")" "$(mode_of "$E2E_ROOT/original/$name")" "permissions of $name"
done < <(tree_of "$E2E_ROOT/original")
# File times are kept to the 100 ns of their on-disk form.
expect_eq "$(mtime_of "$T/plain.txt")" "2001-02-03 04:05:06.123456700 +0000" "time of plain.txt"
for name in a/private.txt a/b/c/deep.bin.txt empty.dat "my report (final).doc"; do
    expect_eq "$(stat -c %Y "$T/$name")" "$(stat -c %Y "$E2E_ROOT/original/$name")" "time of $name"
done
expect_eq "$(find "$T" -name '~fs*' | wc -l)" 0 "temporary files left"
checks_end
