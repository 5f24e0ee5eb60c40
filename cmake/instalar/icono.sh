#!/usr/bin/env bash
# Makes the menu icon from the car seen from above. Colour 0 is the see-through
# colour, but the tyres are black too: so palette entry 0 is first repainted
# magenta (the PCX palette is the file's last 768 bytes) and only that turns
# transparent. The car is blown up without blurring, then set upright in the
# middle of each square size.
#   icono.sh convert coche_arriba.pcx outdir size...
set -euo pipefail
convert=$1 coche=$2 salida=$3
shift 3
mkdir -p "$salida"
marcado="$salida/marcado.pcx" grande="$salida/grande.png"
cp "$coche" "$marcado"
tam=$(stat -c %s "$marcado")
printf '\377\000\377' | dd of="$marcado" bs=1 seek=$((tam - 768)) conv=notrunc status=none
"$convert" "$marcado" -transparent magenta -filter point -resize 300% "$grande"
for t in "$@"; do
  "$convert" "$grande" -filter Lanczos -resize "${t}x${t}" -background none \
    -gravity center -extent "${t}x${t}" "PNG32:$salida/$t.png"
done
rm -f "$marcado" "$grande"
