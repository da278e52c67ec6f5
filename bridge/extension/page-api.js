// window.tarsenWeb: the plug-in's scriptable object for pages in today's
// browsers. create(parameters) gives an object with the same 30 methods and
// three properties; every method returns a Promise of what the plug-in's
// method returns, and rejects where the plug-in would have raised a script
// error. Calls travel through relay.js and the extension to the native host.
(() => {
  'use strict';
  // Only pages with a host: the plug-in binds everything to it.
  if (window.tarsenWeb || !/^https?:$/.test(location.protocol) || !location.hostname) return;

  const TAG = 'tarsen-web';
  const METHODS = [
    'addToDownloadList', 'addToUploadList', 'clearDownloadList', 'clearUploadList',
    'harluneHttpRequest', 'harluneHttpRequestAsync', 'displayAboutWindow',
    'displayPreferencesWindow', 'displayTransferManager', 'handleDrop', 'initSession',
    'queryBrowserEngine', 'queryBuildVersion', 'queryPluginVersion', 'queryVersion',
    'queryHarluneVersion', 'runOpenFileDialog', 'runOpenFileDialogAsync', 'runOpenFolderDialog',
    'runOpenFolderDialogAsync', 'runSaveFileDialog', 'runSaveFileDialogAsync', 'startDownload',
    'startDownloadToPath', 'startUploadToURL', 'startListDownloadToPath', 'startListUploadToURL',
    'readAsArrayBuffer', 'readChunkAsArrayBuffer', 'httpRequestImplementation'];
  const PROPERTIES = ['name', 'dropObserver', 'eventHandler'];
  // What the browser carries to the host in one message, less room for what
  // the extension adds (the page's address).
  const MAX_MESSAGE = 64 * 1024 * 1024;
  const ADDED = 64 * 1024;

  let nextObject = 0;
  let nextCall = 0;
  let nextValue = 0;
  const pending = new Map();   // call -> {resolve, reject}
  const values = new Map();    // page value number -> function or object the host holds
  const objects = new Map();   // object id -> state
  const blocks = new Map();    // call -> its answer's side-channel blocks so far
  let hostGone = null;

  // To relay.js and back by events, handed over at once: a posted message
  // waits for a task of its own each way (0.1-0.2 ms a call).
  function send(message) {
    window.dispatchEvent(new CustomEvent(TAG + '-to-host', { detail: message }));
  }

  // A text the host can read: a lone surrogate has no UTF-8 form.
  function checkedText(text) {
    if (!text.isWellFormed())
      throw new TypeError('tarsenWeb: a text holds a lone surrogate (U+' +
                          text.charCodeAt(text.search(/\p{Surrogate}/u)).toString(16).toUpperCase() +
                          '), which the host cannot read');
    return text;
  }

  // Functions and objects stay here; the host gets a number for each passing.
  function toWire(value) {
    if (value === undefined || typeof value === 'symbol') return { $void: true };
    if (typeof value === 'bigint') return Number(value);
    if (typeof value === 'string') return checkedText(value);
    if (value === null || (typeof value !== 'object' && typeof value !== 'function')) return value;
    if (Array.isArray(value)) return value.map(toWire);
    const number = ++nextValue;
    values.set(number, value);
    const methods = [];
    if (typeof value === 'object') {
      for (let o = value; o && o !== Object.prototype; o = Object.getPrototypeOf(o))
        for (const name of Object.getOwnPropertyNames(o))
          if (typeof value[name] === 'function' && !methods.includes(name) && name.isWellFormed())
            methods.push(name);
    }
    return { $fn: number, methods };
  }

  // The UTF-8 size of the message as the browser sends it; too long to travel throws.
  function checkSize(message) {
    const text = JSON.stringify(message);
    const size = text.length * 3 + ADDED <= MAX_MESSAGE ? 0 : new TextEncoder().encode(text).length;
    if (size + ADDED > MAX_MESSAGE)
      throw new RangeError('tarsenWeb: the call is ' + size + ' bytes long; the browser carries ' +
                           'less than 64 MiB to the host');
  }

  // A call whose arguments cannot travel rejects here and is never sent.
  function sending(build) {
    const before = nextValue;
    try {
      const message = build();
      checkSize(message);
      return message;
    } catch (error) {
      for (let number = before + 1; number <= nextValue; ++number) values.delete(number);
      return error;
    }
  }

  function fromWire(value) {
    if (value && typeof value === 'object' && !Array.isArray(value)) {
      if (value.$void) return undefined;
      if ('$fn' in value) return values.has(value.$fn) ? values.get(value.$fn) : null;
    }
    return value;
  }

  function request(message) {
    if (hostGone) return Promise.reject(new Error(hostGone));
    if (message instanceof Error) return Promise.reject(message);
    const call = ++nextCall;
    return new Promise((resolve, reject) => {
      pending.set(call, { resolve, reject });
      send(Object.assign({ call }, message));
    });
  }

  function create(parameters) {
    if (parameters !== undefined && parameters !== null && typeof parameters !== 'object')
      throw new TypeError('tarsenWeb.create: the parameters are an object of names and values');
    const params = {};
    for (const [name, value] of Object.entries(parameters || {}))
      params[checkedText(name)] = checkedText(String(value));
    checkSize(params);
    const id = ++nextObject;
    const state = { id, properties: { name: '', dropObserver: null, eventHandler: null } };
    state.ready = new Promise((resolve, reject) => { state.settle = { resolve, reject }; });
    state.ready.catch(() => {});  // seen by whoever awaits it
    objects.set(id, state);
    send({ type: 'create', id, parameters: params });

    const object = {};
    for (const method of METHODS) {
      object[method] = (...args) =>
        request(sending(() => ({ type: 'invoke', id, method, args: args.map(toWire) })))
          .then(fromWire);
    }
    for (const property of PROPERTIES) {
      Object.defineProperty(object, property, {
        enumerable: true,
        get: () => state.properties[property],
        set: (value) => {
          // The plug-in keeps only an object for these two, and only text as a name.
          const before = state.properties[property];
          state.properties[property] =
              property === 'name' ? value : (value !== null && typeof value === 'object') ||
                                            typeof value === 'function' ? value : null;
          request(sending(() => ({ type: 'set', id, property, value: toWire(value) }))).catch((error) => {
            state.properties[property] = before;
            console.error('tarsenWeb: setting ' + property + ' was refused: ' + error.message);
          });
        }
      });
    }
    // Not part of the plug-in's object: when it is ready, and an end for it.
    Object.defineProperty(object, 'ready', { get: () => state.ready });
    Object.defineProperty(object, 'destroy', {
      value: () => { objects.delete(id); send({ type: 'destroy', id }); }
    });
    return object;
  }

  // The text the host's pieces would carry, built from the side channel's
  // blocks as they come: the engine's own base64 (Chromium 140, Firefox 133),
  // the pieces joined by the engine when the text is first read; else a Blob's
  // data URL at the end.
  function received(message) {
    const call = pending.get(message.call);
    if (!call) return;
    const bytes = new Uint8Array(message.buffer);
    const before = blocks.get(message.call) || (bytes.toBase64 ? message.prefix : []);
    const now = bytes.toBase64 ? before + bytes.toBase64() : before.concat([bytes]);
    if (!message.last) {
      blocks.set(message.call, now);
      return;
    }
    blocks.delete(message.call);
    pending.delete(message.call);
    if (bytes.toBase64) {
      call.resolve(now);
      return;
    }
    const reader = new FileReader();
    reader.onload = () => call.resolve(message.prefix +
                                       reader.result.slice(reader.result.indexOf(',') + 1));
    reader.onerror = () => call.reject(reader.error);
    reader.readAsDataURL(new Blob(now));
  }

  function callPage(message) {
    const target = values.get(message.fn);
    if (target === undefined) return;
    const args = (message.args || []).map(fromWire);
    // A page function that throws is the page's own uncaught error.
    if (message.method) target[message.method](...args);
    else target(...args);
  }

  function receive(message) {
    switch (message.type) {
      case 'created': {
        const state = objects.get(message.id);
        if (!state) return;
        if (message.ok) state.settle.resolve();
        else state.settle.reject(new Error('tarsenWeb: ' + message.error));
        return;
      }
      case 'result': {
        const call = pending.get(message.call);
        if (!call) return;
        pending.delete(message.call);
        blocks.delete(message.call);  // the side channel failed on the way
        if (message.ok) call.resolve('value' in message ? message.value : { $void: true });
        else call.reject(new Error(message.error));
        return;
      }
      case 'bytes':
        received(message);
        return;
      case 'call':
        callPage(message);
        return;
      case 'release':
        values.delete(message.fn);
        return;
      case 'error': {
        const call = message.call !== undefined && pending.get(message.call);
        if (call) {
          pending.delete(message.call);
          blocks.delete(message.call);
          call.reject(new Error('tarsenWeb: ' + message.message));
        } else {
          console.error('tarsenWeb: ' + message.message);
        }
        return;
      }
      case 'gone':
        hostGone = 'tarsenWeb: ' + message.message;
        for (const call of pending.values()) call.reject(new Error(hostGone));
        pending.clear();
        blocks.clear();
        for (const state of objects.values()) state.settle.reject(new Error(hostGone));
        return;
    }
  }

  // Firefox's side channel gives the whole answer as a Blob: read in slices at
  // once, so that the base64 of each is built while the rest still comes over
  // from the extension's process (one read of the whole, then its base64, take
  // half as long again).
  async function receivedBlob(message) {
    const SLICE = 3 << 19;  // a multiple of three: its base64 has no padding
    const blob = message.blob;
    const reads = [];
    for (let at = 0; at < blob.size || at === 0; at += SLICE)
      reads.push(blob.slice(at, at + SLICE).arrayBuffer());
    try {
      for (let k = 0; k < reads.length && pending.has(message.call); ++k)
        received({ call: message.call, prefix: message.prefix, buffer: await reads[k],
                   last: k === reads.length - 1 });
    } catch (error) {
      receive({ type: 'error', call: message.call,
                message: 'the answer could not be read: ' + error.message });
    }
  }

  // Blocks of bytes are posted, to move rather than copy them; Blobs too.
  window.addEventListener('message', (event) => {
    if (event.source !== window || !event.data || event.data[TAG] !== 'to-page') return;
    const message = event.data.message;
    if (!message || message.type !== 'bytes') return;
    if (message.blob instanceof Blob) receivedBlob(message);
    else received(message);
  });

  window.addEventListener(TAG + '-to-page', (event) => {
    const message = event.detail;  // read once: Chromium clones it into this world on each read
    if (message && typeof message === 'object') receive(message);
  });

  Object.defineProperty(window, 'tarsenWeb', {
    value: Object.freeze({ create }),
    enumerable: false
  });
})();
