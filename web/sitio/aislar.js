// The site's service worker: it keeps the site in a cache named after the
// build, so a second visit plays offline and a new build replaces the old
// one. Its name is the one the pages of the threaded build registered, so a
// browser that kept that worker finds this one in its place.
const CAJA = 'carrera';        // script/web names it after the build: carrera-<hash>
const FICHEROS = ['./'];       // and lists the site's files here

self.addEventListener('install', (e) => {
  self.skipWaiting();
  // A file the host lacks is left out: the page says so when it asks for it.
  e.waitUntil(caches.open(CAJA).then((c) => Promise.all(FICHEROS.map((f) =>
    fetch(f, { cache: 'no-cache' }).then((r) => r.ok && c.put(f, r)).catch(() => {})))));
});
self.addEventListener('activate', (e) => e.waitUntil(
  caches.keys()
    .then((k) => Promise.all(k.filter((n) => n.startsWith('carrera') && n !== CAJA).map((n) => caches.delete(n))))
    .then(() => self.clients.claim())));
self.addEventListener('fetch', (e) => {
  if (e.request.cache === 'only-if-cached' && e.request.mode !== 'same-origin') return;
  e.respondWith(caches.match(e.request, { cacheName: CAJA, ignoreSearch: true })
    .then((guardada) => guardada || fetch(e.request)));
});
