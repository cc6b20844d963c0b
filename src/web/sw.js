// Keeps the page's own files so that the remote starts without the controller (it then says
// it is waiting for it). The network always comes first: a new program version never meets
// an old page while the controller answers. Only the files listed here are kept; thumbnails,
// the API and the WebSocket never pass through, so no ticket or token lands in the cache.
const CACHE = 'zentrova-page';
const FILES = ['./', 'index.html', 'app.css', 'app.js', 'api.js', 'pairing.js', 'i18n.js', 'scenes.js', 'screen_view.js', 'sha256.js',
  'thumbnails.js', 'manifest.webmanifest', 'icons/app-icon.svg', 'icons/app-icon-192.png', 'icons/displayon.svg',
  'icons/displayoff.svg', 'icons/sequencing.svg', 'icons/txcell-no-source.svg'];
const KEPT = new Set(FILES.map((file) => new URL(file, self.registration.scope).href));

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => event.waitUntil(self.clients.claim()));

self.addEventListener('fetch', (event) => {
  const { request } = event;
  const url = new URL(request.url);
  url.search = '';
  if (request.method !== 'GET' || !KEPT.has(url.href)) return;
  // The page gets the reply at once; keeping its copy must not hold up the page's start.
  const kept = fetch(request).then((reply) => {
    // Copied now: by the time the cache is open, the page has read the reply's body.
    if (!reply.ok) return reply;
    const copy = reply.clone();
    event.waitUntil(caches.open(CACHE).then((cache) => cache.put(url.href, copy)));
    return reply;
  });
  event.respondWith(kept.catch(async (error) => {
    const copy = await caches.match(url.href, { cacheName: CACHE });
    if (copy) return copy;
    throw error;
  }));
});
