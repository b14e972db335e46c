#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the samples need, when missing.
set -euo pipefail
need=()
for pkg in cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev pkg-config openssl bc python3 libpython3.11-testsuite nlohmann-json3-dev shared-mime-info xdg-utils qt6-base-dev libqt6svg6 xvfb xauth; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}"
fi
