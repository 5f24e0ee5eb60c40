#!/usr/bin/env bash
# Allegro 4.4.3.1's upstream source, fetched once from Debian's source archive
# into the cache that the Windows and browser builds share, and checked by its
# checksum. Prints the tarball's path. Only the upstream tarball is wanted, so
# apt-get may fail on the rest.
set -euo pipefail
suma=$(cd "$(dirname "$0")" && pwd)/windows/allegro.sha256
cache=${XDG_CACHE_HOME:-$HOME/.cache}/carrera
fuente=allegro4.4_4.4.3.1.orig.tar.gz
mkdir -p "$cache"
# sha256sum reports a missing file on standard output, which is the caller's:
# only the path may go there.
if ! (cd "$cache" && sha256sum -c --quiet "$suma" >/dev/null 2>&1); then
  apt_dir=$(mktemp -d)
  trap 'rm -rf "$apt_dir"' EXIT
  espejo=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1)
  [ -n "$espejo" ] || espejo=$(awk '$1 == "deb" {print $2; exit}' /etc/apt/sources.list)
  . /etc/os-release
  echo "deb-src $espejo $VERSION_CODENAME main" > "$apt_dir/sources.list"
  mkdir -p "$apt_dir/listas/partial"
  o=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
     -o Dir::State::Lists="$apt_dir/listas")
  apt-get "${o[@]}" update -qq >&2
  (cd "$apt_dir" && apt-get "${o[@]}" source --download-only allegro4.4 >/dev/null 2>&1 || true)
  (cd "$apt_dir" && sha256sum -c "$suma" >&2)
  mv "$apt_dir/$fuente" "$cache/$fuente"
fi
echo "$cache/$fuente"
