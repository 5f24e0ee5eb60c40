"""On a Wayland desktop: weston (headless) with Xwayland, started here in a
private runtime folder. The build's game, then the installed one, open a
window the desktop manages, which weston's own screenshot shows; keys drive
it and the close request ends it with status 0."""
import contextlib
import glob
import os
import re
import shutil
import subprocess
import tempfile
import time

import pantalla as P

r = P.rutas()


@contextlib.contextmanager
def weston():
    """Yields (display, env for Wayland clients); weston starts Xwayland on
    the first X client."""
    rt = tempfile.mkdtemp(prefix="carrera-weston-")
    os.chmod(rt, 0o700)
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": rt,
           "XDG_CONFIG_HOME": rt, "XDG_RUNTIME_DIR": rt, "WAYLAND_DISPLAY": "carrera"}
    log = os.path.join(rt, "weston.log")
    # A 16:9 output, as most screens are now: a stretched 4:3 game would show.
    # --debug lets weston-screenshooter in.
    w = subprocess.Popen(["weston", "--backend=headless-backend.so", "--use-gl", "--xwayland",
                          "--debug", "--log=" + log, "--socket=carrera",
                          "--width=1280", "--height=720"],
                         env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         preexec_fn=P._morir_con_padre)
    try:
        fin = time.monotonic() + P.ESPERA
        m = None
        while not m:
            texto = open(log, errors="replace").read() if os.path.exists(log) else ""
            m = re.search(r"xserver listening on display (:\d+)", texto)
            if not m and (w.poll() is not None or time.monotonic() > fin):
                P.fallo("weston gave no X display; its log:\n%s" % texto)
            time.sleep(0.1)
        yield m.group(1), env
    finally:
        P.cerrar(w)
        shutil.rmtree(rt, ignore_errors=True)


def foto_weston(env):
    """The whole output, as weston's own screenshot shows it."""
    d = tempfile.mkdtemp(prefix="carrera-foto-")
    try:
        hecho = subprocess.run(["weston-screenshooter"], cwd=d, env=env, capture_output=True,
                               text=True, timeout=P.ESPERA)
        png = glob.glob(os.path.join(d, "*.png"))
        if not png:
            P.fallo("weston-screenshooter wrote no picture: %s" % hecho.stderr)
        ppm = subprocess.run(["convert", png[0], "ppm:-"], check=True,
                             capture_output=True, timeout=P.ESPERA).stdout
        return P.leer_ppm(ppm)
    finally:
        shutil.rmtree(d, ignore_errors=True)


def en_escritorio(p, env):
    """Waits for the game's window to be mapped, takes it as the screen, and
    checks it as a desktop sees it: the title in it, in weston's picture."""
    fin = time.monotonic() + P.ESPERA
    while "IsViewable" not in P.xwininfo(p, "-name", "Carrera"):
        if p["proc"].poll() is not None or time.monotonic() > fin:
            P.fallo("no mapped Carrera window; the game's stderr: %s" % P.leer_err(p))
        time.sleep(0.1)
    p["pantalla_id"] = P.ventana(p)
    titulo = P.ref(r, "titulo")
    P.esperar(p, lambda i: P.igual_region(i, titulo) or P.describir(i, titulo), "the title")
    x, y = P.de_escritorio(p, r, gestor=True)
    fin = time.monotonic() + P.ESPERA
    while True:
        foto = foto_weston(env)
        if hallar(foto, titulo):
            return
        if time.monotonic() > fin:
            P.fallo("weston's screenshot (%dx%d) does not show the title whole and unscaled "
                    "(X puts the window at (%d,%d))" % (foto["ancho"], foto["alto"], x, y), foto)
        time.sleep(0.2)


def hallar(foto, img, fila=300):
    """Where img lies whole in foto, found by one of its rows; None if nowhere."""
    n, w = foto["ancho"] * 3, img["ancho"]
    aguja = img["rgb"][fila * w * 3:(fila + 1) * w * 3]
    k = foto["rgb"].find(aguja)
    while k >= 0:
        x, y = k % n // 3, k // n - fila
        if k % 3 == 0 and x + w <= foto["ancho"] and 0 <= y <= foto["alto"] - img["alto"] \
                and P.igual_region(P.recorte(foto, x, y, w, img["alto"]), img):
            return x, y
        k = foto["rgb"].find(aguja, k + 1)
    return None


def del_arbol():
    P.con_datos(r)
    with weston() as (display, env):
        with P.partida(r["carrera"], r["datos"], r["extra"], display=display) as p:
            en_escritorio(p, env)
            pista, cs = P.empezar_carrera(p, r), P.coches(r)
            P.tecla(p, "Right", True)
            t0 = time.monotonic()
            P.esperar(p, lambda i: P.buscar_coche(i, pista, cs) == (503, 490, P.DERECHA)
                      or "car %s" % (P.buscar_coche(i, pista, cs),), "the car at the right bound")
            print("the car drove 203 px to the right bound in %.2f s" % (time.monotonic() - t0))
            P.tecla(p, "Right", False)
            P.cerrado(p, "the race")


def instalado():
    P.con_datos(r)
    prefijo, d = tempfile.mkdtemp(prefix="carrera-prefijo-"), None
    try:
        subprocess.run(["cmake", "--install", r["salida"], "--prefix", prefijo], check=True,
                       stdout=subprocess.DEVNULL, timeout=P.ESPERA)
        # The installed command finds its files from where it lies: the run
        # dir gets a link to it, not a copy.
        orden = os.path.join(prefijo, "games", "carrera")
        d, e = P.preparar_dir(orden, None)
        os.remove(os.path.join(d, "carrera"))
        os.symlink(orden, os.path.join(d, "carrera"))
        with weston() as (display, env):
            e["DISPLAY"] = display
            p = {"display": display, "proc": P.lanzar(d, e), "dir": d, "pulsadas": set()}
            try:
                en_escritorio(p, env)
                P.cerrado(p, "the title")
            finally:
                P.cerrar(p["proc"])
    finally:
        shutil.rmtree(prefijo, ignore_errors=True)
        if d:
            shutil.rmtree(d, ignore_errors=True)


P.correr([del_arbol, instalado])
