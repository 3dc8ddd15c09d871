#!/usr/bin/env bash
# check_package.sh <folder with the .deb> <build folder> <source folder> [sanitized]
# The Debian package holds every file at its place, its version is what its program says, its launcher entry is
# valid, no file in it names the build machine's folders (a sanitized build's executables excepted: their reports
# name the source files, which is what such a build is for, and it is never shipped), lintian finds no error, no
# missing hardening and no fault of the manual page, and `cmake --install` with DESTDIR puts the very same files.
set -uo pipefail
debs=("$1"/vandrel_*.deb)
build=$(realpath "$2")
source=$(realpath "$3")
sanitized=${4:-}
fail=0
bad() { echo "FAIL: $*"; fail=1; }

[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: not one package in $1: ${debs[*]}"; exit 1; }
deb=${debs[0]}
[[ $(basename "$deb") =~ ^vandrel_[0-9]+\.[0-9]+\.[0-9]+\+[0-9]+_[a-z0-9]+\.deb$ ]] || bad "package name $(basename "$deb")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root" && dpkg-deb -e "$deb" "$work/control" || exit 1

executables=(usr/bin/vandrel usr/libexec/vandrel/vandrel-helper usr/libexec/vandrel/vandrel-eval)
files=(
  usr/share/vandrel/texts/en.json usr/share/vandrel/images/VandrelLogo.png usr/share/vandrel/images/MenubarIcon.png
  usr/share/vandrel/manual.html usr/share/vandrel/tutorial.html usr/share/vandrel/linux/input-permission.txt
  usr/share/applications/vandrel.desktop usr/lib/udev/rules.d/70-vandrel-input.rules usr/lib/modules-load.d/vandrel.conf
  usr/share/doc/vandrel/copyright usr/share/doc/vandrel/changelog.gz
)
files+=(usr/share/man/man1/vandrel.1.gz usr/share/lintian/overrides/vandrel)
for size in 16 22 24 32 48 64 128 256; do files+=("usr/share/icons/hicolor/${size}x${size}/apps/vandrel.png"); done
# The launcher's monochrome icon and the tray's themed ones, in full colour and monochrome.
for size in 16 22 24 32 48; do
  for name in vandrel-symbolic vandrel-tray vandrel-tray-symbolic vandrel-tray-alert vandrel-tray-alert-symbolic; do
    files+=("usr/share/icons/hicolor/${size}x${size}/apps/$name.png")
  done
done
for f in "${executables[@]}"; do [[ -f $work/root/$f && -x $work/root/$f ]] || bad "no executable $f"; done
# The package's version is the program's own: "Vandrel 0.1.0 (build 42)" is package 0.1.0+42.
said=$("$work/root/usr/bin/vandrel" --version 2>&1)
[[ $said =~ ^Vandrel\ ([0-9.]+)\ \(build\ ([0-9]+)\)$ &&
  $(dpkg-deb -f "$deb" Version) == "${BASH_REMATCH[1]}+${BASH_REMATCH[2]}" ]] ||
  bad "package version $(dpkg-deb -f "$deb" Version), the program says: $said"
for f in "${files[@]}"; do [[ -f $work/root/$f ]] || bad "no $f"; done
[[ $(cat "$work/root/usr/lib/modules-load.d/vandrel.conf" 2>/dev/null) == uinput ]] || bad "modules-load.d file"
cmp -s "$work/root/usr/lib/udev/rules.d/70-vandrel-input.rules" "$source/resources/linux/70-vandrel-input.rules" ||
  bad "udev rule differs"
# Nothing but the files above (and the resources' images) is installed.
extra=$(cd "$work/root" && find . -type f | sed 's|^\./||' | grep -v '^usr/share/vandrel/images/[^/]*\.png$' |
  sort | comm -23 - <(printf '%s\n' "${executables[@]}" "${files[@]}" | sort))
[[ -z $extra ]] || bad "unexpected files: $extra"

entry=$work/root/usr/share/applications/vandrel.desktop
desktop-file-validate "$entry" || bad "desktop-file-validate"
grep -qx 'Exec=vandrel' "$entry" && grep -qx 'Icon=vandrel' "$entry" && grep -q '^Categories=.*Utility;' "$entry" ||
  bad "launcher entry: $(cat "$entry")"

skipped=()
[[ -n $sanitized ]] && for f in "${executables[@]}"; do skipped+=(--exclude="$(basename "$f")"); done
found=$(grep -rlaF "${skipped[@]}" -e "$build" -e "$source" "$work/root" "$work/control")
[[ -z $found ]] || bad "files naming the build machine's folders: $found"

grep -q '^Depends:.*libqt6' "$work/control/control" || bad "no dependencies from the libraries: $(cat "$work/control/control")"
for script in postinst prerm postrm; do [[ -x $work/control/$script ]] || bad "no maintainer script $script"; done

lintian -I --pedantic --tag-display-limit 0 "$deb" > "$work/lintian" 2>&1
if grep -q '^E:' "$work/lintian"; then bad "lintian errors:"; grep '^E:' "$work/lintian"; fi
# The binaries carry Debian's hardening (fortified functions, full RELRO, bind-now) and the manual page is there
# and sound.
# A sanitized build is made without the hardening flags (they clash with the sanitizers' runtime).
tags='hardening-|no-manual-page|manual-page|groff-message'
[[ -n $sanitized ]] && tags='no-manual-page|manual-page|groff-message'
unsound=$(grep -E "^[EWIPX]: vandrel[^ ]*: ($tags)" "$work/lintian")
[[ -z $unsound ]] || bad "lintian: $unsound"

DESTDIR=$work/staged cmake --install "$build" --prefix /usr > /dev/null || bad "cmake --install"
diff <(cd "$work/root" && find . -type f | sort) <(cd "$work/staged" && find . -type f | sort) ||
  bad "the install and the package differ"

exit $fail
