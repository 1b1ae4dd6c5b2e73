#!/usr/bin/env bash
# The launcher's resources: dialog template 102 as laid out (dialog units, styles, texts),
# icon group 128 with five images, and a manifest asking for common controls 6 at the
# invoker's level. usage: check_resources.sh WINDRES quillet-offline.exe
set -uo pipefail
rc=$("$1" --input "$2" --output-format rc 2>/dev/null)
fail=0
expect() {  # expect DESCRIPTION PATTERN
    if grep -qE "$2" <<< "$rc"; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi
}
expect "dialog 102, 309 x 49 dialog units" '^102 DIALOGEX 0, 0, 309, 49'
expect "dialog caption" '^CAPTION "Quillet Offline Publication"'
expect "shell font 8 pt" '^FONT 8, "MS Shell Dlg"'
# popup, visible, caption, modal frame, shell font; no system menu (no close button)
expect "dialog styles" '^STYLE 0x90c000c8$'
expect "taskbar button (WS_EX_APPWINDOW)" '^EXSTYLE 0x40000$'
# child, visible, group, left-aligned
expect "static text at 7,7 156x8" 'LTEXT "Preparing publication. Please Wait...", -1, 7, 7, 156, 8, 0x50020000'
# child, visible, border, smooth
expect "progress bar 1000 at 36,20 249x14" 'CONTROL "", 1000, "(msctls|MSCTLS)_(progress|PROGRESS)32", 0x50800001, 36, 20, 249, 14'
expect "icon group 128" '^128 14 '
[ "$(grep -cE '^[0-9]+ 3 ' <<< "$rc")" -eq 5 ] && echo "ok   five icon images" || { echo "FAIL five icon images"; fail=1; }
expect "common controls 6 in the manifest" 'Microsoft.Windows.Common-Controls'
expect "runs at the invoker's level" 'asInvoker'
exit $fail
