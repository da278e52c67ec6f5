// Routes messages between pages and the native host: one host connection per
// tab, shared by the documents the tab shows, closed when the tab goes. Each
// message from a page is stamped with its document number, and a "create"
// with the address the browser reports for that document and with the
// extension's own origin (the only one the host serves side-channel bytes to);
// a page's own word for any of them is overwritten.
'use strict';

const HOST = 'com.tarsen.web';
// Firefox: side-channel bytes are fetched by a worker of this background script's (Firefox
// keeps a frame of the extension's in a public page from the loopback port, but not these)
// and go to the content script as a Blob (Chromium's messaging carries JSON only: there a
// frame of the extension's fetches them).
const FETCH_HERE = location.protocol === 'moz-extension:';
// Chromium: tokens on their way to the frame, with the host's port and the tab. Any page
// can load that frame; it fetches only a token the host gave its tab, only from the host,
// and once.
const asides = new Map();
const tabs = new Map();  // tab id -> { host: Port, docs: Map(doc -> Port) }
let nextDoc = 0;

function openTab(tabId) {
  const tab = { host: chrome.runtime.connectNative(HOST), docs: new Map() };
  tab.host.onMessage.addListener((message) => {
    if (message.trace) traced(tab, message);
    const page = tab.docs.get(message.doc);
    if (page && message.type === 'bytes' && FETCH_HERE) {
      fetchHere(tab, page, message);
    } else if (page) {
      if (message.type === 'bytes') asides.set(message.token, { port: message.port, tabId });
      page.postMessage(message);
    } else if (message.doc === undefined) {
      for (const port of tab.docs.values()) port.postMessage(message);
    }
  });
  tab.host.onDisconnect.addListener((port) => {
    // Firefox gives the reason on the port, Chromium as lastError.
    const why = port.error || chrome.runtime.lastError;
    const gone = { type: 'gone',
                   message: 'the Tarsen Web host is gone' + (why ? ': ' + why.message : '') };
    for (const port of tab.docs.values()) port.postMessage(gone);
    if (tabs.get(tabId) === tab) tabs.delete(tabId);
  });
  tabs.set(tabId, tab);
  return tab;
}

// Firefox: a worker (side.js) fetches, and the Blob goes to the content script; whatever
// goes wrong, the host sends the answer in pieces instead.
let fetcher = null;
const fetching = new Map();  // token -> { tab, page, message }
function fetchHere(tab, page, message) {
  if (!fetcher) {
    fetcher = new Worker('side.js');
    fetcher.onmessage = (event) => {
      const data = event.data;
      const job = fetching.get(data.token);
      if (!job) return;
      fetching.delete(data.token);
      try {
        if (data.failed) throw new Error('the fetch failed');
        job.page.postMessage({ type: 'bytes', call: job.message.call, prefix: job.message.prefix,
                               blob: data.blob });
      } catch (error) {
        try {
          job.tab.host.postMessage({ type: 'pieces', doc: job.message.doc, token: data.token });
        } catch (gone) { /* the host is gone, and the page told */ }
      }
    };
  }
  fetching.set(message.token, { tab, page, message });
  fetcher.postMessage({ port: message.port, token: message.token });
}

// Bench only, as in relay.js: the time a call spent beyond this worker.
function traced(tab, message) {
  if (message.trace === true) tab.trace = true;
  else if (tab.trace && typeof message.trace === 'object')
    message.trace.sw = performance.now() - message.trace.sw;
}

// Only pages with a host: the plug-in binds identifiers and approvals to it.
function hasHost(url) {
  try {
    const parsed = new URL(url);
    return (parsed.protocol === 'http:' || parsed.protocol === 'https:') && parsed.hostname !== '';
  } catch (error) {
    return false;
  }
}

chrome.runtime.onConnect.addListener((port) => {
  const sender = port.sender || {};
  const url = sender.url || (sender.tab && sender.tab.url) || '';
  if (port.name !== 'tarsen-web' || !sender.tab || !hasHost(url)) {
    port.disconnect();
    return;
  }
  const tabId = sender.tab.id;
  const doc = ++nextDoc;
  const tab = tabs.get(tabId) || openTab(tabId);
  tab.docs.set(doc, port);

  port.onMessage.addListener((message) => {
    if (!message || typeof message !== 'object' || Array.isArray(message)) return;
    const current = tabs.get(tabId);
    if (!current) {
      port.postMessage({ type: 'gone', message: 'the Tarsen Web host is gone' });
      return;
    }
    message.doc = doc;
    if (current.trace && message.trace) message.trace = { cs: message.trace.cs, sw: performance.now() };
    if (message.type === 'create') {
      message.url = url;
      message.userAgent = navigator.userAgent;
      message.extension = location.origin;
    }
    try {
      current.host.postMessage(message);
    } catch (error) {
      port.postMessage({ type: 'error', doc, call: message.call,
                         message: 'the call cannot be sent: ' + error.message });
    }
  });
  port.onDisconnect.addListener(() => {
    const current = tabs.get(tabId);
    if (!current) return;
    current.docs.delete(doc);
    current.host.postMessage({ type: 'close', doc });
  });
});

chrome.runtime.onMessage.addListener((message, sender, reply) => {
  const aside = message && asides.get(message.side);
  if (!aside || !sender.tab || sender.tab.id !== aside.tabId) return;
  asides.delete(message.side);
  reply(aside.port);
});

chrome.tabs.onRemoved.addListener((tabId) => {
  const tab = tabs.get(tabId);
  if (!tab) return;
  tabs.delete(tabId);
  tab.host.disconnect();
  for (const [token, aside] of asides) if (aside.tabId === tabId) asides.delete(token);
});
