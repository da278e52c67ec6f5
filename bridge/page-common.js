// What the page runners of both browsers share: options, the private home
// with harlune-sim, the loopback page server, the host's manifest and the
// page's testRunner. scripts/chromium-page documents the options.
'use strict';

const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { execFile, execFileSync } = require('child_process');

function usage(runner, why) {
  process.stderr.write(`${runner}: ${why}\n` +
    `usage: ${runner} [--host NAME] [--answers FILE] [--home DIR] [--timeout S]\n` +
    '       [--screenshot FILE.png] [--sim-arg ARG]... [--file NAME=BYTES]...\n' +
    '       [--build DIR | --root DIR] [--window] PAGE.html\n');
  process.exit(2);
}

function parseArguments(runner, argv) {
  const options = { runner, host: '127.0.0.1', timeout: 60, simArgs: [], files: [],
                    build: path.join(__dirname, '..', 'build') };
  for (let i = 0; i < argv.length; ++i) {
    const arg = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) usage(runner, `${arg} needs a value`);
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
    else if (arg === '--root') options.root = path.resolve(value());
    else if (arg === '--window') options.window = true;
    else if (arg.startsWith('-')) usage(runner, `unknown option ${arg}`);
    else if (options.page) usage(runner, 'only one page at a time');
    else options.page = path.resolve(arg);
  }
  if (!options.page) usage(runner, 'no page given');
  if (!(options.timeout > 0)) usage(runner, 'bad --timeout');
  if (!/^[A-Za-z0-9.-]+$/.test(options.host)) usage(runner, `bad --host ${options.host}`);
  // The programs and the extension: from a build folder, or as a package
  // unpacked under --root placed them.
  if (options.root) {
    options.hostBinary = path.join(options.root, 'usr/lib/tarsen-web/tarsen-web-host');
    options.simulator = path.join(options.root, 'usr/bin/harlune-sim');
    options.extension = path.join(options.root, 'usr/share/tarsen-web/extension');
  } else {
    options.hostBinary = path.join(options.build, 'bridge', 'tarsen-web-host');
    options.simulator = path.join(options.build, 'tools', 'harlune-sim', 'harlune-sim');
    options.extension = path.join(__dirname, 'extension');
  }
  for (const file of [options.page, options.hostBinary, options.simulator, options.extension])
    if (!fs.existsSync(file)) usage(runner, `${file} does not exist (build first, or give --build)`);
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

// The private home: the application installed, the page's files made, and a
// browser profile folder beside it. Returns what the run must clean up.
function prepare(options, profilePrefix) {
  const ownHome = !options.home;
  const home = options.home || fs.mkdtempSync(path.join(os.tmpdir(), `${profilePrefix}-home-`));
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `${profilePrefix}-profile-`));
  fs.mkdirSync(path.join(home, 'Library/Logs/Tarsen'), { recursive: true });
  const env = { ...process.env, HOME: home };
  // The user's own folders stay out of the browser's reach.
  for (const name of Object.keys(env))
    if (name.startsWith('XDG_') && name !== 'XDG_RUNTIME_DIR') delete env[name];
  execFileSync(options.simulator, ['--make-bundle', path.join(home, 'Applications'),
                                   '--write-path-hint', ...options.simArgs], { env });
  for (const spec of options.files) {
    const [name, bytes] = spec.split('=');
    if (name.endsWith('/')) fs.mkdirSync(path.join(home, name), { recursive: true });
    else patternFile(path.join(home, name), Number(bytes));
  }
  if (options.answers) {
    const answers = path.join(profile, 'answers.json');
    fs.writeFileSync(answers, fs.readFileSync(options.answers, 'utf8').split('$HOME').join(home));
    env.TARSEN_WEB_ANSWERS = answers;
  }
  return { home, ownHome, profile, env };
}

// Where each browser looks for the host's manifest, given the run's home and
// profile, and where a package places it system-wide.
const MANIFESTS = {
  chromium: { user: (run) => path.join(run.profile, 'NativeMessagingHosts'),
              system: 'etc/chromium/native-messaging-hosts' },
  firefox: { user: (run) => path.join(run.home, '.mozilla/native-messaging-hosts'),
             system: 'usr/lib/mozilla/native-messaging-hosts' }
};

// Makes the host reachable for this run's browser; returns the extension id
// the manifest allows. From a package, its own manifest is used, with the host
// path moved under --root.
function installHost(options, run, browser) {
  if (!options.root) {
    const installed = execFileSync(path.join(__dirname, 'install-host'),
      ['--browser', browser, '--build', options.build, '--user-data-dir', run.profile],
      { env: run.env }).toString();
    return new RegExp(`for ${browser} extension (\\S+)`).exec(installed)[1];
  }
  const name = 'com.tarsen.web.json';
  const manifest = JSON.parse(fs.readFileSync(
    path.join(options.root, MANIFESTS[browser].system, name), 'utf8'));
  manifest.path = path.join(options.root, manifest.path);
  const folder = MANIFESTS[browser].user(run);
  fs.mkdirSync(folder, { recursive: true });
  fs.writeFileSync(path.join(folder, name), JSON.stringify(manifest, null, 2));
  const allowed = (manifest.allowed_origins || manifest.allowed_extensions)[0];
  return allowed.replace(/^chrome-extension:\/\/|\/$/g, '');
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
// prints the ones still running.
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

function runProgram(program, args) {
  return new Promise((resolve) => execFile(program, args, { timeout: 30000 },
    (error, stdout) => resolve({ code: error ? (error.code || 1) : 0, out: String(stdout) })));
}

// The testRunner calls both runners answer alike (xdotool, processes,
// wait-exit): a promise of the answer, or null for any other call.
function sharedCall(options, what, arg) {
  if (what === 'xdotool') {
    if (!options.window) return Promise.reject(new Error('xdotool needs --window'));
    return runProgram('xdotool', arg.map(String));  // DISPLAY: the display this run was given
  }
  if (what === 'processes') return Promise.resolve(ownProcesses());
  if (what === 'wait-exit') {
    return runProgram('python3', ['-c', WAIT_FOR_EXIT, '20', ...arg.map(Number)]).then(
      (left) => (left.out.trim() ? left.out.trim().split(' ').map(Number) : []));
  }
  return null;
}

// Where openTab(NAME) goes: the page server's NAME, or with "file:NAME" the
// file beside the page, a page without a host.
function tabAddress(options, origin, name) {
  if (!name.startsWith('file:')) return `${origin}/${name}`;
  const folder = path.dirname(options.page);
  const file = path.join(folder, path.normalize(name.slice(5)));
  if (!file.startsWith(folder + path.sep)) throw new Error(`openTab: ${name} is not beside the page`);
  return 'file://' + file;
}

function cleanUp(run) {
  stopSimulator(run.home);
  fs.rmSync(run.profile, { recursive: true, force: true });
  if (run.ownHome) fs.rmSync(run.home, { recursive: true, force: true });
}

// The page's testRunner, over a runner-given window.__tarsenRunner(what, arg)
// that returns a promise.
const RUNNER_SCRIPT = `
(() => {
  const call = (what, arg) => window.__tarsenRunner(what, arg === undefined ? null : arg);
  window.testRunner = Object.freeze({
    waitUntilDone: () => { call('wait'); },
    notifyDone: () => { call('done'); },
    // A second tab on a page beside this one (file:NAME: as a file), once
    // loaded; closing a tab by that name (or the calling one), once closed.
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

function finish(runner, problems) {
  for (const problem of problems) process.stderr.write(`${runner}: ${problem}\n`);
  process.exit(problems.length ? 1 : 0);
}

module.exports = { parseArguments, prepare, installHost, serve, sharedCall, tabAddress, cleanUp, finish,
                   RUNNER_SCRIPT };
