"""Small files for the tests, made from nothing: 8-bit BMP pictures, WAV
sounds, a one-note MIDI tune, and datafiles packed from them with Allegro's
`dat` tool.

    bmp8(ruta, ancho, alto, pixel)      pixel(x, y) -> colour index 0..255
    wav(ruta, muestras, hz=22050)       muestras: 8-bit unsigned bytes
    midi(ruta)                          a short tune
    datafile(ruta, entradas)            entradas: [(fichero, tipo)] in order,
                                        tipo one of BMP, RLE, SAMP, MIDI
    datos_de_prueba(dir)                a full eight-entry datos.dat in dir
"""

import os
import struct
import subprocess


def bmp8(ruta, ancho, alto, pixel):
    # Rows are stored bottom up, each padded to four bytes.
    fila = (ancho + 3) & ~3
    datos = bytearray()
    for y in range(alto - 1, -1, -1):
        datos += bytes(pixel(x, y) for x in range(ancho))
        datos += bytes(fila - ancho)
    # The palette only has to be there: grabbing to 8 bits keeps the indices.
    paleta = b"".join(bytes((i, i, i, 0)) for i in range(256))
    inicio = 14 + 40 + len(paleta)
    cabeza = struct.pack("<2sIHHI", b"BM", inicio + len(datos), 0, 0, inicio)
    info = struct.pack("<IiiHHIIiiII", 40, ancho, alto, 1, 8, 0, len(datos),
                       2835, 2835, 256, 0)
    with open(ruta, "wb") as f:
        f.write(cabeza + info + paleta + bytes(datos))


def wav(ruta, muestras, hz=22050):
    muestras = bytes(muestras)
    fmt = struct.pack("<HHIIHH", 1, 1, hz, hz, 1, 8)
    cuerpo = (b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt +
              b"data" + struct.pack("<I", len(muestras)) + muestras)
    with open(ruta, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(cuerpo)) + cuerpo)


def midi(ruta):
    notas = b""
    for n in (60, 64, 67, 72):
        notas += b"\x00\x90" + bytes((n, 100)) + b"\x60\x80" + bytes((n, 0))
    pista = b"\x00\xc0\x00" + notas + b"\x00\xff\x2f\x00"
    with open(ruta, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96))
        f.write(b"MTrk" + struct.pack(">I", len(pista)) + pista)


def datafile(ruta, entradas):
    # -n0 keeps the order given, which is the order of the game's indices.
    if os.path.exists(ruta):
        os.remove(ruta)
    for fichero, tipo in entradas:
        r = subprocess.run(["dat", "-n0", "-s1", "-bpp", "8", "-t", tipo, ruta, "-a",
                            fichero], capture_output=True, text=True)
        if r.returncode != 0 or not os.path.exists(ruta):
            raise RuntimeError("dat failed on %s: %s%s" % (fichero, r.stdout,
                                                            r.stderr))


def coche(ancho, alto, color):
    # A car with a transparent (colour 0) corner and a dark stripe, so that
    # position and facing both show.
    def pixel(x, y):
        if x < 3 and y < 3:
            return 0
        if y == alto // 3:
            return 16
        return color
    return pixel


def datos_de_prueba(dir):
    """Writes dir/datos.dat with the game's eight entries, painted here, and
    returns its path."""
    os.makedirs(dir, exist_ok=True)
    f = lambda n: os.path.join(dir, n)
    midi(f("musica.mid"))
    bmp8(f("abajo.bmp"), 12, 20, coche(12, 20, 40))
    bmp8(f("izquierda.bmp"), 20, 12, coche(20, 12, 41))
    bmp8(f("derecha.bmp"), 20, 12, coche(20, 12, 42))
    bmp8(f("arriba.bmp"), 12, 20, coche(12, 20, 43))
    wav(f("motor.wav"), [128 + (40 if (i // 10) % 2 else -40) for i in range(2205)])
    bmp8(f("pista.bmp"), 513, 498, lambda x, y: 17 + (x // 32 + y // 32) % 8)
    bmp8(f("titulo.bmp"), 800, 600, lambda x, y: (x * 7 + y * 3) % 256)
    salida = f("datos.dat")
    datafile(salida, [(f("musica.mid"), "MIDI"), (f("abajo.bmp"), "RLE"),
                      (f("izquierda.bmp"), "RLE"), (f("derecha.bmp"), "RLE"),
                      (f("arriba.bmp"), "RLE"), (f("motor.wav"), "SAMP"),
                      (f("pista.bmp"), "BMP"), (f("titulo.bmp"), "BMP")])
    return salida
