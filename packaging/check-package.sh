#!/usr/bin/env bash
# Checks the Debian package that `make package` built in the given build folder: lists it,
# unpacks it into a temporary root, runs the installed tools from there and validates the
# desktop entry, the AppStream metadata, the manual pages and the package itself.
set -euo pipefail

build=${1:-build/run}
deb=$(ls -t "$build"/drivelink_*.deb | head -n 1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

step() { printf '\n== %s\n' "$*"; }
fail() { printf 'package check: %s\n' "$*" >&2; exit 1; }

step "content of $deb"
dpkg-deb -c "$deb"
dpkg-deb -f "$deb" Package Version Depends

step "unpacked into $root"
dpkg -x "$deb" "$root"
for file in usr/bin/drivelink usr/bin/drivelink-cli usr/bin/drivelink-sim \
    usr/share/applications/org.drivelink.Drivelink.desktop \
    usr/share/metainfo/org.drivelink.Drivelink.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/drivelink.svg \
    usr/share/icons/hicolor/48x48/apps/drivelink.png \
    usr/share/icons/hicolor/256x256/apps/drivelink.png \
    usr/share/man/man1/drivelink.1.gz usr/share/man/man1/drivelink-cli.1.gz \
    usr/share/man/man1/drivelink-sim.1.gz \
    usr/share/bash-completion/completions/drivelink-cli \
    usr/share/doc/drivelink/README.md usr/share/doc/drivelink/copyright \
    lib/systemd/system/drivelink-publish@.service \
    lib/udev/rules.d/60-drivelink-serial.rules \
    usr/share/doc/drivelink/publish-example.conf; do
    [[ -e $root/$file ]] || fail "missing /$file"
done

step "installed drivelink-cli --simulate scan 1-3"
scan=$("$root/usr/bin/drivelink-cli" --simulate scan 1-3)
printf '%s\n' "$scan"
[[ $(grep -c present <<<"$scan") == 3 ]] || fail "the simulated scan did not find three drives"

step "installed drivelink-sim --help"
"$root/usr/bin/drivelink-sim" --help | head -n 3

step "desktop entry"
desktop=$root/usr/share/applications/org.drivelink.Drivelink.desktop
desktop-file-validate "$desktop"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[[ -x $root/usr/bin/${exec_line%% *} ]] || fail "Exec=$exec_line is not an installed program"

step "AppStream metadata"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.drivelink.Drivelink.metainfo.xml"

step "manual pages"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$(basename "$page"): $warnings"
    echo "$(basename "$page"): renders without warnings"
done

step "lintian"
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "package check passed"
