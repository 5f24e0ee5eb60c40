"""Gamepads of the test's own, through SDL's Linux joystick code: with
tests/mando_falso.c preloaded (MANDO_FALSO), a folder of the test's is the
program's /dev/input, a FIFO made there is a pad's event device, plugged in
(removed, pulled out), and the test writes into it the input events the
pad's Linux driver would send. The pads are an Xbox 360 pad and a DualShock
4 as xpad and hid-sony register them, which SDL's database knows, and a pad
of a made-up maker that it does not, given a mapping line."""
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
# Rumble as the kernel's memoryless force feedback offers it.
FF = (0x50, 0x51, 0x58, 0x59, 0x5a, 0x5b, 0x5c, 0x60)

# Axes as drivers set them up: (min, max, fuzz, flat, value at rest).
PALANCA_XPAD = (-32768, 32767, 16, 128, 0)
GATILLO_XPAD = (0, 255, 0, 0, 0)
CRUZ = (-1, 1, 0, 0, 0)
# hid-input's for a gamepad's 8-bit axis; triggers rest at their low end.
PALANCA_HID = (0, 255, 0, 15, 128)
GATILLO_HID = (0, 255, 0, 15, 0)

# Each pad: what its driver registers, then which codes are which part:
# caras the face buttons SDL names a, b, x, y.
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


def enviar(m, *eventos):
    """(type, code, value) events as the driver sends them, then SYN_REPORT."""
    t = time.time()
    os.write(m["fd"], b"".join(
        struct.pack("<qqHHi", int(t), int(t % 1 * 1e6), tipo, codigo, valor)
        for tipo, codigo, valor in eventos + ((EV_SYN, 0, 0),)))


def boton(m, codigo, abajo):
    enviar(m, (EV_KEY, codigo, int(abajo)))


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


P.correr([sdl])
