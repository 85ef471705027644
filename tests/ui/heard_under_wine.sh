#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Usage: heard_under_wine.sh RATE FILE COMMAND...
# Runs COMMAND (a playback test of the Windows build, under Wine) while the PulseAudio null sink's
# monitor (RAVIK_PULSE_MONITOR) is recorded into FILE with parec, as float samples at RATE in one
# channel: a Windows program cannot start parec, so the test reads what was added to FILE while
# it played (RAVIK_HEARD_FILE, in Windows' spelling; RAVIK_HEARD_RATE). Without the monitor,
# COMMAND runs alone and says why it skips.
set -euo pipefail
rate=$1 file=$(realpath -m "$2")
shift 2
if [ -z "${RAVIK_PULSE_MONITOR:-}" ] || ! command -v parec >/dev/null; then
    exec "$@"
fi
parec --device="$RAVIK_PULSE_MONITOR" --raw --format=float32le --channels=1 --rate="$rate" \
    --latency-msec=20 >"$file" &
parec=$!
trap 'kill "$parec" 2>/dev/null || true; wait; rm -f "$file"' EXIT
RAVIK_HEARD_FILE="Z:${file//\//\\}" RAVIK_HEARD_RATE="$rate" "$@"
