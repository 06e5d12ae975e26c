// A page whose path follows an object, played in Chromium. The clip is drawn
// here frame by frame (a textured square moving along a wave over a textured
// background, its place in every frame known) and encoded by ffmpeg;
// `veltrotool publish --follow` follows the square from a click on it. A
// mouse drag over the square's true places then shows, at each, the frame in
// which the square is there (or the stored frame next to it), as `veltrotool
// play` says, with the picture `veltrotool decode` rebuilds, and the square
// really is under the pointer in the picture shown.
import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { tempDir, play, run } from '../test/support.mjs';
import { serve, launch, openViewer, mouseDrag } from './harness.mjs';

const WIDTH = 320;
const HEIGHT = 240;
const FRAMES = 60;
const SIDE = 32;

// The square's centre at frame f: across the picture at 4 pixels a frame,
// up and down one whole wave on the way.
function truth(f) {
  return [40 + 4 * f, Math.round(120 - 70 * Math.sin((2 * Math.PI * f) / FRAMES))];
}

// A small linear congruential generator, so every run draws the same clip.
function generator(seed) {
  let state = seed >>> 0;
  return () => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return state >>> 8;
  };
}

// The square's own look, RGB: coloured quarters with rings, so that it
// differs from the grey background in colour and has detail to follow.
function sprite() {
  const pixels = new Uint8Array(SIDE * SIDE * 3);
  for (let y = 0; y < SIDE; y++) {
    for (let x = 0; x < SIDE; x++) {
      const ring = Math.floor(Math.hypot(x - SIDE / 2 + 0.5, y - SIDE / 2 + 0.5) / 4) % 2;
      const quarter = (x < SIDE / 2 ? 0 : 1) + (y < SIDE / 2 ? 0 : 2);
      const colours = [[230, 60, 40], [40, 200, 70], [50, 80, 230], [240, 210, 40]];
      const [r, g, b] = colours[quarter].map((c) => (ring ? c : c / 3));
      pixels.set([r, g, b], (y * SIDE + x) * 3);
    }
  }
  return pixels;
}

// A background of grey blocks at two sizes, the same in every frame.
function background() {
  const next = generator(11);
  const coarse = Array.from({ length: 16 * 12 }, () => next() % 100);
  const fine = Array.from({ length: 64 * 48 }, () => next() % 60);
  const pixels = new Uint8Array(WIDTH * HEIGHT * 3);
  for (let y = 0; y < HEIGHT; y++) {
    for (let x = 0; x < WIDTH; x++) {
      const v = 60 + coarse[Math.floor(y / 20) * 16 + Math.floor(x / 20)] + fine[Math.floor(y / 5) * 64 + Math.floor(x / 5)];
      pixels.fill(v, (y * WIDTH + x) * 3, (y * WIDTH + x) * 3 + 3);
    }
  }
  return pixels;
}

// The clip as MJPEG: every frame drawn here and piped to ffmpeg as raw RGB.
function makeFollowClip(dir, look) {
  const ground = background();
  const frames = Buffer.alloc(WIDTH * HEIGHT * 3 * FRAMES);
  for (let f = 0; f < FRAMES; f++) {
    const frame = frames.subarray(WIDTH * HEIGHT * 3 * f, WIDTH * HEIGHT * 3 * (f + 1));
    frame.set(ground);
    const [cx, cy] = truth(f);
    for (let y = 0; y < SIDE; y++) {
      const at = ((cy - SIDE / 2 + y) * WIDTH + cx - SIDE / 2) * 3;
      frame.set(look.subarray(y * SIDE * 3, (y + 1) * SIDE * 3), at);
    }
  }
  const file = path.join(dir, 'square.avi');
  const r = spawnSync('ffmpeg', ['-loglevel', 'error', '-y', '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-s', `${WIDTH}x${HEIGHT}`,
    '-r', '25', '-i', '-', '-c:v', 'mjpeg', '-q:v', '3', file], { input: frames });
  assert.equal(r.status, 0, `ffmpeg: ${r.stderr}`);
  return file;
}

let root;
let server;
let browser;
let pageDir;
let look;
// The frames the page stores, in order.
let stored;

before(async () => {
  root = tempDir('follow');
  look = sprite();
  const clip = makeFollowClip(root, look);
  const [x0, y0] = truth(0);
  const out = run(['publish', clip, '--album', path.join(root, 'album'), '--follow', `${x0},${y0}`]).trim().split('\n');
  pageDir = path.resolve(out[out.length - 1].trim());
  run(['decode', path.join(pageDir, 'v0.txt'), path.join(root, 'decoded')]);
  stored = JSON.parse(run(['inspect', path.join(pageDir, 'v0.txt')])).entries.map((e) => e.position);
  server = await serve(root);
  browser = await launch('chromium');
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
  if (root) fs.rmSync(root, { recursive: true, force: true });
});

const httpUrl = (dir) => `${server.url}/${path.relative(root, dir).split(path.sep).join('/')}/index.html`;

// The stored frames a drag to the square's place at frame f may show: the
// stored frames on either side of f and one more stored frame either way.
function allowedFrames(f) {
  const below = stored.filter((s) => s <= f).length - 1;
  const above = stored.findIndex((s) => s >= f);
  const low = Math.max(0, below - 1);
  const high = Math.min(stored.length - 1, (above < 0 ? stored.length - 1 : above) + 1);
  return stored.slice(low, high + 1);
}

// Mean absolute channel difference between the canvas and a decoded frame
// inside the box [left, top, right, bottom) (the clip's background stays
// still, so the whole picture would hide a wrong square).
async function differenceFromDecoded(page, frame, box) {
  const url = `${server.url}/decoded/frame${String(frame).padStart(5, '0')}.png`;
  return page.evaluate(async ([src, [left, top, right, bottom]]) => {
    const img = new Image();
    img.src = src;
    await img.decode();
    const c = document.querySelector('canvas.veltro-viewer');
    const ref = document.createElement('canvas');
    ref.width = c.width;
    ref.height = c.height;
    ref.getContext('2d').drawImage(img, 0, 0);
    const w = right - left;
    const h = bottom - top;
    const a = c.getContext('2d').getImageData(left, top, w, h).data;
    const b = ref.getContext('2d').getImageData(left, top, w, h).data;
    let sum = 0;
    for (let i = 0; i < a.length; i += 4) sum += Math.abs(a[i] - b[i]) + Math.abs(a[i + 1] - b[i + 1]) + Math.abs(a[i + 2] - b[i + 2]);
    return sum / ((a.length / 4) * 3);
  }, [url, box]);
}

// The box of the square at frame f, with a margin of background around it.
function squareBox(f) {
  const [x, y] = truth(f);
  const margin = 8;
  return [Math.max(0, x - SIDE / 2 - margin), Math.max(0, y - SIDE / 2 - margin),
    Math.min(WIDTH, x + SIDE / 2 + margin), Math.min(HEIGHT, y + SIDE / 2 + margin)];
}

// Where the square is in the picture the canvas shows, looked for within
// `reach` pixels of (x, y): the centre with the least mean difference from
// the square's look, and that difference.
function findSquare(page, x, y, reach) {
  return page.evaluate(([px, py, r, side, pixels]) => {
    const c = document.querySelector('canvas.veltro-viewer');
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let best = null;
    for (let cy = py - r; cy <= py + r; cy++) {
      for (let cx = px - r; cx <= px + r; cx++) {
        const left = cx - side / 2;
        const top = cy - side / 2;
        if (left < 0 || top < 0 || left + side > c.width || top + side > c.height) continue;
        let sum = 0;
        for (let j = 0; j < side; j++) {
          for (let i = 0; i < side; i++) {
            const a = ((top + j) * c.width + left + i) * 4;
            const b = (j * side + i) * 3;
            sum += Math.abs(d[a] - pixels[b]) + Math.abs(d[a + 1] - pixels[b + 1]) + Math.abs(d[a + 2] - pixels[b + 2]);
          }
        }
        const mean = sum / (side * side * 3);
        if (!best || mean < best.difference) best = { x: cx, y: cy, difference: mean };
      }
    }
    return best;
  }, [x, y, reach, SIDE, Array.from(look)]);
}

describe('chromium: a path that follows an object', () => {
  test('the followed path covers the whole clip on the square', () => {
    const data = JSON.parse(run(['inspect', path.join(pageDir, 'veltro.txt')]));
    const drawn = data.objects.find((o) => o.type === 2);
    assert.ok(drawn, 'the page has a path');
    const frames = drawn.points.map((p) => p[2]);
    assert.equal(Math.min(...frames), 0);
    assert.equal(Math.max(...frames), FRAMES - 1);
    for (const [x, y, f] of drawn.points) {
      const [tx, ty] = truth(f);
      assert.ok(Math.hypot(x - tx, y - ty) <= 3, `point (${x}, ${y}) of frame ${f} is off the square at (${tx}, ${ty})`);
    }
    assert.ok(stored.length >= 10 && stored.length < FRAMES, `the page stores ${stored.length} frames, some skipped`);
  });

  test('dragging over the square\'s places shows the frames in which it is there, with their pictures', async () => {
    const page = await browser.newPage({ width: 800, height: 600 });
    try {
      await openViewer(page, httpUrl(pageDir));
      assert.equal(await page.evaluate(() => window.__veltro.state), 'ready');
      const places = Array.from({ length: FRAMES }, (_, f) => truth(f));
      const checks = [];
      const shown = await mouseDrag(page, places, async (f, frame) => {
        const allowed = allowedFrames(f);
        assert.ok(allowed.includes(frame), `at the square's place of frame ${f} the page shows frame ${frame}, not one of ${allowed}`);
        if (f % 4 !== 0) return;
        // The square is under the pointer in the picture shown, as far off
        // as it moves between the allowed frames.
        const [x, y] = places[f];
        const reach = Math.max(...allowed.map((g) => Math.hypot(truth(g)[0] - x, truth(g)[1] - y)));
        const found = await findSquare(page, x, y, Math.ceil(reach) + 4);
        const [sx, sy] = truth(frame);
        checks.push({ f, frame, found, off: Math.hypot(found.x - x, found.y - y), reach, fromTruth: Math.hypot(found.x - sx, found.y - sy),
          decoded: await differenceFromDecoded(page, frame, squareBox(frame)) });
      });
      assert.deepEqual(shown, play(pageDir, places), 'the frames veltrotool plays for the same drag');
      assert.ok(new Set(shown).size >= stored.length - 2, 'the drag passes nearly every stored frame');
      for (const c of checks) {
        assert.ok(c.found.difference < 20, `frame ${c.frame}: the square is not in the picture near the pointer (${c.found.difference.toFixed(1)})`);
        assert.ok(c.fromTruth <= 1.5, `frame ${c.frame}: the square shows at (${c.found.x}, ${c.found.y}), ${c.fromTruth.toFixed(1)} px from its place`);
        assert.ok(c.off <= c.reach + 1.5, `drag at the place of frame ${c.f}: the square is ${c.off.toFixed(1)} px away`);
        assert.ok(c.decoded < 4, `frame ${c.frame} differs from the decoded picture by ${c.decoded.toFixed(2)} on average`);
      }
      // The checks can fail: the picture shown now is not that of a frame
      // far from it, whose square is elsewhere.
      const last = shown[shown.length - 1];
      const far = last > FRAMES / 2 ? 0 : FRAMES - 1;
      const wrong = await differenceFromDecoded(page, far, squareBox(last));
      assert.ok(wrong > 4 * checks[checks.length - 1].decoded && wrong > 8, `frame ${far} differs by only ${wrong.toFixed(2)}`);
      const [fx, fy] = truth(far);
      const absent = await findSquare(page, fx, fy, 4);
      assert.ok(absent.difference > 20, `the square of frame ${far} is not in the picture (${absent.difference.toFixed(1)})`);
      console.log(`# ${checks.length} pictures checked; the square found within ${Math.max(...checks.map((c) => c.fromTruth)).toFixed(1)} px ` +
        `of its place, at most ${Math.max(...checks.map((c) => c.decoded)).toFixed(2)} from the decoded pictures; ${wrong.toFixed(1)} from a far frame`);
    } finally {
      await page.close();
    }
  });
});
