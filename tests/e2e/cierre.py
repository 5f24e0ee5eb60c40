"""Closing: Space ends the race, then the result page and three credit
pages each wait for a key, and the game exits cleanly."""
import time

import pantalla as P

r = P.rutas()


def pagina(p, que, *args):
    esperado = P.ref(r, que, *args)
    return P.esperar(p, lambda i: P.igual_region(i, esperado)
                     or P.describir(i, esperado), "%s %s" % (que, args))


def siguiente(p, k):
    """Return on a page: it dims slowly to black, then credit page k comes
    at once."""
    esperado, visto = P.ref(r, "creditos", k), {"tenue": set(), "negro": None}

    def llega(img):
        if P.igual_region(img, esperado):
            return True
        brillo = max(img["rgb"])
        if 0 < brillo < 200:
            visto["tenue"].add(brillo)
        if brillo == 0 and visto["negro"] is None:
            visto["negro"] = time.monotonic()
        return P.describir(img, esperado)
    P.pulsar(p, "Return")
    img = P.esperar(p, llega, "credit page %d" % k)
    # A slow fade shows some thirty levels on the way down; a quick one none.
    if len(visto["tenue"]) < 5:
        P.fallo("credit page %d: the page before it went without a slow fade (%d dim levels seen)"
                % (k, len(visto["tenue"])), img)
    if visto["negro"] and time.monotonic() - visto["negro"] > 1.2:
        P.fallo("credit page %d came %.2f s after the screen went black: no quick fade-in"
                % (k, time.monotonic() - visto["negro"]), img)
    return img


def cierre():
    with P.carrera(r) as (p, pista, cs):
        reloj = P.ref(r, "carrera", 0, 0, -1, 0, P.texto_reloj(0, 0, 4))
        # Held for seconds, the key repeats and fills the key buffer; the
        # result page must not take those keys as the player's answer.
        P.tecla(p, "Right", True)
        P.esperar(p, lambda i: P.buscar_coche(i, pista, cs) == (503, 490, P.DERECHA)
                  or "car %s" % (P.buscar_coche(i, pista, cs),), "the car at the right bound")
        P.esperar(p, lambda i: P.igual_region(i, reloj, P.RELOJ_X, 0, 78, 10)
                  or "clock not yet at 0:0: 4", "the clock at 0:0: 4")
        # Space is looked at once a frame: hold it until the race screen goes.
        P.tecla(p, "space", True)
        P.esperar(p, lambda i: P.pixel(i, 0, 300) != (0, 255, 0)
                  or "surround still green", "the race to end")
        P.tecla(p, "space", False)
        P.tecla(p, "Right", False)

        img = pagina(p, "resultado", 0)
        # It stays until a key is pressed now, whatever was typed before.
        fin = time.monotonic() + 2
        while time.monotonic() < fin:
            img = P.captura(p)
            if not P.igual_region(img, P.ref(r, "resultado", 0)):
                P.fallo("result page went away with no key pressed: " +
                        P.describir(img, P.ref(r, "resultado", 0)), img)
            if p["proc"].poll() is not None:
                P.fallo("game exited on the result page, status %s" % p["proc"].returncode, img)

        for k in (1, 2, 3):
            img = siguiente(p, k)
        # Page 2 checked whole; its tilde's single row over the n is part of it.
        P.pulsar(p, "Return")
        t0 = time.monotonic()
        rc = P.esperar_fin(p)
        # The last page goes with the slowest fade to black, nearly two seconds.
        if time.monotonic() - t0 < 1.2:
            P.fallo("game gone %.2f s after the last key: no slow fade to black"
                    % (time.monotonic() - t0))
        if rc != 0:
            P.fallo("game exited with status %s after the last page; stderr: %s" % (rc, P.leer_err(p)))


def boton_cerrar():
    P.con_datos(r)
    with P.partida(r["carrera"], r["datos"], r["extra"]) as p:
        P.esperar(p, lambda i: P.igual_region(i, P.ref(r, "titulo")), "the title")
        # What a dock shows: a window with the game's name, class and its own icon.
        P.de_escritorio(p, r)
        P.cerrado(p, "the title")
    with P.carrera(r) as (p, pista, cs):
        P.cerrado(p, "the race")
    with P.carrera(r) as (p, pista, cs):
        P.tecla(p, "space", True)
        P.esperar(p, lambda i: P.pixel(i, 0, 300) != (0, 255, 0), "the race to end")
        P.tecla(p, "space", False)
        pagina(p, "resultado", 0)
        P.cerrado(p, "the result page")


P.correr([cierre, boton_cerrar])
