#!/usr/bin/env bash
# The main job on the bundled sample: installs what the build needs, builds the program,
# decrypts a scratch copy of samples/demo.p7m with the demo ID and shows what came out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target decrypt
work=$(mktemp -d)
cp samples/demo.p7m "$work/"
./build/default/decrypt --batch --key samples/demo_key.der "$work/demo.p7m"
echo "Decrypted into $work/Decrypt:"
ls -l "$work/Decrypt"
echo "--- Msg.txt ---"
cat "$work/Decrypt/Msg.txt"
