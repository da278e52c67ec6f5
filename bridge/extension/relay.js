// Carries messages between the page's window.tarsenWeb (page-api.js, in the
// page's world) and the extension's service worker. The connection opens
// only when the page first uses the API, so pages that never do start no host.
// Long answers arrive in pieces, joined here (the browser caps one message).
(() => {
  'use strict';
  const TAG = 'tarsen-web';
  let port = null;
  let pieces = [];
  let tracing = false;

  // Bench only: a host started for the bench says so when it creates an
  // object; from then on each message carries the time it left here, and its
  // answer comes back with how long it was away (WebHost::traced_).
  function traced(message) {
    if (message.trace === true) tracing = true;
    else if (tracing && typeof message.trace === 'object')
      message.trace.cs = performance.now() - message.trace.cs;
  }

  function toPage(message) {
    window.postMessage({ [TAG]: 'to-page', message }, '*');
  }

  function connect() {
    port = chrome.runtime.connect({ name: 'tarsen-web' });
    port.onMessage.addListener((message) => {
      if (message.type !== 'piece') {
        if (message.trace) traced(message);
        toPage(message);
        return;
      }
      pieces.push(message.text);
      if (!message.last) return;
      const text = pieces.join('');
      pieces = [];
      toPage(JSON.parse(text));
    });
    port.onDisconnect.addListener((gone) => {
      const why = gone.error || chrome.runtime.lastError;
      toPage({ type: 'gone', message: 'the extension closed the connection' +
                                      (why && why.message ? ': ' + why.message : '') });
      port = null;
    });
  }

  // The document's calls end with it. Chromium closes the port as the page
  // goes; Firefox may keep it (a page kept for going back), so this says so.
  window.addEventListener('pagehide', () => {
    if (!port) return;
    port.disconnect();
    port = null;
    toPage({ type: 'gone', message: 'the page was left' });
  });

  window.addEventListener('message', (event) => {
    if (event.source !== window || !event.data || event.data[TAG] !== 'to-host') return;
    const message = event.data.message;
    if (!port) connect();
    try {
      // (A copy: Firefox lets no object of ours into the page's.)
      port.postMessage(tracing && message && typeof message === 'object'
        ? { ...message, trace: { cs: performance.now() } } : message);
    } catch (error) {
      // Too long for the browser, or not a message at all: the call still settles.
      const call = message && typeof message === 'object' ? message.call : undefined;
      toPage({ type: 'error', call, message: 'the call cannot be sent: ' + error.message });
    }
  });
})();
