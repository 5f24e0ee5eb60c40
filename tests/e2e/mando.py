"""The whole game played by a gamepad of the test's own: a FIFO that
allegro.cfg names as Allegro's joystick device, fed the Linux js_event
records a pad sends, and tests/mando_falso.c (preloaded, MANDO_FALSO)
answering the device's questions. Both layouts, with the triggers resting
where Linux puts them; and a pad pulled out mid-race."""
import contextlib
import os
import shutil
import struct
import tempfile
import time

import pantalla as P

r = P.rutas()
BOTON, EJE, INICIO = 0x01, 0x02, 0x80
T = 32767
# xpad's and hid-playstation's eight axes: left stick, left trigger, right
# stick, right trigger, d-pad; the triggers rest at one end.
REPOSO = [0, 0, -T, 0, 0, -T, 0, 0]
IZQ_X, IZQ_Y, CRUZ_X, CRUZ_Y = 0, 1, 6, 7


def evento(m, tipo, n, v):
    os.write(m["fd"], struct.pack("<IhBB", int(time.monotonic() * 1000) & 0xffffffff,
                                  v, tipo, n))


def eje(m, n, v):
    evento(m, EJE, n, v)


def boton(m, n, abajo):
    evento(m, BOTON, n, 1 if abajo else 0)


@contextlib.contextmanager
def con_mando(botones):
    """The game with a pad of eight axes at rest and botones buttons plugged
    in from the start, as the kernel first reports it. Yields (p, m)."""
    P.con_datos(r)
    d = tempfile.mkdtemp(prefix="carrera-mando-")
    fifo = os.path.join(d, "js0")
    os.mkfifo(fifo)
    # Read and write, so the open does not wait for the game; closing it is
    # the pad pulled out.
    m = {"fd": os.open(fifo, os.O_RDWR)}
    for n, v in enumerate(REPOSO):
        evento(m, EJE | INICIO, n, v)
    for n in range(botones):
        evento(m, BOTON | INICIO, n, 0)
    cfg = "".join(open(f).read() for f in r["extra"] if f.endswith("allegro.cfg"))
    cfg += "\n[joystick]\njoystick_device = %s\n" % fifo
    env = {"LD_PRELOAD": os.environ["MANDO_FALSO"], "MANDO_EJES": str(len(REPOSO)),
           "MANDO_BOTONES": str(botones)}
    if "ASAN_OPTIONS" in os.environ:
        # The pad comes before the sanitizer's runtime.
        env["ASAN_OPTIONS"] = os.environ["ASAN_OPTIONS"] + ":verify_asan_link_order=0"
    try:
        with P.partida(r["carrera"], r["datos"], r["extra"], cfg=cfg, env=env) as p:
            yield p, m
    finally:
        desenchufar(m)
        shutil.rmtree(d, ignore_errors=True)


def desenchufar(m):
    if m["fd"] is not None:
        os.close(m["fd"])
        m["fd"] = None


def llegar(p, pista, cs, x, y, imagen, que):
    def llegado(img):
        c = P.buscar_coche(img, pista, cs)
        return c == (x, y, imagen) or "car %s, expected %s" % (c, (x, y, imagen))
    return P.esperar(p, llegado, "the car at (%d,%d) %s" % (x, y, que))


def quieto(p, pista, cs, que):
    """Nothing drives the car while the clock ticks twice."""
    antes = P.captura(p)
    for _ in range(2):
        antes = P.esperar(p, lambda i, a=antes: not P.igual_region(
            i, a, P.RELOJ_X, P.RELOJ_Y, P.RELOJ_W, P.RELOJ_H) or "no tick", "the clock to tick")
        c = P.buscar_coche(antes, pista, cs)
        if c != (300, 490, P.ARRIBA):
            P.fallo("%s: the car moved to %s" % (que, c), antes)


def con_boton(p, m, n, que, *args):
    """Holds button n until page que shows, then lets it go."""
    esperado = P.ref(r, que, *args)
    boton(m, n, True)
    P.esperar(p, lambda i: P.igual_region(i, esperado) or P.describir(i, esperado),
              "%s %s after button %d" % (que, args, n))
    boton(m, n, False)


def fin_carrera(p, m, n):
    boton(m, n, True)
    P.esperar(p, lambda i: P.pixel(i, 0, 300) != (0, 255, 0) or "surround still green",
              "the race to end on button %d" % n)


def xbox():
    with con_mando(11) as (p, m):
        pista = P.empezar_carrera(p, r, lambda: boton(m, 0, True))
        cs = P.coches(r)
        boton(m, 0, False)
        # The stick short of half way, the shoulders, Back and the stick's
        # click are not the arrows, nor Start.
        eje(m, IZQ_X, 16000)
        for b in (4, 5, 6, 9):
            boton(m, b, True)
        quieto(p, pista, cs, "the triggers at rest, the stick short of half way")
        for b in (4, 5, 6, 9):
            boton(m, b, False)
        # A lap: the stick up, the d-pad right, the d-pad down, then Left
        # on the keyboard with the d-pad up, into the top left corner.
        eje(m, IZQ_X, 0)
        eje(m, IZQ_Y, -T)
        llegar(p, pista, cs, 300, 90, P.ARRIBA, "by the stick up")
        eje(m, IZQ_Y, 0)
        eje(m, CRUZ_X, T)
        llegar(p, pista, cs, 503, 90, P.DERECHA, "by the d-pad right")
        eje(m, CRUZ_X, 0)
        eje(m, CRUZ_Y, T)
        llegar(p, pista, cs, 503, 496, P.ABAJO, "by the d-pad down")
        eje(m, CRUZ_Y, -T)
        P.tecla(p, "Left", True)
        llegar(p, pista, cs, 163, 90, P.IZQUIERDA, "by the d-pad up and the Left key")
        P.tecla(p, "Left", False)
        eje(m, CRUZ_Y, 0)
        esperado = P.ref(r, "carrera", 0, 0, -1, 1, "")
        P.esperar(p, lambda i: P.igual_region(i, esperado, 0, 0, 100, 10)
                  or P.describir(i, esperado, 0, 0, 100, 10), "Vueltas:1")

        # Start ends it; still held, it does not pass the result page.
        fin_carrera(p, m, 7)
        resultado = P.ref(r, "resultado", 1)
        P.esperar(p, lambda i: P.igual_region(i, resultado) or P.describir(i, resultado),
                  "the result page")
        fin = time.monotonic() + 1
        while time.monotonic() < fin:
            img = P.captura(p)
            if not P.igual_region(img, resultado):
                P.fallo("the result page went with Start only held on", img)
        boton(m, 7, False)
        for k, b in ((1, 1), (2, 2), (3, 3)):
            con_boton(p, m, b, "creditos", k)
        boton(m, 0, True)
        rc = P.esperar_fin(p)
        if rc != 0:
            P.fallo("exit status %s after the last page by A; stderr: %s" % (rc, P.leer_err(p)))


def playstation():
    with con_mando(13) as (p, m):
        pista = P.empezar_carrera(p, r, lambda: boton(m, 1, True))
        cs = P.coches(r)
        boton(m, 1, False)
        # L2, R2 (7, an Xbox pad's Start) and Create end nothing here.
        for b in (6, 7, 8):
            boton(m, b, True)
        quieto(p, pista, cs, "the triggers at rest and held")
        for b in (6, 7, 8):
            boton(m, b, False)
        eje(m, CRUZ_X, -T)
        llegar(p, pista, cs, 163, 490, P.IZQUIERDA, "by the d-pad left")
        eje(m, CRUZ_X, 0)
        fin_carrera(p, m, 9)
        boton(m, 9, False)
        P.esperar(p, lambda i: P.igual_region(i, P.ref(r, "resultado", 0)), "the result page")
        con_boton(p, m, 2, "creditos", 1)


def desenchufado():
    with con_mando(11) as (p, m):
        pista = P.empezar_carrera(p, r, lambda: boton(m, 0, True))
        cs = P.coches(r)
        boton(m, 0, False)
        def donde(img, x, y):
            c = P.buscar_coche(img, pista, cs)
            return isinstance(c, tuple) and c[0] >= x and c[1] <= y or "car %s" % (c,)
        eje(m, IZQ_X, T)
        P.esperar(p, lambda i: donde(i, 320, 490), "the car right by the stick")
        # Allegro is not told: the stick stays where it was, and the keys play on.
        desenchufar(m)
        P.tecla(p, "Up", True)
        P.esperar(p, lambda i: donde(i, 320, 400), "the car up by the Up key, the pad gone")
        P.tecla(p, "Up", False)
        # Let go as the race ends: held on, the key's repeats would pass the pages.
        P.tecla(p, "space", True)
        P.esperar(p, lambda i: P.pixel(i, 0, 300) != (0, 255, 0), "the race to end")
        P.tecla(p, "space", False)
        P.esperar(p, lambda i: P.igual_region(i, P.ref(r, "resultado", 0)), "the result page")
        for k in (1, 2, 3):
            P.pulsar(p, "Return")
            P.esperar(p, lambda i: P.igual_region(i, P.ref(r, "creditos", k)), "credits %d" % k)
        P.pulsar(p, "Return")
        rc = P.esperar_fin(p)
        if rc != 0:
            P.fallo("exit status %s, the pad pulled out; stderr: %s" % (rc, P.leer_err(p)))


P.correr([xbox, playstation, desenchufado])
