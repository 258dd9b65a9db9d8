#!/usr/bin/env bash
# Runs a command on an X server of its own in memory (Xvfb) and returns the command's status.
# The server picks a free display number itself (-displayfd), so that several of these can start
# at the same moment, as parallel test runs do.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARG...]" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "$0: Xvfb is not installed (scripts/setup-deps.sh installs it)" >&2; exit 1; }
numfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -f "$numfile"' EXIT
for _ in $(seq 1 100); do
  [ -s "$numfile" ] && break
  kill -0 "$server" 2>/dev/null || { echo "$0: Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -s "$numfile" ] || { echo "$0: Xvfb gave no display number" >&2; exit 1; }
display=":$(head -n1 "$numfile" | tr -d '[:space:]')"
status=0
DISPLAY="$display" "$@" || status=$?
exit "$status"
