#!/usr/bin/env bash
# Checks the Debian package: builds it with `make package` (reusing the build directory, by
# default build/ as make test leaves it), reads its control data and file list, resolves its
# dependencies as apt would on an empty Debian 12 system, installs it with dpkg into an empty
# root folder, runs the installed tools on the installed demo (mvdb makes the database from the
# demo data, varnolde-script plays the demo script on it), starts the installed varnolde
# without --db as the menu entry does, runs lintian, then purges the package and checks that
# nothing but the user's demo database is left.
#
#   scripts/check-package.sh [BUILD_DIR]   exit 0 when all of it worked; the failing step is named
#
# KEEP=1 keeps the work folder (logs, the root, the user's home) for a look after a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

step() { echo "check-package: $*"; }
fail() { echo "check-package: FAILED: $*" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/varnolde-package.XXXXXX")
window_pid=""
cleanup() {
  [ -z "$window_pid" ] || kill "$window_pid" 2>/dev/null || true
  if [ -n "${KEEP:-}" ]; then echo "check-package: kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

step "building the package (make package BUILD=$build)"
make package BUILD="$build" >"$work/make.log" 2>&1 || { tail -40 "$work/make.log" >&2; fail "make package"; }
version=$(sed -n 's/^project(Varnolde VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="$(cd "$build" && pwd)/varnolde_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb"
[ "$(dpkg-parsechangelog -l packaging/changelog -S Version)" = "$version" ] \
  || fail "packaging/changelog has no entry for version $version on top"

step "control data and contents of $(basename "$deb")"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = varnolde ] || fail "package name: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "package version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "architecture: $(field Architecture)"
for library in libqt6widgets6 libsqlite3-0 libicu; do  # found by dpkg-shlibdeps
  field Depends | grep -q "$library" || fail "Depends lacks $library: $(field Depends)"
done
dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/contents"
outside=$(grep -v -e '^$' -e '^usr/' "$work/contents" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
for path in usr/bin/varnolde usr/bin/varnolde-script usr/bin/mvdb \
            usr/lib/cmake/Varnolde/VarnoldeConfig.cmake usr/include/varnolde/host/panel_session.h \
            usr/share/varnolde/demo.jsonl usr/share/varnolde/demo.script \
            usr/share/applications/varnolde.desktop usr/share/icons/hicolor/scalable/apps/varnolde.svg \
            usr/share/man/man1/varnolde.1.gz usr/share/man/man1/varnolde-script.1.gz \
            usr/share/man/man1/mvdb.1.gz usr/share/doc/varnolde/copyright \
            usr/share/doc/varnolde/changelog.gz usr/share/doc/varnolde/docs/window.md; do
  grep -qx "$path" "$work/contents" || fail "the package lacks /$path"
done

step "dependencies, as apt install ./$(basename "$deb") resolves them on an empty system"
: >"$work/empty-status"
apt-get install --simulate -q -o Dir::State::status="$work/empty-status" "$deb" \
  >"$work/apt.log" 2>&1 || { tail -20 "$work/apt.log" >&2; fail "apt cannot resolve the dependencies (apt-get update first?)"; }
grep -q '^Inst libqt6widgets6 ' "$work/apt.log" || fail "apt would not install Qt 6 Widgets"

step "installing with dpkg into an empty root"
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(fakeroot)
# The libraries come from this machine, not the empty root: dependencies are not checked here.
dpkg_root() {
  "${as_root[@]}" dpkg --root="$root" --log="$work/dpkg.log" --force-not-root --force-depends "$@"
}
dpkg_root --install "$deb" >"$work/dpkg-install.log" 2>&1 \
  || { cat "$work/dpkg-install.log" >&2; fail "dpkg --install"; }
# Everything under the root but dpkg's own records.
tree() {
  find "$root" -mindepth 1 -path "$root/var/lib/dpkg" -prune -o \
    -not -path "$root/var" -not -path "$root/var/lib" -print | sort
}
tree >"$work/installed"

step "the installed tools on the installed demo"
"$root/usr/bin/mvdb" load "$work/demo.db" "$root/usr/share/varnolde/demo.jsonl" >/dev/null \
  || fail "the installed mvdb loading the installed demo data"
"$root/usr/bin/varnolde-script" --db "$work/demo.db" --user gestionnaire --locale fr_FR \
  "$root/usr/share/varnolde/demo.script" >"$work/script.log" 2>&1 \
  || { tail -20 "$work/script.log" >&2; fail "the installed varnolde-script on the installed demo script"; }
summary=$(tail -1 "$work/script.log")
case "$summary" in *" passed, 0 failed") step "  demo script: $summary" ;; *) fail "demo script: $summary" ;; esac
# Each manual page: a NAME section, and what the program's --help says (an option, a verb).
for page in 'varnolde \-\-db' 'varnolde-script \-\-user' 'mvdb mvdb load'; do
  program=${page%% *}
  gzip -dc "$root/usr/share/man/man1/$program.1.gz" >"$work/page"
  grep -q '^\.SH NAME' "$work/page" && grep -qF "${page#* }" "$work/page" \
    || fail "the manual page of $program lacks its NAME or '${page#* }'"
done
desktop="$root/usr/share/applications/varnolde.desktop"
desktop-file-validate "$desktop" || fail "the menu entry does not validate"
grep -qx 'Name=Acomptes des aidants' "$desktop" || fail "the menu entry's name"
grep -qx 'Exec=varnolde' "$desktop" || fail "the menu entry does not start varnolde without options"

step "the installed varnolde without --db (as the menu entry starts it)"
home="$work/home"
mkdir -p "$home"
window=(env -u VARNOLDE_DEMO_DATA -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen
        "$root/usr/bin/varnolde")
# Without the installed demo data it must fail, naming the installed place it looked in first.
mv "$root/usr/share/varnolde/demo.jsonl" "$work/demo.jsonl.aside"
if "${window[@]}" >"$work/window-nodata.log" 2>&1; then fail "varnolde started without its demo data"; fi
mv "$work/demo.jsonl.aside" "$root/usr/share/varnolde/demo.jsonl"
grep -qF "$root/usr/share/varnolde/demo.jsonl" "$work/window-nodata.log" \
  || { cat "$work/window-nodata.log" >&2; fail "varnolde does not look for the installed demo data"; }
# With it, it creates the user's demo database and opens the window; it is stopped then.
"${window[@]}" >"$work/window.log" 2>&1 &
window_pid=$!
demo_db="$home/.local/share/varnolde/demo.db"
for _ in $(seq 1 120); do
  [ -f "$demo_db" ] && break
  kill -0 "$window_pid" 2>/dev/null || break
  sleep 0.5
done
sleep 2  # the panel opens on the database just made
kill -0 "$window_pid" 2>/dev/null || { cat "$work/window.log" >&2; fail "varnolde ended instead of showing the panel"; }
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true
window_pid=""
[ -f "$demo_db" ] || fail "no demo database in $demo_db"
grep -q "base de démonstration créée" "$work/window.log" || fail "varnolde did not say it made the demo database"

step "lintian"
lintian --fail-on error --display-info "$deb" >"$work/lintian.log" 2>&1 \
  || { cat "$work/lintian.log" >&2; fail "lintian reports errors"; }
grep -E '^[EWI]: ' "$work/lintian.log" | sed 's/^/  /' || echo "  no tag"

step "purging"
[ -z "$(tree | comm -13 "$work/installed" -)" ] \
  || fail "running the programs added files to the installed tree"
dpkg_root --purge varnolde >"$work/dpkg-purge.log" 2>&1 \
  || { cat "$work/dpkg-purge.log" >&2; fail "dpkg --purge"; }
left=$(tree)
[ -z "$left" ] || fail "left after purging: $left"
[ -f "$demo_db" ] || fail "the user's demo database went with the package"

step "ok: $deb"
