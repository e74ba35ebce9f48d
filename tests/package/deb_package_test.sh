#!/usr/bin/env bash
# `cpack -G DEB` makes veltrix-logger_VERSION_ARCH.deb holding exactly the
# three programs, the desktop entry, the icon, a man page per program, the
# copyright file, the changelog and the udev rule for /dev/cpu_dma_latency
# (its effect is tested in tests/realtime), with the maintainer scripts that
# apply it; its Depends (dpkg-shlibdeps) name Qt 6 Widgets and libc beside
# the fonts, its Recommends rtkit; its maintainer is the project; once
# unpacked its programs answer --help and its man pages render what --help
# lists, and its changelog's latest entry is the package's version. Where
# lintian is installed, it finds no error in the package.
#   deb_package_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# -B keeps the package and CPack's staging tree out of the build folder.
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack -G DEB failed" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$work/out/veltrix-logger_${version}_$arch.deb
if [ ! -f "$deb" ]; then
  echo "FAIL: no $(basename "$deb"); cpack made: $(cd "$work/out" && echo *.deb)" >&2
  exit 1
fi

programs=(veltrix-boardsim veltrix-cli veltrix-logger)
expected=(usr/share/applications/veltrix-logger.desktop usr/share/icons/hicolor/scalable/apps/veltrix-logger.svg
  usr/share/doc/veltrix-logger/copyright usr/share/doc/veltrix-logger/changelog.gz
  usr/lib/udev/rules.d/60-veltrix-logger.rules)
for program in "${programs[@]}"; do
  expected+=("usr/bin/$program" "usr/share/man/man1/$program.1.gz")
done
# The Python module, when the build has it.
python_dir=usr/lib/python3/dist-packages/veltrix
module=$(cd "$build/python/veltrix" 2>/dev/null && echo _veltrix*.so)
if [ -f "$build/python/veltrix/$module" ]; then
  expected+=("$python_dir/__init__.py" "$python_dir/__init__.pyi" "$python_dir/py.typed" "$python_dir/$module")
fi
actual=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort)
diff <(printf '%s\n' "${expected[@]}" | sort) <(printf '%s\n' "$actual") ||
  fail "the package's files differ from the expected list (< expected, > packaged)"

[ "$(dpkg-deb -f "$deb" Package)" = veltrix-logger ] || fail "Package is not veltrix-logger"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "Architecture is not $arch"
depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 \
  fonts-crosextra-carlito fonts-liberation2 fonts-dejavu-core; do
  [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] || fail "Depends lacks $package: $depends"
done
for package in qt6-qpa-plugins rtkit; do
  [[ "$(dpkg-deb -f "$deb" Recommends)" == *"$package"* ]] || fail "Recommends lacks $package"
done
for script in postinst postrm; do
  dpkg-deb --info "$deb" "$script" >/dev/null 2>&1 || fail "the package has no $script"
done
[[ "$(dpkg-deb -f "$deb" Maintainer)" == "Veltrix Universal Data Logger developers <"* ]] ||
  fail "the Maintainer is not the project: $(dpkg-deb -f "$deb" Maintainer)"

root=$work/root
dpkg-deb -x "$deb" "$root"
if [ -f "$build/python/veltrix/$module" ]; then
  models=$(PYTHONPATH=$root/$python_dir/.. /usr/bin/python3 -c 'import veltrix; print(len(veltrix.models()))') ||
    fail "the packaged Python module does not import"
  [ "$models" = 17 ] || fail "the packaged Python module lists $models models, not 17"
fi
for program in "${programs[@]}"; do
  if ! help=$("$root/usr/bin/$program" --help); then
    fail "packaged $program --help failed"
    continue
  fi
  # Wide enough that no option name is broken across lines.
  page=$(MANWIDTH=1000 man -l "$root/usr/share/man/man1/$program.1.gz" 2>"$work/man.err") ||
    fail "man cannot show $program's page: $(cat "$work/man.err")"
  grep -q "^NAME" <<<"$page" && grep -q "$program - " <<<"$page" || fail "$program's man page has no NAME line"
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -q -- "$option" <<<"$page" || fail "$program's man page lacks $option of its --help"
  done
  # Each form of the command keeps a line of its own in the synopsis.
  while IFS= read -r form; do
    grep -qxF -- "       $form" <<<"$page" || fail "$program's man page has no synopsis line \"$form\""
  done < <(sed -n 's|^Usage: \([^ ]*/\)\{0,1\}||p; s|^   or: ||p' <<<"$help")
done

gzip -dc "$root/usr/share/doc/veltrix-logger/changelog.gz" >"$work/changelog"
changelog_version=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
[ "$changelog_version" = "$version" ] || fail "the changelog's latest entry is $changelog_version, the package $version"

if command -v lintian >/dev/null; then
  # Errors only: warnings and notes are a reviewer's to weigh.
  errors=$(lintian --allow-root --fail-on none "$deb" 2>&1 | grep '^E: ')
  [ -z "$errors" ] || fail "lintian finds errors: $errors"
fi

if ((failures)); then
  exit 1
fi
echo "package as expected: $(basename "$deb")"
