#!/usr/bin/env bash
# Installs the newest dist/kavor-cen_*.deb into a throwaway root, checks the installed
# program and menu entry, and removes it again leaving no file behind. For CI.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(ls -t dist/kavor-cen_*.deb | head -n1)
version=$(sed -n 's/^project(KavorCen VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
admin=$root/var/lib/dpkg
mkdir -p "$admin/updates" "$admin/info"
touch "$admin/status" "$admin/available"
# The throwaway root holds no other package: its dependencies are the host's libraries.
dpkg=(dpkg --instdir="$root" --admindir="$admin" --force-not-root --force-script-chrootless --force-depends)

out=$("${dpkg[@]}" -i "$deb" 2>&1) || { echo "$out"; exit 1; }
got=$("$root/usr/bin/kavor-cen" --version)
[ "$got" = "kavor-cen $version" ] || { echo "check_package: --version printed '$got'"; exit 1; }
entry=$(ls "$root"/usr/share/applications/*.desktop)
exec_path=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ -x "$root$exec_path" ] || { echo "check_package: menu command $exec_path missing"; exit 1; }
grep -q "^exec \"/usr/bin/kavor-cen\"" "$root$exec_path" || { echo "check_package: $exec_path does not start kavor-cen"; exit 1; }
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || { echo "check_package: icon $icon missing"; exit 1; }

out=$("${dpkg[@]}" -r kavor-cen 2>&1) || { echo "$out"; exit 1; }
left=$(find "$root" -path "$admin" -prune -o \( -type f -o -type l \) -print)
[ -z "$left" ] || { echo "check_package: left behind:"; echo "$left"; exit 1; }
echo "check_package: $deb installs ($got, menu entry runs $exec_path) and removes cleanly"
