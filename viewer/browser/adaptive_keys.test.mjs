// Pages published with --adaptive-keys play in Chromium as veltrotool plays
// them: a panning camera and a scene cut get key frames in the middle of the
// clip, between difference frames, and a mouse drag over the whole path shows the frames `veltrotool
// play` prints, with the pictures `veltrotool decode` rebuilds.
import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import path from 'node:path';
import { tempDir, publish, play, along, run } from '../test/support.mjs';
import { serve, launch, openViewer, mouseDrag } from './harness.mjs';

const stroke = [[20, 120], [160, 100], [300, 140]];
let root;
let server;
let browser;
const pages = {};

// 60 frames of 320 x 240 made by ffmpeg's filter graph, stored as MJPEG.
function clip(name, graph) {
  const file = path.join(root, `${name}.avi`);
  execFileSync('ffmpeg', ['-loglevel', 'error', '-y', '-filter_complex', graph, '-frames:v', '60', '-c:v', 'mjpeg', '-q:v', '3', file]);
  return file;
}

// Kinds of the entries of a page's first frame store, in order.
function entryKinds(pageDir) {
  return JSON.parse(run(['inspect', path.join(pageDir, 'v0.txt')])).entries.map((e) => e.kind).join('');
}

before(async () => {
  root = tempDir('adaptive');
  const sources = {
    // The camera pans 8 pixels a frame across a larger, grainy test picture
    // for 30 frames, then holds still.
    pan: clip('pan', "testsrc2=size=640x360:rate=25,noise=alls=30,crop=320:240:'min(n,30)*8':60"),
    // The moving test pattern, cut after 30 frames to colour bars.
    cut: clip('cut', 'testsrc=size=320x240:rate=25,trim=end_frame=30[a];smptebars=size=320x240:rate=25,trim=end_frame=30[b];[a][b]concat=n=2:v=1'),
  };
  for (const [name, source] of Object.entries(sources)) {
    const pageDir = publish(source, path.join(root, 'album'), stroke.map((p) => p.join(',')).join(' '), ['--adaptive-keys']);
    run(['decode', path.join(pageDir, 'v0.txt'), path.join(root, `decoded-${name}`)]);
    pages[name] = pageDir;
  }
  server = await serve(root);
  browser = await launch();
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
});

const httpUrl = (dir) => `${server.url}/${path.relative(root, dir).split(path.sep).join('/')}/index.html`;

// Mean absolute channel difference between the canvas and a decoded frame.
async function differenceFromDecoded(page, name, frame) {
  const url = `${server.url}/decoded-${name}/frame${String(frame).padStart(5, '0')}.png`;
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

async function dragChecks(name) {
  const page = await browser.newPage({ viewport: { width: 800, height: 600 } });
  await openViewer(page, httpUrl(pages[name]));
  assert.equal(await page.evaluate(() => window.__veltro.state), 'ready');
  const positions = along(stroke, 4);
  const drag = [...positions, ...positions.slice().reverse()];
  const expected = play(pages[name], drag);
  const differences = [];
  const frames = await mouseDrag(page, drag, async (i, frame) => {
    if (i % 3 === 0) differences.push([frame, await differenceFromDecoded(page, name, frame)]);
  });
  assert.deepEqual(frames, expected);
  assert.ok(new Set(frames).size > 10, 'the drag passes many frames');
  for (const [frame, d] of differences) assert.ok(d < 4, `frame ${frame} differs by ${d.toFixed(2)} on average`);
  await page.close();
  return frames;
}

describe('pages published with adaptive keys', () => {
  test('a panning camera: key frames amid difference frames, played and pictured as veltrotool does', async () => {
    const kinds = entryKinds(pages.pan);
    // Where the pan uncovers enough new picture the key frame is cheaper; a
    // difference frame builds on a key frame from the middle of the clip.
    assert.match(kinds, /^S.*N.*[Dd]/, `entries ${kinds}`);
    assert.ok(kinds.split('N').length - 1 >= 3, `entries ${kinds}`);
    await dragChecks('pan');
  });

  test('a scene cut: a key frame at the cut between difference runs, played and pictured as veltrotool does', async () => {
    const kinds = entryKinds(pages.cut);
    // Difference frames before and after the cut, one key frame at it.
    assert.match(kinds, /^SD[Dd]*ND[Dd]*$/, `entries ${kinds}`);
    const frames = await dragChecks('cut');
    // The drag crosses the cut both ways.
    assert.ok(Math.min(...frames) < 20 && Math.max(...frames) > 40);
  });
});
