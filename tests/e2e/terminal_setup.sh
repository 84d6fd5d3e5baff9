#!/usr/bin/env bash
# A newcomer at a terminal (a pseudo-terminal here): qor setup is answered as a person types it.
# Tab leaves the name for the choices, where the password label's underlined letter picks its
# field; Enter takes the user on to the confirmation and then presses OK; the seeding's
# percentage moves on the typed line while the keys arrive.
source "$(dirname "$0")/lib.sh"

command -v script >/dev/null || { echo "script(1) is not installed: skipped"; exit 0; }
e2e_install
typescript=$E2E_ROOT/tty.typescript
: >"$typescript"

# waits (at most 10 s) until TEXT has appeared COUNT times on the terminal
shown_times() {
    local text=$1 count=${2:-1} k
    for ((k = 0; k < 100; k++)); do
        (($(tr -d '\r' <"$typescript" | grep -cF -- "$text") >= count)) && return 0
        sleep 0.1
    done
    fail "the terminal never showed \"$text\" ($count times)"
    return 1
}

{
    shown_times "Choose 1-1" && printf '\r'
    shown_times "== Random Seeding ==" && sleep 0.2
    for _ in $(seq 40); do
        printf 'qwertyuiop'
        sleep 0.05
    done
    shown_times "Done with random seeding." && printf '\r'
    # The form underlines each choice's letter, so only the prompts show the labels whole.
    shown_times "Enter your user name:" && printf 'Bob\t'
    # Tab left the name for the choices: P, the password label's underlined letter, goes there.
    shown_times "Choose 1-5, Enter = OK" && sleep 0.2 && printf 'P'
    shown_times "Enter your user password:" && printf 'secret1\r'
    shown_times "confirm it:" && printf 'secret1\r'
    shown_times "Insert diskette" && sleep 0.2 && printf '3\r'
    shown_times "will not be backed up" && printf '\r'
    shown_times "setup is now complete" && printf '\r'
    sleep 0.5
} | QOR_UI=tty script -qfec "$QOR setup" "$typescript" >/dev/null 2>&1

screen=$(tr -d '\r' <"$typescript")
grep -qF "[Percent Done: 50%] > " <<<"$screen" || fail "the seeding's percentage did not move"
grep -qF "(Enter = next field, Tab = choices, Esc = Cancel)" <<<"$screen" ||
    fail "the setup's fields were not asked one after the other"
grep -qF $' 2) Enter your user \e[4mp\e[24massword: ' <<<"$screen" ||
    fail "the password's letter is not underlined in the form"
grep -qF "Choose 1-5, Enter = OK, Esc = Cancel: P" <<<"$screen" ||
    fail "the letter typed at the choices was not taken"
grep -qF "QOR Vaultis setup is now complete." <<<"$screen" || fail "the setup did not complete"
grep -qF "secret1" <<<"$screen" && fail "the password shows on the terminal"
run_qor status 0 "" status
expect_output status out "set up"
checks_end
