"""The game's window on X screens of 1920x1080 and 3840x2160, under a window
manager that honours fullscreen requests (openbox): the size it opens at,
its picture at the largest whole multiple that fits, centred on black, in a
window resized to no multiple, and all of it halved in a window smaller
than it; fullscreen on Alt+Enter and back on F11, the race played on and
ended from either; fullscreen remembered for the next start, allegro.cfg's
choice for everyone, and a damaged or unwritable record ignored without a
word."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import pantalla as P

r = P.rutas()


def estado(p):
    """The game's window as the window manager has it, or a string saying
    why there is none yet."""
    ids = subprocess.run(["xdotool", "search", "--class", "Carrera"], capture_output=True,
                         text=True, timeout=P.ESPERA,
                         env=dict(os.environ, DISPLAY=p["display"])).stdout.split()
    if len(ids) != 1:
        return "windows of class Carrera: %s" % (ids or "none")
    t = P.xwininfo(p, "-id", ids[0])
    props = subprocess.run(["xprop", "-display", p["display"], "-id", ids[0], "_NET_WM_STATE",
                            "_NET_FRAME_EXTENTS"], capture_output=True, text=True,
                           timeout=P.ESPERA).stdout
    if "IsViewable" not in t or "Width" not in t:
        return "the window is not mapped"
    marco = re.search(r"_NET_FRAME_EXTENTS\(CARDINAL\) = (\d+), (\d+), (\d+), (\d+)", props)

    def n(k):
        return int(re.search(r"%s:\s+(-?\d+)" % k, t).group(1))
    return {"id": int(ids[0]), "x": n("Absolute upper-left X"), "y": n("Absolute upper-left Y"),
            "ancho": n("Width"), "alto": n("Height"),
            "completa": "_NET_WM_STATE_FULLSCREEN" in props,
            "marco": tuple(map(int, marco.groups())) if marco else None}


def esperar_ventana(p, cond, que):
    """Waits until cond(state of the window) is True; returns that state."""
    fin = time.monotonic() + P.ESPERA
    while True:
        v = estado(p)
        visto = v if isinstance(v, str) else cond(v)
        if visto is True:
            return v
        if p["proc"].poll() is not None:
            P.fallo("waiting for %s: the game exited, status %s; stderr: %s"
                    % (que, p["proc"].returncode, P.leer_err(p)))
        if time.monotonic() > fin:
            P.fallo("waiting for %s: not seen in %d s; last seen: %s" % (que, P.ESPERA, visto))
        time.sleep(0.1)


def en_ventana(ancho, alto):
    """A condition: the window managed, not fullscreen, with its frame, of
    this size (None: any)."""
    def cond(v):
        if v["completa"] or not v["marco"] or not v["marco"][2]:
            return "not a framed window: %s" % (v,)
        if ancho and (v["ancho"], v["alto"]) != (ancho, alto):
            return "window %dx%d, not %dx%d" % (v["ancho"], v["alto"], ancho, alto)
        return True
    return cond


def completa(ancho, alto):
    def cond(v):
        if not v["completa"] or (v["x"], v["y"], v["ancho"], v["alto"]) != (0, 0, ancho, alto):
            return "not fullscreen on the %dx%d screen: %s" % (ancho, alto, v)
        return True
    return cond


def muestra(p, cond, que):
    """Waits until the game's picture, taken from its window (or the whole
    screen, with p["pantalla_id"] None) where it must sit at the largest
    whole multiple, centred on black, sharp, satisfies cond."""
    def mira(img):
        chica, mal = P.vista(img)
        if mal:
            return "%dx%d: %s" % (img["ancho"], img["alto"], mal)
        return cond(chica)
    return P.esperar(p, mira, que)


def igual(nombre, *args):
    esperado = P.ref(r, nombre, *args)
    return lambda i: P.igual_region(i, esperado) or P.describir(i, esperado)


def coche(pista, cs, x, y, imagen):
    return lambda i: P.buscar_coche(i, pista, cs) == (x, y, imagen) or \
        "car %s" % (P.buscar_coche(i, pista, cs),)


def conducir(p, pista, cs, tecla, x, y, imagen):
    P.tecla(p, tecla, True)
    muestra(p, coche(pista, cs, x, y, imagen), "the car at (%d,%d) holding %s" % (x, y, tecla))
    P.tecla(p, tecla, False)


def empezar(p):
    """Return on the title; the race's first frame. Returns the track and cars."""
    pista, cs = P.pista_sola(r), P.coches(r)
    P.pulsar(p, "Return")
    muestra(p, lambda i: (P.pixel(i, 0, 300) == (0, 255, 0) or "no green surround")
            and coche(pista, cs, 300, 490, P.ARRIBA)(i), "the race")
    return pista, cs


def fin_carrera(p):
    """Space ends the race: the result page."""
    P.tecla(p, "space", True)
    muestra(p, lambda i: P.pixel(i, 0, 300) != (0, 255, 0) or "still racing", "the race to end")
    P.tecla(p, "space", False)
    muestra(p, igual("resultado", 0), "the result page")


def creditos(p):
    """Return through the three credit pages; the game ends with status 0."""
    for k in (1, 2, 3):
        P.pulsar(p, "Return")
        muestra(p, igual("creditos", k), "credit page %d" % k)
    P.pulsar(p, "Return")
    rc = P.esperar_fin(p)
    if rc != 0:
        P.fallo("game exited with status %s; stderr: %s" % (rc, P.leer_err(p)))


def abierta(p, ancho, alto, pw, ph):
    """The window as it opens on a pw x ph screen: ancho x alto inside a
    frame that fits on the screen."""
    v = esperar_ventana(p, en_ventana(None, None), "the window, managed")
    m = v["marco"]
    if (v["ancho"], v["alto"]) != (ancho, alto):
        P.fallo("on a %dx%d screen the window opened at %dx%d, not %dx%d"
                % (pw, ph, v["ancho"], v["alto"], ancho, alto))
    if v["x"] - m[0] < 0 or v["y"] - m[2] < 0 or v["x"] + ancho + m[1] > pw or \
            v["y"] + alto + m[3] > ph:
        P.fallo("the window and its frame %s do not fit on the screen: %s" % (m, v))
    p["pantalla_id"] = v["id"]
    return v


def redimensionar(p, v, ancho, alto):
    subprocess.run(["xdotool", "windowsize", str(v["id"]), str(ancho), str(alto)], check=True,
                   timeout=P.ESPERA, env=dict(os.environ, DISPLAY=p["display"]))
    esperar_ventana(p, en_ventana(ancho, alto), "the window resized to %dx%d" % (ancho, alto))


def medias(img, x, y, w, h, lado):
    """The mean colour of each lado x lado square of a region, row by row."""
    n, v = img["ancho"] * 3, []
    for j in range(y, y + h, lado):
        for i in range(x, x + w, lado):
            t = [0, 0, 0]
            for jj in range(j, j + lado):
                f = img["rgb"][jj * n + i * 3:jj * n + (i + lado) * 3]
                for c in range(3):
                    t[c] += sum(f[c::3])
            v.append(tuple(c // (lado * lado) for c in t))
    return v


def menor(esperado):
    """A condition on a 600x300 window, smaller than the picture: all of it,
    halved, its shape kept, in the middle (x 100 to 500), black beside it.
    How SDL samples or blends a picture made smaller is its own: the halved
    picture is held to the whole one square by square, in mean colour."""
    n = 600 * 3
    grandes = medias(esperado, 0, 0, 800, 600, 20)

    def cond(img):
        if (img["ancho"], img["alto"]) != (600, 300):
            return "the window is %dx%d" % (img["ancho"], img["alto"])
        for j in range(300):
            f = img["rgb"][j * n:(j + 1) * n]
            if f[:300].strip(b"\0") or f[1500:].strip(b"\0"):
                return "not black beside the picture, row %d" % j
        lejos = sum(max(abs(a - b) for a, b in zip(g, c)) > 24
                    for g, c in zip(grandes, medias(img, 100, 0, 400, 300, 10)))
        return lejos <= len(grandes) // 20 or \
            "%d of %d squares unlike the picture's" % (lejos, len(grandes))
    return cond


def toda_la_pantalla(p, cond, que):
    """The whole screen, root and all, shows the picture as muestra wants."""
    p["pantalla_id"], w = None, p["pantalla_id"]
    try:
        return muestra(p, cond, que + ", on the whole screen")
    finally:
        p["pantalla_id"] = w


def en_1080():
    P.de_sdl(r)
    with P.partida(r["carrera"], r["datos"], r["extra"], tam="1920x1080", gestor=True) as p:
        v = abierta(p, 800, 600, 1920, 1080)
        titulo = igual("titulo")
        muestra(p, titulo, "the title at x1")
        # Smaller than the picture: all of it, scaled down, its shape kept.
        redimensionar(p, v, 600, 300)
        P.esperar(p, menor(P.ref(r, "titulo")), "the title halved in a 600x300 window")
        # No multiple: the picture stays at x1, in the middle, black around.
        redimensionar(p, v, 1000, 700)
        muestra(p, titulo, "the title at x1 in a 1000x700 window")
        P.pulsar(p, "alt+Return")
        esperar_ventana(p, completa(1920, 1080), "fullscreen after Alt+Enter")
        toda_la_pantalla(p, titulo, "the title at x1 at (560,240)")
        pista, cs = empezar(p)
        conducir(p, pista, cs, "Up", 300, 90, P.ARRIBA)
        P.pulsar(p, "F11")
        esperar_ventana(p, en_ventana(None, None), "the window back after F11")
        conducir(p, pista, cs, "Right", 503, 90, P.DERECHA)
        fin_carrera(p)
        creditos(p)


def en_4k():
    P.de_sdl(r)
    with P.partida(r["carrera"], r["datos"], r["extra"], tam="3840x2160", gestor=True) as p:
        v = abierta(p, 2400, 1800, 3840, 2160)
        titulo = igual("titulo")
        muestra(p, titulo, "the title at x3")
        redimensionar(p, v, 2000, 1500)
        muestra(p, titulo, "the title at x2 in a 2000x1500 window")
        pista, cs = empezar(p)
        conducir(p, pista, cs, "Up", 300, 90, P.ARRIBA)
        P.pulsar(p, "alt+Return")
        esperar_ventana(p, completa(3840, 2160), "fullscreen after Alt+Enter")
        toda_la_pantalla(p, coche(pista, cs, 300, 90, P.ARRIBA), "the race at x3 at (720,180)")
        conducir(p, pista, cs, "Left", 163, 90, P.IZQUIERDA)
        fin_carrera(p)
        P.pulsar(p, "F11")
        esperar_ventana(p, en_ventana(None, None), "the window back after F11")
        muestra(p, igual("resultado", 0), "the result page in the window")
        creditos(p)


# ---- fullscreen remembered ----------------------------------------------------

def arrancar(conf, cfg=None, **mas):
    """A game on a 1920x1080 screen with conf as its XDG_CONFIG_HOME, and
    cfg, if given, as the allegro.cfg beside it; mas as P.partida takes them."""
    return P.partida(r["carrera"], r["datos"], r["extra"], cfg=cfg, tam="1920x1080",
                     gestor=True, env={"XDG_CONFIG_HOME": conf}, **mas)


def al_empezar(p, completa_, que):
    """The game as it starts: in its window or fullscreen, the title shown.
    Returns its stderr once the title is up."""
    cond = completa(1920, 1080) if completa_ else en_ventana(800, 600)
    # Starting fullscreen, SDL may make its window anew as it picks its
    # renderer: a slow game can be caught with the first, which then goes.
    for vez in range(2):
        p["pantalla_id"] = esperar_ventana(p, cond, que)["id"]
        try:
            muestra(p, igual("titulo"), "the title, " + que)
            break
        except RuntimeError as e:
            if vez or "BadWindow" not in str(e):
                raise
    return err(p)


def err(p):
    """The game's stderr, its run dir (named in SDL's lines) made the same
    for every run."""
    return P.leer_err(p).replace(p["dir"], "RUN")


def cambiar(p, tecla, completa_):
    """Alt+Enter or F11 on the title: the window switches, and the title
    stays, the keys being the window's, not the game's."""
    P.pulsar(p, tecla)
    esperar_ventana(p, completa(1920, 1080) if completa_ else en_ventana(None, None),
                    "%s after %s" % ("fullscreen" if completa_ else "the window", tecla))
    time.sleep(0.5)
    muestra(p, igual("titulo"), "the title still, after " + tecla)


def sin_quejas(err, limpio, que):
    if err != limpio:
        P.fallo("%s: the game said more than on a clean start:\n%s\n(clean start: %r)"
                % (que, err, limpio))


def recordada():
    P.de_sdl(r)
    conf = os.path.abspath("conf")
    shutil.rmtree(conf, ignore_errors=True)
    os.makedirs(conf)
    carpeta = os.path.join(conf, "carrera")
    with arrancar(conf) as p:
        limpio = al_empezar(p, False, "a first start")
        cambiar(p, "alt+Return", True)
        P.cerrado(p, "fullscreen")
        sin_quejas(err(p), limpio, "fullscreen and closed")
    # One file, written whole: nothing half-written left beside it.
    hechos = os.listdir(carpeta) if os.path.isdir(carpeta) else []
    if len(hechos) != 1:
        P.fallo("after fullscreen and close, %s holds %s, not one file" % (carpeta, hechos))
    guardado = os.path.join(carpeta, hechos[0])
    with arrancar(conf) as p:
        al_empezar(p, True, "started again after fullscreen")
        cambiar(p, "F11", False)
        P.cerrado(p, "the window")
    with arrancar(conf) as p:
        al_empezar(p, False, "started again after F11")
        P.cerrado(p, "the title")

    # Damaged: whatever the file holds that is not the game's, the window.
    for basura in (os.urandom(4096), b"", b"\xff" * 100000):
        with open(guardado, "wb") as f:
            f.write(basura)
        with arrancar(conf) as p:
            sin_quejas(al_empezar(p, False, "with %d bytes of garbage saved" % len(basura)),
                       limpio, "garbage saved")
            P.cerrado(p, "the title")
    # Unwritable: a folder where the file goes; a file where the folder goes.
    os.remove(guardado)
    os.makedirs(guardado)
    with arrancar(conf) as p:
        al_empezar(p, False, "a folder in place of its file")
        cambiar(p, "alt+Return", True)
        P.cerrado(p, "fullscreen, not saved")
        sin_quejas(err(p), limpio, "a folder in place of its file")
    shutil.rmtree(carpeta)
    with open(carpeta, "w") as f:
        f.write("not a folder\n")
    with arrancar(conf) as p:
        al_empezar(p, False, "a file in place of its folder")
        cambiar(p, "F11", True)
        P.cerrado(p, "fullscreen, not saved")
        sin_quejas(err(p), limpio, "a file in place of its folder")
    with arrancar(conf) as p:
        sin_quejas(al_empezar(p, False, "after a fullscreen it could not save"), limpio,
                   "started again")
        P.cerrado(p, "the title")
    # The allegro.cfg beside the game says how it starts for everyone; a
    # player's own switch, once saved, wins over it.
    os.remove(carpeta)
    cfg = [f for f in r["extra"] if f.endswith("allegro.cfg")]
    texto = open(cfg[0]).read() if cfg else ""
    texto = re.sub(r"(?m)^\[pantalla\]\n(completa\s*=.*\n)?", "", texto)
    texto += "\n[pantalla]\ncompleta = 1\n"
    # Started in its data folder, as the command starts it, the game in a
    # folder named with accents still finds that allegro.cfg beside it.
    datos = tempfile.mkdtemp(prefix="carrera-datos-")
    shutil.copy(r["datos"], datos)
    with arrancar(conf, texto, carpeta=datos, prefijo="carrera-año-Łódź-") as p:
        al_empezar(p, True, "with completa = 1 in allegro.cfg")
        cambiar(p, "F11", False)
        P.cerrado(p, "the window")
    shutil.rmtree(datos)
    with arrancar(conf, texto) as p:
        al_empezar(p, False, "with completa = 1 in allegro.cfg, after the player's F11")
        P.cerrado(p, "the title")
    # Root writes into any folder: a read-only one stops only other players.
    if os.geteuid() != 0:
        shutil.rmtree(carpeta)
        os.makedirs(carpeta, 0o500)
        with arrancar(conf) as p:
            al_empezar(p, False, "a read-only folder")
            cambiar(p, "alt+Return", True)
            P.cerrado(p, "fullscreen, not saved")
            sin_quejas(err(p), limpio, "a read-only folder")
        os.chmod(carpeta, 0o700)


# ventana.py [pantallas | recordada]: one group, or all.
grupos = {"pantallas": [en_1080, en_4k], "recordada": [recordada]}
P.correr(grupos.get(sys.argv[1] if len(sys.argv) > 1 else "", grupos["pantallas"] + [recordada]))
