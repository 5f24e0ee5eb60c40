# shellcheck shell=bash
# Shell helpers to run the game on a private X server and look at its screen.
# Sourced by the install tests and by script/capturas.

# Polls a command every tenth of a second until it succeeds or the seconds run out.
#   esperar SECONDS command...
esperar() {
  local hasta=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$hasta" ] || return 1
    sleep 0.1
  done
}

_pantalla_lista() { grep -q '^[0-9]' "$_pantalla_num" 2>/dev/null; }

# Starts Xvfb on a free display (it picks one and tells it through a file
# descriptor) and exports DISPLAY. Xvfb is stopped by pantalla_cerrar.
#   pantalla_abrir WORKDIR
pantalla_abrir() {
  _pantalla_num="$1/display"
  : > "$_pantalla_num"
  Xvfb -displayfd 9 -screen 0 800x600x24 -nolisten tcp -noreset 9>"$_pantalla_num" \
    >"$1/xvfb.log" 2>&1 &
  _pantalla_pid=$!
  esperar 30 _pantalla_lista || { echo "Xvfb did not start" >&2; cat "$1/xvfb.log" >&2; return 1; }
  DISPLAY=":$(head -n1 "$_pantalla_num")"
  export DISPLAY
}

pantalla_cerrar() {
  if [ -n "${_pantalla_pid:-}" ]; then
    kill "$_pantalla_pid" 2>/dev/null || true
    wait "$_pantalla_pid" 2>/dev/null || true
    _pantalla_pid=
  fi
}

# The whole screen as a PNG.
#   foto OUT.png
foto() {
  xwd -root -silent | convert xwd:- -strip "PNG24:$1"
}

# True when the screen shows the title picture where the game puts it: one
# pixel in from the top left corner. Allegro works in 6-bit colour, hence the
# small fuzz.
#   es_titulo TITULO.png SHOT.png
es_titulo() {
  local diff
  foto "$2"
  convert "$2" -crop 799x599+1+1 +repage "PNG24:$2.a.png"
  convert "$1" -crop 799x599+0+0 +repage "PNG24:$2.b.png"
  diff=$(compare -metric AE -fuzz 2% "$2.a.png" "$2.b.png" null: 2>&1) || true
  rm -f "$2.a.png" "$2.b.png"
  [ "$diff" = 0 ]
}

# True when the game's window is one a desktop takes in: mapped, 800x600, not
# override-redirect, and no override-redirect window (Allegro's fullscreen
# driver draws in one) is on the screen.
ventana_de_escritorio() {
  local id info hijo
  id=$(xdotool search --class Carrera) || return 1
  info=$(xwininfo -id "$id")
  grep -q 'Map State: IsViewable' <<<"$info" && grep -q 'Override Redirect State: no' <<<"$info" &&
    grep -q -- '-geometry 800x600+' <<<"$info" || return 1
  for hijo in $(xwininfo -root -children | awk '$1 ~ /^0x/ {print $1}'); do
    info=$(xwininfo -id "$hijo")
    ! { grep -q 'Override Redirect State: yes' <<<"$info" && grep -q IsViewable <<<"$info"; } || return 1
  done
}

# A home with a do-nothing ALSA device, so that Allegro's sound starts without
# a sound card and its software MIDI player has to load the patches.
#   casa_sin_sonido DIR
casa_sin_sonido() {
  mkdir -p "$1"
  printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$1/.asoundrc"
}
