"""On a Wayland desktop: weston (headless) with Xwayland, started here in a
private runtime folder. The build's game, then the installed one, open a
window the desktop manages, which weston's own screenshot shows; keys drive
it and the close request ends it with status 0.

Then natively: weston with no X server at all (pixman, no Xwayland) and the
game told only WAYLAND_DISPLAY, played whole by keys that come through a
seat of the tests' own (tests/teclado_weston.c, a weston module), and on an
output scaled x2, where its 800x600 window is drawn from the screen's own
pixels, sharp."""
import contextlib
import glob
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import pantalla as P

r = P.rutas()


@contextlib.contextmanager
def weston(nativo=False, tam=(1280, 720), escala=1):
    """Yields (display, env for Wayland clients); weston starts Xwayland on
    the first X client. nativo: no Xwayland (display None), the pixman
    renderer, and keys from the FIFO env["TECLADO_WESTON"] (see teclear).
    tam is in the output's units: scaled x2 it has twice the pixels."""
    rt = tempfile.mkdtemp(prefix="carrera-weston-")
    os.chmod(rt, 0o700)
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": rt,
           "XDG_CONFIG_HOME": rt, "XDG_RUNTIME_DIR": rt, "WAYLAND_DISPLAY": "carrera"}
    log = os.path.join(rt, "weston.log")
    # A 16:9 output, as most screens are now: a stretched 4:3 game would show.
    # --debug lets weston-screenshooter in.
    orden = ["weston", "--backend=headless-backend.so", "--debug", "--log=" + log,
             "--socket=carrera", "--width=%d" % tam[0], "--height=%d" % tam[1]]
    if nativo:
        modulo = os.environ.get("TECLADO_WESTON_SO")
        if not modulo or not os.path.exists(modulo):
            raise unittest.SkipTest("no keyboard for weston: the build found no libweston-10-dev")
        env["TECLADO_WESTON"] = os.path.join(rt, "teclas")
        os.mkfifo(env["TECLADO_WESTON"])
        # No idle time: its screen lock would cover the game.
        orden += ["--use-pixman", "--scale=%d" % escala, "--idle-time=0", "--no-config",
                  "--modules=" + modulo]
    else:
        orden += ["--use-gl", "--xwayland"]
    w = subprocess.Popen(orden, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         preexec_fn=P._morir_con_padre)
    try:
        fin = time.monotonic() + P.ESPERA
        m = None
        while not m:
            texto = open(log, errors="replace").read() if os.path.exists(log) else ""
            if nativo:
                # Its keyboard is there, and the shell's client has drawn.
                m = "teclado_weston: keys from" in texto and \
                    os.path.exists(os.path.join(rt, "carrera")) and foto_weston(env, False)
            else:
                m = re.search(r"xserver listening on display (:\d+)", texto)
            if not m and (w.poll() is not None or time.monotonic() > fin):
                P.fallo("weston did not start; its log:\n%s" % texto)
            time.sleep(0.1)
        yield (None if nativo else m.group(1)), env
    finally:
        P.cerrar(w)
        shutil.rmtree(rt, ignore_errors=True)


# Linux key codes of the keys the tests press.
CODIGOS = {"Return": 28, "space": 57, "Up": 103, "Down": 108, "Left": 105, "Right": 106,
           "a": 30, "alt": 56, "F11": 87}


def teclear(env):
    """p["teclado"] for a native weston: the key to its seat's FIFO."""
    def tecla(nombre, abajo):
        with open(env["TECLADO_WESTON"], "w") as f:
            f.write("%d %d\n" % (CODIGOS[nombre], 1 if abajo else 0))
    return tecla


def foto_weston(env, falla=True):
    """The whole output, as weston's own screenshot shows it (None when there
    is none, with falla False)."""
    d = tempfile.mkdtemp(prefix="carrera-foto-")
    try:
        hecho = subprocess.run(["weston-screenshooter"], cwd=d, env=env, capture_output=True,
                               text=True, timeout=P.ESPERA)
        png = glob.glob(os.path.join(d, "*.png"))
        if not png and not falla:
            return None
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


@contextlib.contextmanager
def nativa(escala):
    """The game as a Wayland client of a weston with no X server: its
    environment has WAYLAND_DISPLAY and no DISPLAY. Yields p, whose pictures
    are the game's own 800x600, taken from weston's screenshots where its
    window shows the title at x escala, sharp, and whose keys go to weston."""
    P.de_sdl(r)
    with weston(True, (1280, 720), escala) as (_, env):
        d, e = P.preparar_dir(r["carrera"], r["datos"], r["extra"])
        e.update(WAYLAND_DISPLAY=env["WAYLAND_DISPLAY"], XDG_RUNTIME_DIR=env["XDG_RUNTIME_DIR"])
        if "ASAN_OPTIONS" in os.environ:
            # Mesa's llvmpipe registers its compiled code's unwind tables, and
            # libgcc mallocs holding its lock: the sanitizer's full unwind of
            # that malloc waits for the same lock for good. The short unwind
            # cannot name whose a leak is: leaks are left to the other runs.
            e["ASAN_OPTIONS"] = os.environ["ASAN_OPTIONS"] + \
                ":fast_unwind_on_malloc=1:detect_leaks=0"
        p = {"display": None, "proc": P.lanzar(d, e), "dir": d, "pulsadas": set(),
             "teclado": teclear(env)}
        try:
            titulo = P.ampliar(P.ref(r, "titulo"), escala)
            fin, donde = time.monotonic() + P.ESPERA, None
            while not donde:
                foto = foto_weston(env)
                donde = hallar(foto, titulo, 300 * escala)
                if p["proc"].poll() is not None or (not donde and time.monotonic() > fin):
                    P.fallo("weston's screenshot does not show the title at x%d, sharp; the "
                            "game's status %s, stderr: %s" % (escala, p["proc"].poll(),
                                                               P.leer_err(p)), foto)
                time.sleep(0.2)

            def captura(p):
                x, y = donde
                ventana = P.recorte(foto_weston(env), x, y, 800 * escala, 600 * escala)
                chica, mal = P.vista(ventana)
                if mal:
                    P.fallo("the game's window in weston's screenshot: " + mal, ventana)
                return chica
            p["captura"] = captura
            yield p
        finally:
            for t in list(p["pulsadas"]):
                p["teclado"](t, False)
            P.cerrar(p["proc"])
            if not os.environ.get("E2E_GUARDAR"):
                shutil.rmtree(d, ignore_errors=True)


def nativo():
    """The whole game by keys: title, race, the car driven to its bound,
    Space, the result and credit pages, and its end, status 0."""
    with nativa(1) as p:
        pista, cs = P.empezar_carrera(p, r), P.coches(r)
        P.tecla(p, "Up", True)
        t0 = time.monotonic()
        P.esperar(p, lambda i: P.buscar_coche(i, pista, cs) == (300, 90, P.ARRIBA)
                  or "car %s" % (P.buscar_coche(i, pista, cs),), "the car at the top bound")
        print("the car drove 400 px to the top bound in %.2f s" % (time.monotonic() - t0))
        P.tecla(p, "Up", False)
        P.tecla(p, "space", True)
        P.esperar(p, lambda i: P.pixel(i, 0, 300) != (0, 255, 0) or "still racing",
                  "the race to end")
        P.tecla(p, "space", False)
        for que, k in (("resultado", 0), ("creditos", 1), ("creditos", 2), ("creditos", 3)):
            esperado = P.ref(r, que, k)
            P.esperar(p, lambda i: P.igual_region(i, esperado) or P.describir(i, esperado),
                      "%s %d" % (que, k))
            P.pulsar(p, "Return")
        rc = P.esperar_fin(p)
        if rc != 0:
            P.fallo("the game exited with status %s; stderr: %s" % (rc, P.leer_err(p)))


def nativo_x2():
    """On an output scaled x2 the title is drawn at x2 from the screen's own
    pixels, sharp (found so in nativa); Return passes it at once."""
    with nativa(2) as p:
        P.empezar_carrera(p, r)


P.correr([del_arbol, instalado, nativo, nativo_x2])
