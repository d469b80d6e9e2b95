#!/usr/bin/env bash
# Fails unless the exe imports only DLLs that ship with every Windows.
set -euo pipefail
objdump=$1 exe=$2
allowed='^(kernel32|user32|gdi32|winmm|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|msvcrt|ntdll|ws2_32|version|imm32|uxtheme|dwmapi|api-ms-win-[a-z0-9-]+)\.dll$'
bad=0
while read -r dll; do
  echo "imports $dll"
  if ! [[ ${dll,,} =~ $allowed ]]; then echo "NOT A SYSTEM DLL: $dll"; bad=1; fi
done < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
exit $bad
