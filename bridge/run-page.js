// Runs one page in headless Chromium (a real window with --window) with the Tarsen Web extension, its
// native host and harlune-sim in a private home, prints the page's console
// transcript and exits 0 when the page finished without an uncaught error.
// Started by scripts/chromium-page, which documents the options.
'use strict';

const path = require('path');
const { chromium } = require('playwright-core');
const common = require('./page-common');

async function main() {
  const options = common.parseArguments('chromium-page', process.argv.slice(2));
  const run = common.prepare(options, 'chromium-page');
  const extensionId = common.installHost(options, run, 'chromium');
  const { env, profile } = run;

  const folder = path.dirname(options.page);
  const server = await common.serve(folder);
  const origin = `http://${options.host}:${server.address().port}`;
  const args = [...(options.window ? [] : ['--headless=new']),
                '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking', '--disable-component-update',
                '--disable-sync', `--load-extension=${options.extension}`,
                `--disable-extensions-except=${options.extension}`];
  if (options.host !== '127.0.0.1')
    args.push(`--host-resolver-rules=MAP ${options.host} 127.0.0.1`);

  const problems = [];
  let context = null;
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
        await tab.goto(common.tabAddress(options, origin, arg));
      }
      const shared = common.sharedCall(options, what, arg);
      if (shared) return shared;
      if (what === 'close') {
        const tab = arg === null ? source.page
                                 : [...names.keys()].find((page) => names.get(page) === arg);
        if (tab === source.page) setTimeout(() => tab.close().catch(() => {}), 0);
        else if (tab) await tab.close();
      }
    });
    await context.addInitScript(common.RUNNER_SCRIPT);

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
  } catch (error) {
    problems.push(String(error && error.message || error));
  } finally {
    if (context) await context.close().catch(() => {});
    server.close();
    common.cleanUp(run);
  }
  common.finish('chromium-page', problems);
}

main();
