// The page the offscreen journey published (kept in journey/ of the test
// folder) in Chromium: dragging along the path drawn in the edit window shows
// after every step the frame `veltrotool play` predicts for that drag.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { along, play } from '../../viewer/test/support.mjs';
import { serve, launch, openViewer, mouseDrag } from '../../viewer/browser/harness.mjs';

const journey = path.resolve(process.env.VELTRO_JOURNEY_DIR || 'journey');
const page = path.join(journey, 'page');
let server;
let browser;

before(async () => {
  assert.ok(fs.existsSync(path.join(page, 'index.html')), `the journey left no page in ${page}`);
  server = await serve(journey);
  browser = await launch();
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
});

test('dragging along the drawn path plays the frames veltrotool predicts', async () => {
  const stroke = fs.readFileSync(path.join(journey, 'stroke.txt'), 'utf8').trim().split(/\s+/)
    .map((p) => p.split(',').map(Number));
  const positions = along(stroke, 6);
  const drag = [...positions, ...positions.slice().reverse()];
  const expected = play(page, drag);
  // The path spreads frames 1 to 38: the drag must really move the clip.
  assert.ok(new Set(expected).size > 10, `expected frames ${expected}`);
  const tab = await browser.newPage({ viewport: { width: 900, height: 700 } });
  await openViewer(tab, `${server.url}/page/index.html`);
  assert.equal(await tab.evaluate(() => window.__veltro.state), 'ready');
  assert.deepEqual(await mouseDrag(tab, drag), expected);
  await tab.close();
});
