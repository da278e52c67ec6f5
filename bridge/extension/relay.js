// Carries messages between the page's window.tarsenWeb (page-api.js, in the
// page's world) and the extension's service worker. The connection opens
// only when the page first uses the API, so pages that never do start no host.
// Long answers arrive in pieces, joined here (the browser caps one message), or
// as blocks of bytes, or a Blob, from the host's side channel (side.js).
(() => {
  'use strict';
  const TAG = 'tarsen-web';
  let port = null;
  let pieces = [];
  let tracing = false;

  let frame = null;
  let frameLoaded = null;
  const asides = new Map();  // token -> the host's bytes message

  // Bench only: a host started for the bench says so when it creates an
  // object; from then on each message carries the time it left here, and its
  // answer comes back with how long it was away (WebHost::traced_).
  function traced(message) {
    if (message.trace === true) tracing = true;
    else if (tracing && typeof message.trace === 'object')
      message.trace.cs = performance.now() - message.trace.cs;
  }

  // Answers reach page-api.js by an event, at once (Firefox hands the page
  // only what was cloned into its world); blocks of bytes are posted, so that
  // they move rather than copy, and so are Blobs and the bench's echoes, where
  // its pages listen.
  function toPage(message, transfer) {
    if (transfer || message.blob || message.type === 'echo') {
      window.postMessage({ [TAG]: 'to-page', message }, '*', transfer || []);
      return;
    }
    const detail = typeof cloneInto === 'function' ? cloneInto(message, window) : message;
    window.dispatchEvent(new CustomEvent(TAG + '-to-page', { detail }));
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
        if (message.blob) toPage(message);
        else if (message.buffer) toPage(message, [message.buffer]);
        else fetchAside(message);
        return;
      }
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

  // page-api.js sends by an event; a posted message is taken too (the bench's
  // echoes, and what any script of the page may send).
  function fromPage(message) {
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
  }

  window.addEventListener(TAG + '-to-host', (event) => {
    let message;
    try {
      message = event.detail;  // Chromium clones it out of the page's world here
    } catch (error) {
      return;  // not from page-api.js: nothing that could be sent
    }
    fromPage(message);
  });
  window.addEventListener('message', (event) => {
    if (event.source !== window || !event.data || event.data[TAG] !== 'to-host') return;
    fromPage(event.data.message);
  });
})();
