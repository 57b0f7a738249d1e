// Keeps the page's files, so that after one visit it plays with no network:
// every request goes to the network first (so a new version is seen at
// once), and to the copy kept from the last visit when the network fails.
'use strict';
const kCache = 'kotodama';
const kFiles = ['./', 'index.html', 'kotodama.js', 'kotodama.wasm', 'xterm.js', 'xterm.css', 'favicon.svg',
                'icon-192.png', 'icon-512.png', 'manifest.webmanifest'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(kCache).then((cache) => cache.addAll(kFiles)).then(() => self.skipWaiting()));
});
self.addEventListener('activate', (event) => event.waitUntil(self.clients.claim()));
self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  event.respondWith(fetch(event.request).then((response) => {
    if (response.ok) {
      const copy = response.clone();
      caches.open(kCache).then((cache) => cache.put(event.request, copy));
    }
    return response;
  }, () => caches.match(event.request, { ignoreSearch: true })));
});
