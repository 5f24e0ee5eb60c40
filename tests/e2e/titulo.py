"""Title screen, then the race screen it leads to."""
import time

import pantalla as P

r = P.rutas()


def titulo_y_carrera():
    P.con_datos(r)
    with P.partida(r["carrera"], r["datos"], r["extra"]) as p:
        titulo = P.ref(r, "titulo")
        img = P.esperar(p, lambda i: P.igual_region(i, titulo)
                        or P.describir(i, titulo), "the title picture at (1,1)")
        # The picture is one pixel in: its first row and column are black.
        borde = [(x, 0) for x in range(800)] + [(0, y) for y in range(600)]
        malos = [q for q in borde if P.pixel(img, *q) != (0, 0, 0)]
        if malos:
            P.fallo("title border not black at %s: %s" % (malos[0], P.pixel(img, *malos[0])), img)

        # It waits for the player: still there two seconds on, with no key.
        fin = time.monotonic() + 2
        while time.monotonic() < fin:
            img = P.captura(p)
            if not P.igual_region(img, titulo) or p["proc"].poll() is not None:
                P.fallo("title went away with no key pressed: %s; game status %s"
                        % (P.describir(img, titulo), p["proc"].poll()), img)

        # Any key will do, not only Return.
        P.pulsar(p, "a")
        t0 = time.monotonic()
        # Once the fade is over and a frame has run: green surround, track,
        # car up at (300,490), no laps; the clock may have ticked already.
        relojes = [P.ref(r, "carrera", 300, 490, P.ARRIBA, 0, P.texto_reloj(0, 0, s))
                   for s in range(3)]

        def carrera(img):
            fuera_reloj = P.distintos(img, relojes[0], 0, 0, P.RELOJ_X, 600) + \
                P.distintos(img, relojes[0], P.RELOJ_X, P.RELOJ_Y + P.RELOJ_H, 800 - P.RELOJ_X, 600 - P.RELOJ_H - 1)
            if fuera_reloj:
                return "race screen: %s" % P.describir(img, relojes[0], 0, 10, 800, 590)
            if not any(P.igual_region(img, c, P.RELOJ_X, 0, 800 - P.RELOJ_X, 10) for c in relojes):
                return "clock box is none of 0:0: 0 .. 0:0: 2"
            return True
        P.esperar(p, carrera, "the race screen at its start")
        # The slowest fade takes nearly two seconds; a busy machine only adds.
        if time.monotonic() - t0 < 1.2:
            P.fallo("race screen up %.2f s after the key: no slow fade-in" % (time.monotonic() - t0))


P.correr([titulo_y_carrera])
