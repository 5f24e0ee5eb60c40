"""A short race played whole, the one the checked runs (valgrind) play:
title, a few steps right, Space, the result page and three credit pages,
exit status 0. Its closing pages are shared with the soak test."""

import pantalla as P

r = P.rutas()


def pagina(p, que, *args):
    esperado = P.ref(r, que, *args)
    return P.esperar(p, lambda i: P.igual_region(i, esperado)
                     or P.describir(i, esperado), "%s %s" % (que, args))


def pasar(p, img):
    """Presses Return until the page on screen (img) starts to go. A slow
    game (valgrind) may still be between drawing the page and emptying the
    key buffer, and drop the first press."""
    for _ in range(5):
        P.pulsar(p, "Return")
        try:
            P.esperar(p, lambda i: not P.igual_region(i, img) or "page still there",
                      "the page to go after Return", min(P.ESPERA, 20))
            return
        except AssertionError:
            if p["proc"].poll() is not None:
                return
    P.fallo("the page stayed through five presses of Return", img)


def fin_de_carrera(p, vueltas):
    """Holds Space until the race ends, then passes the result page and the
    three credit pages; the game must exit with status 0."""
    P.tecla(p, "space", True)
    P.esperar(p, lambda i: P.pixel(i, 0, 300) != (0, 255, 0)
              or "surround still green", "the race to end")
    P.tecla(p, "space", False)
    img = pagina(p, "resultado", vueltas)
    for k in (1, 2, 3):
        pasar(p, img)
        img = pagina(p, "creditos", k)
    pasar(p, img)
    rc = P.esperar_fin(p)
    if rc != 0:
        P.fallo("game exited with status %s after the last page; stderr: %s"
                % (rc, P.leer_err(p)[-6000:]))


def breve():
    with P.carrera(r) as (p, pista, cs):
        P.tecla(p, "Right", True)

        def andado(img):
            c = P.buscar_coche(img, pista, cs)
            return (isinstance(c, tuple) and c[0] >= 305) or "car %s" % (c,)
        P.esperar(p, andado, "the car a few steps right")
        P.tecla(p, "Right", False)
        fin_de_carrera(p, 0)


if __name__ == "__main__":
    P.correr([breve])
