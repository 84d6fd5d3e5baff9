#!/usr/bin/env bash
# qor-install.exe under Wine, into a home folder with a blank in its name: the programs under
# the names the product gives them, every registry value the product relies on (the start-up
# program's Run value quoted), the Explorer class where the shell library registers one, and the
# file association of ".!!!" and ".s!!". A log-on (wineboot) starts the start-up program from
# the Run value, which makes the Start-menu link. Then the uninstall: uninstall.exe schedules the
# remover, the next log-on runs it once, and nothing of the product is left in the registry; the
# user's preference file stays.
source "$(dirname "$0")/wine_lib.sh"

KEY_CLASS='HKCR\CLSID\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}'
HOME_DIR="$ROOT/my home"
WIN_HOME=$(winpath "$HOME_DIR")
install_product
PLACED=(associat.exe decexe qor-install.exe qorsec95.dll qorshell.dll shutdwn.exe uninstall.exe
    vodorura.rar)
# The command-line programs go in too where the build made them.
for name in qor.exe qor-call.exe; do [[ -f $BIN/$name ]] && PLACED+=("$name"); done
for name in "${PLACED[@]}"; do
    expect_same "$HOME_DIR/$name" "$BIN/$name"
done
expect_eq "$(tr -d '\r' <"$HOME_DIR/installed.lst" | LC_ALL=C sort | tr '\n' ' ')" \
    "$(printf '%s\n' "${PLACED[@]}" | LC_ALL=C sort | tr '\n' ' ')" "the install's manifest"

# The values every part of the product reads.
expect_reg "$KEY_HOME" UserHomeDir "$WIN_HOME"
expect_reg "$KEY_RUN" "QOR Autocrypt" "\"$WIN_HOME\\vodorura.rar\""
expect_reg "$KEY_PRODUCT" UninstallString \
    "\"$WIN_HOME\\qor-install.exe\" --uninstall --home \"$WIN_HOME\""
# The double-click: each suffix names a class whose open command starts associat.exe with the
# file's path as one argument.
OPEN="\"$WIN_HOME\\associat.exe\" \"%1\""
for suffix in '.!!!' '.s!!'; do
    class=$(reg_value "HKCR\\$suffix" "")
    [[ $class != "<missing>" && -n $class ]] || fail "$suffix names no class"
    expect_reg "HKCR\\$class\\shell\\open\\command" "" "$OPEN"
done
# The list of installed apps: the product, its folder, and uninstall.exe to remove it.
KEY_APPS='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\QOR Vaultis'
expect_reg "$KEY_APPS" DisplayName "QOR Vaultis"
expect_reg "$KEY_APPS" Publisher "QOR Data Security"
expect_reg "$KEY_APPS" InstallLocation "$WIN_HOME"
expect_reg "$KEY_APPS" UninstallString "\"$WIN_HOME\\uninstall.exe\""
# The Explorer class is the shell library's to register: where it does, it names this home's
# library, with the context menu of files and folders and the encrypted files' icons; where it
# cannot, the install says so and goes on.
CLASS_ID='{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}'
if reg_key_exists "$KEY_CLASS\\InprocServer32"; then
    expect_reg "$KEY_CLASS\\InprocServer32" "" "$WIN_HOME\\qorshell.dll"
    for kind in '*' Directory; do
        expect_reg "HKCR\\$kind\\shellex\\ContextMenuHandlers\\QOR Vaultis" "" "$CLASS_ID"
    done
    for suffix in '.!!!' '.s!!'; do
        expect_reg "HKCR\\$(reg_value "HKCR\\$suffix" "")\\shellex\\IconHandler" "" "$CLASS_ID"
    done
else
    grep -qF "qorshell.dll registers no Explorer menu (no DllRegisterServer)" "$ROOT/install.out" ||
        fail "no Explorer class, and the install did not say why"
fi

# The log-on: Windows (here wineboot) starts the Run value's command, a program called
# vodorura.rar, by its quoted path; it makes the Start-menu link and waits for the session's end.
START_MENU=$(wine_run winepath -u "$(reg_value "$KEY_SHELL_FOLDERS" "Start Menu")" 2>/dev/null)
LINK="$START_MENU/QOR Encrypt and Shut Down....lnk"
rm -f -- "$LINK"
wine_run wineboot >/dev/null 2>&1
expect_eq "$(wine_run "$HELPERS/session_driver.exe" end | tr -d '\r')" "1" \
    "the start-up program agrees to the end of the session"
for ((k = 0; k < 50; k++)); do [[ -f $LINK ]] && break; sleep 0.1; done
expect_file "$LINK"

# The uninstall: the remover runs once at the next log-on.
use_recorder
printf 'prefs\n' >"$HOME_DIR/userpref.!!!"
run_program uninstall 0 'message "Are you sure you want to uninstall" -> Yes
message "Please wait while Windows restarts." -> OK' "$HOME_DIR/uninstall.exe"
expect_eq "$(recorded)" "logoff" "the uninstall's session end"
expect_reg "$KEY_RUN" "QOR Autocrypt" ""
expect_reg "$KEY_RUNONCE" QOR_UNINSTALL \
    "\"$WIN_HOME\\qor-install.exe\" --uninstall --home \"$WIN_HOME\""
wine_run wineboot >/dev/null 2>&1
for ((k = 0; k < 100; k++)); do
    [[ $(reg_value "$KEY_HOME" UserHomeDir) == "<missing>" ]] && break
    sleep 0.1
done
INSTALLED=0
expect_reg "$KEY_RUNONCE" QOR_UNINSTALL "<missing>"
expect_reg "$KEY_HOME" UserHomeDir "<missing>"
expect_reg "$KEY_RUN" "QOR Autocrypt" "<missing>"
expect_reg "$KEY_PRODUCT" UninstallString "<missing>"
for suffix in '.!!!' '.s!!'; do
    class=$(reg_value "HKCR\\$suffix" "")
    [[ $class == "<missing>" ]] || expect_reg "HKCR\\$class\\shell\\open\\command" "" "<missing>"
done
reg_key_exists "HKCR\\QORVaultis.Encrypted" && fail "the file class is still registered"
reg_key_exists "$KEY_CLASS\\InprocServer32" && fail "the Explorer class is still registered"
for key in 'HKCR\.!!!' 'HKCR\.s!!' 'HKCR\*\shellex\ContextMenuHandlers\QOR Vaultis' \
    'HKCR\Directory\shellex\ContextMenuHandlers\QOR Vaultis' "$KEY_APPS"; do
    reg_key_exists "$key" && fail "still in the registry: $key"
done
expect_absent "$LINK"
# The remover cannot delete itself while it runs: it goes at the next start.
for name in "${PLACED[@]}" installed.lst; do
    [[ $name == qor-install.exe ]] || expect_absent "$HOME_DIR/$name"
done
expect_file "$HOME_DIR/qor-install.exe"
wine_run wineboot --restart >/dev/null 2>&1
expect_absent "$HOME_DIR/qor-install.exe"
expect_file "$HOME_DIR/userpref.!!!"
checks_end
