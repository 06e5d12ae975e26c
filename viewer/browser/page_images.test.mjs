// The pictures of a page in Chromium: a page published by veltrotool with an
// image object (a JPEG, copied into the page as it is), a path shown as a
// picture (a PNG, written as GIF) and two thumbnails with a transparent
// corner (PNGs, written as GIF89a) shows them all: the image object in its
// rectangle, the thumbnail riding along the path under a drag, the path's
// picture through the thumbnail's transparent corner, and the thumbnails
// taking turns.
import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { tempDir, makeClip, run, along } from '../test/support.mjs';
import { serve, launch, openViewer, mouseDrag } from './harness.mjs';

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

const stroke = [[40, 60], [280, 180]];
const imageRect = [10, 190, 60, 40];
let root;
let pageDir;
let server;
let browser;

// A one-frame picture made by ffmpeg from a colour and a filter.
function picture(name, colour, size, filter) {
  const file = path.join(root, name);
  execFileSync('ffmpeg', ['-loglevel', 'error', '-y', '-f', 'lavfi', '-i', `color=c=${colour}:s=${size}`,
    ...(filter ? ['-vf', filter] : []), '-frames:v', '1', file]);
  return file;
}

// 24 x 24 in one colour, the top-left 8 x 8 transparent.
const cutOut = (name, [r, g, b]) => picture(name, 'black', '24x24',
  `format=rgba,geq=r=${r}:g=${g}:b=${b}:a='if(lt(X\\,8)*lt(Y\\,8)\\,0\\,255)'`);

before(async () => {
  root = tempDir('page-images');
  const clip = makeClip(root, 60);
  const photo = picture('photo.jpg', '0x00c000', '60x40');
  const track = picture('track.png', 'yellow', '16x16');
  const red = cutOut('red.png', [255, 0, 0]);
  const blue = cutOut('blue.png', [0, 0, 255]);
  const out = run(['publish', clip, '--album', path.join(root, 'album'), '--path', stroke.map((p) => p.join(',')).join(' '),
    '--image', `${imageRect.join(',')}:${photo}`, '--path-image', track, '--thumbnail', red, '--thumbnail', blue]).trim().split('\n');
  pageDir = out[out.length - 1].trim();
  const data = JSON.parse(run(['inspect', path.join(pageDir, 'veltro.txt')]));
  assert.deepEqual(data.images, ['i0.jpg', 'i1.gif', 'i2.gif', 'i3.gif']);
  assert.ok(fs.readFileSync(path.join(pageDir, 'i0.jpg')).equals(fs.readFileSync(photo)), 'the JPEG is copied as it is');
  for (const name of ['i2.gif', 'i3.gif']) {
    assert.equal(fs.readFileSync(path.join(pageDir, name)).subarray(0, 6).toString(), 'GIF89a', `${name} keeps its transparency`);
  }
  server = await serve(root);
  browser = await launch('chromium');
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
  if (root) fs.rmSync(root, { recursive: true, force: true });
});

// The colour shown at a picture point: the overlay where it has drawn
// (paths, their pictures and thumbnails), else the picture layer.
function colourAt(page, x, y) {
  return page.evaluate(([px, py]) => {
    const v = window.__veltro.viewer;
    const s = v.overlay.width / v.width;
    const over = v.octx.getImageData(Math.floor((px + 0.5) * s), Math.floor((py + 0.5) * (v.overlay.height / v.height)), 1, 1).data;
    if (over[3] === 255) return [over[0], over[1], over[2]];
    return Array.from(v.ctx.getImageData(px, py, 1, 1).data.slice(0, 3));
  }, [x, y]);
}

const near = (c, [r, g, b], tolerance = 40) => Math.abs(c[0] - r) <= tolerance && Math.abs(c[1] - g) <= tolerance && Math.abs(c[2] - b) <= tolerance;
const RED = [255, 0, 0];
const BLUE = [0, 0, 255];
const YELLOW = [255, 255, 0];
const GREEN = [0, 192, 0];

// Where the thumbnail rides now and which picture it shows.
const thumbnail = (page) => page.evaluate(() => {
  const o = window.__veltro.viewer.player.objects.find((x) => x.type === 2);
  return { x: o.thumbX, y: o.thumbY, index: o.thumbnailIndex || 0 };
});

describe('the pictures of a page', () => {
  test('image object, path picture and cycling thumbnails show while dragging along the path', async () => {
    const page = await browser.newPage({ width: 800, height: 600 });
    try {
      await openViewer(page, `${server.url}/${path.relative(root, pageDir).split(path.sep).join('/')}/index.html`);
      assert.equal(await page.evaluate(() => window.__veltro.state), 'ready');
      assert.deepEqual(await page.evaluate(() => window.__veltro.viewer.images.map(Boolean)), [true, true, true, true], 'every picture loaded');

      // The image object fills its rectangle with the photo's green.
      const [ix, iy, iw, ih] = imageRect;
      for (const [x, y] of [[ix + 2, iy + 2], [ix + iw / 2, iy + ih / 2], [ix + iw - 3, iy + ih - 3]]) {
        const c = await colourAt(page, x, y);
        assert.ok(near(c, GREEN), `image object at ${x},${y} shows ${c}`);
      }

      // A drag along the path: the thumbnail follows it, in red or blue,
      // over the yellow path picture that shows through its cut-out.
      const seen = [];
      const positions = along(stroke, 8);
      const frames = await mouseDrag(page, positions, async (i) => {
        if (i < 3 || i > positions.length - 4 || i % 4) return;
        const t = await thumbnail(page);
        const solid = await colourAt(page, t.x + 5, t.y + 5);
        assert.ok(near(solid, RED) || near(solid, BLUE), `thumbnail at ${t.x},${t.y} shows ${solid}`);
        seen.push({ ...t, solid });
        const hole = await colourAt(page, t.x - 9, t.y - 9);
        assert.ok(near(hole, YELLOW), `the thumbnail's transparent corner at ${t.x - 9},${t.y - 9} shows ${hole}`);
      });
      assert.ok(new Set(frames).size > 10, 'the drag plays the clip');
      assert.ok(seen.length >= 3);
      assert.ok(seen[seen.length - 1].x - seen[0].x > 100, 'the thumbnail rides along the path');
      // Away from the thumbnail the path's picture fills the path's box.
      const last = seen[seen.length - 1];
      const box = await colourAt(page, last.x > 160 ? 60 : 260, last.x > 160 ? 70 : 170);
      assert.ok(near(box, YELLOW), `path picture shows ${box}`);

      // Left where it is, the thumbnail takes turns between its pictures.
      const t = await thumbnail(page);
      const colours = new Set();
      const indices = new Set();
      for (let i = 0; i < 12 && colours.size < 2; i++) {
        const now = await thumbnail(page);
        const c = await colourAt(page, t.x + 5, t.y + 5);
        if (near(c, RED)) colours.add('red');
        else if (near(c, BLUE)) colours.add('blue');
        else assert.fail(`thumbnail shows ${c}`);
        indices.add(now.index);
        await sleep(150);
      }
      assert.deepEqual([...colours].sort(), ['blue', 'red'], 'both thumbnails were shown');
      assert.ok(indices.size >= 2);
    } finally {
      await page.close();
    }
  });

  test('opened from file:// the pictures load as well', async () => {
    const page = await browser.newPage({ width: 800, height: 600 });
    try {
      await openViewer(page, pathToFileURL(path.join(pageDir, 'index.html')).href);
      assert.equal(await page.evaluate(() => window.__veltro.state), 'ready');
      assert.deepEqual(await page.evaluate(() => window.__veltro.viewer.images.map((img) => (img ? img.width : 0))), [60, 16, 24, 24]);
    } finally {
      await page.close();
    }
  });
});
