#!/usr/bin/env bash
# Makes the Windows release in dist/:
#   tomeview-<version>-win64.zip    tomeview.exe and 使用说明.txt, portable
#   tomeview-<version>-setup.exe    the installer (NSIS)
#   SHA256SUMS                      of both
# Builds tomeview.exe in Release twice, in two build folders, the second time
# without the compiler cache, and stops unless both are byte-identical.
# With --quick the second build takes its objects from the compiler cache, so
# only the resource compiler and the link run again (what the test command
# uses). Nothing is rebuilt when the inputs are unchanged since the last run
# (--force rebuilds); a --quick result counts as unchanged only for --quick.
# The version is CMake's project version.
#
# Knobs: TOMEVIEW_BUILD_ROOT (default build/), TOMEVIEW_DIST (default dist/),
# TOMEVIEW_JOBS (default 2).
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$src"
root="${TOMEVIEW_BUILD_ROOT:-$src/build}"
dist="${TOMEVIEW_DIST:-$src/dist}"
jobs="${TOMEVIEW_JOBS:-2}"
force=0
quick=0
for a in "$@"; do
    case "$a" in
        --force) force=1 ;;
        --quick) quick=1 ;;
        *) echo "usage: scripts/package.sh [--force] [--quick]" >&2; exit 2 ;;
    esac
done
say() { printf 'package: %s\n' "$*"; }

for tool in makensis x86_64-w64-mingw32-g++-posix cmake ninja python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        bash "$src/scripts/setup.sh"
        break
    fi
done

# Everything that goes into the artifacts, and the tools that make them.
inputs=(CMakeLists.txt cmake core view search output app scripts/package.sh scripts/installer.nsi docs/usage.zh.txt)
inputs_hash() {
    {
        git -C "$src" ls-files -z --cached --others --exclude-standard -- "${inputs[@]}" |
            LC_ALL=C sort -z | xargs -0 -r sh -c 'for f; do [ -f "$f" ] && sha256sum "$f"; done' sh
        x86_64-w64-mingw32-g++-posix --version | head -1
        makensis -VERSION
    } | sha256sum | cut -d' ' -f1
}
want="$(inputs_hash)"
stamp="$dist/.inputs"
have="$(cat "$stamp" 2>/dev/null || true)"
if [ $force = 0 ] && { [ "$have" = "$want" ] || { [ $quick = 1 ] && [ "$have" = "$want quick" ]; }; } &&
        [ -f "$dist/SHA256SUMS" ] &&
        (cd "$dist" && sha256sum --quiet -c SHA256SUMS 2>/dev/null); then
    say "dist/ is up to date with the sources:"
    sed 's/^/    /' "$dist/SHA256SUMS"
    exit 0
fi

toolchain="$src/cmake/mingw-w64.cmake"
# build DIR: a clean Release build of tomeview.exe in DIR.
build() {
    rm -rf "$1"
    cmake -S "$src" -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DTOMEVIEW_TESTS=OFF >/dev/null
    cmake --build "$1" -j "$jobs" --target tomeview >/dev/null
}
release="$root/release"
again="$root/release-again"
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}" CCACHE_BASEDIR="${CCACHE_BASEDIR:-$src}"
fi
say "building tomeview.exe (Release) in $release"
build "$release"
if [ $quick = 1 ]; then
    say "building it again in $again (objects from the compiler cache)"
    build "$again"
else
    say "building it again in $again, compiling every file afresh"
    CCACHE_DISABLE=1 build "$again"
fi
exe="$release/tomeview.exe"
if ! cmp -s "$exe" "$again/tomeview.exe"; then
    say "FAILED: the two builds of tomeview.exe differ:" >&2
    cmp -l "$exe" "$again/tomeview.exe" | head -5 >&2
    exit 1
fi
sum="$(sha256sum "$exe" | cut -d' ' -f1)"
say "tomeview.exe is reproducible: both builds are byte-identical (sha256 $sum)"
rm -rf "$again"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$release/CMakeCache.txt")"
short="$(cut -d. -f1-2 <<<"$version")"
[ -n "$short" ] || { say "no project version in $release/CMakeCache.txt" >&2; exit 1; }
zip="tomeview-$short-win64.zip"
setup="tomeview-$short-setup.exe"

# The usage text as Windows editors expect it: UTF-8 with a byte-order mark, CR LF.
stage="$release/stage"
rm -rf "$stage"; mkdir -p "$stage"
cp "$exe" "$stage/tomeview.exe"
{ printf '\xef\xbb\xbf'; sed "s/@VERSION@/$short/; s/\$/\r/" docs/usage.zh.txt; } >"$stage/使用说明.txt"

mkdir -p "$dist"
rm -f "$dist/$zip" "$dist/$setup" "$dist/SHA256SUMS" "$stamp"
# Entries in a fixed order with the time of the last commit of the inputs, so
# the zip depends on the sources only.
epoch="$(git log -1 --format=%ct -- "${inputs[@]}" 2>/dev/null || true)"
epoch="${epoch:-1700000000}"
python3 - "$dist/$zip" "$stage" "$epoch" <<'PY'
import os, sys, time, zipfile
out, stage, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
when = time.gmtime(epoch)[:6]
with zipfile.ZipFile(out, "w") as z:
    for name in ["tomeview.exe", "使用说明.txt"]:
        info = zipfile.ZipInfo(name, when)   # non-ASCII names carry the UTF-8 flag
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o100644 << 16
        info.create_system = 0
        with open(os.path.join(stage, name), "rb") as f:
            z.writestr(info, f.read(), compresslevel=9)
PY
say "wrote dist/$zip"

makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$short" -DVERSION4="$version" \
    -DEXE="$stage/tomeview.exe" -DUSAGE="$stage/使用说明.txt" \
    -DICON="$src/app/icons/tomeview.ico" -DOUTFILE="$dist/$setup" scripts/installer.nsi
say "wrote dist/$setup"

(cd "$dist" && sha256sum "$zip" "$setup" >SHA256SUMS)
if [ $quick = 1 ]; then printf '%s quick\n' "$want"; else printf '%s\n' "$want"; fi >"$stamp"
say "wrote dist/SHA256SUMS:"
sed 's/^/    /' "$dist/SHA256SUMS"
