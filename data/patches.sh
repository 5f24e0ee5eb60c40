#!/bin/sh
# Turns freepats' TiMidity index into the Gravis-style default.cfg that
# pat2dat reads, in a folder of its own with a link to each patch under a
# plain name: pat2dat names each instrument after its path, and a slash in
# that name would read as a nested datafile.
#   freepats: "N dir/file.pat opts" with 0-based programs after "bank 0",
#             drum notes after "drumset 0"
#   default.cfg: 1-based programs, drum notes inside a multipatch block
set -e
cfg=${1:?uso: patches.sh freepats.cfg carpeta}
dir=${2:?uso: patches.sh freepats.cfg carpeta}
mkdir -p "$dir"
rm -f "$dir"/*.pat

awk -v dir="$dir" -v base="$(dirname "$cfg")" '
   function nombre(f) { sub(/.*\//, "", f); sub(/\.pat$/, "", f); return f }
   function enlazar(f) {
      ruta = (f ~ /^\//) ? f : raiz "/" f
      if (ruta !~ /\.pat$/) ruta = ruta ".pat"
      system("ln -sf \"" ruta "\" \"" dir "/" nombre(f) ".pat\"")
   }
   BEGIN { raiz = base; parte = "" }
   $1 == "dir" { raiz = $2; next }
   $1 == "bank" && $2 == 0 { parte = "tono"; next }
   $1 == "drumset" && $2 == 0 { parte = "bateria"; next }
   $1 == "bank" || $1 == "drumset" { parte = ""; next }
   $1 ~ /^[0-9]+$/ && NF >= 2 && parte == "tono" {
      enlazar($2); tonos[$1 + 1] = nombre($2); next
   }
   $1 ~ /^[0-9]+$/ && NF >= 2 && parte == "bateria" {
      enlazar($2); golpes[$1] = nombre($2); next
   }
   END {
      print "# Made from freepats by patches.sh"
      for (i = 1; i <= 128; i++) if (i in tonos) print i, tonos[i]
      print "129-256 begin_multipatch default blank"
      for (i = 0; i <= 127; i++) if (i in golpes) print "\t" i, golpes[i]
      print "end_multipatch"
   }
' "$cfg" > "$dir/default.cfg"
