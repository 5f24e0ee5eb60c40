"""Closing: Space ends the race, then the result page and three credit
pages each wait for a key, and the game exits cleanly."""
import time

import pantalla as P

r = P.rutas()


def pagina(p, que, *args):
    esperado = P.ref(r, que, *args)
    return P.esperar(p, lambda i: P.igual_region(i, esperado)
                     or P.describir(i, esperado), "%s %s" % (que, args))


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
            P.pulsar(p, "Return")
            img = pagina(p, "creditos", k)
        # Page 2 checked whole; its tilde's single row over the n is part of it.
        P.pulsar(p, "Return")
        rc = P.esperar_fin(p)
        if rc != 0:
            P.fallo("game exited with status %s after the last page; stderr: %s" % (rc, P.leer_err(p)))


P.correr([cierre])
