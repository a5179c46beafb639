#!/usr/bin/env bash
# The engine (the recorder's rooms and the libraries under them) stands below the windows: no
# file of it includes the program's windows, their texts or the remembered choices, reads or
# writes the registry, or holds a sentence for the user in Chinese (the windows say those).
#   engine_layout_test.sh <source root>
set -u
cd "${1:?source root}" || exit 2
engine=(recorder sound codec avi mp4 io)
status=0
report() { echo "$1:"; printf '%s\n' "$2"; echo; status=1; }

found=$(grep -rnE '#include "(frame|panel|settings|controls|hook|skin)/' "${engine[@]}" \
  --include='*.h' --include='*.cpp')
[ -n "$found" ] && report "the engine includes the windows or the remembered choices" "$found"

found=$(grep -rnE '\bReg[A-Z][A-Za-z]+(Ex)?[AW]?\(|HKEY_|toolkit/settings\.h|tk::Settings' \
  "${engine[@]}" --include='*.h' --include='*.cpp')
[ -n "$found" ] && report "the engine touches the registry" "$found"

# A wide string literal holding a CJK ideograph or full-width punctuation, but for a name the
# engine looks for in what the system gives (a sound device's, say).
found=$(grep -rnP 'L"[^"\n]*[\x{3000}-\x{303F}\x{4E00}-\x{9FFF}\x{FF00}-\x{FFEF}]' \
  "${engine[@]}" --include='*.h' --include='*.cpp' | grep -vP '\.find\(L"')
[ -n "$found" ] && report "the engine formats sentences for the user" "$found"

[ $status -eq 0 ] && echo "the engine (${engine[*]}) stands below the windows and the registry"
exit $status
