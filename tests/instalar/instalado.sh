#!/usr/bin/env bash
# Installs the game from the build tree and plays it the way a player would:
# the installed command, started from a directory that has nothing of the
# game, must show the title and let Allegro find the tune's patches.
#   instalado.sh BUILDDIR prefijo   cmake --install --prefix TMP
#   instalado.sh BUILDDIR destdir   DESTDIR=TMP cmake --install --prefix /opt/carrera
#   instalado.sh BUILDDIR sistema   already installed under /usr (by apt.sh)
set -euo pipefail
build=$1 modo=$2
aqui=$(dirname "$(readlink -f "$0")")
. "$aqui/pantalla.sh"

tmp=$(mktemp -d)
juego=
parar_juego() {
  [ -z "$juego" ] || kill -- "-$juego" 2>/dev/null || true
  [ -z "$juego" ] || wait "$juego" 2>/dev/null || true
  juego=
}
terminar() {
  parar_juego
  pantalla_cerrar
  rm -rf "$tmp"
}
trap terminar EXIT
fallo() { echo "FAIL: $*" >&2; exit 1; }

case $modo in
  prefijo)
    prefijo=$tmp/prefijo raiz=$prefijo
    cmake --install "$build" --prefix "$prefijo" >"$tmp/install.log" ;;
  destdir)
    prefijo=/opt/carrera raiz=$tmp/destdir$prefijo
    DESTDIR=$tmp/destdir cmake --install "$build" --prefix "$prefijo" >"$tmp/install.log"
    [ ! -e "$prefijo" ] || fallo "DESTDIR install wrote into $prefijo itself" ;;
  sistema)
    prefijo=/usr raiz=/usr ;;
  *) fallo "unknown mode $modo" ;;
esac

# The layout: the command, the game with Allegro's files beside it, the data.
for f in games/carrera lib/games/carrera/carrera; do
  [ -x "$raiz/$f" ] || fallo "$f is not installed as a program"
done
for f in lib/games/carrera/allegro.cfg lib/games/carrera/patches.dat \
         share/games/carrera/datos.dat share/applications/carrera.desktop \
         share/icons/hicolor/48x48/apps/carrera.png share/man/man6/carrera.6.gz; do
  [ -s "$raiz/$f" ] || fallo "$f is missing or empty"
done
cmp -s "$build/datos.dat" "$raiz/share/games/carrera/datos.dat" || fallo "datos.dat differs from the built one"

# The menu entry runs the command by its installed path, without DESTDIR.
exec_menu=$(sed -n 's/^Exec=//p' "$raiz/share/applications/carrera.desktop")
[ "$exec_menu" = "$prefijo/games/carrera" ] || fallo "menu entry runs '$exec_menu', not $prefijo/games/carrera"
desktop-file-validate "$raiz/share/applications/carrera.desktop" || fallo "menu entry does not validate"
appstreamcli validate --no-net "$raiz/share/metainfo/org.carrera_juego.carrera.metainfo.xml" ||
  fallo "AppStream metadata does not validate"

convert "$build/data/titulo.pcx" "PNG24:$tmp/titulo.png"
casa_sin_sonido "$tmp/casa"
mkdir "$tmp/otro"
pantalla_abrir "$tmp"

# Starts the installed command from an unrelated directory, with every file it
# opens written down, in a process group of its own to stop it whole.
arrancar() {
  (cd "$tmp/otro" && HOME="$tmp/casa" exec setsid strace -qq -e trace=openat -o "$1" \
     "$raiz/games/carrera" >"$1.out" 2>"$1.err") &
  juego=$!
}

# Allegro opened the installed patches.dat (not merely looked for it).
abrio_patches() {
  grep -Eq "openat\(AT_FDCWD, \"$raiz/lib/games/carrera/patches.dat\", O_RDONLY[^)]*\) = [0-9]+$" "$1"
}

arrancar "$tmp/traza"
esperar 30 es_titulo "$tmp/titulo.png" "$tmp/pantalla.png" || {
  cp "$tmp/pantalla.png" "$build/instalar-$modo-pantalla.png" 2>/dev/null || true
  cat "$tmp/traza.err" >&2
  fallo "the title did not appear (screen kept in $build/instalar-$modo-pantalla.png)"
}
abrio_patches "$tmp/traza" || { grep patches "$tmp/traza" >&2 || true; fallo "patches.dat was not opened"; }
[ ! -s "$tmp/traza.err" ] || { cat "$tmp/traza.err" >&2; fallo "the game wrote to stderr"; }
ventana_de_escritorio || { xwininfo -root -tree >&2; fallo "no mapped 800x600 window, or one over the screen"; }

# A key passes the title: the race screen's green comes up.
en_carrera() {
  foto "$tmp/pantalla.png"
  [ "$(convert "$tmp/pantalla.png" -format '%[pixel:p{5,300}]' info:)" = "srgb(0,255,0)" ]
}
xdotool key Return
esperar 30 en_carrera || fallo "a key did not start the race"
parar_juego

# The check above tells a missing patch set: without patches.dat the same
# run opens no such file (and the game goes on silent).
rm "$raiz/lib/games/carrera/patches.dat"
arrancar "$tmp/traza2"
esperar 30 es_titulo "$tmp/titulo.png" "$tmp/pantalla.png" || fallo "no title without patches.dat"
! abrio_patches "$tmp/traza2" || fallo "patches.dat seen although it is gone"
echo "ok: installed with $modo, a window with the title, patches found"
