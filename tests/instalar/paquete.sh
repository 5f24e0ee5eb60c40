#!/usr/bin/env bash
# Builds the .deb from the build tree and reads it back: its control data
# and the files it would install.
#   paquete.sh BUILDDIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fallo() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; fallo "cpack failed"; }
debs=("$tmp"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -s "${debs[0]}" ] || fallo "cpack made no single .deb"
deb=${debs[0]}

campo() { dpkg-deb -f "$deb" "$1"; }
[ "$(campo Package)" = carrera ] || fallo "Package is '$(campo Package)'"
[ "$(campo Section)" = games ] || fallo "Section is '$(campo Section)'"
[ -n "$(campo Maintainer)" ] || fallo "no Maintainer"
[ "$(campo Architecture)" = "$(dpkg --print-architecture)" ] || fallo "Architecture is '$(campo Architecture)'"
depende=$(campo Depends)
for p in liballegro4.4 libsdl2-2.0-0 libc6; do
  grep -Eq "(^|, )$p( |,|$)" <<<"$depende" || fallo "Depends lacks $p: $depende"
done
# A summary line, then a body of lines that each start with a space.
desc=$(dpkg-deb -f "$deb" Description)
[ "$(wc -l <<<"$desc")" -ge 2 ] || fallo "Description has no long text"
! tail -n +2 <<<"$desc" | grep -q "^$(head -n1 <<<"$desc")\$" || fallo "Description repeats its summary"
! tail -n +2 <<<"$desc" | grep -q '^  ' || fallo "Description has lines indented as verbatim"

dpkg-deb -c "$deb" | awk '{print $1, $NF}' > "$tmp/lista"
for f in usr/games/carrera usr/lib/games/carrera/carrera; do
  grep -q "^-rwxr-xr-x ./$f\$" "$tmp/lista" || fallo "$f is not in the package as a program"
done
for f in usr/lib/games/carrera/allegro.cfg usr/lib/games/carrera/patches.dat \
         usr/share/games/carrera/datos.dat usr/share/applications/carrera.desktop \
         usr/share/icons/hicolor/48x48/apps/carrera.png usr/share/man/man6/carrera.6.gz \
         usr/share/doc/carrera/changelog.gz usr/share/doc/carrera/copyright \
         usr/share/metainfo/org.carrera_juego.carrera.metainfo.xml; do
  grep -q "^-rw-r--r-- ./$f\$" "$tmp/lista" || fallo "$f is not in the package"
done

dpkg-deb -x "$deb" "$tmp/raiz"
menu=$tmp/raiz/usr/share/applications/carrera.desktop
[ "$(sed -n 's/^Exec=//p' "$menu")" = /usr/games/carrera ] || fallo "menu entry does not run /usr/games/carrera"
desktop-file-validate "$menu" || fallo "menu entry does not validate"
cmp -s "$build/allegro.cfg" "$tmp/raiz/usr/lib/games/carrera/allegro.cfg" ||
  fallo "the packed allegro.cfg is not the build's, with its window"
! file "$tmp/raiz/usr/lib/games/carrera/carrera" | grep -q 'not stripped' || fallo "the game is not stripped"
# Hardened as Debian's own games are: stack protector, fortified libc calls,
# full RELRO with immediate binding, PIE. Debian 12's flags have no
# control-flow protection to look for.
hardening-check --nocfprotection "$tmp/raiz/usr/lib/games/carrera/carrera" >"$tmp/endurecido" ||
  { cat "$tmp/endurecido" >&2; fallo "the packed game lacks some of Debian's hardening"; }
# What Debian would say of it: no error, no warning.
# Its scratch files (mldbm-elf-*) go into our folder, which goes with them.
TMPDIR=$tmp lintian --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1 || true
! grep -E '^[EW]: ' "$tmp/lintian.log" || fallo "lintian has errors or warnings"
echo "ok: $(basename "$deb"), Depends: $depende"
