#!/usr/bin/env bash
# cmake --install puts exactly the programs, their man pages when the build
# makes them, with the window its desktop entry and icon, and the copyright
# file and changelog under the prefix, the Python module when the build makes
# it, and the installed programs run from there.
#   install_test.sh BUILD_DIR WITH_WINDOW(0|1) WITH_MAN_PAGES(0|1) [PYTHON_MODULE_FILE_NAME]
set -uo pipefail
build=$1
with_window=$2
with_man_pages=$3
python_module=${4:-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"

programs=(veltrix-boardsim veltrix-cli)
expected=(share/doc/veltrix-logger/copyright share/doc/veltrix-logger/changelog.gz lib/udev/rules.d/60-veltrix-logger.rules)
if ((with_window)); then
  programs+=(veltrix-logger)
  expected+=(share/applications/veltrix-logger.desktop share/icons/hicolor/scalable/apps/veltrix-logger.svg)
fi
if [ -n "$python_module" ]; then
  for file in __init__.py __init__.pyi py.typed "$python_module"; do
    expected+=("lib/python3/dist-packages/veltrix/$file")
  done
fi
for program in "${programs[@]}"; do
  expected+=("bin/$program")
  if ((with_man_pages)); then
    expected+=("share/man/man1/$program.1.gz")
  fi
done
actual=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)
diff <(printf '%s\n' "${expected[@]}" | sort) <(printf '%s\n' "$actual") ||
  fail "installed files differ from the expected list (< expected, > installed)"

# The window answers --help before it needs a display.
for program in "${programs[@]}"; do
  "$prefix/bin/$program" --help >/dev/null || fail "installed $program --help failed"
done

if ((with_window)); then
  entry=$prefix/share/applications/veltrix-logger.desktop
  exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -x "$prefix/bin/$exec_program" ] || fail "the desktop entry starts \"$exec_program\", which is not installed"
  [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the desktop entry's icon \"$icon\" is not installed"
fi

if ((failures)); then
  exit 1
fi
echo "installed as expected"
