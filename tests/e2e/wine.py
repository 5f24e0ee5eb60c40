"""The Windows game under Wine: its program is hardened (ASLR, DEP, the
stack protector); the zip unpacked in a fresh folder opens a managed
800x600 window named Carrera on the desktop's drivers (SDL), plays from the
title to its exit as on Linux with the car at 100 px a second of the race
clock, and closes with status 0 at the close request; resized to hold the
picture twice over it shows it so, sharp and centred on black, and so does
fullscreen on Alt+Enter, at the screen's own size, the choice kept in
%APPDATA% until F11 takes it back; it stops with status 1 and a message box
on a missing or damaged datos.dat. Skipped when there is no zip
(script/windows makes it and runs this).

What only a real Windows machine can show: the window under the desktop
compositor and at 100 px/s there, fullscreen on a real monitor, the
window's close button and taskbar icon, and a real pad.

    CARRERA_ZIP=.../carrera-1.0-windows.zip wine.py"""
import atexit
import configparser
import glob
import os
import shutil
import struct
import subprocess
import tempfile
import time
import unittest
import zipfile

os.environ.setdefault("E2E_REDONDEO", "1")
os.environ.setdefault("E2E_ESPERA", "90")  # Wine is slow to start on a busy machine
import pantalla as P  # noqa: E402
import breve  # noqa: E402
import ritmo  # noqa: E402

r = P.rutas()
ZIP = os.environ.get("CARRERA_ZIP", "")


def preparar():
    """Unpacks the zip and makes a private Wine prefix; points r at them."""
    if not os.path.exists(ZIP):
        raise unittest.SkipTest("no Windows build at %r (script/windows)" % ZIP)
    if r.get("abierto"):
        return
    d = tempfile.mkdtemp(prefix="carrera-wine-")
    atexit.register(limpiar, d)
    with zipfile.ZipFile(ZIP) as z:
        z.extractall(d)
    juego = os.path.join(d, "carrera-1.0")
    r.update(abierto=True, carrera=os.path.join(juego, "carrera.exe"), datos=os.path.join(juego, "datos.dat"),
             extra=[os.path.join(juego, f) for f in ("patches.dat", "allegro.cfg")])
    # The first start of a prefix makes it, with no dialogs to wait for.
    # Wine's sound asks PulseAudio for a runtime folder: ours, or it leaves one in /tmp.
    os.mkdir(os.path.join(d, "ejecucion"), 0o700)
    os.environ.update(WINEPREFIX=os.path.join(d, "prefijo"), WINEDEBUG="-all",
                      XDG_RUNTIME_DIR=os.path.join(d, "ejecucion"),
                      WINEDLLOVERRIDES="mscoree,mshtml=", CARRERA_ENVOLTORIO="wine")
    x, display = P.abrir_x()
    try:
        env = dict(os.environ, DISPLAY=display)
        subprocess.run(["wine", "wineboot", "-i"], env=env, check=True, timeout=300,
                       capture_output=True)
        terminar()
    finally:
        P.cerrar(x)


def terminar():
    # Each game gets an X server of its own: the next starts Wine anew.
    servidor = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
    subprocess.run([servidor, "-k"], timeout=60)
    subprocess.run([servidor, "-w"], timeout=60)


def limpiar(d):
    """The folder goes at the end, and so does the one Wine's server keeps in
    TMPDIR, named in the prefix."""
    terminar()
    try:
        servidor = open(os.path.join(d, "prefijo", "wineserver")).read().strip()
    except OSError:
        servidor = ""
    if servidor.startswith("wine-"):
        shutil.rmtree(os.path.join(os.environ.get("TMPDIR") or "/tmp", servidor), True)
    shutil.rmtree(d, True)


def endurecido():
    """The zip's program as Windows loads it: high-entropy ASLR (and the
    relocations it is moved by, kept through the strip), DEP, and the stack
    protector, whose check brings libssp's message in with it."""
    if not os.path.exists(ZIP):
        raise unittest.SkipTest("no Windows build at %r (script/windows)" % ZIP)
    with zipfile.ZipFile(ZIP) as z:
        exe = z.read("carrera-1.0/carrera.exe")
    pe = struct.unpack_from("<I", exe, 0x3c)[0]
    opcional = pe + 24
    if exe[pe:pe + 4] != b"PE\0\0" or struct.unpack_from("<H", exe, opcional)[0] != 0x20b:
        P.fallo("carrera.exe is not a 64-bit Windows program")
    banderas = struct.unpack_from("<H", exe, opcional + 70)[0]
    faltan = [n for bit, n in ((0x20, "HIGH_ENTROPY_VA"), (0x40, "DYNAMIC_BASE"),
                               (0x100, "NX_COMPAT")) if not banderas & bit]
    # The size of the base relocation directory, the sixth.
    if not struct.unpack_from("<I", exe, opcional + 112 + 5 * 8 + 4)[0]:
        faltan.append("base relocations")
    if b"*** stack smashing detected ***" not in exe:
        faltan.append("the stack protector")
    if faltan:
        P.fallo("carrera.exe lacks %s (DllCharacteristics 0x%04x)" % (", ".join(faltan), banderas))


def ajuste_del_zip():
    """Whether the zip's allegro.cfg starts the game fullscreen."""
    cfg = configparser.ConfigParser(strict=False, interpolation=None)
    with zipfile.ZipFile(ZIP) as z:
        cfg.read_string(z.read("carrera-1.0/allegro.cfg").decode())
    return cfg.get("pantalla", "completa", fallback=None)


def ventana_wine(p):
    """Waits for the game's window as Wine makes it: named Carrera, mapped,
    800x600 inside, not override-redirect (a window manager frames it).
    Returns its id; screenshots are taken of it from then on."""
    fin, visto = time.monotonic() + P.ESPERA, "no window named Carrera"
    env = dict(os.environ, DISPLAY=p["display"])
    while time.monotonic() < fin:
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Carrera$"],
                             capture_output=True, text=True, env=env).stdout.split()
        for w in ids:
            info = P.xwininfo(p, "-id", w)
            # Wine names it after the program first, "carrera".
            if all(debe in info for debe in ('"Carrera"\n', "Width: 800\n", "Height: 600\n",
                                              "Map State: IsViewable\n",
                                              "Override Redirect State: no\n")):
                p["ventana"] = p["pantalla_id"] = int(w)
                return
            visto = info
        if p["proc"].poll() is not None:
            break
        time.sleep(0.2)
    P.fallo("no managed 800x600 window named Carrera; last seen:\n%s" % visto)


def partida_entera():
    preparar()
    if ajuste_del_zip() != "0":
        P.fallo("the zip's allegro.cfg has completa = %r, not 0 (a window)" % ajuste_del_zip())
    # A screen larger than the window, as a player's is, so that all of it
    # shows.
    x, display = P.abrir_x("1024x768")
    try:
        jugar(display)
        cerrar_en_titulo(display)
    finally:
        P.cerrar(x)


def al_titulo(p):
    """Waits for the game's window and the title picture at (1,1) in it."""
    ventana_wine(p)
    titulo = P.ref(r, "titulo")
    P.esperar(p, lambda i: P.igual_region(i, titulo) or P.describir(i, titulo),
              "the title picture at (1,1)")
    return titulo


def cerrar_en_titulo(display):
    with P.partida(r["carrera"], r["datos"], r["extra"], display=display) as p:
        al_titulo(p)
        # Wine passes the request on through its own threads: not at once.
        P.cerrado(p, "the title", P.ESPERA)
    terminar()


def jugar(display):
    with P.partida(r["carrera"], r["datos"], r["extra"], display=display) as p:
        # Drawn once, the title must reach the window and stay.
        titulo = al_titulo(p)
        # With no keyboard the title would pass by itself.
        fin = time.monotonic() + 3
        while time.monotonic() < fin:
            img = P.captura(p)
            if not P.igual_region(img, titulo):
                P.fallo("title went away with no key pressed: " + P.describir(img, titulo), img)
        pista = P.empezar_carrera(p, r)
        cs = P.coches(r)
        img = P.captura(p)
        carrera = P.ref(r, "carrera", 300, 490, P.ARRIBA, 0, "")
        if not P.igual_region(img, carrera, 0, 10, 800, 590):
            P.fallo("race screen: " + P.describir(img, carrera, 0, 10, 800, 590), img)
        ritmo.subir(p, pista, cs)
        P.tecla(p, "Up", False)
        breve.fin_de_carrera(p, 0)
    terminar()


def ampliada(img, m, ancho, alto):
    """img drawn m times larger in the middle of an ancho x alto picture on black."""
    x0, y0 = (ancho - img["ancho"] * m) // 2, (alto - img["alto"] * m) // 2
    negro = bytes(3 * ancho)
    filas = []
    for y in range(img["alto"]):
        f = img["rgb"][y * img["ancho"] * 3:(y + 1) * img["ancho"] * 3]
        fila = negro[:x0 * 3] + b"".join(f[i:i + 3] * m for i in range(0, len(f), 3))
        filas += [fila + negro[len(fila):]] * m
    return P.imagen(ancho, alto, negro * y0 + b"".join(filas) + negro * (alto - y0 - len(filas)))


def ver_ampliada(p, img, m, ancho, alto, que):
    """Waits for the screenshot to be img m times larger, centred on black in
    ancho x alto; all but the line of laps and clock."""
    e = ampliada(img, m, ancho, alto)
    y = (alto - img["alto"] * m) // 2

    def cond(i):
        if (i["ancho"], i["alto"]) != (ancho, alto):
            return "a picture of %dx%d" % (i["ancho"], i["alto"])
        if not P.igual_region(i, e, 0, 0, ancho, y):
            return "above the picture: " + P.describir(i, e, 0, 0, ancho, y)
        return (P.igual_region(i, e, 0, y + 10 * m, ancho, alto - y - 10 * m)
                or P.describir(i, e, 0, y + 10 * m, ancho, alto - y - 10 * m))
    P.esperar(p, cond, que)


def ruta_recordada():
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*", "AppData",
                        "Roaming", "carrera", "pantalla")


def recordada(p, valor):
    """Waits for the player's choice kept in %APPDATA%\\carrera\\pantalla."""
    ruta = ruta_recordada()
    fin, visto = time.monotonic() + P.ESPERA, "no file"
    while time.monotonic() < fin:
        for f in glob.glob(ruta):
            visto = open(f).read()
            if visto == "completa = %d\n" % valor:
                return
        time.sleep(0.2)
    P.fallo("%s: %r, expected completa = %d" % (ruta, visto, valor), P.captura(p))


def ventana_y_completa():
    """The race in a window made 1650x1250, then fullscreen on a 1700x1300
    screen: twice over both times (1600x1200) and in the middle."""
    preparar()
    x, display = P.abrir_x("1700x1300")
    try:
        with P.partida(r["carrera"], r["datos"], r["extra"], display=display) as p:
            al_titulo(p)
            P.empezar_carrera(p, r)
            carrera = P.ref(r, "carrera", 300, 490, P.ARRIBA, 0, "")
            # At the corner, so that xwd sees all of it.
            subprocess.run(["xdotool", "windowmove", str(p["ventana"]), "0", "0",
                            "windowsize", str(p["ventana"]), "1650", "1250"],
                           env=dict(os.environ, DISPLAY=display), check=True, timeout=P.ESPERA)
            ver_ampliada(p, carrera, 2, 1650, 1250, "the race twice over in the window made larger")
            P.pulsar(p, "alt+Return")
            p["pantalla_id"] = None
            ver_ampliada(p, carrera, 2, 1700, 1300, "the race twice over, fullscreen")
            recordada(p, 1)
            P.pulsar(p, "F11")
            recordada(p, 0)
            P.cerrado(p, "the race", P.ESPERA)
    finally:
        P.cerrar(x)
    terminar()


def desde_otra_carpeta():
    """Started from another working folder, as a shortcut or a prompt may
    start it, the game in a folder with accents finds its files beside it:
    the allegro.cfg there starts it fullscreen, and it plays to its end."""
    preparar()
    # The player's own choice, kept by the test before, would stand over allegro.cfg's.
    for f in glob.glob(ruta_recordada()):
        os.remove(f)
    with open(r["extra"][1], newline="") as f:
        cfg = f.read().replace("completa = 0", "completa = 1")
    otra = tempfile.mkdtemp(prefix="carrera-otra-")
    # Twice over fullscreen: a window would show it once.
    x, display = P.abrir_x("1700x1300")
    try:
        with P.partida(r["carrera"], r["datos"], r["extra"], cfg=cfg, display=display,
                       carpeta=otra, prefijo="carrera-año-Łódź-",
                       env={"LANG": "C.UTF-8"}) as p:  # Wine reads file names by the locale
            ver_ampliada(p, P.ref(r, "titulo"), 2, 1700, 1300,
                         "the title fullscreen, as the allegro.cfg beside the game says")

            def captura(q):
                chica, mal = P.vista(P.captura({"display": q["display"]}))
                if mal:
                    P.fallo("the game no longer fullscreen: " + mal)
                return chica
            p["captura"] = captura
            pista, cs = P.empezar_carrera(p, r), P.coches(r)
            P.tecla(p, "Up", True)
            P.esperar(p, lambda i: P.buscar_coche(i, pista, cs) == (300, 90, P.ARRIBA)
                      or "car %s" % (P.buscar_coche(i, pista, cs),), "the car up at the top bound")
            P.tecla(p, "Up", False)
            breve.fin_de_carrera(p, 0)
    finally:
        P.cerrar(x)
        shutil.rmtree(otra, True)
    terminar()


def esperar_caja(p, nombre):
    """Waits for the message box, a mapped window named Carrera smaller than
    the game's, drawn on the screen; returns its id."""
    fin, visto = time.monotonic() + P.ESPERA, "no window named Carrera"
    env = dict(os.environ, DISPLAY=p["display"])
    while time.monotonic() < fin and p["proc"].poll() is None:
        for w in subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Carrera$"],
                                capture_output=True, text=True, env=env,
                                timeout=P.ESPERA).stdout.split():
            tipo = subprocess.run(["xprop", "-display", p["display"], "-id", w,
                                   "_NET_WM_WINDOW_TYPE"], capture_output=True, text=True,
                                  timeout=P.ESPERA).stdout
            info = P.xwininfo(p, "-id", w)
            if "Width:" not in info:
                continue  # gone
            x, y, an, al = (int(info.split(k)[1].split()[0]) for k in (
                "Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"))
            visto = "window %s, %dx%d: %s" % (w, an, al, tipo.strip())
            # SDL's box has no owner: Wine makes it a plain window, smaller than the game's.
            if "_NET_WM_WINDOW_TYPE_DIALOG" in tipo or (an < 800 and al < 600):
                # The screen may hold windows of two depths then: read it all the same.
                P.esperar(p, lambda i: any(P.recorte(i, x, y, an, al)["rgb"])
                          or "the box is black", "the message box drawn")
                return w
        time.sleep(0.2)
    P.fallo("%s datos.dat: no message box in %d s (game status %s; %s); stderr: %r"
            % (nombre, P.ESPERA, p["proc"].poll(), visto, P.leer_err(p)[-2000:]), P.captura(p))


def sin_datos(nombre, contenido):
    ruta = None
    if contenido is not None:
        ruta = os.path.abspath(nombre + ".dat")
        with open(ruta, "wb") as f:
            f.write(contenido)
    with P.partida(r["carrera"], ruta, r["extra"], tam="1024x768") as p:
        # Windows shows the message in a box too: Return closes it. With no
        # window manager the key goes where the pointer is, so put it on the
        # box once the box is there: never on the game's window while it
        # closes (Allegro can stall there if it is stirred).
        caja = esperar_caja(p, nombre)
        fin = time.monotonic() + P.ESPERA
        env = dict(os.environ, DISPLAY=p["display"])
        while True:
            subprocess.run(["xdotool", "mousemove", "--window", caja, "20", "20",
                            "windowfocus", caja], capture_output=True, env=env, timeout=P.ESPERA)
            P.pulsar(p, "Return")
            # A box just shown may not take the key yet: again, until the game ends.
            try:
                rc = p["proc"].wait(5)
                break
            except subprocess.TimeoutExpired:
                if time.monotonic() > fin:
                    P.fallo("%s datos.dat: game still running %d s after Return on its "
                            "message box; stderr: %r" % (nombre, P.ESPERA, P.leer_err(p)[-2000:]),
                            P.captura(p))
        err = P.leer_err(p)
    terminar()
    if rc != 1 or "carrera: " not in err or "datos.dat" not in err:
        P.fallo("%s datos.dat: status %s, expected 1 and a message naming datos.dat; stderr: %r"
                % (nombre, rc, err[-2000:]))


def datos_malos():
    if not r["carrera"].endswith(".exe"):
        raise unittest.SkipTest("no Windows game unpacked")
    sin_datos("missing", None)
    sin_datos("truncated", open(r["datos"], "rb").read()[:5000])


if __name__ == "__main__":
    breve.r = ritmo.r = r
    P.correr([endurecido, partida_entera, ventana_y_completa, desde_otra_carpeta, datos_malos])
