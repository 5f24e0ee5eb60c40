"""Gamepads of the test's own, through SDL's Linux joystick code: with
tests/mando_falso.c preloaded (MANDO_FALSO), a folder of the test's is the
program's /dev/input, a FIFO made there is a pad's event device, plugged in
(removed, pulled out), and the test writes into it the input events the
pad's Linux driver would send. The pads are an Xbox 360 pad and a DualShock
4 as xpad and hid-sony register them, which SDL's database knows, and a pad
of a made-up maker that it does not, given a mapping line.

First what SDL itself makes of them (tests/mando_sdl.c), then the game: the
whole of it by each pad that SDL knows, a pad plugged in mid-race, pulled
out with the stick held, plugged in again, and the unknown pad by its line
in mandos.txt beside the game."""
import contextlib
import os
import select
import shutil
import struct
import subprocess
import tempfile
import time

import pantalla as P

# The kernel's codes (linux/input-event-codes.h).
EV_SYN, EV_KEY, EV_ABS = 0, 1, 3
BTN_A = BTN_SOUTH = 0x130
BTN_B = BTN_EAST = 0x131
BTN_X = BTN_NORTH = 0x133
BTN_Y = BTN_WEST = 0x134
BTN_TL, BTN_TR, BTN_TL2, BTN_TR2 = 0x136, 0x137, 0x138, 0x139
BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR = 0x13a, 0x13b, 0x13c, 0x13d, 0x13e
BTN_TRIGGER = 0x120  # a plain HID pad's twelve, up to BTN_BASE6
ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ = 0, 1, 2, 3, 4, 5
ABS_HAT0X, ABS_HAT0Y = 0x10, 0x11
# Rumble, and the periodic effects the kernel makes of it for both drivers.
FF = (0x50, 0x51, 0x58, 0x59, 0x5a, 0x60)

# Axes as drivers set them up: (min, max, fuzz, flat, value at rest).
PALANCA_XPAD = (-32768, 32767, 16, 128, 0)
GATILLO_XPAD = (0, 255, 0, 0, 0)
CRUZ = (-1, 1, 0, 0, 0)
# hid-input's for a gamepad's 8-bit axis; triggers rest at their low end.
PALANCA_HID = (0, 255, 0, 15, 128)
GATILLO_HID = (0, 255, 0, 15, 0)

# Each pad: what its driver registers, then which codes are which part:
# caras the face buttons SDL names a, b, x, y. xpad's X and Y send the codes
# named BTN_NORTH and BTN_WEST too; hid-sony's Square is BTN_WEST, its
# Triangle BTN_NORTH: SDL's database has each its own way.
XBOX = {
    "nombre": "Microsoft X-Box 360 pad", "id": (3, 0x045e, 0x028e, 0x0114),
    "teclas": (BTN_A, BTN_B, BTN_X, BTN_Y, BTN_TL, BTN_TR, BTN_SELECT, BTN_START,
               BTN_MODE, BTN_THUMBL, BTN_THUMBR),
    "ejes": {ABS_X: PALANCA_XPAD, ABS_Y: PALANCA_XPAD, ABS_Z: GATILLO_XPAD,
             ABS_RX: PALANCA_XPAD, ABS_RY: PALANCA_XPAD, ABS_RZ: GATILLO_XPAD,
             ABS_HAT0X: CRUZ, ABS_HAT0Y: CRUZ},
    "ff": FF, "sdl": "X360 Controller",
    "caras": (BTN_A, BTN_B, BTN_X, BTN_Y), "start": BTN_START,
    "otros": (BTN_TL, BTN_TR, BTN_SELECT, BTN_MODE, BTN_THUMBL, BTN_THUMBR),
    "palanca": (ABS_X, ABS_Y), "derecha": (ABS_RX, ABS_RY), "cruz": (ABS_HAT0X, ABS_HAT0Y),
    "gatillos": (ABS_Z, ABS_RZ),
}
# hid-sony's: version 0x8000 | bcdHID marks its own mapping; L2 and R2 are
# buttons and axes both.
PLAY = {
    "nombre": "Sony Computer Entertainment Wireless Controller",
    "id": (3, 0x054c, 0x05c4, 0x8111),
    "teclas": (BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_TL2, BTN_TR2,
               BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR),
    "ejes": {ABS_X: PALANCA_HID, ABS_Y: PALANCA_HID, ABS_Z: GATILLO_HID,
             ABS_RX: PALANCA_HID, ABS_RY: PALANCA_HID, ABS_RZ: GATILLO_HID,
             ABS_HAT0X: CRUZ, ABS_HAT0Y: CRUZ},
    "ff": FF, "sdl": "PS4 Controller",
    "caras": (BTN_SOUTH, BTN_EAST, BTN_WEST, BTN_NORTH), "start": BTN_START,
    "otros": (BTN_TL, BTN_TR, BTN_TL2, BTN_TR2, BTN_SELECT, BTN_MODE, BTN_THUMBL,
              BTN_THUMBR),
    "palanca": (ABS_X, ABS_Y), "derecha": (ABS_RX, ABS_RY), "cruz": (ABS_HAT0X, ABS_HAT0Y),
    "gatillos": (ABS_Z, ABS_RZ),
}
# A plain HID pad SDL knows nothing of: generic joystick buttons, the right
# stick on Z and RZ, triggers that are buttons.
RARO = {
    "nombre": "Mando USB", "id": (3, 0x1a2b, 0x3c4d, 0x0110),
    "teclas": tuple(range(BTN_TRIGGER, BTN_TRIGGER + 12)),
    "ejes": {ABS_X: PALANCA_HID, ABS_Y: PALANCA_HID, ABS_Z: PALANCA_HID,
             ABS_RZ: PALANCA_HID, ABS_HAT0X: CRUZ, ABS_HAT0Y: CRUZ},
    "ff": (), "sdl": "Mando USB",
    "caras": (BTN_TRIGGER + 2, BTN_TRIGGER + 1, BTN_TRIGGER + 3, BTN_TRIGGER),
    "start": BTN_TRIGGER + 9,
    "otros": (BTN_TRIGGER + 4, BTN_TRIGGER + 5, BTN_TRIGGER + 8, BTN_TRIGGER + 10,
              BTN_TRIGGER + 11),
    "palanca": (ABS_X, ABS_Y), "derecha": (ABS_Z, ABS_RZ), "cruz": (ABS_HAT0X, ABS_HAT0Y),
    "gatillos": (BTN_TRIGGER + 6, BTN_TRIGGER + 7),
}


def guid(pad):
    bus, vendedor, producto, version = pad["id"]
    return struct.pack("<8H", bus, 0, vendedor, 0, producto, 0, version, 0).hex()


# Its mapping, in SDL's own format.
RARO["mapeo"] = (guid(RARO) + ",Mando USB,a:b2,b:b1,x:b3,y:b0,leftshoulder:b4,"
                 "rightshoulder:b5,lefttrigger:b6,righttrigger:b7,back:b8,start:b9,"
                 "leftstick:b10,rightstick:b11,leftx:a0,lefty:a1,rightx:a2,righty:a3,"
                 "dpup:h0.1,dpright:h0.2,dpdown:h0.4,dpleft:h0.8,platform:Linux,")


def descripcion(pad):
    """The pad as tests/mando_falso.c answers for it."""
    lineas = ["nombre %s" % pad["nombre"], "id %x %04x %04x %04x" % pad["id"],
              "teclas " + " ".join("%x" % c for c in pad["teclas"]),
              "ff " + " ".join("%x" % c for c in pad["ff"])]
    lineas += ["eje %x %d %d %d %d %d" % ((c,) + e) for c, e in pad["ejes"].items()]
    return "\n".join(lineas) + "\n"


# ---- the pads' side ---------------------------------------------------------

@contextlib.contextmanager
def entrada():
    """The folder the program takes for /dev/input, and the environment that
    makes it so."""
    d = tempfile.mkdtemp(prefix="carrera-entrada-")
    env = {"LD_PRELOAD": os.environ["MANDO_FALSO"], "MANDO_ENTRADA": d,
           "SDL_JOYSTICK_DISABLE_UDEV": "1"}
    if "ASAN_OPTIONS" in os.environ:
        # The pads come before the sanitizer's runtime.
        env["ASAN_OPTIONS"] = os.environ["ASAN_OPTIONS"] + ":verify_asan_link_order=0"
    e = {"dir": d, "env": env, "pads": []}
    try:
        yield e
    finally:
        for m in e["pads"]:
            desenchufar(m)
        shutil.rmtree(d, ignore_errors=True)


def enchufar(e, pad, n):
    """pad plugged in as eventN, at rest. Returns the pad's dict m."""
    nodo = os.path.join(e["dir"], "event%d" % n)
    with open(nodo + ".mando", "w") as f:
        f.write(descripcion(pad))
    nuevo = nodo + ".nuevo"
    os.mkfifo(nuevo)
    # Read and write, so that neither the test nor the program waits for the
    # other to open it; it shows whole under its name, as udev makes a node.
    m = {"pad": pad, "nodo": nodo, "fd": os.open(nuevo, os.O_RDWR)}
    os.rename(nuevo, nodo)
    e["pads"].append(m)
    return m


def desenchufar(m):
    if m["fd"] is not None:
        os.unlink(m["nodo"])
        os.close(m["fd"])
        m["fd"] = None


def informe(*eventos):
    """(type, code, value) events as the driver sends them, then SYN_REPORT."""
    t = time.time()
    return b"".join(struct.pack("<qqHHi", int(t), int(t % 1 * 1e6), tipo, codigo, valor)
                    for tipo, codigo, valor in eventos + ((EV_SYN, 0, 0),))


def enviar(m, *eventos):
    os.write(m["fd"], informe(*eventos))


def boton(m, codigo, abajo):
    enviar(m, (EV_KEY, codigo, int(abajo)))


def toque(m, codigo):
    """A button pressed and let go in one write: SDL reads both at once."""
    os.write(m["fd"], informe((EV_KEY, codigo, 1)) + informe((EV_KEY, codigo, 0)))


def ejes(m, parte, x, y):
    """Stick or d-pad parte ("palanca", "derecha", "cruz") leant x, y of its
    travel, -1 to 1, from where it rests."""
    def valor(codigo, v):
        bajo, alto, _, _, reposo = m["pad"]["ejes"][codigo]
        return round(reposo + v * (alto - reposo if v > 0 else reposo - bajo))
    enviar(m, *((EV_ABS, c, valor(c, v)) for c, v in zip(m["pad"][parte], (x, y))))


def gatillos(m, v):
    """Both triggers pulled v of their travel, 0 their rest; a button where
    the pad has one."""
    evs = []
    for c in m["pad"]["gatillos"]:
        if c >= BTN_TRIGGER:
            evs.append((EV_KEY, c, int(v > 0)))
        else:
            bajo, alto = m["pad"]["ejes"][c][:2]
            evs.append((EV_ABS, c, round(bajo + v * (alto - bajo))))
    enviar(m, *evs)


# ---- SDL alone --------------------------------------------------------------

def leer_hasta(proc, buf, texto, que):
    """Lines of proc's stdout up to one that starts with texto; returns it."""
    fin = time.monotonic() + P.ESPERA
    while True:
        while b"\n" in buf[0]:
            linea, buf[0] = buf[0].split(b"\n", 1)
            linea = linea.decode()
            buf[1].append(linea)
            if linea.startswith(texto):
                return linea
        quedan = fin - time.monotonic()
        if quedan <= 0 or not select.select([proc.stdout], [], [], quedan)[0]:
            P.fallo("SDL did not say %r (%s) in %d s; it said: %s"
                    % (texto, que, P.ESPERA, buf[1][-12:]))
        trozo = os.read(proc.stdout.fileno(), 4096)
        if not trozo:
            P.fallo("mando_sdl ended before %r (%s); it said: %s" % (texto, que, buf[1][-12:]))
        buf[0] += trozo


def sdl():
    """SDL itself opens each pad as a game controller named as its database or
    the mapping line names it, reads its buttons and sticks by the kernel's
    codes, sees a pad plugged in while it runs, and one pulled out lets go."""
    with entrada() as e:
        env = dict(os.environ, SDL_GAMECONTROLLERCONFIG=RARO["mapeo"], **e["env"])
        primero = enchufar(e, XBOX, 0)
        proc = subprocess.Popen([os.environ["MANDO_SDL"]], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, env=env)
        buf = [b"", []]
        try:
            leer_hasta(proc, buf, "listo", "starting")
            abiertos = []
            for n, pad in enumerate((XBOX, PLAY, RARO)):
                m = primero if n == 0 else enchufar(e, pad, n + 4)
                que = pad["nombre"]
                i = leer_hasta(proc, buf, "mando ", que).split(" ", 2)
                if i[2] != pad["sdl"]:
                    P.fallo("%s opened as %r, not %r" % (que, i[2], pad["sdl"]))
                k = i[1]
                for nombre, codigo in zip(("a", "b", "x", "y", "start"),
                                          pad["caras"] + (pad["start"],)):
                    boton(m, codigo, True)
                    leer_hasta(proc, buf, "boton %s %s 1" % (k, nombre), que)
                    boton(m, codigo, False)
                    leer_hasta(proc, buf, "boton %s %s 0" % (k, nombre), que)
                ejes(m, "cruz", 1, 0)
                leer_hasta(proc, buf, "boton %s dpright 1" % k, que)
                ejes(m, "cruz", 0, 0)
                ejes(m, "palanca", -1, 0)
                leer_hasta(proc, buf, "eje %s leftx -32768" % k, que)
                ejes(m, "derecha", 0, 1)
                leer_hasta(proc, buf, "eje %s righty 32767" % k, que)
                gatillos(m, 1)
                leer_hasta(proc, buf, "eje %s lefttrigger 32767" % k, que)
                gatillos(m, 0)
                leer_hasta(proc, buf, "eje %s righttrigger 0" % k, que)
                abiertos.append((m, k))
            # All three in at once, then pulled out with the stick held: SDL
            # lets it go, then says so.
            for m, k in abiertos:
                desenchufar(m)
                que = m["pad"]["nombre"] + " pulled out"
                leer_hasta(proc, buf, "eje %s leftx 0" % k, que)
                leer_hasta(proc, buf, "fuera %s" % k, que)
        finally:
            proc.stdin.close()
            try:
                proc.wait(P.ESPERA)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


# ---- the game ---------------------------------------------------------------

r = P.rutas()


@contextlib.contextmanager
def partida(e, extra=()):
    P.con_datos(r)
    with P.partida(r["carrera"], r["datos"], r["extra"] + list(extra), env=e["env"]) as p:
        p["pista"], p["cs"] = P.pista_sola(r), P.coches(r)
        yield p


def coche(p, img):
    return P.buscar_coche(img, p["pista"], p["cs"])


def llegar(p, x, y, imagen, que):
    def llegado(img):
        c = coche(p, img)
        return c == (x, y, imagen) or "car %s, expected %s" % (c, (x, y, imagen))
    P.esperar(p, llegado, "the car at (%d,%d) %s" % (x, y, que))


def tic(p, antes, que):
    """The first screen after the race clock has moved on from antes."""
    return P.esperar(p, lambda i: not P.igual_region(
        i, antes, P.RELOJ_X, P.RELOJ_Y, P.RELOJ_W, P.RELOJ_H) or "no tick", "the clock to tick " + que)


def quieto(p, donde, que):
    """The car stays at donde, (x, y, image), while the clock ticks twice:
    a whole second at least after what the test did."""
    img = P.captura(p)
    for _ in range(2):
        img = tic(p, img, que)
        if coche(p, img) != donde:
            P.fallo("%s: the car moved to %s from %s" % (que, coche(p, img), donde), img)


def parado(p, que):
    """Waits until the car stands still over a tick of the clock; returns
    where, (x, y, image)."""
    img = P.captura(p)
    fin = time.monotonic() + P.ESPERA
    while True:
        nueva = tic(p, img, que)
        if coche(p, nueva) == coche(p, img) and isinstance(coche(p, img), tuple):
            return coche(p, img)
        if time.monotonic() > fin:
            P.fallo("%s: the car still moves, at %s" % (que, coche(p, nueva)), nueva)
        img = nueva


def pagina(p, que, *args):
    esperado = P.ref(r, que, *args)
    P.esperar(p, lambda i: P.igual_region(i, esperado) or P.describir(i, esperado),
              "%s %s" % (que, args))


def fin_carrera(p, m):
    """Start ends the race; let go as the result page comes."""
    boton(m, m["pad"]["start"], True)
    P.esperar(p, lambda i: P.pixel(i, 0, 300) != (0, 255, 0) or "surround still green",
              "the race to end on Start")
    boton(m, m["pad"]["start"], False)


def cerrar(p, que):
    rc = P.esperar_fin(p)
    if rc != 0:
        P.fallo("exit status %s %s; stderr: %s" % (rc, que, P.leer_err(p)))


def nada(p, m):
    """The stick short of half way, the right stick, every other button, the
    triggers at rest and then pulled move nothing; all let go after."""
    ejes(m, "palanca", 0.4, -0.4)
    ejes(m, "derecha", -1, -1)
    for c in m["pad"]["otros"]:
        boton(m, c, True)
    donde = (300, 490, P.ARRIBA)
    quieto(p, donde, "with the stick short of half way, the right stick and the other "
           "buttons")
    gatillos(m, 1)
    quieto(p, donde, "with the triggers pulled too")
    ejes(m, "palanca", 0, 0)
    ejes(m, "derecha", 0, 0)
    gatillos(m, 0)
    for c in m["pad"]["otros"]:
        boton(m, c, False)


def empezar(p, m, cara):
    """The title passed by face button cara, held until the race shows."""
    c = m["pad"]["caras"]["abxy".index(cara)]
    P.empezar_carrera(p, r, lambda: boton(m, c, True))
    boton(m, c, False)


def paginas(p, m, vueltas, cara, otra):
    """The result page, then each page passed by a button held until the
    next one shows: face buttons cara and otra ("a", "b", "x" or "y") and Start
    in turn, so that no press follows the release of a button of the same
    key; a tap of Start passes the last."""
    i = "abxy"
    cara, otra = (m["pad"]["caras"][i.index(c)] for c in (cara, otra))
    pagina(p, "resultado", vueltas)
    for k, c in ((1, cara), (2, m["pad"]["start"]), (3, otra)):
        boton(m, c, True)
        pagina(p, "creditos", k)
        boton(m, c, False)
    toque(m, m["pad"]["start"])
    cerrar(p, "after the last page passed by a tap of Start")


def xbox():
    """The whole game by an Xbox 360 pad: the title passed by a tap of A, a
    lap by the stick and the d-pad against the bounds, both at once into the
    last corner."""
    with entrada() as e:
        m = enchufar(e, XBOX, 0)
        with partida(e) as p:
            P.empezar_carrera(p, r, lambda: toque(m, BTN_A))
            nada(p, m)
            ejes(m, "palanca", 0, -0.6)
            llegar(p, 300, 90, P.ARRIBA, "by the stick up, past half way")
            ejes(m, "palanca", 0, 0)
            ejes(m, "cruz", 1, 0)
            llegar(p, 503, 90, P.DERECHA, "by the d-pad right")
            ejes(m, "cruz", 0, 1)
            llegar(p, 503, 496, P.ABAJO, "by the d-pad down")
            ejes(m, "cruz", 0, -1)
            ejes(m, "palanca", -1, 0)
            llegar(p, 163, 90, P.IZQUIERDA, "by the d-pad up and the stick left")
            ejes(m, "cruz", 0, 0)
            ejes(m, "palanca", 0, 0)
            esperado = P.ref(r, "carrera", 0, 0, -1, 1, "")
            P.esperar(p, lambda i: P.igual_region(i, esperado, 0, 0, 100, 10)
                      or P.describir(i, esperado, 0, 0, 100, 10), "Vueltas:1")
            # Start ends the race; held on, it does not pass the result page.
            boton(m, BTN_START, True)
            P.esperar(p, lambda i: P.pixel(i, 0, 300) != (0, 255, 0) or "surround still green",
                      "the race to end on Start")
            pagina(p, "resultado", 1)
            resultado = P.ref(r, "resultado", 1)
            fin = time.monotonic() + 1
            while time.monotonic() < fin:
                img = P.captura(p)
                if not P.igual_region(img, resultado):
                    P.fallo("the result page went with Start only held on", img)
            boton(m, BTN_START, False)
            paginas(p, m, 1, "b", "x")


def corta(pad, cara, lado, caras, extra=()):
    """A whole game by pad: the title passed by face button cara, the d-pad
    to side lado (-1 left, 1 right), the stick down, each to its bound,
    Start, the pages by caras."""
    with entrada() as e:
        m = enchufar(e, pad, 0)
        with partida(e, extra) as p:
            empezar(p, m, cara)
            nada(p, m)
            x = 163 if lado < 0 else 503
            ejes(m, "cruz", lado, 0)
            llegar(p, x, 490, P.IZQUIERDA if lado < 0 else P.DERECHA, "by the d-pad")
            ejes(m, "cruz", 0, 0)
            ejes(m, "palanca", 0, 1)
            llegar(p, x, 496, P.ABAJO, "by the stick down")
            ejes(m, "palanca", 0, 0)
            fin_carrera(p, m)
            paginas(p, m, 0, *caras)


def playstation():
    """The whole game by a DualShock 4."""
    corta(PLAY, "y", -1, ("x", "a"))


def enchufado():
    """A pad plugged in mid-race plays; pulled out with the stick held up, the
    car stops; plugged in again, it plays again, and the keys play on."""
    with entrada() as e, partida(e) as p:
        P.empezar_carrera(p, r)
        # Not a pad SDL knows, and no mapping for it beside the game.
        m = enchufar(e, RARO, 2)
        ejes(m, "palanca", 1, -1)
        ejes(m, "cruz", 1, -1)
        quieto(p, (300, 490, P.ARRIBA), "a pad SDL does not know, unmapped")
        desenchufar(m)
        m = enchufar(e, XBOX, 3)
        ejes(m, "palanca", 1, 0)
        llegar(p, 503, 490, P.DERECHA, "by the stick right of a pad plugged in mid-race")
        ejes(m, "palanca", 0, -1)
        P.esperar(p, lambda i: isinstance(coche(p, i), tuple) and coche(p, i)[1] <= 470
                  or "car %s" % (coche(p, i),), "the car up by the stick")
        desenchufar(m)
        x, y, imagen = parado(p, "after the pad was pulled out")
        if (x, imagen) != (503, P.ARRIBA) or y <= 90:
            P.fallo("the car stopped at %s, not short of the top" % ((x, y, imagen),))
        # Up across y 212 and back down across it and 364 makes the lap.
        vueltas = 1 if y < 212 else 0
        P.tecla(p, "Down", True)
        llegar(p, 503, 496, P.ABAJO, "by the Down key, the pad gone")
        P.tecla(p, "Down", False)
        m = enchufar(e, PLAY, 3)
        ejes(m, "cruz", -1, 0)
        llegar(p, 163, 496, P.IZQUIERDA, "by the d-pad left of a pad plugged in again")
        ejes(m, "cruz", 0, 0)
        fin_carrera(p, m)
        paginas(p, m, vueltas, "b", "y")


def desconocido():
    """A pad SDL does not know plays, given its mapping in mandos.txt beside
    the game."""
    mapa = os.path.abspath("mandos.txt")
    with open(mapa, "w") as f:
        f.write("# A pad of a maker SDL does not know.\n%s\n" % RARO["mapeo"])
    corta(RARO, "b", 1, ("y", "a"), [mapa])


P.correr([sdl, xbox, playstation, enchufado, desconocido])
