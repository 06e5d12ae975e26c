// The viewer in Chromium on pages published by veltrotool: over http and
// file://, mouse and touch drags show after every step the frame
// `veltrotool play` prints, the picture matches `veltrotool decode` within
// JPEG tolerance, and broken pages say so on the page.
import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { tempDir, makeClip, publish, play, along, run, pathRecord, pageWithPaths } from '../test/support.mjs';
import { serve, launch, openViewer, mouseDrag, clientPoint, shownFrame } from './harness.mjs';

let root;
let server;
let browser;
let pageDir;
let handOverDir;
const stroke = [[20, 120], [160, 100], [300, 140]];

before(async () => {
  root = tempDir('browser');
  const clip = makeClip(root, 60);
  pageDir = publish(clip, path.join(root, 'album'), stroke.map((p) => p.join(',')).join(' '));
  assert.ok(fs.existsSync(path.join(pageDir, 'veltro.js')), 'publishing copies veltro.js into the page');
  run(['decode', path.join(pageDir, 'v0.txt'), path.join(root, 'decoded')]);
  handOverDir = pageWithPaths(pageDir, path.join(root, 'album', 'handover'), [
    pathRecord([[20, 60, 0], [160, 60, 15], [300, 60, 30, true]]),
    pathRecord([[300, 60, 30], [300, 200, 45], [20, 200, 59]]),
  ]);
  server = await serve(root);
  browser = await launch();
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
});

const httpUrl = (dir) => `${server.url}/${path.relative(root, dir).split(path.sep).join('/')}/index.html`;

// Mean absolute channel difference between the canvas and a decoded frame.
async function differenceFromDecoded(page, frame) {
  const url = `${server.url}/decoded/frame${String(frame).padStart(5, '0')}.png`;
  return page.evaluate(async (src) => {
    const img = new Image();
    img.src = src;
    await img.decode();
    const c = document.querySelector('canvas.veltro-viewer');
    const ref = document.createElement('canvas');
    ref.width = c.width;
    ref.height = c.height;
    ref.getContext('2d').drawImage(img, 0, 0);
    const a = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    const b = ref.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let sum = 0;
    for (let i = 0; i < a.length; i += 4) sum += Math.abs(a[i] - b[i]) + Math.abs(a[i + 1] - b[i + 1]) + Math.abs(a[i + 2] - b[i + 2]);
    return sum / ((a.length / 4) * 3);
  }, url);
}

describe('over http', () => {
  test('a mouse drag along the path shows the frames veltrotool plays, with the decoded pictures', async () => {
    const page = await browser.newPage({ viewport: { width: 800, height: 600 } });
    await openViewer(page, httpUrl(pageDir));
    assert.equal(await page.evaluate(() => window.__veltro.state), 'ready');
    const canvas = page.locator('canvas.veltro-viewer');
    assert.equal(await canvas.getAttribute('role'), 'application');
    assert.ok(await canvas.getAttribute('aria-roledescription'));
    const positions = along(stroke, 6);
    const drag = [...positions, ...positions.slice().reverse()];
    const expected = play(pageDir, drag);
    const differences = [];
    const frames = await mouseDrag(page, drag, async (i, frame) => {
      if (i % 5 === 0) differences.push([frame, await differenceFromDecoded(page, frame)]);
    });
    assert.deepEqual(frames, expected);
    for (const [frame, d] of differences) assert.ok(d < 4, `frame ${frame} differs by ${d.toFixed(2)} on average`);
    // A frame far from the shown one really differs: the comparison can fail.
    const other = expected[0] === 0 ? 59 : 0;
    assert.ok((await differenceFromDecoded(page, other)) > 4);
    await page.close();
  });

  test('two paths with a hand-over', async () => {
    const page = await browser.newPage();
    await openViewer(page, httpUrl(handOverDir));
    const drag = along([[20, 60], [300, 60], [300, 200], [20, 200]], 8);
    assert.deepEqual(await mouseDrag(page, drag), play(handOverDir, drag));
    await page.close();
  });

  test('a Bezier path plays as veltrotool plays it', async () => {
    const dir = pageWithPaths(pageDir, path.join(root, 'album', 'bezier'), [
      pathRecord([[20, 200, 0], [100, 20, 20], [220, 220, 40], [300, 40, 59]], { bezier: 1 }),
    ]);
    const page = await browser.newPage();
    await openViewer(page, httpUrl(dir));
    const drag = along([[20, 200], [100, 60], [220, 180], [300, 40]], 8);
    assert.deepEqual(await mouseDrag(page, drag), play(dir, drag));
    await page.close();
  });

  test('a capture distance leaves far pointers without a path', async () => {
    const dir = pageWithPaths(pageDir, path.join(root, 'album', 'capture'), [
      pathRecord([[20, 60, 0], [300, 60, 59]], { distance: 20 }),
    ]);
    const page = await browser.newPage();
    await openViewer(page, httpUrl(dir));
    // Starting 60 pixels below the path captures nothing; near it, it plays.
    const far = along([[20, 120], [300, 120]], 8);
    const near = along([[20, 70], [300, 70]], 8);
    assert.deepEqual(await mouseDrag(page, far), play(dir, far));
    assert.deepEqual(await mouseDrag(page, near), play(dir, near));
    await page.close();
  });

  test('a narrow screen scales the canvas down and maps the pointer back', async () => {
    const page = await browser.newPage({ viewport: { width: 200, height: 400 } });
    await openViewer(page, httpUrl(pageDir));
    const box = await page.locator('canvas.veltro-viewer').boundingBox();
    assert.ok(box.width <= 200 && box.width < 320, `canvas shown ${box.width} wide`);
    assert.ok(Math.abs(box.width / box.height - 320 / 240) < 0.02, 'the aspect ratio is kept');
    const drag = along(stroke, 10);
    assert.deepEqual(await mouseDrag(page, drag), play(pageDir, drag));
    await page.close();
  });

  test('touch drags play', async () => {
    const context = await browser.newContext({ hasTouch: true, viewport: { width: 800, height: 600 } });
    const page = await context.newPage();
    await openViewer(page, httpUrl(pageDir));
    const cdp = await context.newCDPSession(page);
    const drag = along(stroke, 10);
    const frames = [];
    for (let i = 0; i < drag.length; i++) {
      const [x, y] = await clientPoint(page, ...drag[i]);
      await cdp.send('Input.dispatchTouchEvent', { type: i === 0 ? 'touchStart' : 'touchMove', touchPoints: [{ x, y }] });
      frames.push(await shownFrame(page));
    }
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
    assert.deepEqual(frames, play(pageDir, drag));
    await context.close();
  });

  test('keyboard play steps through the flagged frames of the path', async () => {
    const page = await browser.newPage();
    await openViewer(page, httpUrl(pageDir));
    await page.focus('canvas.veltro-viewer');
    const seen = [await shownFrame(page)];
    for (let i = 0; i < 5; i++) {
      await page.keyboard.press('ArrowRight');
      seen.push(await shownFrame(page));
    }
    const stored = JSON.parse(run(['inspect', path.join(pageDir, 'v0.txt')])).entries.map((e) => e.position);
    assert.deepEqual(seen, stored.slice(0, 6));
    await page.keyboard.press('End');
    assert.equal(await shownFrame(page), 59);
    await page.keyboard.press('ArrowLeft');
    assert.equal(await shownFrame(page), stored[stored.length - 2]);
    await page.close();
  });
});

describe('over file://', () => {
  test('the page plays from veltro-data.js without fetching', async () => {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    await openViewer(page, pathToFileURL(path.join(pageDir, 'index.html')).href);
    assert.equal(await page.evaluate(() => window.__veltro.state), 'ready');
    const drag = along(stroke, 5);
    assert.deepEqual(await mouseDrag(page, drag), play(pageDir, drag));
    assert.deepEqual(errors, []);
    await page.close();
  });
});

describe('broken pages', () => {
  async function messageOf(dir) {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    await openViewer(page, httpUrl(dir));
    const text = await page.locator('[role=alert]').textContent();
    assert.equal(await page.evaluate(() => window.__veltro.state), 'error');
    assert.deepEqual(errors, [], 'no exception escapes');
    await page.close();
    return text;
  }
  test('a missing veltro.txt is named on the page', async () => {
    const dir = path.join(root, 'album', 'missing');
    fs.cpSync(pageDir, dir, { recursive: true });
    fs.rmSync(path.join(dir, 'veltro.txt'));
    fs.rmSync(path.join(dir, 'veltro-data.js'));
    assert.match(await messageOf(dir), /veltro\.txt.*missing/);
  });
  test('a corrupted veltro.txt is reported as damaged', async () => {
    const dir = path.join(root, 'album', 'corrupt');
    fs.cpSync(pageDir, dir, { recursive: true });
    const bytes = fs.readFileSync(path.join(dir, 'veltro.txt'));
    fs.writeFileSync(path.join(dir, 'veltro.txt'), bytes.subarray(0, bytes.length - 9));
    fs.rmSync(path.join(dir, 'veltro-data.js'));
    assert.match(await messageOf(dir), /veltro\.txt.*damaged/);
  });
});

describe('loading and keyboard', () => {
  test('the MESSAGE text shows until the key frame has loaded', async () => {
    const page = await browser.newPage();
    let release;
    const gate = new Promise((r) => { release = r; });
    await page.route('**/*.jpg', async (route) => {
      await gate;
      await route.continue();
    });
    await page.goto(httpUrl(pageDir), { waitUntil: 'domcontentloaded' });
    await page.waitForFunction(() => window.__veltro && window.__veltro.viewer && window.__veltro.viewer.state === 'ready');
    const canvas = page.locator('canvas.veltro-viewer');
    assert.equal(await canvas.getAttribute('aria-busy'), 'true');
    assert.equal(await canvas.getAttribute('data-message'), 'VELTRO Loading');
    assert.equal(await canvas.getAttribute('data-frame'), null, 'no frame drawn yet');
    release();
    await page.waitForFunction(() => document.querySelector('canvas.veltro-viewer').dataset.frame !== undefined);
    assert.equal(await canvas.getAttribute('aria-busy'), 'false');
    await page.close();
  });

  test('Tab moves to the next path and the arrow keys play it', async () => {
    // Both paths are visible over the whole clip; the second runs backwards.
    const dir = pageWithPaths(pageDir, path.join(root, 'album', 'twopaths'), [
      pathRecord([[20, 60, 0], [300, 60, 59]]),
      pathRecord([[300, 200, 59], [20, 200, 0]]),
    ]);
    const stored = JSON.parse(run(['inspect', path.join(dir, 'v0.txt')])).entries.map((e) => e.position);
    const page = await browser.newPage();
    await openViewer(page, httpUrl(dir));
    await page.focus('canvas.veltro-viewer');
    await page.keyboard.press('ArrowRight');
    assert.equal(await shownFrame(page), stored[1], 'the first path steps forward');
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.tagName), 'CANVAS', 'Tab stays while a next path exists');
    await page.keyboard.press('Home');
    assert.equal(await shownFrame(page), 59, 'Home goes to the second path\'s first point');
    await page.keyboard.press('ArrowRight');
    assert.equal(await shownFrame(page), stored[stored.length - 2], 'along the second path the frames go down');
    await page.keyboard.press('Tab');
    assert.notEqual(await page.evaluate(() => document.activeElement.tagName), 'CANVAS', 'after the last path Tab leaves');
    await page.close();
  });
});
