// The viewer's decoders against the spelled-out formats and against what
// veltrotool and openssl produce: NCRF unescaping, DES-CBC, the viewer data
// body, the block-number list and the frame store index.
import { test, describe, before } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { viewer, tempDir, makeClip, publish, run, writeBody, storeBody } from './support.mjs';

const bytes = (...b) => Uint8Array.from(b);
const hex = (b) => Buffer.from(b).toString('hex');

describe('NCRF unescaping', () => {
  test('undoes the three substitutions after the prefix', () => {
    const stored = bytes(0x4e, 0x43, 0x52, 0x46, 0x01, 0x01, 0x01, 0x03, 0x41, 0x01, 0x02);
    const { escaped, bytes: out } = viewer.ncrfUnescape(stored);
    assert.equal(escaped, true);
    assert.equal(hex(out), '010a410d');
  });
  test('drops raw line ends and keeps unknown escapes as the byte', () => {
    const { bytes: out } = viewer.ncrfUnescape(bytes(0x4e, 0x43, 0x52, 0x46, 0x41, 0x0d, 0x0a, 0x01, 0x7f, 0x42));
    assert.equal(hex(out), '417f42');
  });
  test('takes bytes without the prefix as they stand', () => {
    const plain = bytes(0x4e, 0x43, 0x52, 0x0a, 0x01, 0x02);
    const { escaped, bytes: out } = viewer.ncrfUnescape(plain);
    assert.equal(escaped, false);
    assert.equal(hex(out), hex(plain));
  });
});

describe('DES', () => {
  test('matches the published test vector both ways', () => {
    const key = Buffer.from('133457799bbcdff1', 'hex');
    const ct = viewer.desCbc(key, Buffer.from('0123456789abcdef', 'hex'), false);
    assert.equal(hex(ct), '85e813540f0ab405');
    assert.equal(hex(viewer.desCbc(key, ct, true)), '0123456789abcdef');
  });
  test('the key keeps odd parity in the top bit of "12071998"', () => {
    assert.equal(hex(viewer.viewerKey()), '3132b03731b9b938');
  });
  test('CBC agrees with openssl on random data', (t) => {
    const dir = tempDir('des');
    const plain = Buffer.alloc(200);
    for (let i = 0; i < plain.length; i++) plain[i] = (i * 73 + 41) & 0xff;
    fs.writeFileSync(path.join(dir, 'plain'), plain);
    try {
      execFileSync('openssl', ['enc', '-des-cbc', '-provider', 'legacy', '-provider', 'default', '-K', hex(viewer.viewerKey()),
        '-iv', '0000000000000000', '-nopad', '-in', path.join(dir, 'plain'), '-out', path.join(dir, 'enc')], { stdio: 'pipe' });
    } catch (e) {
      t.skip('openssl has no legacy DES here');
      return;
    }
    const expected = fs.readFileSync(path.join(dir, 'enc'));
    assert.equal(hex(viewer.desCbc(viewer.viewerKey(), plain, false)), hex(expected));
    assert.equal(hex(viewer.desCbc(viewer.viewerKey(), expected, true)), hex(plain));
  });
  test('refuses data that is not whole blocks', () => {
    assert.throws(() => viewer.desCbc(viewer.viewerKey(), new Uint8Array(12), true), viewer.FormatError);
  });
});

describe('block-number list', () => {
  test('decodes the coded examples', () => {
    assert.deepEqual(viewer.decodeBlockNumbers(bytes(0, 0, 0, 2, 0, 0), 0, 10), [0]);
    assert.deepEqual(viewer.decodeBlockNumbers(bytes(0, 0, 0, 6, 0, 5, 0x0a, 0x80), 0, 10), [2, 0, 2]);
    assert.deepEqual(viewer.decodeBlockNumbers(bytes(0x43, 0, 0, 0, 6, 0, 5, 0x0a, 0x80), 1, 10), [2, 0, 2], 'from an offset');
  });
  test('rejects malformed streams instead of reading past them', () => {
    assert.throws(() => viewer.decodeBlockNumbers(bytes(0, 0, 0, 6, 0, 5), 0, 10), viewer.FormatError, 'truncated tree');
    assert.throws(() => viewer.decodeBlockNumbers(bytes(0, 0, 0, 6, 0, 5, 0x0a), 0, 10), viewer.FormatError, 'truncated codes');
    // Maximum 0 leaves no room for an internal node.
    assert.throws(() => viewer.decodeBlockNumbers(bytes(0, 0, 0, 2, 0, 1, 0), 0, 10), viewer.FormatError);
    // A single-leaf tree codes any count in no bits: the count is bounded.
    assert.throws(() => viewer.decodeBlockNumbers(bytes(0x7f, 0xff, 0xff, 0xfe, 0, 0), 0, 1000), viewer.FormatError);
  });
  test('a deep hostile tree does not exhaust the stack', () => {
    // Maximum 65535, then a chain of internal nodes going left.
    const chain = new Uint8Array(6 + 20000).fill(0xff);
    chain.set([0, 0, 0, 2, 0xff, 0xff]);
    assert.throws(() => viewer.decodeBlockNumbers(chain, 0, 10), viewer.FormatError);
  });
});

describe('pages written by veltrotool', () => {
  let page;
  before(() => {
    const dir = tempDir('decoders');
    const clip = makeClip(dir, 40);
    page = publish(clip, path.join(dir, 'album'), '20,120 160,100 300,140');
  });

  test('the viewer data body reads back the published document', () => {
    const data = viewer.parseViewerData(fs.readFileSync(path.join(page, 'veltro.txt')));
    assert.equal(data.hasHeader, true);
    assert.equal(data.version, 3);
    assert.equal(data.movieCount, 1);
    assert.deepEqual([data.width, data.height, data.length], [320, 240, 40]);
    const paths = data.objects.filter((o) => o.type === 2);
    const movies = data.objects.filter((o) => o.type === 0);
    assert.equal(paths.length, 1);
    assert.equal(movies.length, 1);
    assert.deepEqual(paths[0].points.map((p) => [p.x, p.y]), [[20, 120], [160, 100], [300, 140]]);
    assert.equal(paths[0].points[0].frame, 0);
    assert.equal(paths[0].points[2].frame, 39);
    assert.deepEqual(movies[0].ranges, [[0, 39]]);
    assert.equal(movies[0].mediaIndex, 0);
  });

  test('the embedded copy in veltro-data.js holds the same bytes', () => {
    const js = fs.readFileSync(path.join(page, 'veltro-data.js'), 'utf8');
    const m = /"veltro\.txt":\s*"([^"]*)"/.exec(js);
    assert.ok(m, 'veltro-data.js names veltro.txt');
    assert.equal(hex(Buffer.from(m[1], 'base64')), hex(fs.readFileSync(path.join(page, 'veltro.txt'))));
  });

  test('a re-stored body reads back the same as the original', () => {
    const original = viewer.parseViewerData(fs.readFileSync(path.join(page, 'veltro.txt')));
    const again = viewer.parseViewerData(storeBody(writeBody(original)));
    assert.deepEqual(again.objects.map((o) => o.points || o.mediaIndex), original.objects.map((o) => o.points || o.mediaIndex));
  });

  test('the frame store index agrees with veltrotool inspect', () => {
    const index = viewer.parseFrameStoreIndex(fs.readFileSync(path.join(page, 'v0.txt')));
    const inspected = JSON.parse(run(['inspect', path.join(page, 'v0.txt')]));
    assert.deepEqual([index.width, index.height, index.positions, index.entries.length],
      [inspected.header.width, inspected.header.height, inspected.header.positions, inspected.header.entries]);
    assert.deepEqual(index.entries.map((e) => [e.kind, e.position, e.kind === 'd' ? null : e.name]),
      inspected.entries.map((e) => [e.kind, e.position, e.name]));
    // Every block of a sorted key sheet appears once; sprites of difference
    // entries name blocks of the frame and cells of sheets that exist.
    const blocks = Math.ceil(index.width / 8) * Math.ceil(index.height / 8);
    for (const [i, e] of index.entries.entries()) {
      if (e.kind === 'S') assert.deepEqual([...new Set(e.sprites.map((s) => s.block))].sort((a, b) => a - b), [...Array(blocks).keys()]);
      if (e.kind === 'D' || e.kind === 'd') {
        const key = index.entries[e.base];
        assert.ok(key.kind === 'N' || key.kind === 'S');
        for (const s of e.sprites) {
          assert.equal(index.entries[s.sheet].kind, 'D');
          assert.ok(s.sheet <= i && s.block < blocks);
        }
      }
    }
  });
});

describe('malformed viewer data fails cleanly', () => {
  let good;
  before(() => {
    const dir = tempDir('malformed');
    good = fs.readFileSync(path.join(publish(makeClip(dir, 12), path.join(dir, 'album'), '20,120 300,140'), 'veltro.txt'));
  });
  test('every truncation and a flipped byte either parse or throw FormatError', () => {
    for (let n = 0; n < good.length; n++) {
      try {
        viewer.parseViewerData(good.subarray(0, n));
      } catch (e) {
        assert.ok(e instanceof viewer.FormatError, `length ${n}: ${e}`);
      }
    }
    for (let i = 4; i < good.length; i += 3) {
      const bad = Uint8Array.from(good);
      bad[i] ^= 0x5a;
      try {
        viewer.parseViewerData(bad);
      } catch (e) {
        assert.ok(e instanceof viewer.FormatError, `byte ${i}: ${e}`);
      }
    }
  });
  test('names that leave the page are refused', () => {
    const data = viewer.parseViewerData(good);
    data.imageNames = ['../secret.jpg'];
    assert.throws(() => viewer.parseViewerData(storeBody(writeBody(data))), /leaves the page/);
  });
  test('index files with broken headers or entries are refused', () => {
    const enc = (s) => new TextEncoder().encode(s);
    assert.throws(() => viewer.parseFrameStoreIndex(enc('')), viewer.FormatError);
    assert.throws(() => viewer.parseFrameStoreIndex(enc('10001 10 1 1\nN 0 a.jpg\n')), viewer.FormatError);
    assert.throws(() => viewer.parseFrameStoreIndex(enc('16 16 2 2\nN 0 a.jpg\n')), viewer.FormatError, 'missing entry');
    assert.throws(() => viewer.parseFrameStoreIndex(enc('16 16 1 1\nN 0 ../a.jpg\n')), viewer.FormatError);
    assert.throws(() => viewer.parseFrameStoreIndex(enc('16 16 1 1\nd 0\n')), viewer.FormatError, 'no key frame');
    const ok = viewer.parseFrameStoreIndex(enc('16 8 3 2\nN 0 a.jpg\nN 2 b.jpg\n-\n'));
    assert.deepEqual(ok.entries.map((e) => e.position), [0, 2]);
    assert.equal(viewer.entryForPosition(ok.entries, 1), 0);
    assert.equal(viewer.entryForPosition(ok.entries, 9), 1);
  });
});
