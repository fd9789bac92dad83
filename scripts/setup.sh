#!/usr/bin/env bash
# Prepares a Debian 12 machine for building and testing: installs the packages,
# enables the zh_CN.UTF-8 locale, adds the CUPS PDF printer, fetches PCRE2's
# source package into the build folder and creates the Wine prefix there.
# Safe to run again; quick when all is there.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

packages=(
    # Windows cross build and Wine (fonts-wine: Marlett for the caption buttons)
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 fonts-wine
    # The installer (scripts/package.sh)
    nsis
    # Windows under a virtual display, driving and screenshots
    xvfb xdotool xclip imagemagick
    # Chinese and Latin fonts, locales
    fonts-wqy-microhei fonts-liberation locales
    # Native build, tests, sanitizers, fuzzers
    cmake ninja-build g++ clang libclang-rt-14-dev googletest ccache
    # Printing to PDF and reading it back
    cups cups-client printer-driver-cups-pdf poppler-utils
    # apt-get source unpacks with dpkg-source
    dpkg-dev
)

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"
    elif command -v sudo >/dev/null 2>&1; then sudo "$@"
    else echo "setup: '$*' needs root" >&2; return 1
    fi
}

# 1. Packages
missing=()
installed="$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null || true)"
for p in "${packages[@]}"; do
    grep -qx "$p installed" <<<"$installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    as_root apt-get update -q
    as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# 2. Locale
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
    echo "setup: enabling zh_CN.UTF-8"
    if grep -q '^# *zh_CN.UTF-8 UTF-8' /etc/locale.gen; then
        as_root sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
    elif ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen; then
        echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    fi
    as_root locale-gen
fi

# 3. The PDF printer (kept in CUPS's configuration; cupsd runs only while needed)
if [ "$(id -u)" = 0 ] && ! grep -qs '^<\(Default\)\?Printer PDF>' /etc/cups/printers.conf; then
    echo "setup: adding the CUPS printer PDF"
    (
        unset WINEPREFIX
        source "$here/wine-env.sh"
        trap tv_cups_stop EXIT
        tv_cups_ensure
    ) || echo "setup: warning: no PDF printer; printing tests will fail" >&2
fi

# 4. PCRE2's source, from Debian's source package of the machine's own suite,
#    unpacked with Debian's patches into <build root>/deps/pcre2; both builds
#    compile it (cmake/pcre2.cmake).
root="${TOMEVIEW_BUILD_ROOT:-$(cd "$here/.." && pwd)/build}"
pcre2="$root/deps/pcre2"
if [ ! -f "$pcre2/CMakeLists.txt" ]; then
    if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        . /etc/os-release
        echo "setup: adding a deb-src entry for $VERSION_CODENAME"
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$VERSION_CODENAME" "$VERSION_CODENAME" | as_root tee /etc/apt/sources.list.d/tomeview-deb-src.sources >/dev/null
        as_root apt-get update -q
    fi
    echo "setup: fetching PCRE2's source package"
    rm -rf "$root/deps/fetch"
    mkdir -p "$root/deps/fetch"
    (cd "$root/deps/fetch" && apt-get source -q pcre2 >/dev/null) || {
        as_root apt-get update -q
        (cd "$root/deps/fetch" && apt-get source -q pcre2 >/dev/null)
    }
    unpacked="$(find "$root/deps/fetch" -mindepth 1 -maxdepth 1 -type d -name 'pcre2-*' | head -1)"
    [ -f "$unpacked/CMakeLists.txt" ] || { echo "setup: apt-get source pcre2 gave no source tree" >&2; exit 1; }
    rm -rf "$pcre2"
    mv "$unpacked" "$pcre2"
    rm -rf "$root/deps/fetch"
fi

# 5. The Wine prefix in the build folder
unset WINEPREFIX
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
tv_prefix_ensure
