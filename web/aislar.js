// For a host that cannot send the cross-origin isolation headers the game's
// threads need: this service worker adds them to every response of the site,
// so the page, loaded again under it, is isolated.
self.addEventListener('install', () => self.skipWaiting());
self.addEventListener('activate', (e) => e.waitUntil(self.clients.claim()));
self.addEventListener('fetch', (e) => {
  if (e.request.cache === 'only-if-cached' && e.request.mode !== 'same-origin') return;
  e.respondWith(fetch(e.request).then((r) => {
    if (r.status === 0) return r;
    const cabeceras = new Headers(r.headers);
    cabeceras.set('Cross-Origin-Opener-Policy', 'same-origin');
    cabeceras.set('Cross-Origin-Embedder-Policy', 'require-corp');
    return new Response(r.body, { status: r.status, statusText: r.statusText, headers: cabeceras });
  }));
});
