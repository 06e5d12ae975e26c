// Shared by the browser tests and the bench: a static file server on
// 127.0.0.1 (random port) and the three browser engines from Debian behind
// one small page interface:
//   chromium  Debian's chromium through playwright-core (headless)
//   firefox   Debian's firefox-esr through puppeteer-core over WebDriver BiDi
//   webkit    WebKitGTK's MiniBrowser through WebKitWebDriver and
//             selenium-webdriver, on an Xvfb display of its own
// Every browser gets a fresh profile in a temporary folder and is ended
// with its whole process group.
import http from 'node:http';
import net from 'node:net';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);

export const ENGINES = ['chromium', 'firefox', 'webkit'];

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.txt': 'text/plain', '.jpg': 'image/jpeg', '.png': 'image/png', '.gif': 'image/gif' };

// Serves the files under root; nothing outside it. Counts bytes sent. A
// request whose path matches stats.hold waits until stats.release() lets
// it go (all held requests, or those whose path matches the given pattern).
export function serve(root) {
  const stats = {
    bytes: 0,
    hold: null,
    waiting: [],
    release(only) {
      if (!only) this.hold = null;
      const go = this.waiting.filter((w) => !only || only.test(w.rel));
      this.waiting = this.waiting.filter((w) => !go.includes(w));
      go.forEach((w) => w.send());
    },
  };
  const server = http.createServer((req, res) => {
    const rel = decodeURIComponent(new URL(req.url, 'http://127.0.0.1').pathname);
    const file = path.resolve(root, '.' + rel);
    if (!file.startsWith(path.resolve(root) + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end('not found');
      return;
    }
    const send = () => {
      const body = fs.readFileSync(file);
      stats.bytes += body.length;
      res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream', 'Cache-Control': 'no-store' });
      res.end(body);
    };
    if (stats.hold && stats.hold.test(rel)) stats.waiting.push({ rel, send });
    else send();
  });
  const sockets = new Set();
  server.on('connection', (s) => {
    sockets.add(s);
    s.on('close', () => sockets.delete(s));
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve({
      url: `http://127.0.0.1:${server.address().port}`,
      stats,
      close: () => new Promise((r) => {
        stats.release();
        for (const s of sockets) s.destroy();
        server.close(r);
      }),
    }));
  });
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function withTimeout(promise, ms, what) {
  let timer;
  return Promise.race([promise, new Promise((_, fail) => {
    timer = setTimeout(() => fail(new Error(`${what} took longer than ${ms} ms`)), ms);
  })]).finally(() => clearTimeout(timer));
}

// Processes started here, ended with their groups when node exits.
const started = new Set();
function startProcess(command, args, options = {}) {
  const child = spawn(command, args, { detached: true, ...options });
  started.add(child);
  child.on('exit', () => started.delete(child));
  return child;
}
function endProcess(child) {
  if (!child || child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  const exited = new Promise((r) => child.once('exit', r));
  try {
    process.kill(-child.pid, 'SIGTERM');
  } catch (e) { /* already gone */ }
  return withTimeout(exited, 5000, 'ending ' + child.spawnfile).catch(() => {
    try {
      process.kill(-child.pid, 'SIGKILL');
    } catch (e) { /* already gone */ }
  });
}
const endAll = () => {
  for (const child of started) {
    try {
      process.kill(-child.pid, 'SIGKILL');
    } catch (e) { /* already gone */ }
  }
};
process.on('exit', endAll);
for (const signal of ['SIGINT', 'SIGTERM']) {
  process.on(signal, () => {
    endAll();
    process.exit(1);
  });
}

function freePort() {
  return new Promise((resolve, reject) => {
    const s = net.createServer();
    s.on('error', reject);
    s.listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });
}

// An Xvfb display of its own: Xvfb picks a free number and writes it to
// the pipe given as -displayfd.
async function startXvfb() {
  const child = startProcess('Xvfb', ['-displayfd', '3', '-screen', '0', '1600x1200x24', '-nolisten', 'tcp', '-noreset'],
    { stdio: ['ignore', 'ignore', 'pipe', 'pipe'] });
  let errors = '';
  child.stderr.on('data', (d) => { errors += d; });
  const display = await withTimeout(new Promise((resolve, reject) => {
    let text = '';
    child.stdio[3].on('data', (d) => {
      text += d;
      if (text.includes('\n')) resolve(':' + text.trim());
    });
    child.on('error', reject);
    child.on('exit', (code) => reject(new Error(`Xvfb ended (${code}): ${errors.trim()}`)));
  }), 15000, 'starting Xvfb');
  return { child, display };
}

const MINIBROWSER_LEAST_WIDTH = 420;

function findWebKitBrowser() {
  const candidates = [process.env.VELTRO_MINIBROWSER, '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser',
    '/usr/lib/aarch64-linux-gnu/webkit2gtk-4.1/MiniBrowser', '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.0/MiniBrowser'];
  const found = candidates.find((c) => c && fs.existsSync(c));
  if (!found) throw new Error('WebKitGTK MiniBrowser is missing (Debian package webkit2gtk-driver)');
  return found;
}

// Launches an engine. options.reducedMotion starts it with the visitor's
// reduced-motion preference (Firefox and WebKit take it per browser).
export async function launch(engine = 'chromium', options = {}) {
  if (engine === 'chromium') return launchChromium(options);
  if (engine === 'firefox') return launchFirefox(options);
  if (engine === 'webkit') return launchWebKit(options);
  throw new Error('unknown engine ' + engine);
}

async function launchChromium(options) {
  const { chromium } = require('playwright-core');
  const browser = await chromium.launch({
    executablePath: process.env.VELTRO_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--no-first-run', '--headless'],
    timeout: 60000,
  });
  return {
    engine: 'chromium',
    version: 'Chromium ' + browser.version(),
    canTouch: true,
    canPen: true,
    canScale: true,
    async newPage({ width = 800, height = 600, scale = 1, touch = false } = {}) {
      const context = await browser.newContext({ viewport: { width, height }, deviceScaleFactor: scale, hasTouch: touch,
        reducedMotion: options.reducedMotion ? 'reduce' : 'no-preference' });
      const page = await context.newPage();
      page.setDefaultTimeout(20000);
      let cdp = null;
      const session = async () => (cdp = cdp || await context.newCDPSession(page));
      return pageOf({
        raw: page,
        goto: (url) => page.goto(url, { waitUntil: 'domcontentloaded' }),
        evaluate: (fn, arg) => page.evaluate(fn, arg),
        mouseMove: (x, y) => page.mouse.move(x, y),
        mouseDown: () => page.mouse.down(),
        mouseUp: () => page.mouse.up(),
        async touch(type, x, y) {
          const s = await session();
          const kind = { start: 'touchStart', move: 'touchMove', end: 'touchEnd' }[type];
          await s.send('Input.dispatchTouchEvent', { type: kind, touchPoints: type === 'end' ? [] : [{ x, y }] });
        },
        async pen(type, x, y) {
          const s = await session();
          const kind = { start: 'mousePressed', move: 'mouseMoved', end: 'mouseReleased' }[type];
          await s.send('Input.dispatchMouseEvent', { type: kind, x, y, button: type === 'move' ? 'none' : 'left', buttons: type === 'end' ? 0 : 1,
            clickCount: type === 'move' ? 0 : 1, pointerType: 'pen', force: type === 'end' ? 0 : 0.5 });
        },
        key: (name) => page.keyboard.press(name),
        screenshot: (file) => page.screenshot({ path: file }),
        close: () => context.close(),
      });
    },
    close: () => browser.close(),
  };
}

async function launchFirefox(options) {
  const puppeteer = require('puppeteer-core');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'veltro-firefox-'));
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: process.env.VELTRO_FIREFOX || '/usr/bin/firefox-esr',
    headless: true,
    userDataDir: profile,
    timeout: 60000,
    protocolTimeout: 30000,
    extraPrefsFirefox: {
      'dom.w3c_touch_events.enabled': 1,
      'ui.prefersReducedMotion': options.reducedMotion ? 1 : 0,
      'browser.shell.checkDefaultBrowser': false,
      'toolkit.telemetry.reportingpolicy.firstRun': false,
      'datareporting.policy.dataSubmissionEnabled': false,
    },
  });
  const version = (await browser.version()).replace(/^firefox\//i, 'Firefox ');
  return {
    engine: 'firefox',
    version,
    canTouch: true,
    canPen: false,
    canScale: true,
    pid: browser.process() ? browser.process().pid : null,
    async newPage({ width = 800, height = 600, scale = 1, touch = false } = {}) {
      const context = await browser.createBrowserContext();
      const page = await context.newPage();
      page.setDefaultTimeout(20000);
      await page.setViewport({ width, height, deviceScaleFactor: scale, hasTouch: touch });
      return pageOf({
        raw: page,
        goto: (url) => page.goto(url, { waitUntil: 'domcontentloaded' }),
        evaluate: (fn, arg) => page.evaluate(fn, arg),
        mouseMove: (x, y) => page.mouse.move(x, y),
        mouseDown: () => page.mouse.down(),
        mouseUp: () => page.mouse.up(),
        async touch(type, x, y) {
          if (type === 'start') this.touchHandle = await page.touchscreen.touchStart(x, y);
          else if (type === 'move') await this.touchHandle.move(x, y);
          else await this.touchHandle.end();
        },
        key: (name) => page.keyboard.press(name),
        screenshot: (file) => page.screenshot({ path: file }),
        close: () => context.close(),
      });
    },
    close: async () => {
      await withTimeout(browser.close(), 15000, 'closing Firefox').catch(() => browser.process() && browser.process().kill('SIGKILL'));
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

async function launchWebKit(options) {
  const { Builder, Key, Origin } = require('selenium-webdriver');
  const binary = findWebKitBrowser();
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'veltro-webkit-'));
  // GTK's animation setting is what WebKitGTK reports as the visitor's
  // reduced-motion preference.
  fs.mkdirSync(path.join(home, 'config', 'gtk-3.0'), { recursive: true });
  fs.writeFileSync(path.join(home, 'config', 'gtk-3.0', 'settings.ini'),
    `[Settings]\ngtk-enable-animations=${options.reducedMotion ? 'false' : 'true'}\n`);
  const xvfb = await startXvfb();
  const port = await freePort();
  const env = { ...process.env, DISPLAY: xvfb.display, HOME: home, XDG_CONFIG_HOME: path.join(home, 'config'),
    XDG_CACHE_HOME: path.join(home, 'cache'), XDG_DATA_HOME: path.join(home, 'data'), XDG_RUNTIME_DIR: home,
    NO_AT_BRIDGE: '1' };
  const driverProcess = startProcess(process.env.VELTRO_WEBKITWEBDRIVER || 'WebKitWebDriver', [`--port=${port}`], { env, stdio: 'ignore' });
  const failed = new Promise((_, fail) => {
    driverProcess.on('error', (e) => fail(new Error('WebKitWebDriver cannot start (Debian package webkit2gtk-driver): ' + e.message)));
  });
  const cleanup = async () => {
    await endProcess(driverProcess);
    await endProcess(xvfb.child);
    fs.rmSync(home, { recursive: true, force: true });
  };
  let driver;
  try {
    // Waits for the driver to listen.
    await withTimeout(Promise.race([failed, (async () => {
      for (;;) {
        try {
          const r = await fetch(`http://127.0.0.1:${port}/status`);
          if (r.ok) return;
        } catch (e) { /* not yet */ }
        await sleep(100);
      }
    })()]), 20000, 'starting WebKitWebDriver');
    driver = await withTimeout(new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
      browserName: 'MiniBrowser',
      'webkitgtk:browserOptions': { binary, args: ['--automation'] },
    }).build(), 60000, 'starting MiniBrowser');
    await driver.manage().setTimeouts({ script: 20000, pageLoad: 30000 });
  } catch (e) {
    await cleanup();
    throw e;
  }
  const caps = await driver.getCapabilities();
  const keys = { ArrowRight: Key.ARROW_RIGHT, ArrowLeft: Key.ARROW_LEFT, ArrowUp: Key.ARROW_UP, ArrowDown: Key.ARROW_DOWN,
    Home: Key.HOME, End: Key.END, Tab: Key.TAB, Escape: Key.ESCAPE };
  const act = () => driver.actions({ async: true });
  let open = false;
  return {
    engine: 'webkit',
    version: 'WebKitGTK ' + caps.get('browserVersion'),
    canTouch: false,
    canPen: false,
    canScale: false,
    pid: driverProcess.pid,
    async newPage({ width = 800, height = 600 } = {}) {
      if (open) throw new Error('MiniBrowser drives one page at a time');
      // The window is sized so that the page gets the asked viewport (the
      // window has a least width).
      width = Math.max(width, MINIBROWSER_LEAST_WIDTH);
      await driver.manage().window().setRect({ width, height });
      const [iw, ih] = await driver.executeScript('return [innerWidth, innerHeight]');
      await driver.manage().window().setRect({ width: width + (width - iw), height: height + (height - ih) });
      await driver.get('about:blank');
      open = true;
      return pageOf({
        raw: driver,
        async goto(url) {
          await driver.get(url);
        },
        async evaluate(fn, arg) {
          const r = await driver.executeAsyncScript('const done = arguments[arguments.length - 1];' +
            `Promise.resolve().then(() => (${fn})(arguments[0])).then((v) => done({ v: v === undefined ? null : v }),` +
            '(e) => done({ e: String(e && e.stack || e) }));', arg === undefined ? null : arg);
          if (r.e) throw new Error(r.e);
          return r.v;
        },
        mouseMove: (x, y) => act().move({ x: Math.round(x), y: Math.round(y), origin: Origin.VIEWPORT }).perform(),
        mouseDown: () => act().press().perform(),
        mouseUp: () => act().release().perform(),
        key: (name) => act().keyDown(keys[name]).keyUp(keys[name]).perform(),
        async screenshot(file) {
          fs.writeFileSync(file, Buffer.from(await withTimeout(driver.takeScreenshot(), 15000, 'a MiniBrowser screenshot'), 'base64'));
        },
        async close() {
          await driver.actions().clear().catch(() => {});
          // The next page starts as a first visit, as in a fresh profile.
          await driver.executeScript('try { localStorage.clear(); } catch (e) {}').catch(() => {});
          await driver.get('about:blank');
          open = false;
        },
      });
    },
    async close() {
      await withTimeout(driver.quit(), 15000, 'closing MiniBrowser').catch(() => {});
      await cleanup();
    },
  };
}

// The page interface the tests use, over an engine's own calls.
function pageOf(p) {
  return Object.assign(p, {
    async waitFor(fn, arg, timeout = 20000) {
      const until = Date.now() + timeout;
      for (;;) {
        if (await p.evaluate(fn, arg)) return;
        if (Date.now() > until) throw new Error('timed out waiting for ' + String(fn).slice(0, 200));
        await sleep(25);
      }
    },
  });
}

// Opens the page and waits until its viewer has every image.
export async function openViewer(page, url) {
  await page.goto(url);
  await page.waitFor(() => window.__veltro && (window.__veltro.state === 'error' ||
    (window.__veltro.viewer && window.__veltro.viewer.loaded)));
}

// Client coordinates of a picture point on the (possibly scaled) canvas.
export async function clientPoint(page, x, y) {
  return page.evaluate(([px, py]) => {
    const v = window.__veltro.viewer;
    const r = v.canvas.getBoundingClientRect();
    return [r.left + (px + 0.5) * (r.width / v.width), r.top + (py + 0.5) * (r.height / v.height)];
  }, [x, y]);
}

export const shownFrame = (page) => page.evaluate(() => Number(document.querySelector('canvas.veltro-viewer').dataset.frame));

// A mouse drag through the picture positions; the shown frame after each.
export async function mouseDrag(page, positions, afterStep) {
  const frames = [];
  for (let i = 0; i < positions.length; i++) {
    const [cx, cy] = await clientPoint(page, ...positions[i]);
    await page.mouseMove(cx, cy);
    if (i === 0) await page.mouseDown();
    frames.push(await shownFrame(page));
    if (afterStep) await afterStep(i, frames[i]);
  }
  await page.mouseUp();
  return frames;
}

// A touch (or pen) drag through the picture positions; the shown frame
// after each.
export async function touchDrag(page, positions, kind = 'touch') {
  const frames = [];
  for (let i = 0; i < positions.length; i++) {
    const [x, y] = await clientPoint(page, ...positions[i]);
    await page[kind](i === 0 ? 'start' : 'move', x, y);
    frames.push(await shownFrame(page));
  }
  const [x, y] = await clientPoint(page, ...positions[positions.length - 1]);
  await page[kind]('end', x, y);
  return frames;
}
