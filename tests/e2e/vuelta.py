"""One lap driven against the track's bounds: up, right, down, left."""

import pantalla as P

r = P.rutas()


def conducir(p, pista, cs, nombre, x, y, imagen):
    """Holds a key (or several, joined by +) until the car stands at (x, y)
    facing as given."""
    for t in nombre.split("+"):
        P.tecla(p, t, True)

    def llegado(img):
        c = P.buscar_coche(img, pista, cs)
        return c == (x, y, imagen) or "car %s, expected %s" % (c, (x, y, imagen))
    img = P.esperar(p, llegado, "the car stopped at (%d,%d) after holding %s" % (x, y, nombre))
    # The first key alone may already have put it there: it must stay while
    # the game's clock ticks twice, a second at least of frames with all held.
    # A capture may land between two keys' redraws, so the car is taken from
    # the most of them, not the last.
    vistos = []

    def tic(i, antes):
        vistos.append(P.buscar_coche(i, pista, cs))
        return not P.igual_region(i, antes, P.RELOJ_X, P.RELOJ_Y, P.RELOJ_W, P.RELOJ_H) or "no tick"
    for _ in range(2 if "+" in nombre else 0):
        img = P.esperar(p, lambda i, antes=img: tic(i, antes), "the clock to tick")
    c = max(vistos, key=vistos.count) if vistos else P.buscar_coche(img, pista, cs)
    if c != (x, y, imagen):
        P.fallo("holding %s, the car moved on to %s (seen: %s)" % (nombre, c, sorted(set(vistos), key=str)), img)
    # Let go in the other order, so the key against its bound goes last.
    for t in reversed(nombre.split("+")):
        P.tecla(p, t, False)


def vueltas(p, n):
    # Only the lap text: the clock beside it runs on.
    esperado = P.ref(r, "carrera", 0, 0, -1, n, "")
    P.esperar(p, lambda i: P.igual_region(i, esperado, 0, 0, 100, 10)
              or "lap text: " + P.describir(i, esperado, 0, 0, 100, 10),
              "Vueltas:%d at (1,1)" % n)


def una_vuelta():
    with P.carrera(r) as (p, pista, cs):
        # Checkpoints: y 212 going up, x 390 right, y 212 and 364 down.
        conducir(p, pista, cs, "Up", 300, 90, P.ARRIBA)
        conducir(p, pista, cs, "Right", 503, 90, P.DERECHA)
        conducir(p, pista, cs, "Down", 503, 496, P.ABAJO)
        # Four of five: no lap yet.
        vueltas(p, 0)
        # The fifth, x 310 going left, makes the lap.
        conducir(p, pista, cs, "Left", 163, 496, P.IZQUIERDA)
        vueltas(p, 1)
        esperado = P.ref(r, "carrera", 163, 496, P.IZQUIERDA, 1, "")
        P.esperar(p, lambda i: P.igual_region(i, esperado, 0, 10, 800, 590)
                  or P.describir(i, esperado, 0, 10, 800, 590), "the track after the lap")

        # Two keys at once: both step each frame, so the car runs on the
        # diagonal into the corner, and the later key in the order up, down,
        # right, left draws the car last. Each pair passes the same five
        # checkpoints as the lap did.
        conducir(p, pista, cs, "Up+Right", 503, 90, P.DERECHA)
        conducir(p, pista, cs, "Down+Left", 163, 496, P.IZQUIERDA)
        vueltas(p, 2)
        # The other four pairs, the key against its bound first: opposite keys cancel,
        # and the later one in the order up, down, right, left shows.
        conducir(p, pista, cs, "Down+Up", 163, 496, P.ABAJO)
        conducir(p, pista, cs, "Left+Right", 163, 496, P.IZQUIERDA)
        conducir(p, pista, cs, "Up+Left", 163, 90, P.IZQUIERDA)
        conducir(p, pista, cs, "Down+Right", 503, 496, P.DERECHA)


P.correr([una_vuelta])
