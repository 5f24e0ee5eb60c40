#!/usr/bin/python3
"""Checks of the runner's arithmetic on made-up shim logs (no game, no X):
    /usr/bin/python3 bench/ritmo_prueba.py
With RITMO_BUILD=<build dir> it also runs the shim on a made-up race
(bench/sombra_prueba, built with the shim) under a private X server."""
import importlib.machinery
import os
import subprocess
import tempfile
import types
import unittest

# The runner has no .py name: load it by hand.
_ruta = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ritmo")
ritmo = types.ModuleType("ritmo")
ritmo.__file__ = _ruta
importlib.machinery.SourceFileLoader("ritmo", _ruta).exec_module(ritmo)

MS = 1_000_000


def cuadro(ini, trabajo, tic, x, y, nb):
    return "f %d %d %d %d %d %d %d %d 1000 2000 300 400 500\n" % (
        ini, ini + trabajo, tic, x, y, nb, nb, nb)


class Log(unittest.TestCase):
    def test_lineas(self):
        with tempfile.NamedTemporaryFile("w", delete=False) as f:
            f.write("inicio 5\nmodo 7 0\ntitulo 9\ntimer 10 11931 1\ntimer 11 1193181 0\n")
            f.write("t 100\nespera 300\n" + cuadro(200, 50, 1, 300, 489, 1))
            # The writer may be caught in the middle of a line: it is left for later.
            f.write("f 400 45")
        try:
            d = ritmo.leer(f.name)
        finally:
            os.unlink(f.name)
        self.assertEqual(d["titulo"], [9])
        self.assertEqual(d["timer"], [[10, 11931, 1], [11, 1193181, 0]])
        self.assertEqual(d["t"], [100])
        self.assertEqual(d["espera"], [[300]])
        self.assertEqual(len(d["f"]), 1)
        self.assertEqual(d["f"][0][:6], [200, 250, 1, 300, 489, 1])
        self.assertEqual(ritmo.posicion(d), (300, 489))

    def test_sin_fichero(self):
        self.assertEqual(ritmo.leer("/nonexistent/sombra.log")["f"], [])


class Medir(unittest.TestCase):
    def fase(self, k, eje):
        return {"k": k, "eje": eje, "ta": 0, "tb": 1000 * MS,
                "cpu_a": (1.0, 0.5), "cpu_b": (1.9, 1.3)}

    def test_un_tic_perdido(self):
        # 100 ticks in the second; the frame of tick 50 never comes, so the
        # car (one step per frame, up) goes 99 px.
        tics = [i * 10 * MS + 1 * MS for i in range(100)]
        cuadros, y = [], 490
        for i, t in enumerate(tics):
            if i == 50:
                continue
            cuadros.append([t + 20_000, t + 20_000 + (900_000 if i == 7 else 300_000),
                            i + 1, 300, y, 1, 1, 1, 1000, 2000, 300, 400, 500])
            y -= 1
        r = ritmo.medir({"f": cuadros, "t": tics}, self.fase(1, 4))
        self.assertEqual((r["cuadros"], r["tics"]), (99, 100))
        self.assertAlmostEqual(r["fps"], 99.0)
        self.assertAlmostEqual(r["tps"], 100.0)
        self.assertEqual(r["raro"], 0)
        # 98 px between the first and the last frame, 990 ms apart.
        self.assertAlmostEqual(r["vel"], 98 / 0.99)
        self.assertAlmostEqual(r["med"], 300.0)
        self.assertAlmostEqual(r["max"], 900.0)
        self.assertAlmostEqual(r["tarde"], 20.0)
        self.assertEqual(r["rafaga"], 1)
        self.assertAlmostEqual(r["cpu"], 90.0)
        self.assertAlmostEqual(r["cpu_main"], 80.0)
        self.assertEqual(r["partes"], [1.0, 2.0, 0.3, 0.4, 0.5])

    def test_fuera_de_ventana_y_teclas_de_menos(self):
        tics = [i * 10 * MS for i in range(-5, 105)]
        cuadros = [[t + 10_000, t + 20_000, 0, -1, -1, 2 if t < 500 * MS else 1,
                    0, 0, 0, 0, 0, 0, 0] for t in tics]
        r = ritmo.medir({"f": cuadros, "t": tics}, self.fase(2, None))
        self.assertEqual((r["cuadros"], r["tics"]), (100, 100))
        self.assertEqual(r["raro"], 50)
        self.assertIsNone(r["vel"])

    def test_rafaga(self):
        def f(ini, fin):  # in hundredths of a millisecond
            return [ini * MS // 100, fin * MS // 100]
        tics = [t * MS // 100 for t in (0, 1000, 2000, 7000, 7001, 7002, 7003, 8000)]
        casos = [
            ("each frame waits for its own tick", [f(2, 30), f(1002, 1030), f(2002, 2030)], 1),
            ("four ticks stamped at once after a stop run four frames straight on",
             [f(2, 30), f(7005, 7040), f(7041, 7080), f(7081, 7120), f(7121, 7160), f(8002, 8030)], 4),
            ("a tick during a frame's work lets the next one run straight on",
             [f(2, 1010), f(1011, 1040), f(2002, 2030)], 2),
        ]
        for que, fs, n in casos:
            self.assertEqual(ritmo.rafaga(fs, tics), n, que)
        # Only the frames asked about count; the one before tells whether the first waited.
        self.assertEqual(ritmo.rafaga(casos[1][1], tics, 3, 6), 2)

    def test_percentil(self):
        v = list(range(1, 201))
        self.assertEqual(ritmo.percentil(v, 99), 198)
        self.assertEqual(ritmo.percentil(v, 50), 100)
        self.assertEqual(ritmo.percentil([7], 99), 7)


class Elegir(unittest.TestCase):
    def test_sentido_con_sitio(self):
        self.assertEqual(ritmo.elegir(1, 300, 490), (["Up"], 4, 400))
        self.assertEqual(ritmo.elegir(1, 300, 120), (["Down"], 4, 376))
        self.assertEqual(ritmo.elegir(2, 200, 120), (["Down", "Right"], 4, 376))
        self.assertEqual(ritmo.elegir(2, 450, 400), (["Up", "Left"], 4, 310))

    def test_sin_movimiento(self):
        self.assertEqual(ritmo.elegir(0, 300, 490), ([], None, None))
        teclas, eje, _ = ritmo.elegir(4, 300, 490)
        self.assertEqual(sorted(teclas), ["Down", "Left", "Right", "Up"])
        self.assertIsNone(eje)


@unittest.skipUnless(os.environ.get("RITMO_BUILD"), "RITMO_BUILD names no build dir")
class Sombra(unittest.TestCase):
    def test_carrera_inventada(self):
        bench = os.path.join(os.path.abspath(os.environ["RITMO_BUILD"]), "bench")
        x, pantalla = ritmo.abrir_x()
        try:
            with tempfile.TemporaryDirectory() as tmp:
                log = os.path.join(tmp, "sombra.log")
                env = dict(os.environ, DISPLAY=pantalla, CARRERA_SOMBRA=log,
                           LD_PRELOAD=os.path.join(bench, "sombra.so"))
                r = subprocess.run([os.path.join(bench, "sombra_prueba")], env=env,
                                   capture_output=True, timeout=30)
                self.assertEqual(r.returncode, 0, r.stderr)
                d = ritmo.leer(log)
        finally:
            x.kill()
            x.wait()
        self.assertLessEqual(d["inicio"][0], d["modo"][0])
        self.assertEqual(d["modo"][1], 0)
        self.assertLess(d["modo"][0], d["titulo"][0])
        # Only the race's timer is counted, and it keeps ticking for the race.
        self.assertEqual([t[1:] for t in d["timer"]], [[11931, 1]])
        self.assertGreaterEqual(len(d["t"]), 20)
        self.assertEqual(len(d["espera"]), 1)
        # 20 frames opened; the last never gets its next lap text.
        self.assertEqual(len(d["f"]), 19)
        anterior = None
        for i, q in enumerate(d["f"]):
            k = i % 3
            self.assertEqual(q[5:8], [k, k, k], "frame %d" % i)
            self.assertEqual(q[3:5], [300 + k - 1, 490 - i] if k else [-1, -1], "frame %d" % i)
            self.assertLessEqual(q[0], q[1])
            self.assertGreater(q[8], 0)   # two texts
            self.assertGreater(q[12], 0)  # set_color
            self.assertEqual(q[9] > 0, k > 0)
            self.assertLessEqual(q[8] + q[9] + q[10] + q[11] + q[12], q[1] - q[0])
            if anterior:
                # Each frame waits for a tick of its own.
                self.assertGreater(q[2], anterior[2])
                self.assertLessEqual(anterior[1], q[0])
            anterior = q


if __name__ == "__main__":
    unittest.main()
