#!/bin/sh
# The editor as a user installs it: cmake --install into a throw-away
# DESTDIR, the manual page rendered without warnings, the installed program
# started in a pseudo-terminal, and the Debian package built, read and
# installed into a throw-away dpkg root and removed again.
# Usage: install_test.sh BUILD-DIRECTORY
set -eu
build=$1
scratch=$(mktemp -d /tmp/glisk-install-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

DESTDIR="$scratch/destdir" cmake --install "$build" --prefix /usr >/dev/null
root="$scratch/destdir/usr"
for file in bin/glisk-editor share/man/man6/glisk-editor.6 \
    share/doc/glisk_editor/README.md share/doc/glisk_editor/LICENSE; do
    [ -f "$root/$file" ] || fail "$file not installed"
done
[ -x "$root/bin/glisk-editor" ] || fail "the program is not executable"

warnings=$(groff -man -ww -z "$root/share/man/man6/glisk-editor.6" 2>&1)
[ -z "$warnings" ] || fail "the manual page warns: $warnings"
grep -q 'glisk-editor 1\.5' "$root/share/man/man6/glisk-editor.6" ||
    fail "the manual page does not carry the version"

# The installed program in a pseudo-terminal: the first question, then the
# end of the input ends it.
shown=$(cd "$scratch" && TERM=xterm-256color timeout 10 \
    script -qec "$root/bin/glisk-editor" /dev/null </dev/null) ||
    fail "the installed program did not end"
case $shown in
*"Hoe breed moet het level zijn? (max. 75)"*) ;;
*) fail "the installed program showed: $shown" ;;
esac

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null) ||
    fail "cpack could not make the Debian package"
package=$(ls "$scratch"/glisk-editor_*.deb)
contents=$(dpkg-deb -c "$package")
for file in ./usr/bin/glisk-editor ./usr/share/man/man6/glisk-editor.6; do
    echo "$contents" | grep -q " $file\$" || fail "$file not in the package"
done
depends=$(dpkg-deb -f "$package" Depends)
echo "$depends" | grep -Eq 'libtinfo|libncurses' ||
    fail "no ncurses dependency: $depends"
[ "$(dpkg-deb -f "$package" Section)" = games ] || fail "not in games"
[ -n "$(dpkg-deb -f "$package" Homepage)" ] || fail "no homepage"

# Installed and removed in a dpkg root of its own; the system's libraries
# are not in its database, so their dependencies are forced.
dpkgroot="$scratch/dpkgroot"
mkdir -p "$dpkgroot/var/lib/dpkg/info" "$dpkgroot/var/lib/dpkg/updates"
touch "$dpkgroot/var/lib/dpkg/status"
dpkg --root="$dpkgroot" --force-depends --force-not-root -i "$package" >/dev/null 2>&1 ||
    fail "dpkg could not install the package"
[ -x "$dpkgroot/usr/bin/glisk-editor" ] || fail "dpkg did not install the program"
dpkg --root="$dpkgroot" -s glisk-editor | grep -q '^Status: install ok installed' ||
    fail "dpkg does not list the package as installed"
dpkg --root="$dpkgroot" --force-depends --force-not-root -r glisk-editor >/dev/null 2>&1 ||
    fail "dpkg could not remove the package"
[ ! -e "$dpkgroot/usr/bin/glisk-editor" ] || fail "the program is left after removal"
echo "installed, packaged, installed with dpkg and removed"
