"""Soak: a minute of random arrow key storms, never Space. All the while the
car stays drawn within the track's bounds and the clock runs on; after it
the race still ends with Space, and the closing pages lead to status 0.

AGUANTE_SEMILLA=n repeats a run (the seed is printed); AGUANTE_SEGUNDOS
changes the length (60)."""
import os
import random
import time

import breve
import pantalla as P

r = breve.r
FLECHAS = ("Up", "Down", "Left", "Right")
# Top-left corner of the car: the bounds that stop each key's step.
X0, X1, Y0, Y1 = 163, 503, 90, 496


def ver_coche(p, pista, cs):
    """The car's (x, y, image). A screenshot may fall between a frame's
    track redraw and its car, so a few tries are allowed."""
    visto = None
    for _ in range(20):
        img = P.captura(p)
        c = P.buscar_coche(img, pista, cs)
        if isinstance(c, tuple):
            x, y, _k = c
            if not (X0 <= x <= X1 and Y0 <= y <= Y1):
                P.fallo("car at (%d,%d), outside x %d..%d, y %d..%d"
                        % (x, y, X0, X1, Y0, Y1), img)
            return c
        visto = c
        if p["proc"].poll() is not None:
            P.fallo("game exited in the storm, status %s; stderr: %s"
                    % (p["proc"].returncode, P.leer_err(p)[-6000:]), img)
    P.fallo("no car seen in 20 screenshots; last: %s" % visto, img)


def segundo(p, desde):
    """The clock's second, read against the reference's clock boxes from
    `desde` on (the clock never goes back), or None if none matches."""
    img = P.captura(p)
    caja = P.recorte(img, P.RELOJ_X, P.RELOJ_Y, P.RELOJ_W, P.RELOJ_H)
    for s in range(desde, desde + 8):
        t = P.texto_reloj(0, s // 60, s % 60)
        esperado = P.recorte(P.ref(r, "carrera", 0, 0, -1, 0, t), P.RELOJ_X,
                             P.RELOJ_Y, P.RELOJ_W, P.RELOJ_H)
        if caja == esperado:
            return s
    return None


def vueltas_en_pantalla(p, hasta=200):
    img = P.captura(p)
    for n in range(hasta):
        if P.igual_region(img, P.ref(r, "carrera", 0, 0, -1, n, ""), 0, 0, 100, 10):
            return n
    P.fallo("lap text shows no count 0..%d" % (hasta - 1), img)


def aguante():
    P.con_datos(r)
    semilla = int(os.environ.get("AGUANTE_SEMILLA") or random.randrange(1 << 31))
    segundos = float(os.environ.get("AGUANTE_SEGUNDOS") or 60)
    print("seed %d (AGUANTE_SEMILLA=%d repeats this run)" % (semilla, semilla), flush=True)
    azar = random.Random(semilla)
    with P.partida(r["carrera"], r["datos"], r["extra"]) as p:
        pista = P.empezar_carrera(p, r)
        cs = P.coches(r)
        s = segundo(p, 0) or 0
        cambio = time.monotonic()  # when the clock last moved on
        eventos = vistos = 0
        fin = time.monotonic() + segundos
        mirar = time.monotonic() + 1
        while time.monotonic() < fin:
            t = azar.choice(FLECHAS)
            if azar.random() < 0.3:
                # A tap; it also lets go of the key if it was held.
                P.pulsar(p, t)
                p["pulsadas"].discard(t)
            else:
                P.tecla(p, t, t not in p["pulsadas"])
            eventos += 1
            time.sleep(azar.uniform(0, 0.05))
            if time.monotonic() < mirar:
                continue
            mirar = time.monotonic() + 1
            ver_coche(p, pista, cs)
            vistos += 1
            n = segundo(p, s)
            if n is None:
                P.fallo("clock box is none of the seconds %d..%d" % (s, s + 7), P.captura(p))
            if n > s:
                s, cambio = n, time.monotonic()
            elif time.monotonic() - cambio > 5:
                P.fallo("clock stuck at %d s for 5 s" % s, P.captura(p))
        for t in list(p["pulsadas"]):
            P.tecla(p, t, False)
        print("%d key events, %d car checks, clock at %d s" % (eventos, vistos, s), flush=True)
        if s < segundos - 3:
            P.fallo("clock at %d s after a %d s storm" % (s, segundos))
        ver_coche(p, pista, cs)
        # Keys up, the count settles within a frame or two; read it twice alike.
        n = vueltas_en_pantalla(p)
        P.esperar(p, lambda i: vueltas_en_pantalla(p) == n or "lap count moved",
                  "the lap count to settle")
        n = vueltas_en_pantalla(p)
        print("%d laps" % n, flush=True)
        breve.fin_de_carrera(p, n)


P.correr([aguante])
