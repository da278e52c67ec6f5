// Runs one page in headless Chromium with the Tarsen Web extension, its
// native host and harlune-sim in a private home, prints the page's console
// transcript and exits 0 when the page finished without an uncaught error.
// Started by scripts/chromium-page, which documents the options.
'use strict';

const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { execFile, execFileSync } = require('child_process');
const { chromium } = require('playwright-core');

const EXTENSION = path.join(__dirname, 'extension');

function usage(why) {
  process.stderr.write(`chromium-page: ${why}\n` +
    'usage: chromium-page [--host NAME] [--answers FILE] [--home DIR] [--timeout S]\n' +
    '                     [--screenshot FILE.png] [--sim-arg ARG]... [--file NAME=BYTES]...\n' +
    '                     [--build DIR] [--window] PAGE.html\n');
  process.exit(2);
}

function parseArguments(argv) {
  const options = { host: '127.0.0.1', timeout: 60, simArgs: [], files: [],
                    build: path.join(__dirname, '..', 'build') };
  for (let i = 0; i < argv.length; ++i) {
    const arg = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) usage(`${arg} needs a value`);
      return argv[++i];
    };
    if (arg === '--host') options.host = value();
    else if (arg === '--answers') options.answers = path.resolve(value());
    else if (arg === '--home') options.home = path.resolve(value());
    else if (arg === '--timeout') options.timeout = Number(value());
    else if (arg === '--screenshot') options.screenshot = path.resolve(value());
    else if (arg === '--sim-arg') options.simArgs.push(value());
    else if (arg === '--file') options.files.push(value());
    else if (arg === '--build') options.build = path.resolve(value());
    else if (arg === '--window') options.window = true;
    else if (arg.startsWith('-')) usage(`unknown option ${arg}`);
    else if (options.page) usage('only one page at a time');
    else options.page = path.resolve(arg);
  }
  if (!options.page) usage('no page given');
  if (!(options.timeout > 0)) usage('bad --timeout');
  if (!/^[A-Za-z0-9.-]+$/.test(options.host)) usage(`bad --host ${options.host}`);
  return options;
}

// A file whose every byte tells its position, so a read that lost or
// reordered a piece shows.
function patternFile(file, size) {
  const block = Buffer.alloc(1 << 20);
  const out = fs.openSync(file, 'w');
  for (let at = 0; at < size; at += block.length) {
    const n = Math.min(block.length, size - at);
    for (let i = 0; i < n; ++i) block[i] = ((at + i) * 7 + ((at + i) >> 16)) & 255;
    fs.writeSync(out, block, 0, n);
  }
  fs.closeSync(out);
}

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.json': 'application/json',
                '.css': 'text/css', '.png': 'image/png', '.txt': 'text/plain' };

function serve(folder) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    if (name === '/favicon.ico') {  // asked by the browser, not by the page
      response.writeHead(204);
      response.end();
      return;
    }
    const file = path.join(folder, path.normalize(name));
    if (!file.startsWith(folder) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

function stopSimulator(home) {
  const pidFile = path.join(home, 'Library/Application Support/Tarsen/Tarsen Harlune/var/run/process.pid');
  if (!fs.existsSync(pidFile)) return;
  const pid = Number(fs.readFileSync(pidFile, 'utf8').trim());
  // Only the application this run installed in its own home.
  if (pid > 0) try { process.kill(pid); } catch (e) { /* gone already */ }
}

// The hosts and choosers this run started: descendants of this process.
function ownProcesses() {
  const parent = (pid) => {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      return Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
    } catch (e) {
      return 0;
    }
  };
  const found = [];
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^[0-9]+$/.test(entry)) continue;
    let name;
    try { name = fs.readFileSync(`/proc/${entry}/comm`, 'utf8').trim(); } catch (e) { continue; }
    if (name !== 'tarsen-web-host' && name !== 'zenity') continue;
    for (let pid = parent(entry); pid > 1; pid = parent(pid))
      if (pid === process.pid) { found.push({ pid: Number(entry), name }); break; }
  }
  return found;
}

// Waits (on process descriptors, at most `seconds`) for the processes to end;
// the ones still running.
const WAIT_FOR_EXIT = `
import os, select, sys, time
poll, fds = select.poll(), {}
for pid in map(int, sys.argv[2:]):
    try:
        fd = os.pidfd_open(pid)
    except ProcessLookupError:
        continue
    fds[fd] = pid
    poll.register(fd, select.POLLIN)
end = time.monotonic() + float(sys.argv[1])
while fds and time.monotonic() < end:
    for fd, _ in poll.poll(max(0, end - time.monotonic()) * 1000):
        poll.unregister(fd)
        del fds[fd]
print(" ".join(map(str, fds.values())))
`;

function run(program, args, env) {
  return new Promise((resolve) => execFile(program, args, { env, timeout: 30000 },
    (error, stdout) => resolve({ code: error ? (error.code || 1) : 0, out: String(stdout) })));
}

const RUNNER_SCRIPT = `
(() => {
  const call = (what, arg) => window.__tarsenRunner(what, arg === undefined ? null : arg);
  window.testRunner = Object.freeze({
    waitUntilDone: () => { call('wait'); },
    notifyDone: () => { call('done'); },
    // A second tab on a page beside this one (file:NAME: as a file), once loaded; closing a tab by
    // that name (or the calling one), once closed.
    openTab: (name) => call('open', String(name)),
    closeTab: (name) => call('close', name === undefined ? null : String(name)),
    // With --window: xdotool on this run's display ({code, out}); the hosts and
    // choosers this run started ([{pid, name}]), and a bounded wait for their
    // end (the pids still running).
    xdotool: (...args) => call('xdotool', args.map(String)),
    processes: () => call('processes'),
    waitForExit: (pids) => call('wait-exit', pids.map(Number))
  });
})();`;

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const hostBinary = path.join(options.build, 'bridge', 'tarsen-web-host');
  const simulator = path.join(options.build, 'tools', 'harlune-sim', 'harlune-sim');
  for (const file of [options.page, hostBinary, simulator])
    if (!fs.existsSync(file)) usage(`${file} does not exist (build first, or give --build)`);

  const ownHome = !options.home;
  const home = options.home || fs.mkdtempSync(path.join(os.tmpdir(), 'chromium-page-home-'));
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'chromium-page-profile-'));
  fs.mkdirSync(path.join(home, 'Library/Logs/Tarsen'), { recursive: true });
  execFileSync(simulator, ['--make-bundle', path.join(home, 'Applications'), '--write-path-hint',
                           ...options.simArgs], { env: { ...process.env, HOME: home } });
  for (const spec of options.files) {
    const [name, bytes] = spec.split('=');
    if (name.endsWith('/')) fs.mkdirSync(path.join(home, name), { recursive: true });
    else patternFile(path.join(home, name), Number(bytes));
  }

  const installed = execFileSync(path.join(__dirname, 'install-host'),
                                 ['--build', options.build, '--user-data-dir', profile]).toString();
  const extensionId = /for extension ([a-p]{32})/.exec(installed)[1];
  const env = { ...process.env, HOME: home };
  if (options.answers) {
    const answers = path.join(profile, 'answers.json');
    fs.writeFileSync(answers, fs.readFileSync(options.answers, 'utf8').split('$HOME').join(home));
    env.TARSEN_WEB_ANSWERS = answers;
  }

  const folder = path.dirname(options.page);
  const server = await serve(folder);
  const origin = `http://${options.host}:${server.address().port}`;
  const args = [...(options.window ? [] : ['--headless=new']), '--no-sandbox', '--disable-gpu', '--disable-quic',
                '--no-first-run', '--disable-background-networking', '--disable-component-update',
                '--disable-sync', `--load-extension=${EXTENSION}`,
                `--disable-extensions-except=${EXTENSION}`];
  if (options.host !== '127.0.0.1')
    args.push(`--host-resolver-rules=MAP ${options.host} 127.0.0.1`);

  const problems = [];
  let context = null;
  let exitCode = 1;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: false,
      ignoreDefaultArgs: ['--disable-extensions'], args, env });
    let worker = context.serviceWorkers().find((w) => w.url().includes(extensionId));
    if (!worker) worker = await context.waitForEvent('serviceworker', { timeout: 15000 });

    let waiting = false;
    let done = false;
    let wake = () => {};
    const names = new Map();
    const watch = (page, name) => {
      names.set(page, name);
      const prefix = () => (name ? `[${name}] ` : '');
      page.on('console', (message) => process.stdout.write(prefix() + message.text() + '\n'));
      page.on('pageerror', (error) => {
        problems.push(`uncaught script error${name ? ' in ' + name : ''}: ${error.message}`);
        wake();
      });
    };
    await context.exposeBinding('__tarsenRunner', async (source, what, arg) => {
      if (what === 'wait') waiting = true;
      if (what === 'done') { done = true; wake(); }
      if (what === 'open') {
        const tab = await context.newPage();
        watch(tab, arg);
        // "file:NAME": the page beside this one as a file, a page without a host.
        await tab.goto(arg.startsWith('file:') ? 'file://' + path.join(folder, arg.slice(5))
                                               : `${origin}/${arg}`);
      }
      if (what === 'xdotool') {
        if (!options.window) throw new Error('xdotool needs --window');
        return run('xdotool', arg, process.env);  // DISPLAY: the display this run was given
      }
      if (what === 'processes') return ownProcesses();
      if (what === 'wait-exit') {
        const left = await run('python3', ['-c', WAIT_FOR_EXIT, '20', ...arg], process.env);
        return left.out.trim() ? left.out.trim().split(' ').map(Number) : [];
      }
      if (what === 'close') {
        const tab = arg === null ? source.page
                                 : [...names.keys()].find((page) => names.get(page) === arg);
        if (tab === source.page) setTimeout(() => tab.close().catch(() => {}), 0);
        else if (tab) await tab.close();
      }
    });
    await context.addInitScript(RUNNER_SCRIPT);

    const page = context.pages()[0] || await context.newPage();
    watch(page, '');
    const finished = new Promise((resolve) => { wake = resolve; });
    await page.goto(`${origin}/${path.basename(options.page)}`, { timeout: options.timeout * 1000 });
    if (waiting && !done && problems.length === 0) {
      let timer;
      const timeout = new Promise((resolve) => { timer = setTimeout(resolve, options.timeout * 1000); });
      await Promise.race([finished, timeout]);
      clearTimeout(timer);
      if (!done && problems.length === 0)
        problems.push(`the page did not finish within ${options.timeout} s (did it call testRunner.notifyDone()?)`);
    }
    if (options.screenshot) await page.screenshot({ path: options.screenshot });
    exitCode = problems.length ? 1 : 0;
  } catch (error) {
    problems.push(String(error && error.message || error));
  } finally {
    if (context) await context.close().catch(() => {});
    server.close();
    stopSimulator(home);
    fs.rmSync(profile, { recursive: true, force: true });
    if (ownHome) fs.rmSync(home, { recursive: true, force: true });
  }
  for (const problem of problems) process.stderr.write(`chromium-page: ${problem}\n`);
  process.exit(problems.length ? 1 : exitCode);
}

main();
