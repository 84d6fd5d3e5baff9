# shellcheck shell=bash disable=SC2034  # settings used by the sourcing scripts
# Checks shared by the shell tests of the built programs (tests/e2e, tests/faults): a failed
# check is reported and counted and the test goes on; checks_end ends the test with the count.
CHECK_FAILURES=0

fail() {
    echo "FAIL: $*" >&2
    CHECK_FAILURES=$((CHECK_FAILURES + 1))
}

# Ends the test: status 0 when every check passed, else 1.
checks_end() {
    if [[ $CHECK_FAILURES -gt 0 ]]; then
        echo "$CHECK_FAILURES check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
    exit 0
}

expect_eq() {  # ACTUAL EXPECTED WHAT
    [[ $1 == "$2" ]] || fail "$3: got '$1', expected '$2'"
}

expect_same() {  # ACTUAL EXPECTED: present and byte-identical
    if [[ ! -f $1 ]]; then
        fail "missing file: $1"
    elif ! cmp -s -- "$1" "$2"; then
        fail "content differs: $1 (expected that of $2)"
    fi
}

# The answers of the first-time setup of the user Alice with the password secret1: the welcome
# page, random seeding, name and password, no backup diskette.
SETUP_SCENARIO='dialog "QOR Vaultis" -> 1
dialog "Random Seeding": events=300
message "Done with random seeding." -> OK
dialog "QOR Vaultis": "Enter your user &name:"="Alice" "Enter your user &password:"="secret1" "Enter the password again to &confirm it:"="secret1" -> 1
dialog "QOR Vaultis" -> 2
message "will not be backed up" -> OK
message "QOR Vaultis setup is now complete." -> OK'
