#!/usr/bin/env bash
# The main job on the bundled sample: installs what the build needs, builds the program,
# decrypts a scratch copy of samples/demo.p7m with the demo ID (samples/demo.sec, a key file
# without a password) and shows what came out. Settings and desktop registration go to the
# scratch folder, so the user's own are not touched.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target decrypt
work=$(mktemp -d)
cp samples/demo.p7m "$work/"
XDG_CONFIG_HOME="$work/.config" XDG_DATA_HOME="$work/.local" XDG_RUNTIME_DIR="$work" \
    ./build/default/decrypt --batch --key samples/demo.sec "$work/demo.p7m"
echo "Decrypted into $work/Decrypt:"
ls -l "$work/Decrypt"
echo "--- Msg.txt ---"
cat "$work/Decrypt/Msg.txt"
