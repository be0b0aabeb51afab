#!/usr/bin/env bash
# Sets up, builds the plug-in, the Standalone application and the renderer, installs the plug-in
# into ~/.vst3 where Linux VST3 hosts look for it, and renders the demo with its spectrogram
# into out/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
build_dir="${VELLOMIRE_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build_dir" -j"$(nproc)" --target VELLOMIRE_VST3 VELLOMIRE_Standalone vellomire-render

install_dir="$HOME/.vst3"
mkdir -p "$install_dir"
rm -rf "$install_dir/VELLOMIRE.vst3.tmp"
cp -R "$build_dir/VELLOMIRE.vst3" "$install_dir/VELLOMIRE.vst3.tmp"
rm -rf "$install_dir/VELLOMIRE.vst3"
mv "$install_dir/VELLOMIRE.vst3.tmp" "$install_dir/VELLOMIRE.vst3"

out_dir="$root/out"
mkdir -p "$out_dir"
"$build_dir/tools/vellomire-render" --demo "$out_dir/demo.wav" --spectrogram "$out_dir/demo-spectrogram.png" --force

echo
echo "Plug-in:      $install_dir/VELLOMIRE.vst3"
echo "Standalone:   $(cd "$build_dir" && pwd)/VELLOMIRE"
echo "Renderer:     $(cd "$build_dir" && pwd)/tools/vellomire-render --help"
echo "Demo:         $out_dir/demo.wav"
echo "Spectrogram:  $out_dir/demo-spectrogram.png"
