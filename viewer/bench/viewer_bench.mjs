// Viewer benchmark over local http, in each browser engine the machine has
// (chromium, firefox, webkit; VELTRO_ENGINES=list picks some): a 300-frame
// 320x240 page published by veltrotool and an 800-frame 640x480 page with
// every frame stored. Prints per engine and page the time from navigation
// to the first drawn picture (median of 7 loads), the time from a pointer
// move to its picture being drawn during a fast drag (mean and 99th
// percentile) at device pixel ratio 1 and 2 (where the engine's driver can
// set it), and the canvas and image pixels the viewer holds once loaded.
// Chromium also scrubs the same clip as H.264 in a <video> for comparison.
//   node viewer/bench/viewer_bench.mjs   (VELTROTOOL or VELTRO_DIST_DIR names veltrotool)
import fs from 'node:fs';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { tempDir, makeClip, publish, along, pageWithStore } from '../test/support.mjs';
import { serve, launch, openViewer, ENGINES } from '../browser/harness.mjs';

const root = tempDir('bench');
const clip = makeClip(root, 300);
const small = publish(clip, path.join(root, 'album'), '20,120 160,100 300,140');
const bigDir = path.join(root, 'big');
fs.mkdirSync(bigDir);
const big = pageWithStore(small, path.join(root, 'album', 'big'), makeClip(bigDir, 800, '640x480'), '640x480', 800);
const mp4 = path.join(root, 'clip.mp4');
execFileSync('ffmpeg', ['-loglevel', 'error', '-y', '-i', clip, '-c:v', 'libx264', '-pix_fmt', 'yuv420p', '-g', '25', mp4]);
fs.writeFileSync(path.join(root, 'video.html'), '<video src="clip.mp4" muted preload="auto" width="320" height="240"></video>');

const server = await serve(root);
const pct = (values, q) => values.slice().sort((a, b) => a - b)[Math.min(values.length - 1, Math.floor(q * values.length))];
const mean = (values) => values.reduce((a, b) => a + b, 0) / values.length;
const ms = (v) => v.toFixed(2) + ' ms';
const urlOf = (dir) => `${server.url}/${path.relative(root, dir).split(path.sep).join('/')}/index.html`;

const pages = [
  { name: '300 frames 320x240', dir: small, drag: along([[20, 120], [160, 100], [300, 140]], 1) },
  { name: '800 frames 640x480', dir: big, drag: along([[40, 240], [320, 200], [600, 280]], 2) },
];

// Pointer-to-picture: pointer events dispatched on the canvas, each timed
// until its picture is drawn (the handler draws synchronously).
const latencies = (page, drag) => page.evaluate((positions) => {
  const v = window.__veltro.viewer;
  const c = v.canvas;
  const r = c.getBoundingClientRect();
  const at = (type, [x, y]) => new PointerEvent(type, { clientX: r.left + ((x + 0.5) * r.width) / v.width, clientY: r.top + ((y + 0.5) * r.height) / v.height,
    pointerId: 7, button: 0, buttons: 1, bubbles: true, isPrimary: true, pointerType: 'mouse' });
  c.dispatchEvent(at('pointerdown', positions[0]));
  const out = [];
  for (let lap = 0; lap < 5; lap++) {
    const seq = lap % 2 ? positions.slice().reverse() : positions;
    for (const p of seq) {
      const t0 = performance.now();
      c.dispatchEvent(at('pointermove', p));
      out.push(performance.now() - t0);
    }
  }
  c.dispatchEvent(at('pointerup', positions[positions.length - 1]));
  return out;
}, drag);

let status = 0;
const engines = (process.env.VELTRO_ENGINES || ENGINES.join(',')).split(',');
for (const engine of engines) {
  let browser;
  try {
    browser = await launch(engine);
  } catch (e) {
    console.log(`== ${engine}: cannot start (${e.message.split('\n')[0]})`);
    status = 1;
    continue;
  }
  console.log(`== ${browser.version}`);
  try {
    for (const p of pages) {
      const firsts = [];
      let bytes = 0;
      for (let run = 0; run < 7; run++) {
        const tab = await browser.newPage({ width: 1400, height: 1100 });
        server.stats.bytes = 0;
        await openViewer(tab, urlOf(p.dir));
        firsts.push(await tab.evaluate(() => window.__veltro.firstFrameAt));
        bytes = server.stats.bytes;
        await tab.close();
      }
      console.log(`${engine} ${p.name}: first picture median ${ms(pct(firsts, 0.5))}, max ${ms(Math.max(...firsts))}; page bytes ${bytes}`);
      for (const scale of browser.canScale ? [1, 2] : [1]) {
        const tab = await browser.newPage({ width: 1400, height: 1100, scale });
        await openViewer(tab, urlOf(p.dir));
        const l = await latencies(tab, p.drag);
        const pixels = await tab.evaluate(() => window.__veltro.pixelBytes());
        console.log(`${engine} ${p.name} at ${scale}x: pointer-to-picture (${l.length} moves) mean ${ms(mean(l))}, p99 ${ms(pct(l, 0.99))}; ` +
          `canvas and image pixels ${(pixels / 1048576).toFixed(1)} MiB`);
        await tab.close();
      }
    }
    if (engine === 'chromium') {
      const vtab = await browser.newPage({});
      await vtab.goto(`${server.url}/video.html`);
      const seeks = await vtab.evaluate(async () => {
        const v = document.querySelector('video');
        if (v.readyState < 1) await new Promise((ok, fail) => { v.onloadedmetadata = ok; v.onerror = () => fail(new Error('no H.264 playback')); });
        const out = [];
        for (let i = 0; i < 300; i += 2) {
          const t0 = performance.now();
          await new Promise((ok) => { v.onseeked = ok; v.currentTime = i / 25; });
          out.push(performance.now() - t0);
        }
        return out;
      }).catch(() => null);
      await vtab.close();
      if (seeks) console.log(`<video> H.264 seek to 'seeked' (${seeks.length} seeks): mean ${ms(mean(seeks))}, p99 ${ms(pct(seeks, 0.99))}, file ${fs.statSync(mp4).size} bytes`);
      else console.log('<video> H.264: this Chromium cannot play it');
    }
  } catch (e) {
    console.log(`${engine}: failed: ${e.message}`);
    status = 1;
  } finally {
    await browser.close();
  }
}
await server.close();
fs.rmSync(root, { recursive: true, force: true });
process.exit(status);
