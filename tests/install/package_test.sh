#!/bin/bash
# The Debian packages as a switch gets them: unpacked into a private root,
# the packaged command checks a packaged example, a program builds against
# the packaged library through pkg-config, the packaged Python module
# audits an example, the control data says what the package is, and
# lintian finds no error.
#   package_test.sh DEB_BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
version=$(sed -n 's/^project(grpaudit VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
runtime=$(ls "$build"/grpaudit_"$version"_*.deb)
dev=$(ls "$build"/grpaudit-dev_"$version"_*.deb)
python=$(ls "$build"/python3-grpaudit_"$version"_*.deb)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
dpkg-deb -x "$runtime" "$root"
dpkg-deb -x "$dev" "$root"
dpkg-deb -x "$python" "$root"

[ "$("$root/usr/bin/grpaudit" --version)" = "grpaudit $version" ]
status=0
"$root/usr/bin/grpaudit" check --snapshot "$root/usr/share/doc/grpaudit/examples/leaf-riot.json" \
  >"$work/report.txt" || status=$?
[ "$status" = 1 ] || { echo "check exited $status"; exit 1; }  # the example's faults
grep -q '^9 routes, 5 faults' "$work/report.txt"
echo "packaged grpaudit: $(tail -1 "$work/report.txt" | cut -d: -f1)"

[ "$(dpkg-deb -f "$runtime" Package)" = grpaudit ]
[ "$(dpkg-deb -f "$runtime" Version)" = "$version" ]
depends=$(dpkg-deb -f "$runtime" Depends)
for lib in libfmt libsimdjson libpcre2-8 libabsl; do
  case $depends in *"$lib"*) ;; *) echo "Depends lacks $lib: $depends"; exit 1 ;; esac
done
[ "$(dpkg-deb -f "$dev" Package)" = grpaudit-dev ]
dpkg-deb -I "$runtime" conffiles | grep -qx /etc/default/grpaudit
echo "control data: grpaudit $version, Depends: $depends"

cp "$source/tests/install/consumer.cpp" "$work/main.cpp"
pc=$(dirname "$(find "$root" -name grpaudit.pc)")
# shellcheck disable=SC2046
c++ -o "$work/consumer" "$work/main.cpp" $(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs grpaudit)
"$work/consumer" "$root/usr/share/doc/grpaudit/examples/leaf-riot.json"

module_dir=$root/usr/lib/python3/dist-packages
PYTHONPATH=$module_dir /usr/bin/python3 - "$module_dir" \
  "$root/usr/share/doc/grpaudit/examples/leaf-riot.json" <<'PY'
import sys, grpaudit
assert grpaudit.__file__.startswith(sys.argv[1]), grpaudit.__file__
summary = grpaudit.audit(grpaudit.Asic(grpaudit.Snapshot(sys.argv[2]))).summary
assert summary["mismatch"] == 3, summary
print("packaged Python module:", summary)
PY
case $(dpkg-deb -f "$python" Depends) in python3\ *) ;; *) echo "python3-grpaudit does not depend on python3"; exit 1 ;; esac

if command -v lintian >/dev/null; then
  lintian --fail-on error "$runtime" "$dev" "$python"
  echo "lintian: no error"
else
  echo "lintian not installed: packages not linted"
fi
