// Shared by the browser tests: a static file server on 127.0.0.1 (random
// port), Debian's Chromium through playwright-core, and helpers that drag on
// the viewer's canvas in picture coordinates.
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.txt': 'text/plain', '.jpg': 'image/jpeg', '.png': 'image/png' };

// Serves the files under root; nothing outside it. Counts bytes sent.
export function serve(root) {
  const stats = { bytes: 0 };
  const server = http.createServer((req, res) => {
    const rel = decodeURIComponent(new URL(req.url, 'http://127.0.0.1').pathname);
    const file = path.resolve(root, '.' + rel);
    if (!file.startsWith(path.resolve(root) + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end('not found');
      return;
    }
    const body = fs.readFileSync(file);
    stats.bytes += body.length;
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream', 'Cache-Control': 'no-store' });
    res.end(body);
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve({ url: `http://127.0.0.1:${server.address().port}`, stats, close: () => new Promise((r) => server.close(r)) }));
  });
}

export async function launch() {
  const { chromium } = require('playwright-core');
  return chromium.launch({
    executablePath: process.env.VELTRO_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--no-first-run', '--headless'],
  });
}

// Opens the page and waits until its viewer has every image.
export async function openViewer(page, url) {
  await page.goto(url);
  await page.waitForFunction(() => window.__veltro && (window.__veltro.state === 'error' ||
    (window.__veltro.viewer && window.__veltro.viewer.loaded)), null, { timeout: 20000 });
}

// Client coordinates of a picture point on the (possibly scaled) canvas.
export async function clientPoint(page, x, y) {
  return page.evaluate(([px, py]) => {
    const c = document.querySelector('canvas.veltro-viewer');
    const r = c.getBoundingClientRect();
    return [r.left + (px + 0.5) * (r.width / c.width), r.top + (py + 0.5) * (r.height / c.height)];
  }, [x, y]);
}

export const shownFrame = (page) => page.evaluate(() => Number(document.querySelector('canvas.veltro-viewer').dataset.frame));

// A mouse drag through the picture positions; the shown frame after each.
export async function mouseDrag(page, positions, afterStep) {
  const frames = [];
  for (let i = 0; i < positions.length; i++) {
    const [cx, cy] = await clientPoint(page, ...positions[i]);
    await page.mouse.move(cx, cy);
    if (i === 0) await page.mouse.down();
    frames.push(await shownFrame(page));
    if (afterStep) await afterStep(i, frames[i]);
  }
  await page.mouse.up();
  return frames;
}
