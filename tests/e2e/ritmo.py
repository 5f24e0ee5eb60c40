"""The race keeps its pace: one step a frame, 100 frames a second, so the
climb from y 490 to the top bound at y 90 takes 400 frames, four seconds.
The frames and the race clock come from Allegro's one timer thread, so
between two changes of the clock's seconds the car climbs 100 px however busy
the machine is: a frame timer a fifth slow or fast is 80 or 120. The wall
clock bounds only what the race clock cannot see: a loop that ran frames
between ticks would climb in a fraction of a second, a timer thread slow
altogether would take twice as long.

Between frames, and on the title, the game sleeps: a wait that spun on the
counter would take a whole core, where the game needs a few hundredths of
one. Its CPU time is measured over a few seconds of each, against half a
core, which no spin on a quiet machine stays under."""
import os
import time
import unittest

import pantalla as P

r = P.rutas()
# px per second of the race clock. A change of the seconds is seen between two
# screenshots, so the climb is known only to a few px, more on a busy machine:
# it fails only when all it can be is out of bounds.
LENTO, RAPIDO = 90, 110


def subida():
    with P.carrera(r) as (p, pista, cs):
        vistos = []  # (second of the race clock, car y), one per screenshot
        t0 = time.monotonic()
        P.tecla(p, "Up", True)

        def arriba(img):
            c, hora = P.buscar_coche(img, pista, cs), P.hora_reloj(r, img)
            if isinstance(c, tuple) and hora:
                vistos.append((hora[0] * 3600 + hora[1] * 60 + hora[2], c[1]))
            return c == (300, 90, P.ARRIBA) or "car %s, expected (300, 90)" % (c,)
        P.esperar(p, arriba, "the car at the top bound")
        t = time.monotonic() - t0
        print("400 px up in %.2f s: %.0f px/s" % (t, 400 / t))
        if t < 3.0:
            P.fallo("the car climbed 400 px in %.2f s (%.0f px/s): faster than one "
                    "step a frame at 100 frames a second" % (t, 400 / t))
        if t > 7.0:
            P.fallo("the car climbed 400 px in %.2f s (%.0f px/s): far slower than "
                    "100 px/s" % (t, 400 / t))

        # Each change of the seconds while the car climbed, with the car's y
        # on the screenshots before and after it: the car was in between.
        cambios = [(s, antes, despues) for (s0, antes), (s, despues) in zip(vistos, vistos[1:])
                   if s != s0 and antes < 490 and despues > 90]
        if len(cambios) < 2 or cambios[-1][0] <= cambios[0][0]:
            P.fallo("the clock's seconds changed at %s while the car climbed (second, y "
                    "before, y after): not a whole second" % (cambios,))
        (s1, antes1, despues1), (s2, antes2, despues2) = cambios[0], cambios[-1]
        k = s2 - s1
        poco, mucho = (despues1 - antes2) / k, (antes1 - despues2) / k
        print("%.0f-%.0f px a second of the race clock (%d s)" % (poco, mucho, k))
        if mucho < LENTO or poco > RAPIDO:
            P.fallo("the car climbed %.0f-%.0f px a second from second %d to %d of the "
                    "race clock, expected 100 (%d-%d)" % (poco, mucho, s1, s2, LENTO, RAPIDO))


# Of one core, the most the game may take on the title or racing with a key held.
CPU_MAX = 0.4


def cpu(p):
    """CPU seconds the game's process (all its threads) has used."""
    with open("/proc/%d/stat" % p["proc"].pid) as f:
        campos = f.read().rsplit(")", 1)[1].split()
    return (int(campos[11]) + int(campos[12])) / os.sysconf("SC_CLK_TCK")


def parte_de_core(p, segundos):
    c0, t0 = cpu(p), time.monotonic()
    time.sleep(segundos)
    return (cpu(p) - c0) / (time.monotonic() - t0)


def descanso():
    # Under a sanitizer or valgrind the game runs many times slower: its CPU
    # time says nothing about its waits there.
    if os.environ.get("CARRERA_ENVOLTORIO") or any(
            k in os.environ for k in ("ASAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS")):
        raise unittest.SkipTest("a checked game: its CPU time is not the game's")
    P.con_datos(r)
    with P.partida(r["carrera"], r["datos"], r["extra"]) as p:
        titulo = P.ref(r, "titulo")
        P.esperar(p, lambda i: P.igual_region(i, titulo) or P.describir(i, titulo),
                  "the title screen")
        en_titulo = parte_de_core(p, 3)
        pista = P.empezar_carrera(p, r)
        cs = P.coches(r)
        P.tecla(p, "Up", True)
        time.sleep(0.5)
        corriendo = parte_de_core(p, 3)
        # The car still climbs: the frames ran while it was measured.
        c = P.buscar_coche(P.captura(p), pista, cs)
        print("CPU, part of a core: %.3f on the title, %.3f racing with a key held"
              % (en_titulo, corriendo))
        if not isinstance(c, tuple) or c[1] > 390:
            P.fallo("the car did not climb while the CPU was measured: %s" % (c,))
        for donde, parte in (("on the title", en_titulo), ("racing", corriendo)):
            if parte > CPU_MAX:
                P.fallo("the game took %.0f%% of a core %s: its wait does not sleep"
                        % (100 * parte, donde))


P.correr([subida, descanso])
