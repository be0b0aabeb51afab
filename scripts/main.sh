#!/usr/bin/env bash
# Sets up, builds the plug-in and installs it into ~/.vst3 where Linux VST3 hosts look for it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
build_dir="${VELLOMIRE_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build_dir" -j"$(nproc)" --target VELLOMIRE_VST3

install_dir="$HOME/.vst3"
mkdir -p "$install_dir"
rm -rf "$install_dir/VELLOMIRE.vst3.tmp"
cp -R "$build_dir/VELLOMIRE.vst3" "$install_dir/VELLOMIRE.vst3.tmp"
rm -rf "$install_dir/VELLOMIRE.vst3"
mv "$install_dir/VELLOMIRE.vst3.tmp" "$install_dir/VELLOMIRE.vst3"
echo "Installed $install_dir/VELLOMIRE.vst3"
