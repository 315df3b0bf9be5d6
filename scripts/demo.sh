#!/usr/bin/env bash
# First look at Sonalign: installs what is needed, builds, writes a small demo
# project and opens the window on it with Load pressed and a source file
# selected (its coverage colours show in the target table).
# The action log goes to DEMO_DIR/data, not your own data folder.
#
# usage: scripts/demo.sh [DEMO_DIR] [--screenshot FILE.png]
#   DEMO_DIR defaults to build/demo. The window's settings file lives in
#   DEMO_DIR/config, so your own settings are not touched.
#   --screenshot saves a picture of the window (under Xvfb when there is no
#   display) and exits. SONALIGN_BUILD_DIR chooses the build folder (build).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DEMO=""
SHOT=""
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) SHOT="$(realpath -m "$2")"; shift 2 ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) DEMO="$1"; shift ;;
  esac
done
BUILD="$(realpath -m "${SONALIGN_BUILD_DIR:-$ROOT/build}")"
DEMO="$(realpath -m "${DEMO:-$BUILD/demo}")"

bash "$ROOT/scripts/install-deps.sh"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$BUILD" -j"$(nproc)" --target sonalign sonalign-demo sonalign-cli

# A demo folder of ours (marked) is written afresh each time; any other
# folder must be empty of sound files, which sonalign-cli demo checks.
if [ -f "$DEMO/.sonalign-demo" ]; then
  rm -rf "$DEMO/target" "$DEMO/source" "$DEMO/source." "$DEMO/config" "$DEMO/data"
fi
mkdir -p "$DEMO/config"
"$BUILD/tools/sonalign-cli" demo "$DEMO"
touch "$DEMO/.sonalign-demo"
cat > "$DEMO/config/AudioSonalign.ini" <<INI
[LastSetup]
SourceFolder=$DEMO/source
TargetFolder=$DEMO/target
TargetTrackIndex=4
INI

export XDG_CONFIG_HOME="$DEMO/config"
export XDG_DATA_HOME="$DEMO/data"
# Row 4 is LAV_0001.WAV, which covers four takes in three different ways.
ARGS=(--select-source 4)
if [ -n "$SHOT" ]; then
  # The picture shows a hidden track brought back and the log of both.
  "$BUILD/tools/sonalign-cli" delete --track 3 "$DEMO/target" AA0002 > /dev/null
  "$BUILD/tools/sonalign-cli" restore --track 3 "$DEMO/target" AA0002 > /dev/null
  ARGS+=(--show-log --select-take AA0002 --screenshot "$SHOT")
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if [ -z "$SHOT" ]; then
    echo "No display: run this on a desktop, or use --screenshot FILE.png" >&2
    exit 1
  fi
  exec xvfb-run -a -s "-screen 0 1400x900x24" "$BUILD/app/sonalign-demo" "${ARGS[@]}"
fi
exec "$BUILD/app/sonalign-demo" "${ARGS[@]}"
