#!/usr/bin/env bash
# Renders the adapter configuration dialog on an X server in memory and saves it as a PNG
# (default docs/qcan-configuration-dialog.png). The dialog reads a sample configuration from a
# temporary application-data folder, never the user's own file.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"
out="$(realpath -m "${1:-$top/docs/qcan-configuration-dialog.png}")"

"$top/scripts/setup-deps.sh"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target qcan-monitor -j "$(nproc)"

appdata="$(mktemp -d)"
trap 'rm -rf "$appdata"' EXIT
mkdir -p "$appdata/Quillard/qcan" "$(dirname "$out")"
cat > "$appdata/Quillard/qcan/qcan_configuration.xml" <<'XML'
<?xml version="1.0" ?>
<qcan>
    <cua name="CUA_DRILL_RIG" enable="true" scan="false" />
    <cua name="SC_can0" enable="true" scan="true" />
    <cua name="SIM_EXCAVATOR" enable="true" scan="false" />
    <cua name="USB_CUA_2" enable="false" scan="true" />
</qcan>
XML
APPDATA="$appdata" "$top/scripts/run-with-xvfb.sh" "$build/bin/qcan-monitor" --config --screenshot="$out"
echo "Saved $out"
