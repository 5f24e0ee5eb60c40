"""The race keeps its pace: one step a frame, 100 frames a second, so the
climb from y 490 to the top bound at y 90 takes 400 frames, four seconds.
A loop that ran frames between ticks would make it a fraction of a second;
one that lost ticks, or ticked slower, would take twice as long. Ticks that
come while the game is held up are still run, so a busy machine costs it
little: the bounds are wide."""
import time

import pantalla as P

r = P.rutas()


def subida():
    with P.carrera(r) as (p, pista, cs):
        t0 = time.monotonic()
        P.tecla(p, "Up", True)

        def arriba(img):
            c = P.buscar_coche(img, pista, cs)
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


P.correr([subida])
