// Runs one page in headless Firefox (a real window with --window) with the
// Tarsen Web extension, its native host and harlune-sim in a private home,
// prints the page's console transcript and exits 0 when the page finished
// without an uncaught error. Firefox is driven over WebDriver BiDi with node's
// own library. Started by scripts/firefox-page, which documents the options.
'use strict';

const crypto = require('crypto');
const events = require('events');
const fs = require('fs');
const http = require('http');
const path = require('path');
const { spawn } = require('child_process');
const common = require('./page-common');

// A WebSocket client for the one connection to the browser: text frames,
// masked as a client's must be.
class Socket extends events.EventEmitter {
  constructor(socket, head) {
    super();
    this.socket = socket;
    this.buffer = head;
    this.parts = [];
    socket.on('data', (data) => { this.buffer = Buffer.concat([this.buffer, data]); this.read(); });
    socket.on('close', () => this.emit('close'));
    socket.on('error', () => {});
    this.read();
  }

  read() {
    for (;;) {
      const b = this.buffer;
      if (b.length < 2) return;
      let length = b[1] & 127;
      let at = 2;
      if (length === 126) { if (b.length < 4) return; length = b.readUInt16BE(2); at = 4; }
      if (length === 127) { if (b.length < 10) return; length = Number(b.readBigUInt64BE(2)); at = 10; }
      if (b.length < at + length) return;
      const opcode = b[0] & 15;
      const payload = b.subarray(at, at + length);
      this.buffer = b.subarray(at + length);
      if (opcode === 9) this.write(10, payload);
      else if (opcode === 8) this.socket.end();
      else if (opcode <= 2) {
        this.parts.push(payload);
        if (b[0] & 0x80) {
          this.emit('message', Buffer.concat(this.parts).toString('utf8'));
          this.parts = [];
        }
      }
    }
  }

  write(opcode, payload) {
    const head = payload.length < 126 ? Buffer.from([0x80 | opcode, 0x80 | payload.length])
      : payload.length < 65536 ? Buffer.from([0x80 | opcode, 0x80 | 126, payload.length >> 8, payload.length & 255])
      : Buffer.concat([Buffer.from([0x80 | opcode, 0x80 | 127]),
                       (() => { const n = Buffer.alloc(8); n.writeBigUInt64BE(BigInt(payload.length)); return n; })()]);
    const mask = crypto.randomBytes(4);
    const masked = Buffer.from(payload);
    for (let i = 0; i < masked.length; ++i) masked[i] ^= mask[i & 3];
    this.socket.write(Buffer.concat([head, mask, masked]));
  }

  send(text) { this.write(1, Buffer.from(text, 'utf8')); }

  static connect(url) {
    return new Promise((resolve, reject) => {
      const request = http.request(url.replace(/^ws:/, 'http:'), { headers: {
        Connection: 'Upgrade', Upgrade: 'websocket',
        'Sec-WebSocket-Key': crypto.randomBytes(16).toString('base64'),
        'Sec-WebSocket-Version': '13' } });
      request.on('upgrade', (response, socket, head) => resolve(new Socket(socket, head)));
      request.on('response', (response) => reject(new Error(`no WebSocket at ${url}: ${response.statusCode}`)));
      request.on('error', reject);
      request.end();
    });
  }
}

// WebDriver BiDi commands as promises; events as emitted (method, params).
class Bidi extends events.EventEmitter {
  constructor(socket) {
    super();
    this.socket = socket;
    this.next = 0;
    this.waiting = new Map();
    socket.on('message', (text) => {
      const message = JSON.parse(text);
      const call = this.waiting.get(message.id);
      if (call) {
        this.waiting.delete(message.id);
        if (message.type === 'error') call.reject(new Error(`${call.method}: ${message.error}: ${message.message}`));
        else call.resolve(message.result);
      } else if (message.type === 'event') {
        this.emit('event', message.method, message.params);
      }
    });
    socket.on('close', () => {
      for (const call of this.waiting.values()) call.reject(new Error('the browser closed the connection'));
      this.waiting.clear();
    });
  }

  send(method, params = {}) {
    const id = ++this.next;
    return new Promise((resolve, reject) => {
      this.waiting.set(id, { method, resolve, reject });
      this.socket.send(JSON.stringify({ id, method, params }));
    });
  }
}

// Firefox prints where its BiDi server listens; it picks the port itself.
function startFirefox(options, run) {
  const prefs = {
    'browser.shell.checkDefaultBrowser': false,
    'browser.startup.homepage_override.mstone': 'ignore',
    'datareporting.policy.dataSubmissionEnabled': false,
    'dom.security.https_first': false,
    'network.dns.localDomains': options.host
  };
  fs.writeFileSync(path.join(run.profile, 'user.js'), Object.entries(prefs)
    .map(([name, value]) => `user_pref(${JSON.stringify(name)}, ${JSON.stringify(value)});\n`).join(''));
  const firefox = spawn(process.env.FIREFOX || '/usr/bin/firefox-esr',
    [...(options.window ? [] : ['--headless']), '--no-remote', '--profile', run.profile,
     '--remote-debugging-port=0', 'about:blank'],
    { env: { ...run.env, MOZ_CRASHREPORTER_DISABLE: '1' }, detached: true,
      stdio: ['ignore', 'ignore', 'pipe'] });
  const listening = new Promise((resolve, reject) => {
    let text = '';
    const seen = (data) => {
      text += data;
      const url = /WebDriver BiDi listening on (ws:\/\/\S+)/.exec(text);
      if (url) { firefox.stderr.off('data', seen); firefox.stderr.resume(); resolve(url[1]); }
    };
    firefox.stderr.setEncoding('utf8');
    firefox.stderr.on('data', seen);
    firefox.on('exit', (code) => reject(new Error(`Firefox ended (${code}) before it listened`)));
  });
  const ended = new Promise((resolve) => firefox.on('exit', resolve));
  return { firefox, listening, ended };
}

const within = (promise, seconds, what) => {
  let timer;
  const timeout = new Promise((resolve, reject) => {
    timer = setTimeout(() => reject(new Error(`${what} took longer than ${seconds} s`)), seconds * 1000);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
};

async function main() {
  const options = common.parseArguments('firefox-page', process.argv.slice(2));
  const run = common.prepare(options, 'firefox-page');
  common.installHost(options, run, 'firefox');
  const server = await common.serve(path.dirname(options.page));
  const origin = `http://${options.host}:${server.address().port}`;

  const problems = [];
  let browser = null;
  let bidi = null;
  // Stopped from outside (a test's time-out), the run still ends what it started.
  for (const signal of ['SIGTERM', 'SIGINT', 'SIGHUP']) {
    process.once(signal, () => {
      if (browser) try { process.kill(-browser.firefox.pid, 'SIGKILL'); } catch (e) { /* gone */ }
      server.close();
      common.cleanUp(run);
      process.exit(1);
    });
  }
  try {
    browser = startFirefox(options, run);
    const socket = await within(browser.listening.then(
      (url) => Socket.connect(url.replace(/\/?$/, '/session'))), 60, 'starting Firefox');
    bidi = new Bidi(socket);
    await bidi.send('session.new', { capabilities: {} });
    await bidi.send('webExtension.install', { extensionData: { type: 'path', path: options.extension } });

    let waiting = false;
    let done = false;
    let wake = () => {};
    const finished = new Promise((resolve) => { wake = resolve; });
    const names = new Map();    // top-level context -> tab name ('' for the page)
    const parents = new Map();  // frame context -> its parent
    const tabOf = (context) => {
      while (parents.has(context)) context = parents.get(context);
      return context;
    };
    const opening = async (name) => {
      const { context } = await bidi.send('browsingContext.create', { type: 'tab' });
      names.set(context, name);
      const url = common.tabAddress(options, origin, name);
      await within(bidi.send('browsingContext.navigate', { context, url, wait: 'complete' }),
                   options.timeout, `loading ${name}`);
    };
    bidi.on('event', (method, params) => {
      if (method === 'browsingContext.contextCreated' && params.parent)
        parents.set(params.context, params.parent);
      if (method === 'log.entryAdded') {
        const tab = tabOf(params.source && params.source.context);
        if (!names.has(tab)) return;
        const name = names.get(tab);
        if (params.type === 'console') process.stdout.write((name ? `[${name}] ` : '') + params.text + '\n');
        else if (params.type === 'javascript' && params.level === 'error') {
          problems.push(`uncaught script error${name ? ' in ' + name : ''}: ${params.text}`);
          wake();
        }
      }
      if (method === 'script.message' && params.channel === 'tarsen-runner') {
        const { id, what, arg } = JSON.parse(params.data.value);
        const context = params.source.context;
        const answer = (value) => bidi.send('script.callFunction', {
          functionDeclaration: '(id, value) => window.__tarsenRunnerAnswer(id, JSON.parse(value))',
          awaitPromise: false, target: { context },
          arguments: [{ type: 'number', value: id },
                      { type: 'string', value: JSON.stringify(value === undefined ? null : value) }]
        }).catch(() => {});
        if (what === 'wait') waiting = true;
        if (what === 'done') { done = true; wake(); }
        const shared = common.sharedCall(options, what, arg);
        if (shared) shared.then(answer, (error) => { problems.push(error.message); wake(); });
        if (what === 'open') opening(arg).then(() => answer(), (error) => { problems.push(error.message); wake(); });
        if (what === 'close') {
          const tab = arg === null ? tabOf(context) : [...names.keys()].find((c) => names.get(c) === arg);
          if (tab === tabOf(context)) answer().then(() => bidi.send('browsingContext.close', { context: tab }));
          else if (tab) bidi.send('browsingContext.close', { context: tab }).then(() => answer());
          else answer();
        }
      }
    });
    await bidi.send('session.subscribe', { events: ['log.entryAdded', 'script.message',
                                                    'browsingContext.contextCreated'] });
    await bidi.send('script.addPreloadScript', {
      functionDeclaration: `(channel) => {
        let next = 0;
        let waits = false;
        const answers = new Map();
        window.__tarsenRunnerAnswer = (id, value) => {
          const resolve = answers.get(id);
          answers.delete(id);
          if (resolve) resolve(value);
        };
        window.__tarsenRunnerWaits = () => waits;
        window.__tarsenRunner = (what, arg) => new Promise((resolve) => {
          const id = ++next;
          if (what === 'wait') waits = true;
          answers.set(id, resolve);
          channel(JSON.stringify({ id, what, arg }));
        });
        ${common.RUNNER_SCRIPT}
      }`,
      arguments: [{ type: 'channel', value: { channel: 'tarsen-runner' } }] });

    const tree = await bidi.send('browsingContext.getTree', { maxDepth: 0 });
    const page = tree.contexts[0].context;
    names.set(page, '');
    await within(bidi.send('browsingContext.navigate', {
      context: page, url: `${origin}/${path.basename(options.page)}`, wait: 'complete' }),
    options.timeout, 'loading the page');
    // The page's word, in case its message is still on the way.
    const asked = await bidi.send('script.callFunction', { functionDeclaration: '() => window.__tarsenRunnerWaits()',
      awaitPromise: false, target: { context: page } }).catch(() => null);
    if (asked && asked.result && asked.result.value === true) waiting = true;
    if (waiting && !done && problems.length === 0) {
      await within(finished, options.timeout, 'the page').catch(() => {});
      if (!done && problems.length === 0)
        problems.push(`the page did not finish within ${options.timeout} s (did it call testRunner.notifyDone()?)`);
    }
    if (options.screenshot) {
      const shot = await bidi.send('browsingContext.captureScreenshot', { context: page });
      fs.writeFileSync(options.screenshot, Buffer.from(shot.data, 'base64'));
    }
  } catch (error) {
    problems.push(String(error && error.message || error));
  } finally {
    if (browser) {
      if (bidi) await within(bidi.send('browser.close'), 10, 'closing Firefox').catch(() => {});
      // Firefox and the processes it started form their own group: ours to end.
      const gone = await within(browser.ended, 10, 'Firefox ending').then(() => true, () => false);
      if (!gone) try { process.kill(-browser.firefox.pid, 'SIGKILL'); } catch (e) { /* gone */ }
    }
    server.close();
    common.cleanUp(run);
  }
  common.finish('firefox-page', problems);
}

main();
