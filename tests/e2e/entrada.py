"""What the game does when it cannot start: no X display, or a datos.dat
that is missing or not ours. Each must end in a message and status 1,
never a crash.

    entrada.py pantalla | datos"""
import os
import shutil
import subprocess
import sys

import fabricar
import pantalla as P

r = P.rutas()
AQUI = os.path.abspath("entradas")


def sin_pantalla(display):
    d, env = P.preparar_dir(r["carrera"], r["datos"] or buena())
    if display is not None:
        env["DISPLAY"] = display
    try:
        proc = P.lanzar(d, env)
        try:
            rc = proc.wait(P.ESPERA)
        except subprocess.TimeoutExpired:
            P.cerrar(proc)
            P.fallo("with DISPLAY=%s the game still ran after %d s" % (display, P.ESPERA))
        comprobar_fallo(rc, P.leer_err({"dir": d}), "DISPLAY=%s" % display, None)
    finally:
        shutil.rmtree(d, ignore_errors=True)


def comprobar_fallo(rc, err, caso, nombre):
    if rc < 0:
        P.fallo("%s: killed by signal %d; stderr: %s" % (caso, -rc, err))
    if rc != 1:
        P.fallo("%s: exit status %d, expected 1; stderr: %s" % (caso, rc, err))
    lineas = [l for l in err.splitlines() if l.startswith("carrera: ")]
    if not lineas:
        P.fallo("%s: no 'carrera: ...' message on stderr: %r" % (caso, err))
    if nombre and not any(nombre in l for l in lineas):
        P.fallo("%s: message does not name %s: %r" % (caso, nombre, lineas))


def buena():
    ruta = os.path.join(AQUI, "buena", "datos.dat")
    if not os.path.exists(ruta):
        fabricar.datos_de_prueba(os.path.join(AQUI, "buena"))
    return ruta


def sin_display():
    sin_pantalla(None)


def display_muerto():
    # A display with no server behind it. Far above the numbers that
    # -displayfd hands out, so no other test's Xvfb takes it meanwhile.
    for n in range(5900, 6000):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n):
            sin_pantalla(":%d" % n)
            return
    P.fallo("no free display number in :5900-:5999")


def caso(nombre, contenido):
    """Writes a bad datos.dat, runs the game on it under X, checks it says
    so and stops with status 1."""
    ruta = None
    if contenido is not None:
        ruta = os.path.join(AQUI, nombre + ".dat")
        with open(ruta, "wb") as f:
            f.write(contenido)
    with P.partida(r["carrera"], ruta, r["extra"]) as p:
        try:
            rc = p["proc"].wait(P.ESPERA)
        except subprocess.TimeoutExpired:
            P.fallo("%s datos.dat: game still running after %d s" % (nombre, P.ESPERA), P.captura(p))
        comprobar_fallo(rc, P.leer_err(p), nombre + " datos.dat", "datos.dat")


def datos_malos():
    os.makedirs(AQUI, exist_ok=True)
    base = open(r["datos"] or buena(), "rb").read()
    # Three entries only: the cars' first three.
    d = os.path.join(AQUI, "piezas")
    fabricar.datos_de_prueba(d)
    tres = os.path.join(AQUI, "tres.dat")
    fabricar.datafile(tres, [(os.path.join(d, "musica.mid"), "MIDI"),
                             (os.path.join(d, "abajo.bmp"), "RLE"),
                             (os.path.join(d, "izquierda.bmp"), "RLE")])
    # All eight, but a sound where the track should be.
    cambiada = os.path.join(AQUI, "cambiada.dat")
    orden = [("musica.mid", "MIDI"), ("abajo.bmp", "RLE"), ("izquierda.bmp", "RLE"),
             ("derecha.bmp", "RLE"), ("arriba.bmp", "RLE"), ("motor.wav", "SAMP"),
             ("motor.wav", "SAMP"), ("titulo.bmp", "BMP")]
    fabricar.datafile(cambiada, [(os.path.join(d, f), t) for f, t in orden])
    casos = [("missing", None), ("empty", b""), ("truncated", base[:len(base) // 2]),
             ("header only", base[:12]), ("zeroed", bytes(len(base))),
             ("three entries", open(tres, "rb").read()),
             ("sample for track", open(cambiada, "rb").read())]
    malos = []
    for nombre, contenido in casos:
        try:
            caso(nombre, contenido)
        except AssertionError as e:
            malos.append(str(e))
    if malos:
        raise AssertionError("\n".join(malos))


if sys.argv[1:] == ["pantalla"]:
    P.correr([sin_display, display_muerto])
elif sys.argv[1:] == ["datos"]:
    P.correr([datos_malos])
else:
    sys.exit("uso: entrada.py pantalla|datos")
