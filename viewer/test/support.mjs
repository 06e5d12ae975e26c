// Shared by the viewer tests: the viewer's decoders, veltrotool, generated
// clips and pages, and a writer of viewer data bodies for pages with paths
// that `veltrotool publish` does not draw (several paths, hand-over, Bézier,
// capture distance).
import { createRequire } from 'node:module';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
export const here = path.dirname(fileURLToPath(import.meta.url));
export const viewerScript = path.join(here, '..', 'veltro.js');
export const viewer = require(viewerScript);

// The veltrotool under test: VELTROTOOL, else the one in VELTRO_DIST_DIR.
export const tool = process.env.VELTROTOOL ||
  path.join(process.env.VELTRO_DIST_DIR || path.join(here, '..', '..', 'build', 'dist'), 'veltrotool');

export function run(args) {
  return execFileSync(tool, args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'], env: { ...process.env, QT_QPA_PLATFORM: 'offscreen' } });
}

export function tempDir(name) {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'veltro-' + name + '-'));
}

// A generated clip of n frames (testsrc: moving pattern and counter).
export function makeClip(dir, frames = 60, size = '320x240') {
  const file = path.join(dir, 'clip.avi');
  execFileSync('ffmpeg', ['-loglevel', 'error', '-y', '-f', 'lavfi', '-i', `testsrc=size=${size}:rate=25`, '-frames:v', String(frames),
    '-c:v', 'mjpeg', '-q:v', '3', file]);
  return file;
}

// Publishes the clip with one path into a new album; the page directory.
export function publish(clip, album, stroke, extra = []) {
  const out = run(['publish', clip, '--album', album, '--path', stroke, ...extra]).trim().split('\n');
  const page = out[out.length - 1].trim();
  return path.isAbsolute(page) ? page : path.resolve(page);
}

// The frames `veltrotool play` prints for a drag.
export function play(page, positions) {
  const drag = positions.map(([x, y]) => `${x},${y}`).join(' ');
  return run(['play', page, '--drag', drag]).trim().split('\n').map(Number);
}

// The same drag through the viewer's player.
export function playInViewer(page, positions) {
  const data = viewer.parseViewerData(fs.readFileSync(path.join(page, 'veltro.txt')));
  const stores = [];
  for (let k = 0; k < data.movieCount; k++) stores.push(viewer.parseFrameStoreIndex(fs.readFileSync(path.join(page, `v${k.toString(16)}.txt`))));
  const player = new viewer.Player(data, stores);
  return positions.map(([x, y], i) => {
    if (i === 0) {
      player.hover(x, y);
      player.down(x, y);
    } else {
      player.drag(x, y);
    }
    return player.currentFrame;
  });
}

// Positions every `step` pixels along a polyline.
export function along(points, step = 4) {
  const out = [];
  for (let i = 1; i < points.length; i++) {
    const [ax, ay] = points[i - 1];
    const [bx, by] = points[i];
    const n = Math.max(1, Math.round(Math.hypot(bx - ax, by - ay) / step));
    for (let k = i === 1 ? 0 : 1; k <= n; k++) out.push([Math.round(ax + ((bx - ax) * k) / n), Math.round(ay + ((by - ay) * k) / n)]);
  }
  return out;
}

// ------------------------------------------------------------ body writer
class Writer {
  constructor() { this.bytes = []; }
  u8(v) { this.bytes.push(v & 0xff); }
  u16(v) { this.u8(v >> 8); this.u8(v); }
  u32(v) { this.u16(Math.floor(v / 65536)); this.u16(v & 0xffff); }
  str8(s) { this.u8(s.length); for (const c of s) this.u8(c.charCodeAt(0)); }
}

// The body of a viewer data object as parseViewerData returns it.
export function writeBody(data) {
  const w = new Writer();
  w.u32(0); w.u32(data.headerValue || 0); w.u32(0); w.u8(0);
  w.u16(3);
  w.u16(data.movieCount);
  w.u16(data.imageNames.length); data.imageNames.forEach((n) => w.str8(n));
  w.u16(data.soundNames.length); data.soundNames.forEach((n) => w.str8(n));
  w.u16(data.width); w.u16(data.height); w.u16(data.length);
  w.u16(data.objects.length);
  for (const o of data.objects) {
    w.u8(o.type); w.u16(o.x & 0xffff); w.u16(o.y & 0xffff); w.u16(o.w); w.u16(o.h);
    w.u16(o.ranges.length); o.ranges.forEach(([a, b]) => { w.u32(a); w.u32(b); });
    if (o.type !== 2) { w.u16(o.mediaIndex & 0xffff); continue; }
    for (let s = 0; s < 3; s++) {
      w.u16(o.pathImage[s] & 0xffff); w.u8(o.pathWidth[s]);
      w.u8(o.pathColor[s] >> 16); w.u8(o.pathColor[s] >> 8); w.u8(o.pathColor[s]);
    }
    w.u8(o.arrow); w.u8(o.bezier); w.u8(o.distance);
    w.u8(o.thumbnailImages.length); o.thumbnailImages.forEach((i) => w.u16(i & 0xffff));
    w.u8(o.keep); w.u8(o.thumbnailDir);
    w.u16(o.points.length);
    o.points.forEach((p) => { w.u16(p.x); w.u16(p.y); w.u32(p.frame); w.u8(p.handOver ? 0 : 1); });
  }
  w.u16(0);
  return Uint8Array.from(w.bytes);
}

// Padded with 0x0A, enciphered and escaped, as publishing stores a body.
export function storeBody(body) {
  const padded = new Uint8Array(Math.ceil(body.length / 8) * 8).fill(0x0a);
  padded.set(body);
  const enc = viewer.desCbc(viewer.viewerKey(), padded, false);
  const out = [0x4e, 0x43, 0x52, 0x46];
  for (const b of enc) {
    if (b === 0x01) out.push(1, 1);
    else if (b === 0x0d) out.push(1, 2);
    else if (b === 0x0a) out.push(1, 3);
    else out.push(b);
  }
  return Uint8Array.from(out);
}

// A drag-motion record over the points [[x, y, frame, handOver?], ...].
export function pathRecord(points, fields = {}) {
  const xs = points.map((p) => p[0]);
  const ys = points.map((p) => p[1]);
  const first = points[0][2];
  const last = points[points.length - 1][2];
  return {
    type: 2, x: Math.min(...xs), y: Math.min(...ys), w: Math.max(...xs) - Math.min(...xs) + 1, h: Math.max(...ys) - Math.min(...ys) + 1,
    ranges: [[Math.min(first, last), Math.max(first, last)]], pathImage: [-1, -1, -1], pathWidth: [1, 1, 0],
    pathColor: [0xff8080, 0xff0000, 0x000000], arrow: 3, bezier: 0, distance: 0, thumbnailImages: [], keep: 0, thumbnailDir: 0,
    points: points.map(([x, y, frame, handOver]) => ({ x, y, frame, handOver: !!handOver })),
    ...fields,
  };
}

// Copies a published page and replaces its paths; the new page directory.
export function pageWithPaths(page, dir, paths) {
  fs.cpSync(page, dir, { recursive: true });
  const data = viewer.parseViewerData(fs.readFileSync(path.join(page, 'veltro.txt')));
  data.objects = [...paths, ...data.objects.filter((o) => o.type !== 2)];
  fs.writeFileSync(path.join(dir, 'veltro.txt'), storeBody(writeBody(data)));
  // The embedded copy for file:// must say the same.
  const js = fs.readFileSync(path.join(dir, 'veltro-data.js'), 'utf8');
  const b64 = Buffer.from(fs.readFileSync(path.join(dir, 'veltro.txt'))).toString('base64');
  fs.writeFileSync(path.join(dir, 'veltro-data.js'), js.replace(/("veltro\.txt":\s*")[^"]*(")/, `$1${b64}$2`));
  return dir;
}

// A copy of a published page whose movie is the clip encoded at size
// ("WxH") with every frame stored, the page and its path scaled to match:
// pages larger than `veltrotool publish` makes. The new page directory.
export function pageWithStore(page, dir, clip, size, frames) {
  const [width, height] = size.split('x').map(Number);
  fs.cpSync(page, dir, { recursive: true });
  for (const f of fs.readdirSync(dir)) if (/^v0.*\.(jpg|txt)$/.test(f)) fs.rmSync(path.join(dir, f));
  run(['encode', clip, path.join(dir, 'v0.txt'), '--size', size, '--step', '0']);
  const data = viewer.parseViewerData(fs.readFileSync(path.join(page, 'veltro.txt')));
  const sx = width / data.width;
  const sy = height / data.height;
  data.width = width;
  data.height = height;
  data.length = frames;
  data.objects = data.objects.map((o) => {
    if (o.type === 0) return { ...o, x: 0, y: 0, w: width, h: height, ranges: [[0, frames - 1]] };
    if (o.type !== 2) return o;
    const last = o.points[o.points.length - 1].frame || 1;
    const scaled = pathRecord(o.points.map((p) => [Math.round(p.x * sx), Math.round(p.y * sy), Math.round((p.frame * (frames - 1)) / last), p.handOver]));
    return { ...o, x: scaled.x, y: scaled.y, w: scaled.w, h: scaled.h, ranges: scaled.ranges, points: scaled.points };
  });
  fs.writeFileSync(path.join(dir, 'veltro.txt'), storeBody(writeBody(data)));
  const html = fs.readFileSync(path.join(dir, 'index.html'), 'utf8').replace(/width=\d+ height=\d+/i, `width=${width} height=${height}`);
  fs.writeFileSync(path.join(dir, 'index.html'), html);
  const embedded = { 'veltro.txt': fs.readFileSync(path.join(dir, 'veltro.txt')).toString('base64'), 'v0.txt': fs.readFileSync(path.join(dir, 'v0.txt')).toString('base64') };
  fs.writeFileSync(path.join(dir, 'veltro-data.js'), `window.VELTRO_DATA = ${JSON.stringify(embedded)};\n`);
  return dir;
}
