"""Sound, heard through SDL's disk driver with no sound card: the title
tune, and the step sound while an arrow is held.

    sonido.py musica | paso

The capture is raw S16_LE stereo at 44100 Hz, written as a card would play
it (pantalla.partida). Nothing here is judged by when a sound comes, only by
what is in the file between two moments."""
import array
import math
import operator
import os
import subprocess
import sys
import time
import unittest

import pantalla as P

r = P.rutas()
TASA = 44100
CUADRO = 4  # bytes per stereo frame
SIN_MUSICA = "[sound]\nmidi_card = 0\n"
CON_MUSICA_BAJA = "[sound]\nmidi_card = DIGI\nmidi_volume = 64\n"


def tam(ruta):
    return os.path.getsize(ruta) if os.path.exists(ruta) else 0


def esperar_audio(p, ruta, n, que):
    """Waits until the capture holds n bytes; returns its size then."""
    fin = time.monotonic() + P.ESPERA
    while tam(ruta) < n:
        if p["proc"].poll() is not None:
            P.fallo("waiting for %s: game exited with status %s" % (que, p["proc"].returncode))
        if time.monotonic() > fin:
            P.fallo("waiting for %s: the capture stayed at %d bytes, wanted %d (no sound "
                    "driver?); stderr: %s" % (que, tam(ruta), n, P.leer_err(p)[-500:]))
        time.sleep(0.02)
    return tam(ruta)


def izquierda(ruta, desde, hasta):
    """The left channel between two byte offsets."""
    with open(ruta, "rb") as f:
        f.seek(desde - desde % CUADRO)
        d = f.read((hasta - desde) // CUADRO * CUADRO)
    a = array.array("h")
    a.frombytes(d[:len(d) // CUADRO * CUADRO])
    if sys.byteorder != "little":
        a.byteswap()
    return list(a[0::2])


def rms(x):
    return math.sqrt(sum(map(operator.mul, x, x)) / len(x)) if x else 0.0


def plantilla(n=400):
    """The first n frames of the step sound as the mixer plays it at TASA
    (linear steps between the sample's own values)."""
    salida = subprocess.run([r["referencia"], r["datos"], "muestra"], capture_output=True,
                            check=True).stdout
    cabeza, datos = salida.split(b"\n", 1)
    hz, largo = map(int, cabeza.split())
    m = array.array("h")
    m.frombytes(datos[:largo * 2])
    if sys.byteorder != "little":
        m.byteswap()
    t = []
    for i in range(n):
        pos = i * hz / TASA
        k = int(pos)
        if k + 1 >= len(m):
            break
        t.append(m[k] + (m[k + 1] - m[k]) * (pos - k))
    return t


def parecido(x, t):
    """Best normalised correlation of t with any stretch of x, and where."""
    n = len(t)
    et = math.sqrt(sum(map(operator.mul, t, t)))
    mejor = (0.0, -1)
    for k in range(0, len(x) - n):
        v = x[k:k + n]
        e = sum(map(operator.mul, v, v))
        if e == 0:
            continue
        c = sum(map(operator.mul, v, t)) / (math.sqrt(e) * et)
        if c > mejor[0]:
            mejor = (c, k)
    return mejor


def sin_datos():
    P.con_datos(r)


def sin_patches():
    sin_datos()
    if not any(f.endswith("patches.dat") for f in r["extra"]):
        raise unittest.SkipTest("no patches.dat in %s: the tune has no instruments to play"
                                % r["salida"])


# ---- the title tune ----------------------------------------------------------

def musica_en_titulo():
    sin_patches()
    ruta = os.path.abspath("titulo.raw")
    with P.partida(r["carrera"], r["datos"], r["extra"], sonido=ruta) as p:
        titulo = P.ref(r, "titulo")
        P.esperar(p, lambda i: P.igual_region(i, titulo), "the title screen")
        t0 = time.monotonic()
        # Two seconds of audio, all of it played while the title waits: from
        # where the capture stood as it came, since a slow game (a checked
        # build) sounds silence for seconds between opening its sound and
        # its title.
        s0 = tam(ruta)
        n = esperar_audio(p, ruta, s0 + 2 * TASA * CUADRO, "two seconds of audio on the title")
        nivel = rms(izquierda(ruta, s0, n))
        if nivel < 300:
            P.fallo("title tune: RMS %.0f over 2 s of audio from the title on, expected > 300 "
                    "(silent?)" % nivel)
        print("title tune RMS %.0f" % nivel)
        # The tune lasts under a minute and plays once: well past its end the
        # title, still waiting, is silent.
        time.sleep(max(0, t0 + 75 - time.monotonic()))
        s1 = tam(ruta)
        cola = rms(izquierda(ruta, s1, esperar_audio(p, ruta, s1 + 2 * TASA * CUADRO,
                                                     "audio after the tune's end")))
        if cola != 0:
            P.fallo("title tune heard again 75 s after the title came: RMS %.0f" % cola)


def titulo_callado_sin_musica():
    # The other side of the test above: with MIDI off nothing else sounds,
    # so a loud capture there would be the tune and nothing else.
    sin_datos()
    ruta = os.path.abspath("callado.raw")
    with P.partida(r["carrera"], r["datos"], r["extra"], sonido=ruta, cfg=SIN_MUSICA) as p:
        titulo = P.ref(r, "titulo")
        P.esperar(p, lambda i: P.igual_region(i, titulo), "the title screen")
        n = esperar_audio(p, ruta, TASA * CUADRO, "a second of audio on the title")
        nivel = rms(izquierda(ruta, 0, n))
        if nivel != 0:
            P.fallo("with no MIDI the title should be silent, RMS %.0f" % nivel)


# ---- the step sound ------------------------------------------------------------

def conducir_un_rato(p, ruta, pista):
    """Holds Up for a hundred pixels; returns the capture's size when the key
    went down, when it came up, and four seconds of audio later."""
    cs = P.coches(r)
    # Taken before the key: the game may play its first step before the key's
    # command has returned, and the capture must hold that step's start.
    s1 = tam(ruta)
    P.tecla(p, "Up", True)
    def arriba(img):
        c = P.buscar_coche(img, pista, cs)
        return (isinstance(c, tuple) and c[1] <= 390) or "car %s" % (c,)
    P.esperar(p, arriba, "the car up to y 390")
    P.tecla(p, "Up", False)
    s2 = tam(ruta)
    s3 = esperar_audio(p, ruta, s2 + 4 * TASA * CUADRO, "audio after the key came up")
    return s1, s2, s3


def paso_solo():
    """No tune: the race is silent until an arrow is held, then the step
    sound's own waveform is heard at its level, then silence again."""
    sin_datos()
    ruta = os.path.abspath("paso.raw")
    t = plantilla()
    with P.partida(r["carrera"], r["datos"], r["extra"], sonido=ruta, cfg=SIN_MUSICA) as p:
        pista = P.empezar_carrera(p, r)
        s0 = esperar_audio(p, ruta, tam(ruta) + TASA * CUADRO, "a second of audio in the race")
        s1, s2, s3 = conducir_un_rato(p, ruta, pista)
        antes = rms(izquierda(ruta, 0, min(s0, s1)))
        if antes != 0:
            P.fallo("race before any key: RMS %.0f, expected silence" % antes)
        durante = izquierda(ruta, s1, s2 + TASA * CUADRO // 2)
        c, k = parecido(durante[:TASA], t)
        if c < 0.99:
            P.fallo("while Up was held: best match with the step sound %.3f, expected "
                    "> 0.99 (RMS %.0f)" % (c, rms(durante)))
        nivel = sum(map(operator.mul, durante[k:k + len(t)], t)) / sum(map(operator.mul, t, t))
        print("step sound at %.3f of the sample's own level" % nivel)
        # Volume 128 of 255 and halfway across: a step is a quarter of the sample
        # on each side; two steps the mixer starts together are twice that.
        if nivel < 0.22:
            P.fallo("step sound at %.3f of the sample's own level, expected 0.25 or more"
                    % nivel)
        cola = rms(izquierda(ruta, s2 + 2 * TASA * CUADRO, s3))
        if cola != 0:
            P.fallo("step sound still heard 2 s of audio after the key came up: RMS %.0f" % cola)


def paso_con_musica():
    """The shipped sound set-up: the tune plays on into the race, and the
    step sound must still be there on top of it."""
    sin_patches()
    ruta = os.path.abspath("paso_musica.raw")
    t = plantilla()
    # The tune at a quarter of its volume: loud parts of it would otherwise
    # swamp the match by chance, and it still plays on beside the steps.
    with P.partida(r["carrera"], r["datos"], r["extra"], sonido=ruta,
                   cfg=CON_MUSICA_BAJA) as p:
        pista = P.empezar_carrera(p, r)
        s0 = esperar_audio(p, ruta, tam(ruta) + TASA * CUADRO, "a second of audio in the race")
        s1, s2, s3 = conducir_un_rato(p, ruta, pista)
        if rms(izquierda(ruta, max(0, s0 - TASA * CUADRO), s0)) == 0:
            P.fallo("the tune is not heard in the race before any key")
        # Compare the same amount of audio with and without the key.
        n = min(TASA, (s2 - s1) // CUADRO)
        # A held note of the tune can look like the step by chance: the tune
        # alone is taken before the key and again once the steps are gone.
        solo_musica = min(parecido(izquierda(ruta, max(0, s0 - n * CUADRO), s0), t)[0],
                          parecido(izquierda(ruta, s3 - n * CUADRO, s3), t)[0])
        con_pasos, _ = parecido(izquierda(ruta, s1, s1 + n * CUADRO), t)
        print("step sound match: %.3f with Up held, %.3f with the tune alone" %
              (con_pasos, solo_musica))
        # The tune adds to the step in the same stretch of audio, so the match
        # falls short of 1 by how loud the tune is there.
        if con_pasos < 0.9 or con_pasos < solo_musica + 0.15:
            P.fallo("step sound not found over the tune: match %.3f with Up held, %.3f "
                    "without" % (con_pasos, solo_musica))


if sys.argv[1:] == ["musica"]:
    P.correr([musica_en_titulo, titulo_callado_sin_musica])
elif sys.argv[1:] == ["paso"]:
    P.correr([paso_solo, paso_con_musica])
else:
    sys.exit("uso: sonido.py musica|paso")
