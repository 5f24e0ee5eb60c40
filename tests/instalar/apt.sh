#!/usr/bin/env bash
# Installs the .deb with apt-get as a player would, plays it from its menu
# entry's command, and removes it again. It changes the machine while it
# runs, so it runs only when asked: CARRERA_APT=1, as root, and only where no
# carrera package is installed already.
#   apt.sh BUILDDIR
set -euo pipefail
build=$1
aqui=$(dirname "$(readlink -f "$0")")
if [ "${CARRERA_APT:-}" != 1 ] || [ "$(id -u)" -ne 0 ]; then
  echo "skipped: set CARRERA_APT=1 and run as root to install the .deb for real"
  exit 77
fi
if dpkg-query -W -f='${Status}' carrera 2>/dev/null | grep -q 'ok installed'; then
  echo "skipped: a carrera package is installed already"
  exit 77
fi
tmp=$(mktemp -d)
quitar() {
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq carrera >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap quitar EXIT

cpack --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; exit 1; }
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$tmp"/carrera_*.deb >"$tmp/apt.log" 2>&1 ||
  { cat "$tmp/apt.log" >&2; exit 1; }
bash "$aqui/instalado.sh" "$build" sistema
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq carrera >"$tmp/apt.log" 2>&1
[ ! -e /usr/games/carrera ] && [ ! -e /usr/lib/games/carrera ] ||
  { echo "FAIL: files left after removing the package" >&2; exit 1; }
echo "ok: installed with apt-get, played from the menu command, removed"
