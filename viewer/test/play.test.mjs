// The viewer's play rules against `veltrotool play`: the same drags on the
// same pages must show the same frames after every position. Pages come from
// `veltrotool publish` and, for path layouts it does not draw, from the same
// page with its paths replaced.
import { test, describe, before } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { tempDir, makeClip, publish, play, playInViewer, along, pathRecord, pageWithPaths, viewer } from './support.mjs';

let dir;
let page;
before(() => {
  dir = tempDir('play');
  page = publish(makeClip(dir, 60), path.join(dir, 'album'), '20,120 160,100 300,140');
});

function agree(pagePath, positions, message) {
  const expected = play(pagePath, positions);
  assert.equal(expected.length, positions.length);
  assert.deepEqual(playInViewer(pagePath, positions), expected, message);
  return expected;
}

describe('one published path', () => {
  test('a drag along the path and back shows the same frames', () => {
    const forward = along([[20, 120], [160, 100], [300, 140]], 3);
    const frames = agree(page, [...forward, ...forward.slice().reverse()]);
    assert.equal(frames[forward.length - 1], 59, 'the end of the path shows the last frame');
    assert.ok(new Set(frames).size > 10, 'the drag moves through many frames');
  });
  test('drags off the path, beyond its ends and outside the picture', () => {
    agree(page, [[25, 150], [80, 160], [170, 60], [319, 239], [400, 140], [-30, 100], [10, 10], [160, 100]]);
    agree(page, along([[0, 0], [319, 239], [0, 239], [319, 0]], 7));
  });
  test('a fast zigzag keeps the continuity rule', () => {
    const zig = [];
    for (let i = 0; i < 40; i++) zig.push([20 + i * 7, i % 2 ? 80 : 160]);
    agree(page, zig);
  });
});

describe('path layouts', () => {
  test('two paths with a hand-over', () => {
    const p = pageWithPaths(page, path.join(dir, 'handover'), [
      pathRecord([[20, 60, 0], [160, 60, 15], [300, 60, 30, true]]),
      pathRecord([[300, 60, 30], [300, 200, 45], [20, 200, 59]]),
    ]);
    const frames = agree(p, along([[20, 60], [300, 60], [300, 200], [20, 200]], 4));
    assert.equal(frames[frames.length - 1], 59, 'the second path took the drag to its end');
  });
  test('a Bézier path', () => {
    const p = pageWithPaths(page, path.join(dir, 'bezier'), [
      pathRecord([[20, 200, 0], [100, 20, 20], [220, 20, 40], [300, 200, 59]], { bezier: 1 }),
    ]);
    agree(p, along([[20, 200], [60, 110], [160, 70], [260, 110], [300, 200]], 3));
  });
  test('a capture distance: far drags start nothing', () => {
    const p = pageWithPaths(page, path.join(dir, 'distance'), [
      pathRecord([[20, 120, 0], [300, 120, 59]], { distance: 20 }),
    ]);
    const far = agree(p, along([[20, 170], [300, 170]], 10));
    assert.ok(far.every((f) => f === 0), 'starting 50 pixels away plays nothing');
    const near = agree(p, along([[20, 135], [300, 135]], 10));
    assert.ok(near[near.length - 1] > 50);
  });
  test('a path drawn right to left and two overlapping paths', () => {
    const p = pageWithPaths(page, path.join(dir, 'overlap'), [
      pathRecord([[300, 100, 0], [20, 100, 59]]),
      pathRecord([[20, 140, 10], [300, 140, 40]]),
    ]);
    agree(p, along([[300, 101], [20, 101]], 5));
    agree(p, along([[20, 139], [300, 139], [160, 120]], 5));
  });
});

describe('thumbnail pictures', () => {
  // The program's document tick, every 300 ms: each visible path with
  // thumbnails shows the next one, round and round.
  test('a visible path with several thumbnails shows them in turn; others stay', () => {
    const cycling = pathRecord([[20, 100, 0], [300, 100, 30]], { thumbnailImages: [0, 1, 2], exported: 1 });
    const single = pathRecord([[20, 140, 0], [300, 140, 30]], { thumbnailImages: [1], exported: 1 });
    const later = pathRecord([[20, 180, 40], [300, 180, 59]], { thumbnailImages: [0, 1], exported: 1 });
    const player = new viewer.Player({ width: 320, height: 240, length: 60, objects: [cycling, single, later] }, []);
    const shown = [];
    for (let i = 0; i < 4; i++) {
      assert.equal(player.tick(), true);
      shown.push(cycling.thumbnailIndex);
    }
    assert.deepEqual(shown, [1, 2, 0, 1]);
    assert.equal(single.thumbnailIndex || 0, 0, 'one picture never changes');
    assert.equal(later.thumbnailIndex || 0, 0, 'a path out of view keeps its picture');
    player.seekFlaggedFrame(50);
    cycling.exported = 0;
    player.tick();
    assert.equal(later.thumbnailIndex, 1, 'in view it cycles');
    assert.equal(cycling.thumbnailIndex, 1);
    player.seekFlaggedFrame(35);
    assert.equal(player.tick(), false, 'nothing visible has several pictures');
  });
});
