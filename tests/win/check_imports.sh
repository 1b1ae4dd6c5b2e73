#!/usr/bin/env bash
# The Windows programs import only DLLs that every Windows installation has: nothing to ship
# beside them. usage: check_imports.sh OBJDUMP PROGRAM.exe...
set -uo pipefail
objdump=$1; shift
allowed='^(kernel32|ntdll|user32|gdi32|comctl32|shell32|advapi32|msvcrt|ws2_32|ole32|oleaut32|shlwapi|bcrypt|crypt32|api-ms-win-[a-z0-9-]+)\.dll$'
fail=0
for exe in "$@"; do
    dlls=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    [ -n "$dlls" ] || { echo "FAIL $exe: no imports found"; fail=1; continue; }
    bad=$(echo "$dlls" | grep -Ev "$allowed")
    if [ -n "$bad" ]; then echo "FAIL $(basename "$exe") imports: $bad"; fail=1
    else echo "ok   $(basename "$exe"): $(echo $dlls)"; fi
done
exit $fail
