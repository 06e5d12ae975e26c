// The visitor's journeys on pages published by veltrotool, run in one
// browser engine (each <engine>.test.mjs runs them in its engine): mouse,
// touch and keyboard play show after every step the frame `veltrotool play`
// prints, the picture matches `veltrotool decode` within JPEG tolerance,
// the picture fills the width it is offered and goes full screen, loading
// shows its progress, first-time visitors get a hint, the canvas speaks as
// a slider, an 800-frame 640x480 page stays within its pixel budget, and
// broken pages say so on the page.
import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { tempDir, makeClip, publish, play, along, run, pathRecord, pageWithPaths, pageWithStore } from '../test/support.mjs';
import { serve, launch, openViewer, mouseDrag, touchDrag, clientPoint, shownFrame } from './harness.mjs';

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

export function journeys(engine) {
  let root;
  let server;
  let browser;
  let pageDir;
  let handOverDir;
  let shots;
  const stroke = [[20, 120], [160, 100], [300, 140]];

  before(async () => {
    root = tempDir('browser-' + engine);
    const clip = makeClip(root, 60);
    pageDir = publish(clip, path.join(root, 'album'), stroke.map((p) => p.join(',')).join(' '));
    assert.ok(fs.existsSync(path.join(pageDir, 'veltro.js')), 'publishing copies veltro.js into the page');
    run(['decode', path.join(pageDir, 'v0.txt'), path.join(root, 'decoded')]);
    handOverDir = pageWithPaths(pageDir, path.join(root, 'album', 'handover'), [
      pathRecord([[20, 60, 0], [160, 60, 15], [300, 60, 30, true]]),
      pathRecord([[300, 60, 30], [300, 200, 45], [20, 200, 59]]),
    ]);
    server = await serve(root);
    // A missing engine fails here, loudly: ./test.sh installs all three.
    browser = await launch(engine);
    console.log(`# ${engine}: ${browser.version}`);
    shots = process.env.VELTRO_SCREENSHOTS || null;
    if (shots) fs.mkdirSync(shots, { recursive: true });
  });

  after(async () => {
    if (browser) await browser.close();
    if (server) await server.close();
    if (root) fs.rmSync(root, { recursive: true, force: true });
  });

  const httpUrl = (dir) => `${server.url}/${path.relative(root, dir).split(path.sep).join('/')}/index.html`;
  const shoot = async (page, name) => {
    if (shots) await page.screenshot(path.join(shots, `${engine}-${name}.png`));
  };
  // Runs body on a new page, closing it whatever happens.
  const withPage = async (options, body) => {
    const page = await browser.newPage(options);
    try {
      return await body(page);
    } finally {
      await page.close();
    }
  };

  // Mean absolute channel difference between the picture and a decoded frame.
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

  describe(`${engine}: dragging over http`, () => {
    test('a mouse drag along the path shows the frames veltrotool plays, with the decoded pictures', () => withPage({}, async (page) => {
      await openViewer(page, httpUrl(pageDir));
      assert.equal(await page.evaluate(() => window.__veltro.state), 'ready');
      await shoot(page, 'loaded');
      const positions = along(stroke, 6);
      const drag = [...positions, ...positions.slice().reverse()];
      const expected = play(pageDir, drag);
      const differences = [];
      const frames = await mouseDrag(page, drag, async (i, frame) => {
        if (i % 5 === 0) differences.push([frame, await differenceFromDecoded(page, frame)]);
        if (i === positions.length - 1) await shoot(page, 'dragging');
      });
      assert.deepEqual(frames, expected);
      for (const [frame, d] of differences) assert.ok(d < 4, `frame ${frame} differs by ${d.toFixed(2)} on average`);
      // A frame far from the shown one really differs: the comparison can fail.
      const other = expected[0] === 0 ? 59 : 0;
      assert.ok((await differenceFromDecoded(page, other)) > 4);
    }));

    test('two paths with a hand-over', () => withPage({}, async (page) => {
      await openViewer(page, httpUrl(handOverDir));
      const drag = along([[20, 60], [300, 60], [300, 200], [20, 200]], 8);
      assert.deepEqual(await mouseDrag(page, drag), play(handOverDir, drag));
    }));

    test('a Bezier path plays as veltrotool plays it', () => withPage({}, async (page) => {
      const dir = pageWithPaths(pageDir, path.join(root, 'album', 'bezier'), [
        pathRecord([[20, 200, 0], [100, 20, 20], [220, 220, 40], [300, 40, 59]], { bezier: 1 }),
      ]);
      await openViewer(page, httpUrl(dir));
      const drag = along([[20, 200], [100, 60], [220, 180], [300, 40]], 8);
      assert.deepEqual(await mouseDrag(page, drag), play(dir, drag));
    }));

    test('a capture distance leaves far pointers without a path', () => withPage({}, async (page) => {
      const dir = pageWithPaths(pageDir, path.join(root, 'album', 'capture'), [
        pathRecord([[20, 60, 0], [300, 60, 59]], { distance: 20 }),
      ]);
      await openViewer(page, httpUrl(dir));
      // Starting 60 pixels below the path captures nothing; near it, it plays.
      const far = along([[20, 120], [300, 120]], 8);
      const near = along([[20, 70], [300, 70]], 8);
      assert.deepEqual(await mouseDrag(page, far), play(dir, far));
      assert.deepEqual(await mouseDrag(page, near), play(dir, near));
    }));
  });

  describe(`${engine}: size`, () => {
    const shownSize = (page) => page.evaluate(() => {
      const v = window.__veltro.viewer;
      const r = v.canvas.getBoundingClientRect();
      const frame = v.frameBox.parentElement.getBoundingClientRect();
      return { width: r.width, height: r.height, offered: frame.width, overlay: [v.overlay.width, v.overlay.height], ratio: devicePixelRatio };
    });

    test('the picture fills the width offered up to twice its size, keeps its aspect, and maps the pointer at every scale', async () => {
      for (const width of [200, 500, 800, 1400]) {
        await withPage({ width, height: 700 }, async (page) => {
          await openViewer(page, httpUrl(pageDir));
          const s = await shownSize(page);
          assert.ok(Math.abs(s.width - Math.min(s.offered, 640)) <= 1, `at ${width}: shown ${s.width} wide of ${s.offered} offered`);
          assert.ok(Math.abs(s.width / s.height - 320 / 240) < 0.02, `at ${width}: the aspect is kept`);
          if (width === 500) await shoot(page, 'width500');
          const drag = along(stroke, 10);
          assert.deepEqual(await mouseDrag(page, drag), play(pageDir, drag), `at viewport width ${width}`);
        });
      }
    });

    test('paths are drawn at the device pixel ratio', { skip: engine === 'webkit' ? 'MiniBrowser has no device pixel ratio setting' : false }, async () => {
      await withPage({ width: 500, height: 600, scale: 2 }, async (page) => {
        await openViewer(page, httpUrl(pageDir));
        const s = await shownSize(page);
        assert.equal(s.ratio, 2);
        assert.ok(Math.abs(s.overlay[0] - 2 * s.width) <= 1 && Math.abs(s.overlay[1] - 2 * s.height) <= 1,
          `overlay ${s.overlay} for a picture shown ${s.width}x${s.height}`);
        // The path is drawn at device resolution: crossing the 1-pixel
        // line, a column of the overlay meets fully opaque device pixels
        // (a line scaled up from the picture's resolution would be blurred).
        const column = await page.evaluate(() => {
          const o = window.__veltro.viewer.overlay;
          const d = o.getContext('2d').getImageData(0, 0, o.width, o.height).data;
          const x = Math.round(o.width * 0.3);
          const alpha = [];
          for (let y = 0; y < o.height; y++) if (d[(y * o.width + x) * 4 + 3] > 0) alpha.push(d[(y * o.width + x) * 4 + 3]);
          return alpha;
        });
        const solid = column.filter((a) => a === 255).length;
        assert.ok(solid >= 2 && column.length <= 4 * (s.overlay[0] / 320), `the column across the path: ${column}`);
        await shoot(page, 'ratio2');
        const drag = along(stroke, 10);
        assert.deepEqual(await mouseDrag(page, drag), play(pageDir, drag));
      });
    });

    test('the full-screen button scales the picture to the screen and back', () => withPage({ width: 800, height: 600 }, async (page) => {
      await openViewer(page, httpUrl(pageDir));
      const button = await page.evaluate(() => {
        const b = document.querySelector('.veltro-fullscreen');
        const r = b.getBoundingClientRect();
        return [r.left + r.width / 2, r.top + r.height / 2, b.getAttribute('aria-label')];
      });
      assert.equal(button[2], 'Full screen');
      await page.mouseMove(button[0], button[1]);
      await page.mouseDown();
      await page.mouseUp();
      await page.waitFor(() => (document.fullscreenElement || document.webkitFullscreenElement) === window.__veltro.viewer.frameBox, null, 5000);
      await sleep(300);
      const full = await page.evaluate(() => {
        const r = window.__veltro.viewer.canvas.getBoundingClientRect();
        return { width: r.width, height: r.height, screenWidth: innerWidth, screenHeight: innerHeight, label: document.querySelector('.veltro-fullscreen').getAttribute('aria-label') };
      });
      await shoot(page, 'fullscreen');
      const fit = Math.min(full.screenWidth, (full.screenHeight * 320) / 240);
      assert.ok(Math.abs(full.width - fit) <= 2, `full screen shows ${full.width} wide, the screen fits ${fit}`);
      assert.equal(full.label, 'Leave full screen');
      const drag = along(stroke, 10);
      assert.deepEqual(await mouseDrag(page, drag), play(pageDir, drag), 'the pointer maps in full screen');
      await page.key('Escape');
      let left = await page.evaluate(() => !(document.fullscreenElement || document.webkitFullscreenElement)).catch(() => false);
      if (!left) {
        // Headless engines may keep Escape from the browser's own handling;
        // the button leaves as well.
        const b = await page.evaluate(() => {
          const r = document.querySelector('.veltro-fullscreen').getBoundingClientRect();
          return [r.left + r.width / 2, r.top + r.height / 2];
        });
        await page.mouseMove(b[0], b[1]);
        await page.mouseDown();
        await page.mouseUp();
      }
      await page.waitFor(() => !(document.fullscreenElement || document.webkitFullscreenElement), null, 5000);
      await sleep(200);
      const back = await page.evaluate(() => window.__veltro.viewer.canvas.getBoundingClientRect().width);
      assert.ok(Math.abs(back - 640) <= 1, `back to ${back} wide`);
    }));
  });

  describe(`${engine}: touch and pen`, () => {
    const noTouch = engine === 'webkit' ? 'MiniBrowser delivers WebDriver touch as mouse' : false;
    // A page long enough to scroll, a path running across and one running
    // down, each capturing the pointer within 20 pixels.
    let dir;
    const across = [[20, 120], [300, 120]];
    const down = [[160, 20], [160, 220]];
    const tallPage = async (page) => {
      dir = dir || pageWithPaths(pageDir, path.join(root, 'album', 'touch'), [
        pathRecord([[20, 120, 0], [300, 120, 59]], { distance: 20 }),
        pathRecord([[160, 20, 0], [160, 220, 59]], { distance: 20 }),
      ]);
      await openViewer(page, httpUrl(dir));
      await page.evaluate(() => {
        document.body.style.minHeight = '3000px';
        window.scrollTo(0, 0);
      });
    };
    const scrolled = (page) => page.evaluate(() => window.scrollY);

    test('a touch that starts on a path plays and never scrolls, across or down', { skip: noTouch }, () => withPage({ touch: true }, async (page) => {
      await tallPage(page);
      const right = along(across, 10);
      assert.deepEqual(await touchDrag(page, right), play(dir, right));
      const downward = along(down, 10);
      assert.deepEqual(await touchDrag(page, downward), play(dir, downward));
      const upward = downward.slice().reverse();
      await page.evaluate(() => window.addEventListener('touchmove', (e) => { window.moveKept = e.defaultPrevented; }));
      assert.deepEqual(await touchDrag(page, upward), play(dir, upward));
      assert.equal(await page.evaluate(() => window.moveKept), true, 'the viewer keeps the touch from the browser');
      assert.equal(await scrolled(page), 0, 'the page did not scroll');
    }));

    test('a touch that starts off the paths is left to the browser and scrolls the page', { skip: noTouch }, () => withPage({ touch: true }, async (page) => {
      await tallPage(page);
      // What the viewer did with the touch events, seen after it.
      await page.evaluate(() => {
        window.touchPrevented = [];
        for (const type of ['touchstart', 'touchmove']) window.addEventListener(type, (e) => window.touchPrevented.push(e.defaultPrevented));
      });
      const before = await shownFrame(page);
      // From near the bottom left corner, far from both paths, upwards.
      const [x, y0] = await clientPoint(page, 40, 230);
      const [, y1] = await clientPoint(page, 40, 40);
      await page.touch('start', x, y0);
      for (let k = 1; k <= 10; k++) await page.touch('move', x, y0 + ((y1 - y0) * k) / 10);
      await page.touch('end', x, y1);
      const prevented = await page.evaluate(() => window.touchPrevented);
      assert.ok(prevented.length >= 1, 'touch events reached the page');
      assert.ok(prevented.every((p) => p === false), `the viewer kept none from the browser: ${prevented}`);
      // Headless Firefox does not pan for WebDriver touch; Chromium does.
      if (engine === 'chromium') await page.waitFor(() => window.scrollY > 50, null, 5000);
      assert.equal(await shownFrame(page), before, 'the clip did not move');
    }));

    test('a pen drag on a path plays', { skip: engine !== 'chromium' ? 'pen input is driven in Chromium only' : false }, () => withPage({ touch: true }, async (page) => {
      await tallPage(page);
      const downward = along(down, 10);
      assert.deepEqual(await touchDrag(page, downward, 'pen'), play(dir, downward));
      assert.equal(await scrolled(page), 0);
    }));
  });

  describe(`${engine}: keyboard and accessibility`, () => {
    const aria = (page) => page.evaluate(() => {
      const c = document.querySelector('canvas.veltro-viewer');
      const a = (n) => c.getAttribute(n);
      return { role: a('role'), label: a('aria-label'), now: Number(a('aria-valuenow')), min: Number(a('aria-valuemin')), max: Number(a('aria-valuemax')),
        orientation: a('aria-orientation'), described: document.getElementById(a('aria-describedby'))?.textContent || '' };
    });

    test('the canvas is a slider named by the page title, its value the frame', () => withPage({}, async (page) => {
      await openViewer(page, httpUrl(pageDir));
      let a = await aria(page);
      assert.equal(a.role, 'slider');
      assert.equal(a.label, await page.evaluate(() => document.title));
      assert.match(a.described, /arrow keys/);
      const span = JSON.parse(run(['inspect', path.join(pageDir, 'veltro.txt')]));
      const drawn = span.objects.find((o) => o.type === 2);
      const frames = drawn.points.map((p) => p[2]);
      assert.deepEqual([a.min, a.max], [Math.min(...frames), Math.max(...frames)]);
      assert.equal(a.orientation, 'horizontal');
      assert.equal(a.now, await shownFrame(page));
      const drag = along(stroke, 20);
      await mouseDrag(page, drag);
      a = await aria(page);
      assert.equal(a.now, play(pageDir, drag).pop());
      if (engine === 'chromium') {
        // What assistive technology reads: Chromium's accessibility tree.
        const cdp = await page.raw.context().newCDPSession(page.raw);
        const { nodes } = await cdp.send('Accessibility.getFullAXTree');
        const node = nodes.find((n) => n.role?.value === 'slider');
        assert.ok(node, 'a slider is in the accessibility tree');
        assert.equal(node.name.value, 'Title');
        const value = node.properties?.find((p) => p.name === 'valuetext') || node.value;
        assert.ok(value, 'the slider has a value');
      }
    }));

    test('the arrow keys step through the flagged frames of the path and the value follows', () => withPage({}, async (page) => {
      await openViewer(page, httpUrl(pageDir));
      await page.evaluate(() => document.querySelector('canvas.veltro-viewer').focus());
      const seen = [await shownFrame(page)];
      for (let i = 0; i < 5; i++) {
        await page.key('ArrowRight');
        seen.push(await shownFrame(page));
      }
      const stored = JSON.parse(run(['inspect', path.join(pageDir, 'v0.txt')])).entries.map((e) => e.position);
      assert.deepEqual(seen, stored.slice(0, 6));
      assert.equal((await aria(page)).now, stored[5]);
      await page.key('End');
      assert.equal(await shownFrame(page), 59);
      await page.key('ArrowLeft');
      assert.equal(await shownFrame(page), stored[stored.length - 2]);
    }));

    test('Tab moves to the next path, the arrow keys play it and the slider describes it', () => withPage({}, async (page) => {
      // Both paths are visible over the whole clip; the second runs backwards and down.
      const dir = pageWithPaths(pageDir, path.join(root, 'album', 'twopaths'), [
        pathRecord([[20, 60, 0], [300, 60, 59]]),
        pathRecord([[300, 20, 59], [280, 220, 0]]),
      ]);
      const stored = JSON.parse(run(['inspect', path.join(dir, 'v0.txt')])).entries.map((e) => e.position);
      await openViewer(page, httpUrl(dir));
      await page.evaluate(() => document.querySelector('canvas.veltro-viewer').focus());
      await page.key('ArrowRight');
      assert.equal(await shownFrame(page), stored[1], 'the first path steps forward');
      assert.equal((await aria(page)).orientation, 'horizontal');
      await page.key('Tab');
      assert.equal(await page.evaluate(() => document.activeElement.tagName), 'CANVAS', 'Tab stays while a next path exists');
      assert.equal((await aria(page)).orientation, 'vertical');
      await page.key('Home');
      assert.equal(await shownFrame(page), 59, 'Home goes to the second path\'s first point');
      await page.key('ArrowRight');
      assert.equal(await shownFrame(page), stored[stored.length - 2], 'along the second path the frames go down');
      await page.key('Tab');
      assert.notEqual(await page.evaluate(() => document.activeElement.tagName), 'CANVAS', 'after the last path Tab leaves');
    }));
  });

  describe(`${engine}: loading`, () => {
    test('the message and progress show until the key frame is in; then the picture, while the rest fills in', () => withPage({}, async (page) => {
      const dir = path.join(root, 'album', 'slow');
      fs.cpSync(pageDir, dir, { recursive: true });
      server.stats.hold = /^\/album\/slow\/.*\.jpg$/;
      try {
        await page.goto(httpUrl(dir));
        await page.waitFor(() => window.__veltro && window.__veltro.viewer && window.__veltro.viewer.state === 'ready');
        const loading = await page.evaluate(() => {
          const c = document.querySelector('canvas.veltro-viewer');
          return { busy: c.getAttribute('aria-busy'), message: c.dataset.message, progress: c.dataset.progress, frame: c.dataset.frame ?? null };
        });
        assert.deepEqual(loading, { busy: 'true', message: 'VELTRO Loading', progress: '0', frame: null });
        await shoot(page, 'loading');
        // Only the key frame comes: the first picture shows, sheets still out.
        const keyName = JSON.parse(run(['inspect', path.join(dir, 'v0.txt')])).entries[0].name;
        await page.waitFor(() => true);
        assert.ok(server.stats.waiting.length >= 1, 'images are being asked for');
        // Requests go out in parallel, so only the first batch is certain.
        assert.ok(server.stats.waiting.some((w) => w.rel === `/album/slow/${keyName}`), 'the key frame is in the first requests');
        server.stats.release(new RegExp(`/${keyName.replace('.', '\\.')}$`));
        await page.waitFor(() => document.querySelector('canvas.veltro-viewer').dataset.frame !== undefined);
        const partial = await page.evaluate(() => {
          const c = document.querySelector('canvas.veltro-viewer');
          return { busy: c.getAttribute('aria-busy'), progress: Number(c.dataset.progress), loaded: !!window.__veltro.viewer.loaded };
        });
        assert.equal(partial.busy, 'false');
        assert.equal(partial.loaded, false, 'difference sheets are still held');
        assert.ok(partial.progress > 0 && partial.progress < 100, `progress ${partial.progress}%`);
        // Dragging already works over what has loaded.
        const drag = along(stroke, 20);
        assert.deepEqual(await mouseDrag(page, drag), play(dir, drag));
        server.stats.release();
        await page.waitFor(() => window.__veltro.viewer.loaded);
        assert.equal(await page.evaluate(() => document.querySelector('canvas.veltro-viewer').dataset.progress), '100');
      } finally {
        server.stats.release();
      }
    }));
  });

  describe(`${engine}: first-visit hint`, () => {
    const hint = (page) => page.evaluate(async () => {
      const h = document.querySelector('.veltro-hint');
      if (!h) return null;
      const a = h.getBoundingClientRect();
      await new Promise((r) => setTimeout(r, 400));
      const b = h.getBoundingClientRect();
      return { moved: Math.hypot(b.left - a.left, b.top - a.top) };
    });

    test('a hand moves along the path until the first press, and not on later visits', () => withPage({}, async (page) => {
      await openViewer(page, httpUrl(pageDir));
      const first = await hint(page);
      assert.ok(first, 'the hint shows on the first visit');
      assert.ok(first.moved > 1, `the hand moves (${first.moved.toFixed(1)} px)`);
      await shoot(page, 'hint');
      const drag = along(stroke, 40);
      await mouseDrag(page, drag);
      assert.equal(await hint(page), null, 'the first press ends it');
      await openViewer(page, httpUrl(pageDir));
      assert.equal(await hint(page), null, 'a later visit shows none');
    }));

    test('none when the visitor prefers reduced motion', async () => {
      const reduced = await launch(engine, { reducedMotion: true });
      try {
        const page = await reduced.newPage({});
        try {
          await openViewer(page, httpUrl(pageDir));
          assert.equal(await page.evaluate(() => matchMedia('(prefers-reduced-motion: reduce)').matches), true, 'the preference reaches the page');
          assert.equal(await hint(page), null);
        } finally {
          await page.close();
        }
      } finally {
        await reduced.close();
      }
    });
  });

  describe(`${engine}: memory`, () => {
    test('an 800-frame 640x480 page holds under 150 MB of canvas and image pixels', () => withPage({ width: 800, height: 700 }, async (page) => {
      const big = path.join(root, 'big');
      fs.mkdirSync(big);
      const clip = makeClip(big, 800, '640x480');
      const dir = pageWithStore(pageDir, path.join(root, 'album', 'big'), clip, '640x480', 800);
      await openViewer(page, httpUrl(dir));
      const drag = along([[40, 240], [320, 200], [600, 280]], 20);
      assert.deepEqual(await mouseDrag(page, drag), play(dir, drag));
      const bytes = await page.evaluate(() => window.__veltro.pixelBytes());
      console.log(`# ${engine}: 800 frames at 640x480 hold ${(bytes / 1048576).toFixed(1)} MiB of pixels`);
      assert.ok(bytes > 640 * 480 * 4 * 2, 'at least the picture and a key frame are counted');
      assert.ok(bytes < 150 * 1048576, `${(bytes / 1048576).toFixed(1)} MiB`);
    }));
  });

  describe(`${engine}: over file://`, () => {
    test('the page plays from veltro-data.js without fetching', () => withPage({}, async (page) => {
      await openViewer(page, pathToFileURL(path.join(pageDir, 'index.html')).href);
      assert.equal(await page.evaluate(() => window.__veltro.state), 'ready');
      const drag = along(stroke, 5);
      assert.deepEqual(await mouseDrag(page, drag), play(pageDir, drag));
    }));
  });

  describe(`${engine}: broken pages`, () => {
    async function messageOf(dir) {
      return withPage({}, async (page) => {
        await page.goto(httpUrl(dir));
        await page.waitFor(() => window.__veltro && window.__veltro.state === 'error');
        return page.evaluate(() => document.querySelector('[role=alert]').textContent);
      });
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
}
