"""The race clock: counts seconds from 0:0: 0, a space before one-digit
seconds, and never shows anything but the time it has reached."""
import glob
import os
import unittest

import pantalla as P

r = P.rutas()


def reloj():
    P.con_datos(r)
    # Each second's clock box, drawn by the reference; 0:0:10 shows that the
    # space goes and the padding leaves no digit behind.
    textos = [P.texto_reloj(0, 0, s) for s in range(12)]
    cajas = [P.recorte(P.ref(r, "carrera", 0, 0, -1, 0, t), P.RELOJ_X, P.RELOJ_Y,
                       P.RELOJ_W, P.RELOJ_H) for t in textos]
    with P.partida(r["carrera"], r["datos"], r["extra"]) as p:
        P.empezar_carrera(p, r)
        vistos = []

        def leer(img):
            caja = P.recorte(img, P.RELOJ_X, P.RELOJ_Y, P.RELOJ_W, P.RELOJ_H)
            if caja not in cajas:
                P.fallo("clock box shows none of %s (after %s)" % (
                    ", ".join(repr(t) for t in textos), [textos[s] for s in vistos[-3:]]), img)
            s = cajas.index(caja)
            if vistos and s < vistos[-1]:
                P.fallo("clock went back from %r to %r" % (textos[vistos[-1]], textos[s]), img)
            if not vistos or s != vistos[-1]:
                vistos.append(s)
            return s == 10 or "clock at %r" % textos[s]
        P.esperar(p, leer, "the clock at 0:0:10", 30)
        # Every second on the way, none skipped (a screenshot takes far less).
        if vistos != list(range(vistos[0], 11)) or vistos[0] > 2:
            P.fallo("clock showed %s" % [textos[s] for s in vistos])



def una_hora():
    """Time two hundred times faster (the timer thread follows the system
    clock): minutes and hours reach the screen in their places, and the hour
    leaves no digit of 0:59:59 behind."""
    P.con_datos(r)
    libs = glob.glob("/usr/lib/*/faketime/libfaketimeMT.so.1")
    if not libs:
        raise unittest.SkipTest("no libfaketime (script/bootstrap installs it)")
    vistos = []

    def leer(img):
        v = P.hora_reloj(r, img)
        if v is None or (vistos and v < vistos[-1]):
            P.fallo("clock shows %r after %s" % (P.leer_reloj(r, img), vistos[-3:]), img)
        vistos.append(v)
        return v >= (1, 0, 0) or "clock at %s" % (v,)
    env = {"LD_PRELOAD": libs[0], "FAKETIME": "+0 x200"}
    if "TSAN_OPTIONS" in os.environ:
        # Its timed waits reach the sanitizer (tests/espera_vista.c).
        env["LD_PRELOAD"] += " " + os.environ["ESPERA_VISTA"]
    if "ASAN_OPTIONS" in os.environ:
        # libfaketime comes before the sanitizer's runtime.
        env["ASAN_OPTIONS"] = os.environ["ASAN_OPTIONS"] + ":verify_asan_link_order=0"
    with P.partida(r["carrera"], r["datos"], r["extra"], env=env) as p:
        P.empezar_carrera(p, r)
        P.esperar(p, leer, "the clock past 1:0:0", 120)
    if not any((0, 1, 0) <= v < (0, 10, 0) for v in vistos) or \
            not any((0, 50, 0) <= v < (1, 0, 0) for v in vistos):
        P.fallo("clock never seen in its first minutes and its last before the hour: %s"
                % vistos[::max(1, len(vistos) // 20)])


P.correr([reloj, una_hora])
