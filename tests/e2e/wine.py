"""The Windows game under Wine: the zip unpacked in a fresh folder plays
from the title to its exit as on Linux, and stops with status 1 on a
missing or damaged datos.dat. Skipped when there is no zip
(script/windows makes it and runs this).

    CARRERA_ZIP=.../carrera-1.0-windows.zip wine.py"""
import atexit
import os
import shutil
import subprocess
import tempfile
import time
import unittest
import zipfile

os.environ.setdefault("E2E_REDONDEO", "1")
os.environ.setdefault("E2E_ESPERA", "90")  # Wine is slow to start on a busy machine
import pantalla as P  # noqa: E402
import breve  # noqa: E402

r = P.rutas()
ZIP = os.environ.get("CARRERA_ZIP", "")


def preparar():
    """Unpacks the zip and makes a private Wine prefix; points r at them."""
    if not os.path.exists(ZIP):
        raise unittest.SkipTest("no Windows build at %r (script/windows)" % ZIP)
    d = tempfile.mkdtemp(prefix="carrera-wine-")
    atexit.register(limpiar, d)
    with zipfile.ZipFile(ZIP) as z:
        z.extractall(d)
    juego = os.path.join(d, "carrera-1.0")
    r.update(carrera=os.path.join(juego, "carrera.exe"), datos=os.path.join(juego, "datos.dat"),
             extra=[os.path.join(juego, f) for f in ("patches.dat", "allegro.cfg")])
    # The first start of a prefix makes it, with no dialogs to wait for.
    os.environ.update(WINEPREFIX=os.path.join(d, "prefijo"), WINEDEBUG="-all",
                      WINEDLLOVERRIDES="mscoree,mshtml=", CARRERA_ENVOLTORIO="wine")
    x, display = P.abrir_x()
    try:
        subprocess.run(["wine", "wineboot", "-i"], env=dict(os.environ, DISPLAY=display),
                       check=True, timeout=300, capture_output=True)
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


def partida_entera():
    preparar()
    with P.partida(r["carrera"], r["datos"], r["extra"]) as p:
        titulo = P.ref(r, "titulo")
        P.esperar(p, lambda i: P.igual_region(i, titulo) or P.describir(i, titulo),
                  "the title picture at (1,1)")
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
        P.tecla(p, "Up", True)
        P.esperar(p, lambda i: P.buscar_coche(i, pista, cs) == (300, 90, P.ARRIBA)
                  or "car %s" % (P.buscar_coche(i, pista, cs),), "the car at the top bound")
        P.tecla(p, "Up", False)
        breve.fin_de_carrera(p, 0)
    terminar()


def sin_datos(nombre, contenido):
    ruta = None
    if contenido is not None:
        ruta = os.path.abspath(nombre + ".dat")
        with open(ruta, "wb") as f:
            f.write(contenido)
    with P.partida(r["carrera"], ruta, r["extra"]) as p:
        # Windows shows the message in a box too: Return closes it. With no
        # window manager the key goes where the pointer is, so put it there.
        fin = time.monotonic() + P.ESPERA
        cajas, env = [], dict(os.environ, DISPLAY=p["display"])
        while p["proc"].poll() is None and time.monotonic() < fin:
            time.sleep(1)
            cajas = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Carrera$"],
                                   capture_output=True, text=True, env=env).stdout.split()
            for w in cajas:
                subprocess.run(["xdotool", "mousemove", "--window", w, "20", "20",
                                "windowfocus", w], capture_output=True, env=env)
            P.pulsar(p, "Return")
        rc, err = p["proc"].poll(), P.leer_err(p)
        if rc is None:
            P.fallo("%s datos.dat: game still running after %d s (windows named Carrera: %s); "
                    "stderr: %r" % (nombre, P.ESPERA, cajas, err[-2000:]), P.captura(p))
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
    breve.r = r
    P.correr([partida_entera, datos_malos])
