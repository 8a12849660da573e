#!/usr/bin/env bash
# Builds the program as Debian builds packages (Release, dpkg-buildflags,
# warnings as errors), checks the installed desktop entry, metainfo, icons and
# manual page, builds the .deb with CPack, installs it, runs the installed
# program and purges it again: check-package.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-pkg}
app=zxQuenlowsRaidCalculator
id=org.zxquenlows.zxQuenlowsRaidCalculator
pkg=zxquenlowsraidcalculator
icon_sizes=(16 24 32 48 64 128 256 512)
apt_wait=(-o DPkg::Lock::Timeout=600)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

scratch=$(mktemp -d)
installed=0
cleanup() {
  [ "$installed" -eq 0 ] || $sudo apt-get purge -y -q "${apt_wait[@]}" "$pkg" >/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "check-package: $*" >&2
  exit 1
}

# ---- Build with Debian's hardening flags ----
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZXRC_WERROR=ON -DZXRC_TESTS=OFF -DZXRC_BENCH=OFF \
  "-DCMAKE_C_FLAGS=$cppflags $(dpkg-buildflags --get CFLAGS)" \
  "-DCMAKE_CXX_FLAGS=$cppflags $(dpkg-buildflags --get CXXFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$dir"

# ---- What cmake --install puts into the prefix ----
stage=$scratch/stage
DESTDIR=$stage cmake --install "$dir" >/dev/null
share=$stage/usr/share
# Hints too: two main categories, for one, put the program in two menus.
hints=$(desktop-file-validate "$share/applications/$id.desktop" 2>&1) || fail "desktop entry: $hints"
[ -z "$hints" ] || fail "desktop entry: $hints"
appstreamcli validate --no-net --no-color "$share/metainfo/$id.metainfo.xml"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$share/man/man1/$app.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "manual page: $warnings"
for n in "${icon_sizes[@]}"; do
  png=$share/icons/hicolor/${n}x${n}/apps/$id.png
  kind=$(file -b "$png")
  [[ $kind == "PNG image data, $n x $n, 8-bit/color RGBA"* ]] || fail "$png: $kind"
done

# ---- The package ----
(cd "$dir" && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(realpath "$dir"/${pkg}_*.deb)
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
# Every library the program links must come from a package it depends on,
# and the texts need fonts.
depends=$(dpkg-deb --field "$deb" Depends)
for so in $(objdump -p "$dir/$app" | awk '$1 == "NEEDED" {print $2}'); do
  owners=$(dpkg -S "*/$so" 2>/dev/null | cut -d: -f1 | sort -u)
  found=0
  for owner in $owners; do
    [[ ", $depends," == *", $owner "* || ", $depends," == *", $owner,"* ]] && found=1
  done
  [ "$found" -eq 1 ] || fail "Depends lacks the package of $so (${owners:-none}): $depends"
done
grep -Eq "(^|, )fonts-" <<<"$depends" || fail "Depends lacks fonts: $depends"
files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}')
grep -qv '^\./usr/' <<<"$files" && fail "files outside /usr: $(grep -v '^\./usr/' <<<"$files")"
for want in bin/$app share/applications/$id.desktop share/metainfo/$id.metainfo.xml share/man/man1/$app.1.gz \
            share/icons/hicolor/512x512/apps/$id.png; do
  grep -qx "\./usr/$want" <<<"$files" || fail "the package lacks /usr/$want"
done

# ---- Install, run and purge on this machine ----
$sudo apt-get purge -y -q "${apt_wait[@]}" "$pkg" >/dev/null 2>&1 || true
installed=1
$sudo apt-get install -y -q --no-install-recommends "${apt_wait[@]}" "$deb"
home=$scratch/home
mkdir -p "$home/config" "$home/run" "$home/tmp"
run() {
  env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$home" XDG_CONFIG_HOME="$home/config" \
    XDG_RUNTIME_DIR="$home/run" TMPDIR="$home/tmp" "/usr/bin/$app" "$@"
}
version=$(sed -n 's/.*kVersion = "\(.*\)";/\1/p' src/version.h)
build=$(sed -n 's/.*kBuild = "\(.*\)";/\1/p' src/version.h)
[ "$(run --version)" = "$app $version (build $build)" ] || fail "--version says: $(run --version)"
report=$(run --calc raid6 8 12TB 1)
grep -q "^Usable capacity: 60 TB" <<<"$report" || fail "--calc printed: $report"
run --selftest >/dev/null || fail "--selftest failed"
[ "$(man -w "$app")" = "/usr/share/man/man1/$app.1.gz" ] || fail "man does not find the installed page"
desktop-file-validate "/usr/share/applications/$id.desktop"

$sudo apt-get purge -y -q "${apt_wait[@]}" "$pkg"
installed=0
status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
[[ $status != *" installed" ]] || fail "still installed after purge: $status"
while read -r f; do
  [ ! -e "${f#.}" ] || fail "${f#.} is left after purge"
done <<<"$files"
echo "check-package: $(basename "$deb") builds, validates, installs, runs and purges cleanly"
