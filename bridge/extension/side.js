// A long answer's bytes from the host's side channel. Throws when the fetch
// fails; the host then sends the answer in pieces instead.
async function openAside(port, token) {
  const response = await fetch(`http://127.0.0.1:${port}/${token}`,
                               { method: 'POST', cache: 'no-store' });
  if (!response.ok) throw new Error('the side channel refused: ' + response.status);
  return response;
}

// Hands the bytes on in blocks of a multiple of three bytes (but the last), so
// that the page builds the data URL's base64 while the rest still arrives.
async function fetchAside(port, token, deliver) {
  const reader = (await openAside(port, token)).body.getReader();
  const BLOCK = 3 << 20;  // a multiple of three: its base64 has no padding
  let block = new Uint8Array(BLOCK);
  let filled = 0;
  for (let read = await reader.read(); !read.done; read = await reader.read()) {
    for (let at = 0; at < read.value.length;) {
      const n = Math.min(BLOCK - filled, read.value.length - at);
      block.set(read.value.subarray(at, at + n), filled);
      filled += n;
      at += n;
      if (filled < BLOCK) continue;
      deliver(block.buffer, false);
      block = new Uint8Array(BLOCK);
      filled = 0;
    }
  }
  deliver(block.buffer.slice(0, filled), true);
}

// Chromium: in the frame relay.js keeps in the page, which posts it tokens.
// The extension's origin may reach the loopback port where the page's may not;
// the service worker confirms each token the host gave this tab and names the port.
if (typeof window !== 'undefined' && window.parent !== window) {
  window.addEventListener('message', async (event) => {
    if (event.source !== window.parent || typeof event.data !== 'string') return;
    const token = event.data;
    const post = (message, transfer) =>
      window.parent.postMessage(Object.assign({ 'tarsen-web': 'side', token }, message), '*',
                                transfer || []);
    try {
      const port = await chrome.runtime.sendMessage({ side: token });
      if (!port) throw new Error('not a token of the host');
      await fetchAside(port, token, (buffer, last) => post({ buffer, last }, [buffer]));
    } catch (error) {
      post({ failed: true });
    }
  });
}

// Firefox: in a worker of the background script's, which posts it tokens (the
// background's own thread, busy with messaging, fetches a third slower). One
// Blob: its bytes reach the page's process without a copy in any script's heap
// (blocks of bytes, each cloned there, take half as long again; Blobs per block
// longer still).
if (typeof window === 'undefined') {
  self.onmessage = async (event) => {
    const { port, token } = event.data;
    try {
      self.postMessage({ token, blob: await (await openAside(port, token)).blob() });
    } catch (error) {
      self.postMessage({ token, failed: true });
    }
  };
}
