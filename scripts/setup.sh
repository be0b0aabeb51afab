#!/usr/bin/env bash
# Installs what a build of VELLOMIRE needs on Debian 12 and fetches the JUCE 8 module sources.
#
# JUCE 8 is not packaged for Debian 12, so we take the architecture-independent module sources
# from Debian 13 ("trixie") through a private apt configuration. Nothing from trixie is installed
# system-wide: the package is only downloaded, checked by apt against trixie's signed index, and
# unpacked into .cache/ (gitignored). Idempotent: a second run takes seconds.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cache="$root/.cache"
juce_version="8.0.6"
juce_dir="$cache/juce-$juce_version"

build_packages=(g++ gcc cmake make pkg-config libfreetype-dev libfontconfig-dev libx11-dev
    libxext-dev libxrandr-dev libxinerama-dev libxcursor-dev zlib1g-dev libpng-dev libjpeg-dev
    libasound2-dev libjack-jackd2-dev libflac-dev libvorbis-dev libogg-dev libgtest-dev
    debian-archive-keyring xvfb ccache fonts-dejavu-core
    clang libclang-rt-14-dev llvm  # the sanitizer and fuzzing builds (llvm: symbolized reports)
    patch)  # our fixes to JUCE (patches/)
extra_packages=("$@")

missing=()
for p in "${build_packages[@]}" "${extra_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Our fixes to JUCE's own code (patches/, each says why), applied once to the unpacked sources.
apply_juce_patches() {
    local patch_file stamp
    for patch_file in "$root"/patches/juce-"$juce_version"-*.patch; do
        stamp="$juce_dir/.applied-$(basename "$patch_file")"
        [ -f "$stamp" ] && continue
        patch -d "$juce_dir" -p1 --forward --quiet < "$patch_file"
        touch "$stamp"
    done
}

if [ -f "$juce_dir/.complete" ]; then
    apply_juce_patches
    exit 0
fi

echo "setup: fetching JUCE $juce_version module sources (Debian trixie juce-modules-source-data)"
apt_dir="$cache/apt-trixie"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/etc"
mirror="$(grep -h -o -E 'https?://[^ ]*/debian/?( |$)' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null \
    | head -n 1 | tr -d ' ' || true)"
mirror="${mirror:-http://deb.debian.org/debian}"
cat > "$apt_dir/etc/sources.list" <<SRC
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} trixie main
SRC
apt_opts=(-o "Dir::Etc::sourcelist=$apt_dir/etc/sources.list" -o "Dir::Etc::sourceparts=/nonexistent"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir" -o "Dir::Cache::archives=$apt_dir/archives"
    -o "Debug::NoLocking=1" -o "APT::Sandbox::User=root")
apt-get "${apt_opts[@]}" -qq update
(cd "$apt_dir/archives" && apt-get "${apt_opts[@]}" -qq download "juce-modules-source-data/trixie")
deb="$(ls "$apt_dir"/archives/juce-modules-source-data_${juce_version}*_all.deb | head -n 1)"

rm -rf "$juce_dir" "$juce_dir.tmp"
mkdir -p "$juce_dir.tmp"
dpkg-deb -x "$deb" "$juce_dir.tmp"
modules="$(dirname "$(find "$juce_dir.tmp" -type d -name juce_core -print -quit)")"
mv "$modules" "$juce_dir"
rm -rf "$juce_dir.tmp"
touch "$juce_dir/.complete"
apply_juce_patches
echo "setup: JUCE modules in $juce_dir"
