"""Plays the real game under a private X server and reads its screen.

Everything is a plain function; a game being played is a dict `p`.

    with partida(carrera, datos) as p:     starts Xvfb and the game; always
                                           cleans up (also on failure)
        p["display"], p["proc"], p["dir"]  X display, game process, run dir
        img = captura(p)                   the screen now, an image (below)
        tecla(p, "Up", True/False)         hold / release a key (xdotool
                                           names: Up Down Left Right space
                                           Return)
        pulsar(p, "Return")                press and release
        img = esperar(p, cond, "what", 30) screenshot until cond(img) is
                                           true; on timeout fails with the
                                           last cond's text and saves a PNG
        rc = esperar_fin(p, 30)            exit status of the game

  partida(carrera, datos, extra=(), sonido=None, cfg=None, env=None,
          display=None, tam="800x600", gestor=False, carpeta=None, prefijo=...)
    datos: the datos.dat to use; extra: more files to put beside it
    (patches.dat, allegro.cfg); sonido: a path that the game's sound is
    written to (raw S16_LE stereo at 44100 Hz, by SDL's disk driver, paced
    in real time; a Windows game's through ALSA's file device, asoundrc);
    cfg: text for allegro.cfg, which replaces any in extra. By default sound
    goes to a file in the run dir and never reaches a sound card. display: an X display to play on
    instead of a fresh Xvfb; where it has no root picture (Xwayland), set
    p["pantalla_id"] to the window that captura takes instead. tam: the
    fresh Xvfb's screen size. gestor: openbox manages the screen, started
    with a plain rc of the tests' own (abrir_gestor), before the game.
    carpeta: the working folder to start the game in, not its own; prefijo
    begins the name of the game's own.
    On a screen that is not an X server's, p["captura"](p) takes the
    pictures and p["teclado"](name, down) presses the keys.

The game's window: ventana(p) its id; de_escritorio(p, r, gestor) fails
unless it is a mapped 800x600 window a desktop takes in, with the game's
name, class and icon (_NET_WM_ICON, the build's escritorio/icono/icono.rgba); cerrado(p, where) sends the close button's request
and wants status 0 at once.

Images are dicts {"ancho", "alto", "rgb"} with rgb packed 3 bytes a pixel,
row by row. leer_ppm / escribir_png / recorte / distintos / igual_region
work on them. fallo(texto, img) saves img as PNG in the working dir and
raises AssertionError(texto). ampliar(img, k) draws it k times larger;
vista(img) takes the game's 800x600 picture back out of a window or screen
where it must sit at the largest whole multiple, centred on black, and
says what is wrong when it does not.

Reference pictures come from tests/referencia (C++): referencia(prog,
datos, que, *args) runs it and returns the image it draws.

For the game itself:
    r = rutas()                  carrera, referencia, datos, extra, salida
                                 from ctest's environment (CARRERA,
                                 REFERENCIA, SALIDA); the data files are
                                 copied into ./copia first, so a rebuild
                                 cannot change them mid-test; r["datos"] is
                                 None when the build has no datos.dat yet
    with carrera(r) as (p, pista, cs):  con_datos, partida, empezar_carrera
                                 and coches in one: the race under way
    con_datos(r)                 skips the test when there is no datos.dat
    empezar_carrera(p, r, pasar) title -> race: presses Return (or calls
                                 pasar) and waits for the race screen with
                                 the car at (300,490); returns the track
                                 reference
    coches(r)                    the four car images, {index: image}
    buscar_coche(img, pista, cs) (x, y, index) of the car on the screen,
                                 or a string saying what was seen
    ref(r, que, *args)           a reference picture, made once per test:
                                 ref(r, "carrera", x, y, imagen, vueltas,
                                 reloj), ref(r, "titulo"), ...
    texto_reloj(h, m, s)         the clock text as it must show
    leer_reloj(r, img)           the clock text on the screen ("?" where unread)
    hora_reloj(r, img)           (h, m, s) on the screen's clock, or None
    correr([f, ...])             runs test functions, prints each result
                                 and "N passed, N failed"; exits 0, 1, or
                                 77 when all were skipped
                                 (raise unittest.SkipTest to skip)

Run them with `ctest -L e2e -j2` in the build dir. E2E_GUARDAR=1 keeps each
run dir (the game's stderr.txt, the sound capture); E2E_DATOS=path plays
another datos.dat.

For the checked runs (script/comprobar):
    CARRERA_ENVOLTORIO="valgrind ..."  a command put before the game's
    CARRERA_INFORMES=1                 partida() fails when the game's stderr
                                       holds a sanitizer or valgrind report,
                                       also when the test killed the game
    E2E_ESPERA=seconds                 the default wait (30), for slow runs
    ASAN_OPTIONS, UBSAN_OPTIONS, LSAN_OPTIONS, TSAN_OPTIONS reach the game.
"""

import contextlib
import ctypes
import os
import re
import shlex
import shutil
import signal
import struct
import subprocess
import tempfile
import sys
import time
import traceback
import unittest
import zlib

# seconds; generous, the machine may be busy with another test
ESPERA = float(os.environ.get("E2E_ESPERA") or 30)

# A test stopped by ctest's timeout still runs its clean-up...
signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
_libc = ctypes.CDLL(None, use_errno=True)


def _morir_con_padre():
    # ...and one killed outright takes Xvfb and the game with it.
    _libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


# ---- images ----------------------------------------------------------------

def imagen(ancho, alto, rgb):
    return {"ancho": ancho, "alto": alto, "rgb": bytes(rgb)}


def leer_ppm(datos):
    # P6 with single-space separated header, as tests/referencia writes it.
    partes = datos.split(b"\n", 3)
    if partes[0] != b"P6":
        raise ValueError("not a P6 PPM")
    ancho, alto = map(int, partes[1].split())
    return imagen(ancho, alto, partes[3][:ancho * alto * 3])


def escribir_png(ruta, img):
    filas = bytearray()
    n = img["ancho"] * 3
    for y in range(img["alto"]):
        filas += b"\x00" + img["rgb"][y * n:(y + 1) * n]

    def trozo(tipo, cuerpo):
        return (struct.pack(">I", len(cuerpo)) + tipo + cuerpo +
                struct.pack(">I", zlib.crc32(tipo + cuerpo) & 0xffffffff))

    with open(ruta, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(trozo(b"IHDR", struct.pack(">IIBBBBB", img["ancho"],
                                           img["alto"], 8, 2, 0, 0, 0)))
        f.write(trozo(b"IDAT", zlib.compress(bytes(filas), 6)))
        f.write(trozo(b"IEND", b""))


def pixel(img, x, y):
    i = (y * img["ancho"] + x) * 3
    return tuple(img["rgb"][i:i + 3])


def recorte(img, x, y, w, h):
    n = img["ancho"] * 3
    rgb = b"".join(img["rgb"][(y + j) * n + x * 3:(y + j) * n + (x + w) * 3]
                   for j in range(h))
    return imagen(w, h, rgb)


def distintos(a, b, x=0, y=0, w=None, h=None):
    """Pixels of region (x, y, w, h) that differ between a and b, as a list
    of (x, y), at most 1000 of them."""
    w = a["ancho"] - x if w is None else w
    h = a["alto"] - y if h is None else h
    n = a["ancho"] * 3
    malos = []
    for j in range(y, y + h):
        ia, ib = j * n + x * 3, j * b["ancho"] * 3 + x * 3
        fa, fb = a["rgb"][ia:ia + w * 3], b["rgb"][ib:ib + w * 3]
        if fa == fb:
            continue
        for i in range(w):
            if fa[i * 3:i * 3 + 3] != fb[i * 3:i * 3 + 3]:
                malos.append((x + i, j))
                if len(malos) >= 1000:
                    return malos
    return malos


def igual_region(a, b, x=0, y=0, w=None, h=None):
    return not distintos(a, b, x, y, w, h)


def ampliar(img, k):
    """img drawn k times larger, each pixel a k x k block."""
    if k == 1:
        return img
    w, n = img["ancho"], img["ancho"] * 3
    fila = bytearray(n * k)
    filas = []
    for y in range(img["alto"]):
        f = img["rgb"][y * n:(y + 1) * n]
        for c in range(3):
            for j in range(k):
                fila[j * 3 + c::3 * k] = f[c::3]
        filas.append(bytes(fila) * k)
    return imagen(w * k, img["alto"] * k, b"".join(filas))


def reducir(img, x, y, k, w=800, h=600):
    """The w x h picture drawn k times larger at (x, y) in img, taken back to
    its own size: one pixel of each block."""
    n = img["ancho"] * 3
    rgb = bytearray(w * h * 3)
    for j in range(h):
        i = (y + j * k) * n + x * 3
        f = img["rgb"][i:i + w * k * 3]
        for c in range(3):
            rgb[j * w * 3 + c:(j + 1) * w * 3:3] = f[c::3 * k]
    return imagen(w, h, rgb)


def vista(img, w=800, h=600):
    """The game's w x h picture in img, a window or a screen where it must be
    drawn at the largest whole multiple that fits, centred on black, sharp.
    Returns (picture, None), the picture taken back to w x h, when img is
    just that; (picture, what is wrong) when it is not."""
    k = max(1, min(img["ancho"] // w, img["alto"] // h))
    x, y = (img["ancho"] - w * k) // 2, (img["alto"] - h * k) // 2
    if x < 0 or y < 0:
        return None, "a %dx%d screen is smaller than the picture" % (img["ancho"], img["alto"])
    chica = reducir(img, x, y, k, w, h)
    grande = ampliar(chica, k)
    n, m = img["ancho"] * 3, w * k * 3
    for j in range(img["alto"]):
        f = img["rgb"][j * n:(j + 1) * n]
        if not y <= j < y + h * k:
            if f.strip(b"\0"):
                return chica, "not black at row %d, outside the picture at x%d at (%d,%d)" % (
                    j, k, x, y)
            continue
        if f[:x * 3].strip(b"\0") or f[x * 3 + m:].strip(b"\0"):
            return chica, "not black beside the picture at x%d at (%d,%d), row %d" % (k, x, y, j)
        if f[x * 3:x * 3 + m] != grande["rgb"][(j - y) * m:(j - y + 1) * m]:
            return chica, "the picture at x%d at (%d,%d) is not in whole blocks: row %d" % (
                k, x, y, j)
    return chica, None


def caja(puntos):
    """Bounding box (x0, y0, x1, y1) of a list of points, None if empty."""
    if not puntos:
        return None
    xs = [p[0] for p in puntos]
    ys = [p[1] for p in puntos]
    return (min(xs), min(ys), max(xs), max(ys))


def describir(a, b, x=0, y=0, w=None, h=None):
    malos = distintos(a, b, x, y, w, h)
    if not malos:
        return "same"
    px, py = malos[0]
    return ("%s%d pixels differ in box %s; first at (%d,%d): screen %s, "
            "expected %s" % ("at least " if len(malos) >= 1000 else "",
                             len(malos), caja(malos), px, py, pixel(a, px, py),
                             pixel(b, px, py)))


_fallos = [0]


def fallo(texto, img=None, nombre="fallo"):
    if img is not None:
        _fallos[0] += 1
        ruta = os.path.abspath("%s-%d-%d.png" % (nombre, os.getpid(), _fallos[0]))
        escribir_png(ruta, img)
        texto += " (screen saved as %s)" % ruta
    raise AssertionError(texto)


# ---- XWD screenshots --------------------------------------------------------

def leer_xwd(datos):
    campos = struct.unpack(">25I", datos[:100])
    (cabeza, _version, formato, _prof, ancho, alto, _xoff, orden, _unidad,
     _bitorden, _pad, bpp, por_linea, _clase, rmask, gmask, bmask, _bits,
     _entradas, ncolores) = campos[:20]
    # 32 bits a pixel as a rule; 24, packed, when the screen holds windows of
    # more than one visual (Wine's message box over the root).
    if formato != 2 or bpp not in (24, 32):
        raise ValueError("XWD not ZPixmap 24 or 32 bpp (format %d, %d bpp)"
                         % (formato, bpp))
    paso = bpp // 8
    inicio = cabeza + ncolores * 12
    px = datos[inicio:inicio + por_linea * alto]
    if por_linea != ancho * paso:
        px = b"".join(px[y * por_linea:y * por_linea + ancho * paso]
                      for y in range(alto))
    # Masks say where each colour is within the pixel; byte order says how
    # that pixel is stored.
    def byte(mask):
        corr = {0xff: 0, 0xff00: 1, 0xff0000: 2, 0xff000000: 3}[mask]
        return corr if orden == 0 else paso - 1 - corr
    rgb = bytearray(ancho * alto * 3)
    rgb[0::3] = px[byte(rmask)::paso]
    rgb[1::3] = px[byte(gmask)::paso]
    rgb[2::3] = px[byte(bmask)::paso]
    return imagen(ancho, alto, rgb)


def captura(p):
    # A screen that is no X server's (weston's own) is read by p["captura"].
    if p.get("captura"):
        return p["captura"](p)
    # Rootless Xwayland has no picture of its root: there the game's window
    # is the screen (p["pantalla_id"]).
    donde = ["-id", str(p["pantalla_id"])] if p.get("pantalla_id") else ["-root"]
    # A window that goes while xwd walks the screen (Wine makes and drops
    # several as it starts) fails that one capture: take it again.
    for vez in range(5):
        r = subprocess.run(["xwd", "-silent", "-display", p["display"]] + donde,
                           capture_output=True, timeout=ESPERA)
        if r.returncode == 0 or b"BadWindow" not in r.stderr or vez == 4:
            break
        time.sleep(0.2)
    if r.returncode != 0:
        raise RuntimeError("xwd failed: %s" % r.stderr.decode(errors="replace"))
    img = leer_xwd(r.stdout)
    if REDONDEO:
        img["rgb"] = img["rgb"].translate(_niveles)
    return img


# With E2E_REDONDEO=1 each channel of a screenshot is moved to the nearest of
# the 64 levels Allegro makes of the palette's 0-63: Wine rounds them a few
# levels apart.
REDONDEO = bool(os.environ.get("E2E_REDONDEO"))
_escala = [v * 4 + v // 16 for v in range(64)]
_niveles = bytes(min(_escala, key=lambda n: abs(n - b)) for b in range(256))


# ---- keys -------------------------------------------------------------------

def _xdotool(p, *args):
    subprocess.run(["xdotool"] + list(args), check=True, timeout=ESPERA,
                   env=dict(os.environ, DISPLAY=p["display"]))


def tecla(p, nombre, abajo):
    # Where there is no X server, p["teclado"](name, down) presses keys.
    if p.get("teclado"):
        p["teclado"](nombre, abajo)
    else:
        _xdotool(p, "keydown" if abajo else "keyup", nombre)
    if abajo:
        p["pulsadas"].add(nombre)
    else:
        p["pulsadas"].discard(nombre)


def pulsar(p, nombre):
    """Presses and lets go of a key, or of keys joined by + (alt+Return)."""
    if p.get("teclado"):
        teclas = nombre.split("+")
        for t in teclas:
            p["teclado"](t, True)
        for t in reversed(teclas):
            p["teclado"](t, False)
    else:
        _xdotool(p, "key", nombre)


# ---- the game's window, as a window manager sees it -------------------------

@contextlib.contextmanager
def _x11(p):
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XInternAtom.restype = ctypes.c_ulong
    for f in ("XInternAtom", "XSendEvent", "XFlush", "XCloseDisplay"):
        getattr(x, f).argtypes = None
    d = ctypes.c_void_p(x.XOpenDisplay(p["display"].encode()))
    try:
        yield x, d
    finally:
        x.XCloseDisplay(d)


def ventana(p):
    """The id of the game's window, found by its class, or p["ventana"] when
    the test found it some other way (Wine names the class after the .exe)."""
    if p.get("ventana"):
        return int(p["ventana"])
    r = subprocess.run(["xdotool", "search", "--class", "Carrera"], capture_output=True,
                       text=True, timeout=ESPERA, env=dict(os.environ, DISPLAY=p["display"]))
    ids = r.stdout.split()
    if len(ids) != 1:
        fallo("windows of class Carrera: %s" % (ids or "none"))
    return int(ids[0])


def boton_cerrar(p):
    """What a window manager's close button does: a WM_DELETE_WINDOW message."""
    with _x11(p) as (x, d):
        proto = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
        borrar = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
        w = ventana(p)
        # XClientMessageEvent, padded to the size of an XEvent.
        ev = (ctypes.c_long * 24)(33, 0, 0, 0, w, proto, 32, borrar, 0)
        x.XSendEvent(d, ctypes.c_ulong(w), 0, ctypes.c_long(0), ev)
        x.XFlush(d)


def xwininfo(p, *args):
    return subprocess.run(["xwininfo", "-display", p["display"]] + list(args),
                          capture_output=True, text=True, timeout=ESPERA).stdout


def de_escritorio(p, r, gestor=False):
    """Fails unless the game's window is one a desktop takes in: mapped,
    800x600, not override-redirect, named "Carrera" with the game's class and
    icon, managed when there is a window manager (gestor), and no
    override-redirect window over the screen. Returns its (x, y) on the root."""
    w = ventana(p)
    info = xwininfo(p, "-id", str(w))
    for debe in ("Width: 800\n", "Height: 600\n", "Map State: IsViewable\n",
                 "Override Redirect State: no\n"):
        if debe not in info:
            fallo("the Carrera window lacks %r:\n%s" % (debe.strip(), info))
    props = subprocess.run(["xprop", "-display", p["display"], "-id", str(w), "WM_NAME",
                            "WM_CLASS", "WM_STATE"], capture_output=True, text=True).stdout
    nombre = 'WM_NAME(STRING) = "Carrera"\nWM_CLASS(STRING) = "carrera", "carrera"\n'
    if not props.startswith(nombre):
        fallo("window properties: %r" % props)
    if gestor and "window state: Normal" not in props:
        fallo("the window manager has not taken the window: %r" % props)
    # Allegro's fullscreen driver draws in a window of this kind.
    for hijo in re.findall(r"^\s+(0x[0-9a-f]+) ", xwininfo(p, "-root", "-children"), re.M):
        h = xwininfo(p, "-id", hijo)
        if "Override Redirect State: yes" in h and "IsViewable" in h and \
                int(re.search(r"Width: (\d+)", h).group(1)) >= 800:
            fallo("an override-redirect window covers the screen:\n%s" % h)
    with open(os.path.join(r["salida"], "escritorio", "icono", "icono.rgba"), "rb") as f:
        rgba = f.read()
    img = icono(p)
    malos = [k for k in range(48 * 48) if rgba[k * 4 + 3] == 255 and
             rgba[k * 4:k * 4 + 3] != img["rgb"][k * 3:k * 3 + 3]]
    if len(rgba) != 48 * 48 * 4 or malos:
        fallo("the window's icon is not the game's: %d pixels differ" % len(malos), img)
    return tuple(int(re.search(r"Absolute upper-left %s:\s+(-?\d+)" % e, info).group(1))
                 for e in "XY")


def cerrado(p, donde, limite=3):
    """The close button on screen donde ends the game at once (within limite
    seconds) with status 0."""
    # A checked game exits slower: its sanitizer looks for leaks first.
    if os.environ.get("CARRERA_ENVOLTORIO") or any(
            k in os.environ for k in ("ASAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS")):
        limite *= 5
    boton_cerrar(p)
    try:
        rc = p["proc"].wait(limite)
    except subprocess.TimeoutExpired:
        fallo("the close button on %s: game still running %d s later" % (donde, limite),
              captura(p))
    if rc != 0:
        fallo("the close button on %s: exit status %s; stderr: %s" % (donde, rc, leer_err(p)))


def icono(p):
    """The window's icon, its _NET_WM_ICON (ARGB words after its size), as
    an image."""
    salida = subprocess.run(["xprop", "-display", p["display"], "-id", str(ventana(p)),
                             "-notype", "32c", "_NET_WM_ICON"],
                            capture_output=True, text=True, timeout=ESPERA).stdout
    v = [int(n) for n in re.findall(r"\d+", salida.split("=", 1)[-1])]
    if len(v) < 2 or len(v) < 2 + v[0] * v[1]:
        fallo("the window has no icon: %r" % salida[:200])
    w, h = v[0], v[1]
    rgb = bytearray()
    for c in v[2:2 + w * h]:
        rgb += bytes(((c >> 16) & 255, (c >> 8) & 255, c & 255))
    return imagen(w, h, rgb)


# ---- waiting ----------------------------------------------------------------

def esperar(p, cond, que, limite=ESPERA):
    """Takes screenshots until cond(img) returns True. cond may return a
    string instead of False to say what it saw; the last one goes into the
    failure message. Fails early if the game exits."""
    fin = time.monotonic() + limite
    visto = "nothing checked"
    while True:
        img = captura(p)
        r = cond(img)
        if r is True:
            return img
        if isinstance(r, str):
            visto = r
        if p["proc"].poll() is not None:
            fallo("waiting for %s: game exited with status %s; stderr: %s; "
                  "last seen: %s" % (que, p["proc"].returncode,
                                     leer_err(p), visto), img)
        if time.monotonic() > fin:
            fallo("waiting for %s: not seen in %d s; last seen: %s"
                  % (que, limite, visto), img)
        time.sleep(0.02)


def esperar_fin(p, limite=ESPERA):
    try:
        return p["proc"].wait(limite)
    except subprocess.TimeoutExpired:
        fallo("game still running %d s after it should have exited" % limite,
              captura(p))


def leer_err(p):
    with open(os.path.join(p["dir"], "stderr.txt"), errors="replace") as f:
        return f.read()


# ---- X server and game ------------------------------------------------------

def abrir_x(tam="800x600"):
    """Starts Xvfb on a free display with a screen of tam pixels; returns
    (process, ":N")."""
    lee, escribe = os.pipe()
    x = subprocess.Popen(["Xvfb", "-displayfd", str(escribe), "-screen", "0",
                          tam + "x24", "-nolisten", "tcp", "-noreset"],
                         pass_fds=(escribe,), stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, preexec_fn=_morir_con_padre)
    os.close(escribe)
    numero = b""
    fin = time.monotonic() + ESPERA
    while not numero.endswith(b"\n"):
        if time.monotonic() > fin or x.poll() is not None:
            os.close(lee)
            cerrar(x)
            raise RuntimeError("Xvfb did not start")
        trozo = os.read(lee, 16)
        if not trozo:
            break
        numero += trozo
    os.close(lee)
    return x, ":" + numero.decode().strip()


# A window manager that honours fullscreen requests, and nothing else: no
# key or mouse bindings of its own to take the game's keys.
OPENBOX = """<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy><center>yes</center></placement>
  <desktops><number>1</number></desktops>
  <keyboard/>
  <mouse/>
</openbox_config>
"""


def abrir_gestor(display, d):
    """Starts openbox on display, its files in d, and returns it once it
    manages the screen (it names itself on the root window)."""
    rc = os.path.join(d, "openbox.xml")
    with open(rc, "w") as f:
        f.write(OPENBOX)
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": d, "DISPLAY": display,
           "XDG_CONFIG_HOME": d, "XDG_CACHE_HOME": d, "XDG_DATA_HOME": d}
    with open(os.path.join(d, "openbox.txt"), "wb") as log:
        g = subprocess.Popen(["openbox", "--config-file", rc, "--sm-disable"], env=env,
                             stdout=log, stderr=log, preexec_fn=_morir_con_padre)
    fin = time.monotonic() + ESPERA
    while True:
        m = re.search(r"window id # (0x[0-9a-f]+)", subprocess.run(
            ["xprop", "-display", display, "-root", "_NET_SUPPORTING_WM_CHECK"],
            capture_output=True, text=True, timeout=ESPERA).stdout)
        if m and '"Openbox"' in subprocess.run(
                ["xprop", "-display", display, "-id", m.group(1), "_NET_WM_NAME"],
                capture_output=True, text=True, timeout=ESPERA).stdout:
            return g
        if g.poll() is not None or time.monotonic() > fin:
            cerrar(g)
            raise RuntimeError("openbox did not take the screen: %s"
                               % open(os.path.join(d, "openbox.txt"), errors="replace").read())
        time.sleep(0.1)


def cerrar(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def programa(carrera):
    # Wine wants a Windows game to keep its .exe.
    return "carrera.exe" if carrera.endswith(".exe") else "carrera"


def asoundrc(sonido):
    # No sound card: the default PCM converts to one fixed format and
    # writes it to a file, dropping it afterwards into a null device.
    return ('pcm.!default { type plug slave { pcm "cap" format S16_LE '
            'rate 44100 channels 2 } }\n'
            'pcm.cap { type file slave.pcm "null" file "%s" format "raw" }\n' % sonido)


def preparar_dir(carrera, datos, extra=(), sonido=None, cfg=None, prefijo="carrera-e2e-"):
    """A run dir with the game, its datafile and a private home. Returns
    (dir, env)."""
    d = tempfile.mkdtemp(prefix=prefijo)
    # The game's own copy sits beside its data, so Allegro finds
    # allegro.cfg and patches.dat there and nowhere else.
    shutil.copy(carrera, os.path.join(d, programa(carrera)))
    if datos is not None:
        shutil.copy(datos, os.path.join(d, "datos.dat"))
    for f in extra:
        if f and os.path.exists(f):
            shutil.copy(f, os.path.join(d, os.path.basename(f)))
    if cfg is not None:
        with open(os.path.join(d, "allegro.cfg"), "w") as f:
            f.write(cfg)
    casa = os.path.join(d, "casa")
    os.makedirs(os.path.join(casa, ".config", "alsa"))
    with open(os.path.join(casa, ".config", "alsa", "asoundrc"), "w") as f:
        f.write(asoundrc(sonido or os.path.join(d, "sonido.raw")))
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": casa,
           "XDG_CONFIG_HOME": os.path.join(casa, ".config"),
           "XDG_RUNTIME_DIR": casa, "LANG": "C",
           # SDL's disk driver: the sound, paced as a card plays it, into the file.
           "SDL_AUDIODRIVER": "disk",
           "SDL_DISKAUDIOFILE": sonido or os.path.join(d, "sonido.raw")}
    # A sanitized game reads its settings (exit code, suppressions) here.
    for k in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS",
              "WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES"):
        if k in os.environ:
            env[k] = os.environ[k]
    return d, env


# What a sanitizer or valgrind writes when it finds a fault. A game killed
# mid-race never reaches its exit status, so its stderr is all there is.
INFORMES = re.compile(r"ERROR: (Address|Leak|Memory)Sanitizer|runtime error:|"
                      r"WARNING: ThreadSanitizer|ERROR SUMMARY: [1-9]|"
                      r"definitely lost: [1-9]")


def informe(texto):
    """The first sanitizer or valgrind report line in texto, or None."""
    m = INFORMES.search(texto)
    if not m:
        return None
    linea = texto[texto.rfind("\n", 0, m.start()) + 1:]
    return linea.split("\n", 1)[0]


def lanzar(d, env, carpeta=None):
    with open(os.path.join(d, "stdout.txt"), "wb") as o, \
            open(os.path.join(d, "stderr.txt"), "wb") as e:
        orden = shlex.split(os.environ.get("CARRERA_ENVOLTORIO", ""))
        juego = "carrera.exe" if os.path.exists(os.path.join(d, "carrera.exe")) else "carrera"
        return subprocess.Popen(orden + [os.path.join(d, juego)], cwd=carpeta or d, env=env,
                                stdin=subprocess.DEVNULL, stdout=o, stderr=e,
                                preexec_fn=_morir_con_padre)


@contextlib.contextmanager
def partida(carrera, datos, extra=(), sonido=None, cfg=None, env=None, display=None,
            tam="800x600", gestor=False, carpeta=None, prefijo="carrera-e2e-"):
    # On a display of the test's own (a compositor's Xwayland), no Xvfb.
    x, display = abrir_x(tam) if display is None else (None, display)
    p = {"display": display, "xvfb": x, "proc": None, "dir": None,
         "pulsadas": set(), "gestor": None}
    try:
        p["dir"], e = preparar_dir(carrera, datos, extra, sonido, cfg, prefijo)
        if gestor:
            p["gestor"] = abrir_gestor(display, tempfile.mkdtemp(dir=p["dir"]))
        e["DISPLAY"] = display
        e.update(env or {})
        p["proc"] = lanzar(p["dir"], e, carpeta)
        yield p
    finally:
        for t in list(p["pulsadas"]):
            try:
                tecla(p, t, False)
            except Exception:
                pass
        if p["proc"] is not None:
            cerrar(p["proc"])
        if p["gestor"] is not None:
            cerrar(p["gestor"])
        if x is not None:
            cerrar(x)
        visto = None
        if p["proc"] is not None and os.environ.get("CARRERA_INFORMES"):
            err = leer_err(p)
            visto = informe(err)
        if p["dir"] and not os.environ.get("E2E_GUARDAR"):
            shutil.rmtree(p["dir"], ignore_errors=True)
        if visto:
            raise AssertionError("the game's stderr holds a report: %s\n%s"
                                 % (visto, err[-6000:]))


# ---- reference pictures -----------------------------------------------------

def referencia(prog, datos, que, *args):
    r = subprocess.run([prog, datos, que] + [str(a) for a in args],
                       capture_output=True, timeout=ESPERA)
    if r.returncode != 0:
        raise RuntimeError("referencia %s failed: %s" % (que, r.stderr.decode(
            errors="replace")))
    return leer_ppm(r.stdout)


# ---- the game ---------------------------------------------------------------

# Indices of the datafile entries (game's datos.h).
ABAJO, IZQUIERDA, DERECHA, ARRIBA = 1, 2, 3, 4
PISTA_X, PISTA_Y, PISTA_W, PISTA_H = 163, 90, 513, 498
RELOJ_X, RELOJ_Y, RELOJ_W, RELOJ_H = 722, 1, 72, 8


def rutas():
    salida = os.environ.get("SALIDA", "")
    datos = os.environ.get("E2E_DATOS") or os.path.join(salida, "datos.dat")
    extra = [os.path.join(salida, f) for f in ("patches.dat", "allegro.cfg")]
    # The build may write these again while a test runs: the game and the
    # reference both take one copy, made here, in the working dir.
    copia = os.path.abspath("copia")
    os.makedirs(copia, exist_ok=True)
    for f in os.listdir(copia):
        os.remove(os.path.join(copia, f))
    def tomar(f, nombre):
        if not os.path.exists(f):
            return None
        shutil.copy(f, os.path.join(copia, nombre))
        return os.path.join(copia, nombre)
    tomadas = [tomar(f, os.path.basename(f)) for f in extra]
    return {"carrera": os.environ["CARRERA"],
            "referencia": os.environ["REFERENCIA"], "salida": salida,
            "datos": tomar(datos, "datos.dat"),
            "extra": [f for f in tomadas if f]}


def texto_reloj(h, m, s):
    t = "%d:%d: %d" % (h, m, s) if s <= 9 else "%d:%d:%d" % (h, m, s)
    return t.ljust(9)


def leer_reloj(r, img):
    """The clock's text on the screen, a "?" where no character of it shows."""
    letras = r.setdefault("cache", {}).get("letras")
    if letras is None:
        letras = r["cache"]["letras"] = {}
        for t in ("012345678", "9: "):
            muestra = ref(r, "carrera", 0, 0, -1, 0, t)
            for k, ch in enumerate(t):
                letras[recorte(muestra, RELOJ_X + 8 * k, RELOJ_Y, 8, 8)["rgb"]] = ch
    return "".join(letras.get(recorte(img, RELOJ_X + 8 * k, RELOJ_Y, 8, 8)["rgb"], "?")
                   for k in range(9))


def hora_reloj(r, img):
    """(h, m, s) as the clock shows it, or None when it shows no time."""
    t = leer_reloj(r, img)
    try:
        h, m, s = map(int, t.split(":"))
    except ValueError:
        return None
    return (h, m, s) if t == texto_reloj(h, m, s) and m < 60 and s < 60 else None


def ref(r, que, *args):
    clave = (que,) + args
    cache = r.setdefault("cache", {})
    if clave not in cache:
        cache[clave] = referencia(r["referencia"], r["datos"], que, *args)
    return cache[clave]


def coches(r):
    return {k: ref(r, "coche", k) for k in (ABAJO, IZQUIERDA, DERECHA, ARRIBA)}


def caja_distinta(a, b, x, y, w, h):
    """Bounding box of the pixels that differ in a region, or None."""
    n = a["ancho"] * 3
    x0 = y0 = 10 ** 6
    x1 = y1 = -1
    for j in range(y, y + h):
        i = j * n + x * 3
        fa, fb = a["rgb"][i:i + w * 3], b["rgb"][i:i + w * 3]
        if fa == fb:
            continue
        y0, y1 = min(y0, j), j
        k = 0
        while fa[k] == fb[k]:
            k += 1
        x0 = min(x0, x + k // 3)
        k = len(fa) - 1
        while fa[k] == fb[k]:
            k -= 1
        x1 = max(x1, x + k // 3)
    return None if y1 < 0 else (x0, y0, x1, y1)


def coche_en(img, coche, x, y):
    """True when the car image's visible pixels are on the screen at (x, y)."""
    w, h = coche["ancho"], coche["alto"]
    if x < 0 or y < 0 or x + w > img["ancho"] or y + h > img["alto"]:
        return False
    n = img["ancho"] * 3
    for j in range(h):
        fila = coche["rgb"][j * w * 3:(j + 1) * w * 3]
        pant = img["rgb"][(y + j) * n + x * 3:(y + j) * n + (x + w) * 3]
        if fila == pant:
            continue
        for i in range(0, w * 3, 3):
            if fila[i:i + 3] != b"\x01\x02\x03" and fila[i:i + 3] != pant[i:i + 3]:
                return False
    return True


def buscar_coche(img, pista, cs):
    c = caja_distinta(img, pista, PISTA_X, PISTA_Y, PISTA_W, PISTA_H)
    if c is None:
        return "no car on the track (track region equals the bare track)"
    x0, y0, x1, y1 = c
    for k, coche in cs.items():
        w, h = coche["ancho"], coche["alto"]
        if x1 - x0 >= w or y1 - y0 >= h:
            continue
        for y in range(y1 - h + 1, y0 + 1):
            for x in range(x1 - w + 1, x0 + 1):
                if coche_en(img, coche, x, y):
                    return (x, y, k)
    return "track differs in box (%d,%d)-(%d,%d), no car image fits it" % c


def pista_sola(r):
    return ref(r, "carrera", 0, 0, -1, -1, "")


def de_sdl(r):
    """Skips unless the game draws through SDL: Allegro's own X11 window
    neither scales, nor goes fullscreen on a key, nor speaks Wayland."""
    con_datos(r)
    d = subprocess.run(["readelf", "-d", r["carrera"]], capture_output=True, text=True).stdout
    if "libSDL2" not in d:
        raise unittest.SkipTest("the game is built on Allegro's own X11 window")


def con_datos(r):
    """Skips the test when the build has made no datos.dat yet."""
    if r["datos"] is None:
        raise unittest.SkipTest("the build has no datos.dat yet")


@contextlib.contextmanager
def carrera(r):
    """A game of the build's data, past its title: yields (p, pista, coches)
    with the race's first frame on screen."""
    con_datos(r)
    with partida(r["carrera"], r["datos"], r["extra"]) as p:
        yield p, empezar_carrera(p, r), coches(r)


def empezar_carrera(p, r, pasar=None):
    """Passes the title with Return (or pasar()) and waits for the first race
    frame: the car up at (300,490) and the surround green. Returns the bare
    track."""
    pista = pista_sola(r)
    cs = coches(r)
    esperar(p, lambda i: igual_region(i, ref(r, "titulo"))
            or describir(i, ref(r, "titulo")), "the title screen")
    (pasar or (lambda: pulsar(p, "Return")))()

    def listo(img):
        if pixel(img, 0, 300) != (0, 255, 0):
            return "surround at (0,300) is %s, not green" % (pixel(img, 0, 300),)
        c = buscar_coche(img, pista, cs)
        if c != (300, 490, ARRIBA):
            return "car %s, expected (300, 490, %d)" % (c, ARRIBA)
        # The lap text shows that the race loop has run a frame.
        if not igual_region(img, vueltas0, 0, 0, 100, 10):
            return "no Vueltas:0 at (1,1) yet"
        return True
    vueltas0 = ref(r, "carrera", 0, 0, -1, 0, "")
    esperar(p, listo, "the race screen")
    return pista


def correr(pruebas):
    bien = mal = saltadas = 0
    for f in pruebas:
        t = time.monotonic()
        try:
            f()
        except unittest.SkipTest as e:
            saltadas += 1
            print("SKIP %s: %s" % (f.__name__, e), flush=True)
            continue
        except Exception:
            mal += 1
            print("FAIL %s (%.1f s)" % (f.__name__, time.monotonic() - t))
            traceback.print_exc()
            sys.stdout.flush()
            continue
        bien += 1
        print("ok   %s (%.1f s)" % (f.__name__, time.monotonic() - t), flush=True)
    print("%d passed, %d failed, %d skipped" % (bien, mal, saltadas))
    if mal:
        sys.exit(1)
    sys.exit(77 if saltadas and not bien else 0)
