#!/usr/bin/env bash
# An upstream source that the Windows and browser builds share, fetched once
# from Debian's source archive into their cache and checked by its checksum
# in cmake/windows/*.sha256. Prints the tarball's path. Only the upstream
# tarball is wanted, so apt-get may fail on the rest.
#   cmake/fuente.sh allegro4.4 allegro4.4_4.4.3.1.orig.tar.gz
set -euo pipefail
paquete=$1 fuente=$2
cache=${XDG_CACHE_HOME:-$HOME/.cache}/carrera
mkdir -p "$cache"
suma=$(mktemp)
trap 'rm -f "$suma"' EXIT
grep -h "  $fuente\$" "$(cd "$(dirname "$0")" && pwd)"/windows/*.sha256 > "$suma" \
  || { echo "no checksum for $fuente in cmake/windows" >&2; exit 1; }
# sha256sum reports a missing file on standard output, which is the caller's:
# only the path may go there.
if ! (cd "$cache" && sha256sum -c --quiet "$suma" >/dev/null 2>&1); then
  apt_dir=$(mktemp -d)
  trap 'rm -rf "$apt_dir" "$suma"' EXIT
  espejo=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1)
  [ -n "$espejo" ] || espejo=$(awk '$1 == "deb" {print $2; exit}' /etc/apt/sources.list)
  . /etc/os-release
  echo "deb-src $espejo $VERSION_CODENAME main" > "$apt_dir/sources.list"
  mkdir -p "$apt_dir/listas/partial"
  o=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
     -o Dir::State::Lists="$apt_dir/listas")
  apt-get "${o[@]}" update -qq >&2
  (cd "$apt_dir" && apt-get "${o[@]}" source --download-only "$paquete" >/dev/null 2>&1 || true)
  (cd "$apt_dir" && sha256sum -c "$suma" >&2)
  mv "$apt_dir/$fuente" "$cache/$fuente"
fi
echo "$cache/$fuente"
