# shellcheck shell=bash disable=SC2034  # settings used by the sourcing test scripts
# Shared by the tests of the small programs, after lib.sh: the emulated registry read and
# written from the shell, and a recorder that stands in for the commands that end the session
# and open files, so that no test ends anyone's session.

REGISTRY_RUN='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
REGISTRY_RUNONCE='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce'
REGISTRY_PRODUCT='HKEY_LOCAL_MACHINE\SOFTWARE\QOR Data Security\QOR Vaultis\1.1'
REGISTRY_COMMANDS='HKEY_LOCAL_MACHINE\SOFTWARE\QOR Data Security\QOR Vaultis\1.1\Commands'
REGISTRY_HOME='HKEY_CLASSES_ROOT\CLSID\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\QOR'

# reg_value KEY NAME: the text of a string value (escapes undone), or <missing>. Key and value
# names compare without regard to case, as the registry compares them.
reg_value() {
    # Through the environment: awk -v would take the key's backslashes as escapes.
    REG_KEY="[$1]" REG_NAME="\"$2\"=" awk '
        BEGIN { key = ENVIRON["REG_KEY"]; name = ENVIRON["REG_NAME"] }
        /^\[/ { inside = (tolower($0) == tolower(key)); next }
        inside && index(tolower($0), tolower(name)) == 1 {
            value = substr($0, length(name) + 1)
            if (value !~ /^".*"$/) next
            value = substr(value, 2, length(value) - 2)
            gsub(/\\\\/, "\001", value); gsub(/\\"/, "\"", value); gsub(/\001/, "\\", value)
            print value; found = 1; exit
        }
        END { if (!found) print "<missing>" }' "$QOR_REGISTRY" 2>/dev/null || echo "<missing>"
}

expect_reg() {  # KEY NAME EXPECTED
    expect_eq "$(reg_value "$1" "$2")" "$3" "registry value $2"
}

# A string as REGEDIT4 writes it between its quotes.
reg_escape() {
    local text=${1//\\/\\\\}
    printf '%s' "${text//\"/\\\"}"
}

# reg_section KEY NAME=VALUE...: appends a key with its string values to the registry file.
reg_section() {
    local key=$1 pair
    shift
    [[ -s $QOR_REGISTRY ]] || printf 'REGEDIT4\n' >"$QOR_REGISTRY"
    printf '\n[%s]\n' "$key" >>"$QOR_REGISTRY"
    for pair in "$@"; do
        printf '"%s"="%s"\n' "$(reg_escape "${pair%%=*}")" "$(reg_escape "${pair#*=}")" \
            >>"$QOR_REGISTRY"
    done
}

# The recorder: each call appends its arguments as one line to $SESSION_LOG and exits with the
# status in $SESSION_STATUS (0 when that file is missing). The registry names it for every way
# of ending the session and as the opener of files.
SESSION_LOG=$E2E_ROOT/session.log
SESSION_STATUS=$E2E_ROOT/session.status
RECORDER=$E2E_ROOT/recorder
cat >"$RECORDER" <<SCRIPT
#!/bin/sh
printf '%s\n' "\$*" >>'$SESSION_LOG'
[ -f '$SESSION_STATUS' ] && exit "\$(cat '$SESSION_STATUS')"
exit 0
SCRIPT
chmod +x "$RECORDER"

use_recorder() {
    reg_section "$REGISTRY_COMMANDS" "Shutdown='$RECORDER' shutdown" "Reboot='$RECORDER' reboot" \
        "Logoff='$RECORDER' logoff" "Open='$RECORDER' open"
}

# The recorder's lines so far, or "" when it never ran.
recorded() {
    [[ -f $SESSION_LOG ]] && cat -- "$SESSION_LOG"
}

# wait_recorded EXPECTED: the opener is not waited for; give it up to 5 s to write its line.
wait_recorded() {
    local k
    for ((k = 0; k < 50; k++)); do
        [[ $(recorded) == "$1" ]] && return
        sleep 0.1
    done
    expect_eq "$(recorded)" "$1" "recorded commands"
}

# run_program NAME STATUS SCENARIO PROGRAM [ARGS...]: as run_qor, for any of the programs.
run_program() {
    local name=$1 want=$2 scenario=$3 program=$4
    shift 4
    printf '%s\n' "$scenario" >"$E2E_ROOT/$name.scenario"
    rm -f -- "$E2E_ROOT/$name.log"
    QOR_UI="script:$E2E_ROOT/$name.scenario" QOR_UI_LOG="$E2E_ROOT/$name.log" \
        "$program" "$@" </dev/null >"$E2E_ROOT/$name.out" 2>"$E2E_ROOT/$name.err"
    local got=$?
    if [[ $got != "$want" ]]; then
        fail "$name: ${program##*/} $* ended with status $got, expected $want"
        sed 's/^/    stderr: /' "$E2E_ROOT/$name.err" >&2
    fi
    touch -- "$E2E_ROOT/$name.log"
    expect_no_secrets "$E2E_ROOT/$name.log" "$E2E_ROOT/$name.out" "$E2E_ROOT/$name.err"
}
