// Carries messages between the page's window.tarsenWeb (page-api.js, in the
// page's world) and the extension's service worker. The connection opens
// only when the page first uses the API, so pages that never do start no host.
// Long answers arrive in pieces, joined here (the browser caps one message), or
// as blocks of bytes from the host's side channel (side.js).
(() => {
  'use strict';
  const TAG = 'tarsen-web';
  let port = null;
  let pieces = [];

  let frame = null;
  let frameLoaded = null;
  const asides = new Map();  // token -> the host's bytes message

  function toPage(message, transfer) {
    window.postMessage({ [TAG]: 'to-page', message }, '*', transfer || []);
  }

  // Chromium: a frame of the extension's own (side.js) fetches the bytes; the
  // page's origin, and so this script's, may not reach the loopback port.
  function fetchAside(message) {
    if (!frame || !frame.isConnected) {
      frame = document.createElement('iframe');
      frame.hidden = true;
      frame.src = chrome.runtime.getURL('side.html');
      frameLoaded = new Promise((resolve) =>
        frame.addEventListener('load', resolve, { once: true }));
      document.documentElement.appendChild(frame);
    }
    asides.set(message.token, message);
    const target = frame;
    frameLoaded.then(() =>
      target.contentWindow.postMessage(message.token, new URL(target.src).origin));
  }

  // Its blocks go to the page as they come; whatever goes wrong, the host sends
  // the answer in pieces instead.
  window.addEventListener('message', (event) => {
    const data = event.data;
    if (!frame || event.source !== frame.contentWindow || !data || data[TAG] !== 'side') return;
    const message = asides.get(data.token);
    if (!message) return;
    if (data.failed || data.last) asides.delete(data.token);
    if (data.failed) {
      if (port) port.postMessage({ type: 'pieces', token: data.token });
      return;
    }
    toPage({ type: 'bytes', call: message.call, prefix: message.prefix, buffer: data.buffer,
             last: data.last }, [data.buffer]);
  });

  function connect() {
    port = chrome.runtime.connect({ name: 'tarsen-web' });
    port.onMessage.addListener((message) => {
      if (message.type === 'bytes') {
        if (message.buffer) toPage(message, [message.buffer]);
        else fetchAside(message);
        return;
      }
      if (message.type !== 'piece') {
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
      port.postMessage(message);
    } catch (error) {
      // Too long for the browser, or not a message at all: the call still settles.
      const call = message && typeof message === 'object' ? message.call : undefined;
      toPage({ type: 'error', call, message: 'the call cannot be sent: ' + error.message });
    }
  });
})();
