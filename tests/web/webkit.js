// WebKit for tests/web/prueba.js: Debian's MiniBrowser driven through its
// WebKitWebDriver (classic WebDriver over HTTP), behind the few calls of
// puppeteer's Browser, Page and Frame that the desktop's tests use. The
// browser needs an X server: it gets one of its own, so the tester's display
// and window manager play no part. Nothing here changes a web feature: the
// browser runs as Debian ships it, with only --automation.
//
//   const b = await require('./webkit').lanzar(dir, 'es'); const p = await b.newPage();
'use strict';
const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const net = require('net');
const path = require('path');

const ESPERA = Number(process.env.E2E_ESPERA || 30) * 1000;
const MINIBROWSER = process.env.MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const dormir = (ms) => new Promise((r) => setTimeout(r, ms));

// puppeteer's key names as WebDriver's code points.
const TECLAS = {
  Enter: '\uE007', Space: '\uE00D', ' ': '\uE00D', Escape: '\uE00C',
  ArrowLeft: '\uE012', ArrowUp: '\uE013', ArrowRight: '\uE014', ArrowDown: '\uE015',
};
const tecla = (k) => TECLAS[k] || k;

// An X server of its own, on the display it picks itself.
async function xvfb() {
  const x = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
                  { stdio: ['ignore', 'ignore', 'pipe', 'pipe'] });
  let error = '';
  x.stderr.on('data', (d) => { error += d; });
  const pantalla = await new Promise((ok, mal) => {
    let leido = '';
    x.stdio[3].on('data', (d) => {
      leido += d;
      if (leido.includes('\n')) ok(':' + leido.trim());
    });
    x.once('exit', (c) => mal(new Error(`Xvfb stopped with status ${c}: ${error}`)));
    setTimeout(() => mal(new Error('Xvfb named no display')), ESPERA);
  });
  return { x, pantalla };
}

function puertoLibre() {
  return new Promise((ok, mal) => {
    const s = net.createServer();
    s.once('error', mal);
    s.listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => ok(port));
    });
  });
}

// One WebDriver command; its value, or an Error named as the driver names it.
async function orden(base, metodo, ruta, cuerpo, ms = ESPERA * 4) {
  const r = await fetch(base + ruta, {
    method: metodo,
    headers: cuerpo === undefined ? {} : { 'Content-Type': 'application/json' },
    body: cuerpo === undefined ? undefined : JSON.stringify(cuerpo),
    signal: AbortSignal.timeout(ms),
  });
  const { value } = await r.json();
  if (value && value.error) throw new Error(`${metodo} ${ruta}: ${value.error}: ${value.message}`);
  return value;
}

// The driver on a free port; a port taken meanwhile by another program is tried again.
async function conductor(entorno) {
  for (let intento = 1; ; intento++) {
    const puerto = await puertoLibre();
    // Its own process group, so the browser it starts goes down with it.
    const d = spawn('WebKitWebDriver', [`--port=${puerto}`], { env: entorno, detached: true, stdio: 'ignore' });
    const base = `http://127.0.0.1:${puerto}`;
    const fin = Date.now() + ESPERA;
    let salio = false;
    d.once('exit', () => { salio = true; });
    while (!salio && Date.now() < fin) {
      try {
        await orden(base, 'GET', '/status', undefined, 2000);
        return { d, base };
      } catch (e) { await dormir(50); }
    }
    matar(d);
    if (intento === 3) throw new Error(`WebKitWebDriver did not answer on port ${puerto}`);
  }
}

function matar(proceso) {
  try { process.kill(-proceso.pid, 'SIGKILL'); } catch (e) { /* gone already */ }
}

const salido = (proceso) => proceso.exitCode !== null || proceso.signalCode !== null ||
  new Promise((r) => { proceso.once('exit', r); setTimeout(r, ESPERA); });

// The browser, its user data under dir, speaking lengua ('es', 'en-GB'):
// WebKit takes its one language from the process's locale, which must exist,
// so that locale is built under dir (es: es_ES). Stands in for puppeteer.launch's Browser.
async function lanzar(dir, lengua = 'es') {
  const { x, pantalla } = await xvfb();
  let d;
  try {
    const datos = (n) => { const r = path.join(dir, n); fs.mkdirSync(r, { recursive: true }); return r; };
    const entorno = { ...process.env, DISPLAY: pantalla, WAYLAND_DISPLAY: '', HOME: datos('casa'),
                      XDG_CONFIG_HOME: datos('config'), XDG_CACHE_HOME: datos('cache'),
                      XDG_DATA_HOME: datos('datos'), XDG_RUNTIME_DIR: datos('run') };
    fs.chmodSync(entorno.XDG_RUNTIME_DIR, 0o700);
    const [a, b] = lengua.split('-');
    const local = `${a}_${(b || a).toUpperCase()}.UTF-8`;
    execFileSync('localedef', ['-i', local.slice(0, -6), '-f', 'UTF-8', path.join(datos('locales'), local)]);
    Object.assign(entorno, { LOCPATH: path.join(dir, 'locales'), LC_ALL: local, LANG: local, LANGUAGE: '' });
    let base;
    ({ d, base } = await conductor(entorno));
    const { sessionId } = await orden(base, 'POST', '/session', {
      capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': { binary: MINIBROWSER, args: ['--automation'] } } },
    });
    const sesion = `${base}/session/${sessionId}`;
    await orden(sesion, 'POST', '/timeouts', { script: ESPERA * 4, pageLoad: ESPERA * 4 });
    const pagina = new Pagina(sesion);
    // A test that exits without closing leaves no browser or X server behind.
    const alSalir = () => { matar(d); x.kill('SIGKILL'); };
    process.once('exit', alSalir);
    return {
      newPage: async () => pagina,
      // MiniBrowser, the UI process: the web and network processes are its children.
      process() {
        for (const q of fs.readdirSync('/proc').filter((n) => /^\d+$/.test(n))) {
          try {
            const s = fs.readFileSync(`/proc/${q}/stat`, 'utf8');
            if (Number(s.split(') ')[1].split(' ')[1]) === d.pid && s.includes('(MiniBrowser)')) return { pid: Number(q) };
          } catch (e) { /* gone meanwhile */ }
        }
        return { pid: d.pid };
      },
      async close() {
        process.off('exit', alSalir);
        await orden(sesion, 'DELETE', '', undefined, ESPERA).catch(() => {});
        matar(d);
        await salido(d);
        x.kill('SIGKILL');
        await salido(x);
      },
    };
  } catch (e) {
    if (d) matar(d);
    x.kill('SIGKILL');
    throw e;
  }
}

// The one window of the session, as puppeteer's Page.
class Pagina {
  constructor(sesion) {
    this.sesion = sesion;
    this.alError = [];
    this.marco = null;   // the iframe the session is in, by its selector; null: the top document
    const pagina = this;
    const acciones = (fuente) => orden(sesion, 'POST', '/actions', { actions: [fuente] });
    const teclas = (...as) => acciones({ type: 'key', id: 'teclado', actions: as });
    this.keyboard = {
      down: (k) => teclas({ type: 'keyDown', value: tecla(k) }),
      up: (k) => teclas({ type: 'keyUp', value: tecla(k) }),
      press: (k) => teclas({ type: 'keyDown', value: tecla(k) }, { type: 'keyUp', value: tecla(k) }),
    };
    this.mouse = {
      async click(x, y) {
        // In the top document's viewport, as puppeteer's are.
        await pagina.en(null);
        await acciones({
          type: 'pointer', id: 'raton', parameters: { pointerType: 'mouse' },
          actions: [{ type: 'pointerMove', x: Math.round(x), y: Math.round(y), origin: 'viewport' },
                    { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }],
        });
      },
    };
  }

  // Only 'pageerror': WebDriver has no events, so the page keeps its
  // uncaught errors from the load on and each evaluate brings them back.
  on(evento, f) {
    if (evento === 'pageerror') this.alError.push(f);
  }

  // The window sized until the page inside it has the size asked for: the
  // browser's own bar takes some of it, and a resize asked while the window
  // still opens can be lost.
  async setViewport({ width, height }) {
    const fin = Date.now() + ESPERA;
    for (;;) {
      const [w, h, ow, oh] = await this.evaluate(() => [innerWidth, innerHeight, outerWidth, outerHeight]);
      if (w === width && h === height) return;
      if (Date.now() > fin) throw new Error(`the page is ${w}x${h} in a ${ow}x${oh} window, not ${width}x${height}`);
      await orden(this.sesion, 'POST', '/window/rect', { width: width + ow - w, height: height + oh - h });
      await dormir(100);
    }
  }

  // A navigation leaves the session in the top document.
  async goto(url) {
    await orden(this.sesion, 'POST', '/url', { url });
    this.marco = null;
    await this.vigilarErrores();
  }

  async reload() {
    await this.en(null);
    await orden(this.sesion, 'POST', '/refresh', {});
    await this.vigilarErrores();
  }

  // Into the iframe that selector names (null: out to the top document).
  // WebKit focuses the document it goes into, and keys follow the focus:
  // so the session stays where it is until a call needs another document,
  // and keys into an iframe reach it however often the test looks into it.
  async en(selector) {
    if (this.marco === selector) return;
    if (this.marco !== null) await orden(this.sesion, 'POST', '/frame', { id: null });
    this.marco = null;
    if (selector === null) return;
    const elemento = await orden(this.sesion, 'POST', '/element', { using: 'css selector', value: selector });
    await orden(this.sesion, 'POST', '/frame', { id: elemento });
    this.marco = selector;
  }

  // Errors thrown before this runs, while the page loads, go unseen.
  vigilarErrores() {
    return this.evaluate(() => {
      if (window.__errores) return;
      window.__errores = [];
      addEventListener('error', (e) => __errores.push(e.message));
      addEventListener('unhandledrejection', (e) => __errores.push(String(e.reason && e.reason.message || e.reason)));
    });
  }

  // f runs in the page with args (JSON's values), awaited; its value comes
  // back through JSON too, typed arrays as arrays.
  async evaluate(f, ...args) {
    await this.en(null);
    return this.ejecutar(f, args);
  }

  // evaluate in whichever document the session is in.
  async ejecutar(f, args) {
    // WebKit's driver now and then answers with a result it cannot parse
    // (seen once in a climb's look at the car): the script is asked again.
    for (let intento = 1; ; intento++) {
      try {
        return await this.ejecutarUnaVez(f, args);
      } catch (e) {
        if (intento >= 3 || !/Could not parse script result/.test(e.message)) throw e;
      }
    }
  }

  async ejecutarUnaVez(f, args) {
    const r = await orden(this.sesion, 'POST', '/execute/async', {
      script: `const hecho = arguments[arguments.length - 1];
        const errores = () => (window.__errores || []).splice(0);
        Promise.resolve().then(() => (${f})(...JSON.parse(arguments[0]))).then(
          (v) => hecho({ v: v === undefined ? null : JSON.stringify(v,
                          (k, x) => ArrayBuffer.isView(x) ? Array.from(x) : x), errores: errores() }),
          (e) => hecho({ x: String(e && e.message || e), errores: errores() }));`,
      args: [JSON.stringify(args)],
    });
    for (const m of r.errores) for (const g of this.alError) g(new Error(m));
    if (r.x !== undefined) throw new Error(r.x);
    return r.v == null ? undefined : JSON.parse(r.v);
  }

  // Asked from here, every polling ms at most: one round trip each.
  async waitForFunction(f, { polling = 100, timeout = ESPERA } = {}, ...args) {
    const fin = Date.now() + timeout;
    for (;;) {
      const v = await this.evaluate(f, ...args);
      if (v) return v;
      if (Date.now() > fin) throw new Error(`waitForFunction: no answer but ${JSON.stringify(v)} in ${timeout} ms`);
      await dormir(polling);
    }
  }

  // The element's frame, for a selector that names an iframe.
  async waitForSelector(selector, { timeout = ESPERA } = {}) {
    await this.waitForFunction((s) => document.querySelector(s) !== null, { timeout }, selector);
    return { contentFrame: async () => new Marco(this, selector) };
  }

  $eval(selector, f, ...args) {
    return this.evaluate(`(s, ...a) => (${f})(document.querySelector(s), ...a)`, selector, ...args);
  }

  async screenshot({ path: ruta }) {
    fs.writeFileSync(ruta, Buffer.from(await orden(this.sesion, 'GET', '/screenshot'), 'base64'));
  }

  async close() {
    await orden(this.sesion, 'DELETE', '/window').catch(() => {});
  }
}

// An iframe of the page, as puppeteer's Frame.
class Marco {
  constructor(pagina, selector) {
    this.pagina = pagina;
    this.selector = selector;
  }

  async evaluate(f, ...args) {
    await this.pagina.en(this.selector);
    return this.pagina.ejecutar(f, args);
  }
}

module.exports = { lanzar };
