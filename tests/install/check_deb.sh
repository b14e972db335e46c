#!/usr/bin/env bash
# The Debian package of a build tree (cmake/Package.cmake): cpack makes it, and it holds the
# program, its libraries under their SONAMEs, the manual page compressed, the desktop files
# and the copyright; nothing a consumer builds with, nor the installer's plug-in.
#   check_deb.sh CPACK BUILD_DIR WORK_DIR      (exit 77: skipped, a tool is missing)
set -euo pipefail
cpack=$1 build=$2 work=$3
for tool in "$cpack" dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing (dpkg-dev)"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work"
if ! (cd "$build" && "$cpack" -G DEB -B "$work" >"$work/cpack.log" 2>&1); then
    cat "$work/cpack.log"
    exit 1
fi
deb=$(echo "$work"/decrypt_*_*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/files"
failed=0
for wanted in 'usr/bin/decrypt' 'libframework\.so\.0' 'libsigilbox\.so\.0' 'usr/share/man/man1/decrypt\.1\.gz' \
    'usr/share/applications/quillmar-unsealer\.desktop' 'usr/share/mime/packages/quillmar-unsealer\.xml' \
    'usr/share/icons/hicolor/scalable/apps/quillmar-unsealer\.svg' \
    'usr/share/icons/hicolor/48x48/apps/quillmar-unsealer\.png' 'usr/share/doc/decrypt/copyright'; do
    grep -Eq "(^|/)$wanted\$" "$work/files" || { echo "missing: $wanted"; failed=1; }
done
# The desktop window's module (a plug-in, without a SONAME) belongs to the program.
if [ -f "$build/quillmar-desktop.so" ] && ! grep -Eq '/quillmar-desktop\.so$' "$work/files"; then
    echo "missing: quillmar-desktop.so"
    failed=1
fi
if grep -E '^usr/include/|\.pc$|\.cmake$|\.so$|libdeploykit' "$work/files" | grep -Ev '/quillmar-desktop\.so$'; then
    echo "the files above are not the program's"
    failed=1
fi
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libc6* ]] || { echo "no library dependencies found: '$depends'"; failed=1; }
exit $failed
