// Viewer benchmark in headless Chromium over local http: a 300-frame
// 320x240 page published by veltrotool. Prints the time from navigation to
// the first drawn frame, the time from a pointer move to its frame being
// drawn during a fast drag (mean and 99th percentile), the bytes the page
// transfers, and the same clip as H.264 in a <video> scrubbed by setting
// currentTime (time to 'seeked') with its file size.
//   node viewer/bench/viewer_bench.mjs   (VELTROTOOL or VELTRO_DIST_DIR names veltrotool)
import fs from 'node:fs';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { tempDir, makeClip, publish, along } from '../test/support.mjs';
import { serve, launch, openViewer } from '../browser/harness.mjs';

const root = tempDir('bench');
const clip = makeClip(root, 300);
const page = publish(clip, path.join(root, 'album'), '20,120 160,100 300,140');
const mp4 = path.join(root, 'clip.mp4');
execFileSync('ffmpeg', ['-loglevel', 'error', '-y', '-i', clip, '-c:v', 'libx264', '-pix_fmt', 'yuv420p', '-g', '25', mp4]);
fs.writeFileSync(path.join(root, 'video.html'), '<video src="clip.mp4" muted preload="auto" width="320" height="240"></video>');

const server = await serve(root);
const browser = await launch();
const pct = (values, q) => values.slice().sort((a, b) => a - b)[Math.min(values.length - 1, Math.floor(q * values.length))];
const mean = (values) => values.reduce((a, b) => a + b, 0) / values.length;
const rel = path.relative(root, page).split(path.sep).join('/');

const firsts = [];
let bytes = 0;
for (let run = 0; run < 5; run++) {
  const tab = await browser.newPage();
  server.stats.bytes = 0;
  await openViewer(tab, `${server.url}/${rel}/index.html`);
  firsts.push(await tab.evaluate(() => window.__veltro.firstFrameAt));
  if (process.env.VELTRO_BENCH_DEBUG) console.log(await tab.evaluate(() => [window.__veltro.bootAt, window.__veltro.firstFrameAt]));
  bytes = server.stats.bytes;
  await tab.close();
}

const tab = await browser.newPage();
await openViewer(tab, `${server.url}/${rel}/index.html`);
const positions = along([[20, 120], [160, 100], [300, 140]], 1);
const latencies = await tab.evaluate((drag) => {
  const c = document.querySelector('canvas.veltro-viewer');
  const r = c.getBoundingClientRect();
  const at = (type, [x, y]) => new PointerEvent(type, { clientX: r.left + x + 0.5, clientY: r.top + y + 0.5, pointerId: 7, button: 0, buttons: 1, bubbles: true, isPrimary: true, pointerType: 'mouse' });
  c.dispatchEvent(at('pointerdown', drag[0]));
  const out = [];
  for (let lap = 0; lap < 5; lap++) {
    const seq = lap % 2 ? drag.slice().reverse() : drag;
    for (const p of seq) {
      const t0 = performance.now();
      c.dispatchEvent(at('pointermove', p));
      out.push(performance.now() - t0);
    }
  }
  c.dispatchEvent(at('pointerup', drag[drag.length - 1]));
  return out;
}, positions);
await tab.close();

const vtab = await browser.newPage();
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
}).catch((e) => null);
await vtab.close();
await browser.close();
await server.close();

const ms = (v) => v.toFixed(2) + ' ms';
console.log(`viewer first frame (300 frames 320x240, http): median ${ms(pct(firsts, 0.5))}, max ${ms(Math.max(...firsts))}`);
console.log(`viewer pointer-to-frame (${latencies.length} moves): mean ${ms(mean(latencies))}, p99 ${ms(pct(latencies, 0.99))}`);
console.log(`viewer page bytes: ${bytes}`);
if (seeks) console.log(`<video> H.264 seek to 'seeked' (${seeks.length} seeks): mean ${ms(mean(seeks))}, p99 ${ms(pct(seeks, 0.99))}, file ${fs.statSync(mp4).size} bytes`);
else console.log('<video> H.264: this Chromium cannot play it');
fs.rmSync(root, { recursive: true, force: true });
